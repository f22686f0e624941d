"""manga-translator-ui's <image>_translations.json beside each page image: "regions", each with
"lines" quadrilaterals, "text" and "translation", and the size of the image the regions were
found on, "original_width" and "original_height". The document is either that object or an
object holding it under the image's name."""

from __future__ import annotations

import os
from typing import Any, Callable, List, Optional, Tuple

from ._pages import (ImportedPage, ProjectError, check_size, make_page, number, quad_block, required,
                     wrong_type)

SUFFIX = "_translations.json"
_IMAGE_EXTENSIONS = (".png", ".jpg", ".jpeg", ".webp", ".tif", ".tiff", ".gif")


def is_project(document: Any, path: str) -> bool:
    return path.endswith(SUFFIX) and _page_object(document) is not None


def _page_object(document: Any) -> Optional[dict]:
    """The object holding "regions": the document, or the one object it holds."""
    if isinstance(document, dict) and "regions" in document:
        return document
    if isinstance(document, dict) and len(document) == 1:
        inner = next(iter(document.values()))
        if isinstance(inner, dict) and "regions" in inner:
            return inner
    return None


def _image_of(path: str) -> str:
    """The page image the file belongs to: <image> itself, or <image> with an image extension."""
    base = path[:-len(SUFFIX)]
    if os.path.splitext(base)[1].lower() in _IMAGE_EXTENSIONS and os.path.isfile(base):
        return base
    for extension in _IMAGE_EXTENSIONS + tuple(e.upper() for e in _IMAGE_EXTENSIONS):
        if os.path.isfile(base + extension):
            return base + extension
    raise ProjectError(f"{os.path.basename(path)}: no page image {os.path.basename(base)}"
                       f"{{{','.join(_IMAGE_EXTENSIONS)}}} beside it")


def read(path: str, document: Any, image_size: Callable[[str], Tuple[int, int]]) -> List[ImportedPage]:
    name = os.path.basename(path)
    page = _page_object(document)
    regions = required(page if page is not None else document, "regions", f"{name}:")
    if not isinstance(regions, list):
        raise wrong_type(f"{name}: regions", "a list of regions", regions)
    image = _image_of(path)
    size = image_size(image)
    declared = None
    page = page if page is not None else {}
    if page.get("original_width") is not None or page.get("original_height") is not None:
        declared = (number(required(page, "original_width", f"{name}:"), f"{name}: original_width"),
                    number(required(page, "original_height", f"{name}:"), f"{name}: original_height"))
    check_size(declared, size, image, f"{name}: original_width and original_height")
    blocks = [quad_block(raw, f"{name}: regions[{i}]") for i, raw in enumerate(regions)]
    return [make_page(image, os.path.splitext(os.path.basename(image))[0], size, blocks)]
