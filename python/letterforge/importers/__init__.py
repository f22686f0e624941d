"""letterforge.importers: the saved projects of other page-translation tools turned into
letterforge's two payloads and a manifest for letterforge-batch, pointing at the original page
images (never at a tool's cleaned copies).

    from letterforge import importers
    pages = importers.read_project("chapter/imgtrans_chapter.json")
    manifest = importers.write_chapter(pages, "chapter/letterforge")
    # then: letterforge-batch chapter/letterforge/manifest.jsonl

Projects read (the tool is told from the file's name and content, or named by `tool`):

- "ballons_translator": BallonsTranslator's imgtrans_<folder>.json beside the images.
- "translator_ui": manga-translator-ui's <image>_translations.json beside each image.
- "image_translator": manga-image-translator's server answer for one image, which names
  neither its image (`image`) nor the language to typeset (`language`, as the answer keys its
  texts, "ENG" say; `source_language` picks the source text when there are more than two).

A block's box is the axis-aligned box around its corner box and its lines' quadrilaterals; a
box reaching past the image's edge by at most 4 pixels or 1 % of the side is cut at the edge,
further is an error. A block whose translation is empty gives no block. Tools keep no
recognition confidence: the OCR payload's `confidence` is 1. Problems raise ProjectError
(a ValueError) naming the file and the field.
"""

from __future__ import annotations

import json
import os
from typing import Any, Callable, Dict, List, Optional, Sequence, Tuple

from . import ballons_translator, image_translator, translator_ui
from ._pages import ImportedPage, ProjectError

__all__ = ["read_project", "write_chapter", "ImportedPage", "ProjectError", "TOOLS"]

TOOLS = ("ballons_translator", "translator_ui", "image_translator")
_WRITTEN_FORMATS = {".png": ".png", ".jpg": ".jpg", ".jpeg": ".jpeg", ".webp": ".webp"}


def _image_size(path: str) -> Tuple[int, int]:
    from .. import image_size  # the package's decoders read the image's header
    return image_size(path)


def _load(path: str) -> Any:
    try:
        with open(path, "rb") as f:
            return json.loads(f.read().decode("utf-8"))
    except OSError as error:
        raise ProjectError(f"{path}: cannot be read: {error.strerror}") from None
    except (UnicodeDecodeError, json.JSONDecodeError) as error:
        raise ProjectError(f"{path}: not valid JSON: {error}") from None


def _tool_of(path: str, document: Any) -> str:
    for tool, module in (("ballons_translator", ballons_translator),
                         ("translator_ui", translator_ui),
                         ("image_translator", image_translator)):
        if module.is_project(document, path):
            return tool
    raise ProjectError(f"{path}: not a project of a known tool (give the tool: one of {', '.join(TOOLS)})")


def _project_files(folder: str) -> List[str]:
    """The project files in a folder: an imgtrans_*.json, else every *_translations.json."""
    names = sorted(os.listdir(folder))
    chosen = [n for n in names if n.startswith("imgtrans_") and n.endswith(".json")]
    chosen = chosen or [n for n in names if n.endswith(translator_ui.SUFFIX)]
    if not chosen:
        raise ProjectError(f"{folder}: holds no imgtrans_*.json and no *{translator_ui.SUFFIX}")
    return [os.path.join(folder, n) for n in chosen]


def read_project(path: str, tool: Optional[str] = None, *, image: Optional[str] = None,
                 language: Optional[str] = None, source_language: Optional[str] = None,
                 image_size: Callable[[str], Tuple[int, int]] = _image_size) -> List[ImportedPage]:
    """The pages of a project file, or of the project files in a folder, in their order.
    `image` and `language` are required for an image_translator answer."""
    path = os.fspath(path)
    if tool is not None and tool not in TOOLS:
        raise ProjectError(f"tool: expected one of {', '.join(TOOLS)}, found {tool!r}")
    if os.path.isdir(path):
        return [page for file in _project_files(path)
                for page in read_project(file, tool, image=image, language=language,
                                         source_language=source_language, image_size=image_size)]
    document = _load(path)
    tool = tool or _tool_of(path, document)
    if tool == "ballons_translator":
        return ballons_translator.read(path, document, image_size)
    if tool == "translator_ui":
        return translator_ui.read(path, document, image_size)
    if image is None or language is None:
        raise ProjectError(f"{path}: a server answer names neither its image nor its language: "
                           "give image and language")
    return image_translator.read(path, document, image_size, os.fspath(image), language, source_language)


def _unique_names(pages: Sequence[ImportedPage]) -> List[str]:
    """The pages' names, with the image's extension added to names two pages share."""
    counts: Dict[str, int] = {}
    for page in pages:
        counts[page.name] = counts.get(page.name, 0) + 1
    names = [page.name if counts[page.name] == 1 else os.path.basename(page.image) for page in pages]
    if len(set(names)) != len(names):
        clash = next(n for n in names if names.count(n) > 1)
        raise ProjectError(f"two pages are both named {clash}: import them into separate folders")
    return names


def _write_text(path: str, text: str) -> None:
    """Writes whole or not at all: under a temporary name first."""
    temporary = path + ".part"
    try:
        with open(temporary, "w", encoding="utf-8") as f:
            f.write(text)
        os.replace(temporary, path)
    except BaseException:
        if os.path.exists(temporary):
            os.unlink(temporary)
        raise


def write_chapter(pages: Sequence[ImportedPage], folder: str, output_folder: str = "rendered") -> str:
    """Writes <name>.ocr.json and <name>.translation.json of every page into `folder` and a
    manifest.jsonl whose lines render each original image into `output_folder` (read from
    `folder`) in its own format when letterforge writes it (PNG, JPEG, WebP), else as PNG.
    Returns the manifest's path."""
    folder = os.fspath(folder)
    os.makedirs(folder, exist_ok=True)
    lines = []
    for page, name in zip(pages, _unique_names(pages)):
        _write_text(os.path.join(folder, name + ".ocr.json"),
                    json.dumps(page.ocr, ensure_ascii=False, indent=1) + "\n")
        _write_text(os.path.join(folder, name + ".translation.json"),
                    json.dumps(page.translation, ensure_ascii=False, indent=1) + "\n")
        extension = _WRITTEN_FORMATS.get(os.path.splitext(page.image)[1].lower(), ".png")
        lines.append(json.dumps({
            "image": os.path.relpath(os.path.abspath(page.image), os.path.abspath(folder)),
            "ocr": name + ".ocr.json", "translation": name + ".translation.json",
            "output": os.path.join(output_folder, name + extension)}, ensure_ascii=False))
    manifest = os.path.join(folder, "manifest.jsonl")
    _write_text(manifest, "".join(line + "\n" for line in lines))
    return manifest
