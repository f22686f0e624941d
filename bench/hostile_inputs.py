#!/usr/bin/env python3
"""Writes the OCR and translation files of one hostile page case at a given size.

    hostile_inputs.py <case> <size> <out-dir>

Cases (the page is 2480 x 3508, A4 at 300 dpi):
  onebox  <size> translated blocks, all on one 300 x 60 box
  word    one block whose translation is a single word of <size> letters
  grid    <size> blocks on a grid of short lines stacked in columns, close enough to group
  lines   one block whose translation has <size> lines
  marks   one block whose translation is a letter followed by <size> combining accents
  joined  one block whose translation is <size> emoji joined by zero-width joiners
  vowels  one block whose translation is a consonant followed by <size> spacing vowel signs
  thai    one block whose translation is a Thai consonant followed by <size> vowel signs
          above it (marks of combining class 0)
"""
import json
import math
import os
import sys

WIDTH, HEIGHT = 2480, 3508


def block(ident, x, y, w, h):
    return {"id": ident, "text": "X", "confidence": 0.9, "bbox": {"x": x, "y": y, "w": w, "h": h}}


def onebox(size):
    return [(block(f"b{i}", 1000, 1000, 300, 60), f"Word {i}") for i in range(size)]


def single(text):
    return [(block("b0", 900, 1200, 600, 300), text)]


def grid(size):
    # Columns of lines 50 px wide and 30 px high, 34 px apart: each column groups into runs of
    # the preset's largest group; neighbouring columns never line up.
    columns = max(1, math.ceil(math.sqrt(size * WIDTH / HEIGHT)))
    rows = math.ceil(size / columns)
    cell_w = (WIDTH - 80) / columns
    cell_h = (HEIGHT - 80) / rows
    items = []
    for i in range(size):
        x = 40 + (i % columns) * cell_w
        y = 40 + (i // columns) * cell_h
        w, h = cell_w * 0.8, cell_h * 0.6
        items.append((block(f"g{i}", round(x, 1), round(y, 1), round(w, 1), round(h, 1)),
                      f"Line {i} says"))
    return items


CASES = {
    "onebox": onebox,
    "word": lambda size: single("W" * size),
    "grid": grid,
    "lines": lambda size: single("\n".join(f"line {i}" for i in range(size))),
    "marks": lambda size: single("a" + "\u0301" * size),
    "joined": lambda size: single("\u200d".join(["\U0001F468"] * size)),
    "vowels": lambda size: single("\u0915" + "\u093e" * size),
    "thai": lambda size: single("\u0e01" + "\u0e31" * size),
}


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in CASES:
        sys.exit(__doc__)
    items = CASES[sys.argv[1]](int(sys.argv[2]))
    out = sys.argv[3]
    os.makedirs(out, exist_ok=True)
    ocr = {"width": WIDTH, "height": HEIGHT, "blocks": [b for b, _ in items]}
    translations = {"source_language_detected": "fr",
                    "translations": [{"id": b["id"], "source_text": "X", "translated_text": t}
                                     for b, t in items]}
    with open(os.path.join(out, "ocr.json"), "w", encoding="utf-8") as f:
        json.dump(ocr, f, ensure_ascii=False)
    with open(os.path.join(out, "translation.json"), "w", encoding="utf-8") as f:
        json.dump(translations, f, ensure_ascii=False)


if __name__ == "__main__":
    main()
