"""BallonsTranslator's project file, imgtrans_<folder>.json beside the page images: pages keyed
by image name, each a list of blocks with an "xyxy" box, "lines" quadrilaterals, "text" (a
list of lines) and "translation"."""

from __future__ import annotations

import json
import os
from typing import Any, Callable, List, Tuple

from ._pages import ImportedPage, image_beside, make_page, quad_block, required, wrong_type


def is_project(document: Any, path: str) -> bool:
    return (os.path.basename(path).startswith("imgtrans_") and isinstance(document, dict)
            and isinstance(document.get("pages"), dict))


def read(path: str, document: Any, image_size: Callable[[str], Tuple[int, int]]) -> List[ImportedPage]:
    name = os.path.basename(path)
    pages = required(document, "pages", f"{name}:")
    if not isinstance(pages, dict):
        raise wrong_type(f"{name}: pages", "an object keyed by image name", pages)
    folder = os.path.dirname(os.path.abspath(path))
    out = []
    for image_name, raw_blocks in pages.items():
        where = f"{name}: pages[{json.dumps(image_name, ensure_ascii=False)}]"
        if not isinstance(raw_blocks, list):
            raise wrong_type(where, "a list of blocks", raw_blocks)
        image = image_beside(folder, image_name, where)
        blocks = [quad_block(raw, f"{where}[{i}]") for i, raw in enumerate(raw_blocks)]
        out.append(make_page(image, os.path.splitext(image_name)[0], image_size(image), blocks))
    return out
