"""What every importer makes of a tool's project: pages in letterforge's two payloads, checked
against the page images they point at."""

from __future__ import annotations

import math
import numbers
import os
from dataclasses import dataclass, field
from typing import Any, Dict, List, Optional, Sequence, Tuple

# A box may reach this far past the image's edge before it counts as outside it: tools draw
# rotated boxes around their letters and round their corners outwards. Smaller overshoots are
# cut at the edge.
OVERSHOOT_PIXELS = 4.0
OVERSHOOT_FRACTION = 0.01


class ProjectError(ValueError):
    """A project that cannot be imported: the message names the file and the field."""


@dataclass
class Block:
    """One translated block as a tool keeps it: the points of its box or boxes, the source
    text and the translation."""
    where: str                        # names the block in messages: file and field path
    points: List[Tuple[float, float]]
    source_text: str
    translated_text: str


@dataclass
class ImportedPage:
    """A page ready for letterforge: the original image and its two payloads as dicts."""
    image: str
    name: str
    ocr: Dict[str, Any] = field(default_factory=dict)
    translation: Dict[str, Any] = field(default_factory=dict)


def type_name(value: Any) -> str:
    """A JSON value's type as messages name it."""
    if value is None:
        return "null"
    if isinstance(value, bool):
        return "a boolean"
    if isinstance(value, numbers.Real):
        return "a number"
    if isinstance(value, str):
        return "a string"
    if isinstance(value, list):
        return "an array"
    if isinstance(value, dict):
        return "an object"
    return "a " + type(value).__name__


def wrong_type(where: str, expected: str, value: Any) -> ProjectError:
    return ProjectError(f"{where}: expected {expected}, found {type_name(value)}")


def field_of(where: str, key: str) -> str:
    """The place of a field: "file.json: key" at the top, "file.json: a[2].key" below."""
    return f"{where} {key}" if where.endswith(":") else f"{where}.{key}"


def required(mapping: Any, key: str, where: str) -> Any:
    """mapping[key], or a ProjectError naming the missing field."""
    if not isinstance(mapping, dict):
        raise wrong_type(where.rstrip(":"), "an object", mapping)
    if mapping.get(key) is None:
        raise ProjectError(f"{field_of(where, key)}: required field is missing")
    return mapping[key]


def number(value: Any, where: str) -> float:
    if isinstance(value, bool) or not isinstance(value, numbers.Real) or not math.isfinite(value):
        raise wrong_type(where, "a number", value)
    return float(value)


def text(value: Any, where: str) -> str:
    """A string, or a list of strings (lines) joined by line feeds."""
    if isinstance(value, str):
        return value
    if isinstance(value, list) and all(isinstance(line, str) for line in value):
        return "\n".join(value)
    raise wrong_type(where, "a string or a list of strings", value)


def point(value: Any, where: str) -> Tuple[float, float]:
    if not isinstance(value, (list, tuple)) or len(value) != 2:
        raise wrong_type(where, "a point [x, y]", value)
    return number(value[0], f"{where}[0]"), number(value[1], f"{where}[1]")


def quads(value: Any, where: str) -> List[Tuple[float, float]]:
    """The corners of a list of quadrilaterals, each a list of [x, y] points."""
    if not isinstance(value, list):
        raise wrong_type(where, "a list of quadrilaterals", value)
    corners: List[Tuple[float, float]] = []
    for i, quad in enumerate(value):
        if not isinstance(quad, list) or not quad:
            raise wrong_type(f"{where}[{i}]", "a list of [x, y] points", quad)
        corners += [point(p, f"{where}[{i}][{j}]") for j, p in enumerate(quad)]
    return corners


def corner_box(values: Any, where: str) -> List[Tuple[float, float]]:
    """The two corners of [x1, y1, x2, y2]."""
    if not isinstance(values, list) or len(values) != 4:
        raise wrong_type(where, "[x1, y1, x2, y2]", values)
    x1, y1, x2, y2 = (number(v, f"{where}[{i}]") for i, v in enumerate(values))
    return [(x1, y1), (x2, y2)]


def quad_block(raw: Any, where: str) -> Block:
    """A block kept as a corner box "xyxy" [x1, y1, x2, y2] and/or "lines", quadrilaterals of
    [x, y] points, with "text" and "translation" (a missing translation is an empty one)."""
    if not isinstance(raw, dict):
        raise wrong_type(where, "an object", raw)
    points = []
    if raw.get("xyxy") is not None:
        points += corner_box(raw["xyxy"], f"{where}.xyxy")
    if raw.get("lines") is not None:
        points += quads(raw["lines"], f"{where}.lines")
    if not points:
        raise ProjectError(f"{where}: has neither xyxy nor lines")
    translation = raw.get("translation")
    return Block(where=where, points=points,
                 source_text=text(required(raw, "text", where), f"{where}.text"),
                 translated_text="" if translation is None else text(translation, f"{where}.translation"))


def _hull(block: Block, width: int, height: int) -> Dict[str, float]:
    """The axis-aligned box around the block's points, cut at the image's edges."""
    xs = [x for x, _ in block.points]
    ys = [y for _, y in block.points]
    left, top, right, bottom = min(xs), min(ys), max(xs), max(ys)
    slack_x = max(OVERSHOOT_PIXELS, OVERSHOOT_FRACTION * width)
    slack_y = max(OVERSHOOT_PIXELS, OVERSHOOT_FRACTION * height)
    if left < -slack_x or top < -slack_y or right > width + slack_x or bottom > height + slack_y:
        raise ProjectError(
            f"{block.where}: the box ({left:g}, {top:g}) to ({right:g}, {bottom:g}) reaches "
            f"outside the {width} x {height} image")
    left, top = max(left, 0.0), max(top, 0.0)
    right, bottom = min(right, float(width)), min(bottom, float(height))
    return {"x": left, "y": top, "w": max(right - left, 0.0), "h": max(bottom - top, 0.0)}


def make_page(image: str, name: str, size: Tuple[int, int], blocks: Sequence[Block]) -> ImportedPage:
    """The page with a block for every block whose translation is not empty, ids b1, b2, ...
    in the tool's order."""
    width, height = size
    ocr_blocks = []
    translations = []
    for block in blocks:
        if not block.translated_text.strip():
            continue
        block_id = f"b{len(ocr_blocks) + 1}"
        ocr_blocks.append({"id": block_id, "text": block.source_text, "confidence": 1.0,
                           "bbox": _hull(block, width, height)})
        translations.append({"id": block_id, "source_text": block.source_text,
                             "translated_text": block.translated_text})
    return ImportedPage(image=image, name=name,
                        ocr={"width": width, "height": height, "blocks": ocr_blocks},
                        translation={"translations": translations})


def image_beside(folder: str, name: str, where: str) -> str:
    """The path of a page image named in a project, which must exist."""
    path = os.path.join(folder, name)
    if not os.path.isfile(path):
        raise ProjectError(f"{where}: the page image {path} does not exist")
    return path


def check_size(declared: Optional[Tuple[float, float]], actual: Tuple[int, int], image: str,
               where: str) -> None:
    """Refuses a page whose project was made on an image of another size."""
    if declared is not None and (declared[0] != actual[0] or declared[1] != actual[1]):
        raise ProjectError(f"{where}: made for a {declared[0]:g} x {declared[1]:g} image, but "
                           f"{image} is {actual[0]} x {actual[1]} pixels")
