"""manga-image-translator's server answer for one image: "translations", each with a box by
its edges "minX", "minY", "maxX", "maxY" and "text", an object of texts keyed by language.
The answer does not name its image: the caller gives it, and the language to typeset."""

from __future__ import annotations

import os
from typing import Any, Callable, List, Optional, Tuple

from ._pages import (Block, ImportedPage, ProjectError, make_page, number, required, type_name,
                     wrong_type)


def is_project(document: Any, path: str) -> bool:
    entries = document.get("translations") if isinstance(document, dict) else None
    return (isinstance(entries, list) and bool(entries) and isinstance(entries[0], dict)
            and "minX" in entries[0])


def _text_in(texts: dict, language: str, where: str) -> str:
    value = texts.get(language)
    if value is None:
        return ""
    if not isinstance(value, str):
        raise wrong_type(f"{where}.text.{language}", "a string", value)
    return value


def _source_language(texts: dict, language: str, source: Optional[str]) -> Optional[str]:
    if source is not None:
        return source
    others = [key for key in texts if key != language]
    return others[0] if len(others) == 1 else None


def _block(raw: Any, where: str, language: str, source: Optional[str]) -> Block:
    if not isinstance(raw, dict):
        raise wrong_type(where, "an object", raw)
    edges = [number(required(raw, key, where), f"{where}.{key}") for key in ("minX", "minY", "maxX", "maxY")]
    texts = required(raw, "text", where)
    if not isinstance(texts, dict):
        raise ProjectError(f"{where}.text: expected an object of texts keyed by language, "
                           f"found {type_name(texts)}")
    source_language = _source_language(texts, language, source)
    return Block(where=where, points=[(edges[0], edges[1]), (edges[2], edges[3])],
                 source_text="" if source_language is None else _text_in(texts, source_language, where),
                 translated_text=_text_in(texts, language, where))


def read(path: str, document: Any, image_size: Callable[[str], Tuple[int, int]], image: str,
         language: str, source_language: Optional[str] = None) -> List[ImportedPage]:
    name = os.path.basename(path)
    entries = required(document, "translations", f"{name}:")
    if not isinstance(entries, list):
        raise wrong_type(f"{name}: translations", "a list", entries)
    if not os.path.isfile(image):
        raise ProjectError(f"{name}: the page image {image} does not exist")
    blocks = [_block(raw, f"{name}: translations[{i}]", language, source_language)
              for i, raw in enumerate(entries)]
    if blocks and not any(b.translated_text for b in blocks):
        raise ProjectError(f"{name}: no translation has a text in {language!r}")
    return [make_page(image, os.path.splitext(os.path.basename(image))[0], image_size(image), blocks)]
