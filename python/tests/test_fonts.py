"""letterforge.fonts(): the families a job's font option takes, with styles and scripts."""

import json
import subprocess

import numpy
import pytest

import letterforge
from support import program

PAGE = numpy.full((40, 60, 3), 255, numpy.uint8)
OCR = {"width": 60, "height": 40, "blocks": [
    {"id": "b1", "text": "x", "confidence": 1, "bbox": {"x": 5, "y": 5, "w": 50, "h": 30}}]}
TRANSLATIONS = {"translations": [{"id": "b1", "source_text": "x", "translated_text": "Hi"}]}


def test_families_come_in_name_order_with_styles_and_scripts():
    families = letterforge.fonts()
    names = [f["family"] for f in families]
    assert names == sorted(names, key=str.casefold)
    comic = next(f for f in families if f["family"] == "Comic Neue")
    assert "Bold" in comic["styles"] and "Latin" in comic["scripts"] and "Han" not in comic["scripts"]
    cjk = next(f for f in families if f["family"] == "Noto Sans CJK JP")
    assert {"Han", "Hiragana", "Katakana", "Hangul"} <= set(cjk["scripts"])


def test_every_family_listed_is_one_the_font_option_takes():
    families = [f["family"] for f in letterforge.fonts()]
    for family in families[:: max(1, len(families) // 6)]:
        letterforge.render(PAGE, OCR, TRANSLATIONS, font=family)
    with pytest.raises(letterforge.FontError):
        letterforge.render(PAGE, OCR, TRANSLATIONS, font="No Such Family")


def test_listing_is_the_batch_programs():
    run = subprocess.run([program("letterforge-batch"), "--list-fonts"], capture_output=True,
                         timeout=60, check=True)
    assert letterforge.fonts() == [json.loads(line) for line in run.stdout.decode().splitlines()]
