"""letterforge.importers: each tool's project, written by hand after its published layout, turns
into the payloads and manifest expected; bad projects are refused naming the file and field."""

import copy
import json
import os
import shutil
import subprocess
import sys

import numpy
import pytest

import letterforge
from letterforge import importers
from support import REPO, png_of, schema

FIXTURES = os.path.join(REPO, "python", "tests", "fixtures", "importers")


def read_json(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def box(x, y, w, h):
    return {"x": x, "y": y, "w": w, "h": h}


def page_images(folder, *names):
    """Blank 100 x 80 pages under the names."""
    for name in names:
        with open(os.path.join(folder, name), "wb") as f:
            f.write(png_of(numpy.full((80, 100, 3), 255, numpy.uint8)))


@pytest.fixture
def chapter(workdir):
    """A folder with the fixtures and the pages they name."""
    for name in os.listdir(FIXTURES):
        shutil.copy(os.path.join(FIXTURES, name), workdir)
    page_images(workdir, "001.png", "002.png")
    return workdir


def blocks_of(page):
    """(id, bbox, OCR text, translated text) of each block, the two payloads side by side."""
    return [(o["id"], o["bbox"], o["text"], t["translated_text"])
            for o, t in zip(page.ocr["blocks"], page.translation["translations"])]


def test_ballons_translator_pages_keep_their_order_and_boxes_become_hulls(chapter):
    pages = importers.read_project(os.path.join(chapter, "imgtrans_ch1.json"))
    assert [(p.name, p.image) for p in pages] == [
        ("001", os.path.join(chapter, "001.png")), ("002", os.path.join(chapter, "002.png"))]
    assert blocks_of(pages[0]) == [
        ("b1", box(10, 10, 30, 20), "こんにちは\nせかい", "Hello, world"),
        ("b2", box(48, 38, 47, 34), "まわる", "Turning"),  # the rotated line reaches past xyxy
        ("b3", box(96, 5, 4, 10), "はし", "Edge")]          # 3 pixels past the edge: cut there
    assert blocks_of(pages[1]) == [("b1", box(5, 5, 15, 15), "いち", "One")]
    assert pages[0].ocr["width"] == 100 and pages[0].ocr["height"] == 80
    assert pages[0].ocr["blocks"][0]["confidence"] == 1.0
    assert pages[0].translation["translations"][0]["source_text"] == "こんにちは\nせかい"


def test_translator_ui_files_in_a_folder_are_read_bare_or_under_their_image(chapter):
    os.unlink(os.path.join(chapter, "imgtrans_ch1.json"))
    pages = importers.read_project(chapter)
    assert [p.name for p in pages] == ["001", "002"]
    assert blocks_of(pages[0]) == [
        ("b1", box(10, 8, 24, 24), "かいてん", "Rotated"),
        ("b2", box(50, 50, 16, 20), "ふたぎょう", "Two lines")]
    assert blocks_of(pages[1]) == [("b1", box(5, 5, 15, 15), "いち", "One")]


@pytest.mark.parametrize("language, source, expected", [
    ("ENG", "JPN", [("b1", box(10, 20, 30, 30), "こんにちは", "Hello"),
                    ("b2", box(55, 40, 44, 38), "おわり", "The end")]),
    ("FRA", None, [("b1", box(10, 20, 30, 30), "", "Bonjour"),  # two other languages: no source
                   ("b2", box(55, 40, 44, 38), "", "Fin")]),
], ids=["EnglishFromJapanese", "FrenchWithoutSource"])
def test_image_translator_answer_takes_the_chosen_language(chapter, language, source, expected):
    pages = importers.read_project(os.path.join(chapter, "001.server.json"),
                                   image=os.path.join(chapter, "001.png"), language=language,
                                   source_language=source)
    assert blocks_of(pages[0]) == expected


def test_written_chapter_renders_the_original_pages(chapter):
    pages = importers.read_project(os.path.join(chapter, "imgtrans_ch1.json"))
    out = os.path.join(chapter, "letterforge")
    manifest = importers.write_chapter(pages, out)
    with open(manifest) as f:
        lines = [json.loads(line) for line in f]
    assert lines == [
        {"image": "../001.png", "ocr": "001.ocr.json", "translation": "001.translation.json",
         "output": "rendered/001.png"},
        {"image": "../002.png", "ocr": "002.ocr.json", "translation": "002.translation.json",
         "output": "rendered/002.png"}]
    for line in lines:  # the engine reads what was written, and so do the formats' schemas
        schema("manifest-line").validate(line)
        schema("ocr").validate(read_json(os.path.join(out, line["ocr"])))
        schema("translation").validate(read_json(os.path.join(out, line["translation"])))
        result = letterforge.render(os.path.join(out, line["image"]), os.path.join(out, line["ocr"]),
                                    os.path.join(out, line["translation"]))
        assert result.page.shape == (80, 100, 3)
    assert sorted(os.listdir(out)) == ["001.ocr.json", "001.translation.json", "002.ocr.json",
                                       "002.translation.json", "manifest.jsonl"]


def test_command_line_writes_the_manifest_or_names_the_fault(chapter):
    out = os.path.join(chapter, "out")
    run = subprocess.run([sys.executable, "-m", "letterforge.importers", "--out", out,
                          os.path.join(chapter, "001.server.json"), "--image",
                          os.path.join(chapter, "001.png"), "--language", "ENG"],
                         capture_output=True, text=True, timeout=60)
    assert (run.returncode, run.stderr) == (0, "")
    assert run.stdout == f"{os.path.join(out, 'manifest.jsonl')}: 1 pages, 2 translated blocks\n"
    run = subprocess.run([sys.executable, "-m", "letterforge.importers", "--out", out,
                          os.path.join(chapter, "001.server.json")],
                         capture_output=True, text=True, timeout=60)
    assert run.returncode == 2
    assert run.stderr == ("letterforge.importers: " + os.path.join(chapter, "001.server.json") +
                          ": a server answer names neither its image nor its language: give image "
                          "and language\n")


def _edit(document, path, value):
    """The document with the value at the path (keys and indexes) replaced; DELETE removes it."""
    changed = copy.deepcopy(document)
    target = changed
    for key in path[:-1]:
        target = target[key]
    if value is DELETE:
        del target[path[-1]]
    else:
        target[path[-1]] = value
    return changed


DELETE = object()
PAGE1 = ("pages", "001.png")

BAD_PROJECTS = [
    ("BallonsTextMissing", "imgtrans_ch1.json", PAGE1 + (0, "text"), DELETE, {},
     'imgtrans_ch1.json: pages["001.png"][0].text: required field is missing'),
    ("BallonsTextANumber", "imgtrans_ch1.json", PAGE1 + (0, "text"), 7, {},
     'imgtrans_ch1.json: pages["001.png"][0].text: expected a string or a list of strings, found a number'),
    ("BallonsTranslationAList", "imgtrans_ch1.json", PAGE1 + (0, "translation"), [1], {},
     'imgtrans_ch1.json: pages["001.png"][0].translation: expected a string or a list of strings, found an array'),
    ("BallonsBoxOutsideTheImage", "imgtrans_ch1.json", PAGE1 + (3, "xyxy"), [150, 10, 190, 30], {},
     'imgtrans_ch1.json: pages["001.png"][3]: the box (150, 10) to (190, 30) reaches outside the 100 x 80 image'),
    ("BallonsBoxJustPastTheSlack", "imgtrans_ch1.json", PAGE1 + (3, "xyxy"), [96, 5, 104.5, 15], {},
     'imgtrans_ch1.json: pages["001.png"][3]: the box (96, 5) to (104.5, 15) reaches outside the 100 x 80 image'),
    ("BallonsNoBox", "imgtrans_ch1.json", PAGE1 + (3, "xyxy"), DELETE, {},
     'imgtrans_ch1.json: pages["001.png"][3]: has neither xyxy nor lines'),
    ("BallonsShortXyxy", "imgtrans_ch1.json", PAGE1 + (0, "xyxy"), [1, 2, 3], {},
     'imgtrans_ch1.json: pages["001.png"][0].xyxy: expected [x1, y1, x2, y2], found an array'),
    ("BallonsPageMissing", "imgtrans_ch1.json", ("pages", "009.png"), [], {},
     'imgtrans_ch1.json: pages["009.png"]: the page image {dir}/009.png does not exist'),
    ("BallonsPagesAList", "imgtrans_ch1.json", ("pages",), [], {"tool": "ballons_translator"},
     "imgtrans_ch1.json: pages: expected an object keyed by image name, found an array"),
    ("UiPointNotANumber", "001_translations.json", ("regions", 0, "lines", 0, 0, 1), "8", {},
     "001_translations.json: regions[0].lines[0][0][1]: expected a number, found a string"),
    ("UiTextMissing", "001_translations.json", ("regions", 1, "text"), None, {},
     "001_translations.json: regions[1].text: required field is missing"),
    ("UiMadeOnAnotherSize", "001_translations.json", ("original_width",), 200, {},
     "001_translations.json: original_width and original_height: made for a 200 x 80 image, "
     "but {dir}/001.png is 100 x 80 pixels"),
    ("UiRegionsMissing", "001_translations.json", ("regions",), DELETE, {"tool": "translator_ui"},
     "001_translations.json: regions: required field is missing"),
    ("ServerEdgeMissing", "001.server.json", ("translations", 0, "maxY"), DELETE, {"language": "ENG"},
     "001.server.json: translations[0].maxY: required field is missing"),
    ("ServerTextAString", "001.server.json", ("translations", 0, "text"), "Hello", {"language": "ENG"},
     "001.server.json: translations[0].text: expected an object of texts keyed by language, found a string"),
    ("ServerTranslationANumber", "001.server.json", ("translations", 2, "text", "ENG"), 3, {"language": "ENG"},
     "001.server.json: translations[2].text.ENG: expected a string, found a number"),
    ("ServerLanguageAbsent", "001.server.json", ("translations", 0, "prob"), 0.5, {"language": "DEU"},
     "001.server.json: no translation has a text in 'DEU'"),
]


@pytest.mark.parametrize("file, path, value, arguments, message",
                         [case[1:] for case in BAD_PROJECTS], ids=[case[0] for case in BAD_PROJECTS])
def test_bad_project_is_refused_naming_the_file_and_field(chapter, file, path, value, arguments, message):
    project = os.path.join(chapter, file)
    with open(project, encoding="utf-8") as f:
        document = json.load(f)
    with open(project, "w", encoding="utf-8") as f:
        json.dump(_edit(document, path, value), f, ensure_ascii=False)
    if file.endswith("server.json"):
        arguments = dict(arguments, image=os.path.join(chapter, "001.png"))
    with pytest.raises(importers.ProjectError) as raised:
        importers.read_project(project, **arguments)
    assert str(raised.value) == message.format(dir=chapter)


def test_file_of_no_known_tool_asks_for_the_tool(chapter):
    path = os.path.join(chapter, "other.json")
    with open(path, "w") as f:
        json.dump({"pages": []}, f)
    with pytest.raises(importers.ProjectError, match="not a project of a known tool"):
        importers.read_project(path)
