"""The JSON Schemas in schema/ say what the programs read and write: the examples and every
line the programs write validate, and a payload is refused by the schema exactly when the
engine refuses it."""

import glob
import json
import os
import subprocess

import numpy
import pytest

import letterforge
from support import EXAMPLES, OCR, PAGE, TRANSLATION, program, schema

def load(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


# The regions files beside the real pages are the balloon benchmark's ground truth, not payloads.
PAYLOADS = sorted(p for p in glob.glob(os.path.join(EXAMPLES, "**", "*.json"), recursive=True)
                  if not p.endswith(".regions.json"))


@pytest.mark.parametrize("path", PAYLOADS,
                         ids=lambda p: os.path.relpath(p, EXAMPLES))
def test_examples_validate(path):
    kind = "translation" if "translation" in os.path.basename(path) else "ocr"
    schema(kind).validate(load(path))


def _ocr(**block_changes):
    block = {"id": "b1", "text": "A", "confidence": 0.9, "bbox": {"x": 1, "y": 1, "w": 5, "h": 4}}
    block.update(block_changes)
    return {"width": 16, "height": 12, "blocks": [{k: v for k, v in block.items() if v is not DROP}]}


def _translation(**entry_changes):
    entry = {"id": "b1", "source_text": "A", "translated_text": "B"}
    entry.update(entry_changes)
    return {"translations": [{k: v for k, v in entry.items() if v is not DROP}]}


DROP = object()

# (name, OCR document, translation document): the engine's verdict is the schema's.
AGREEMENT = [
    ("Plain", _ocr(), _translation()),
    ("OcrIdANumber", _ocr(id=7), _translation()),
    ("OcrConfidenceMissing", _ocr(confidence=DROP), _translation()),
    ("OcrConfidenceNull", _ocr(confidence=None), _translation()),
    ("BoxWidthAString", _ocr(bbox={"x": 1, "y": 1, "w": "5", "h": 4}), _translation()),
    ("BoxHeightMissing", _ocr(bbox={"x": 1, "y": 1, "w": 5}), _translation()),
    ("ExtraKeysAnywhere", dict(_ocr(polygon=[[1, 2]]), page=3), dict(_translation(extra=1), more={})),
    ("OcrWidthMissing", {"height": 12, "blocks": []}, _translation()),
    ("NoBlocks", {"width": 16, "height": 12, "blocks": []}, _translation()),
    ("SourceTextMissing", _ocr(), _translation(source_text=DROP)),
    ("TranslatedTextNull", _ocr(), _translation(translated_text=None)),
    ("OptionalKeysNull", _ocr(), dict(_translation(normalized_source_text=None, confidence=None,
                                                   needs_review=None, notes=None), page_summary=None)),
    ("TranslationConfidenceAString", _ocr(), _translation(confidence="high")),
    ("NeedsReviewANumber", _ocr(), _translation(needs_review=1)),
    ("TranslationsNull", _ocr(), {"translations": None}),
    ("TranslationsMissing", _ocr(), {"page_summary": "x"}),
    ("RootAnArray", [], _translation()),
]


@pytest.mark.parametrize("ocr, translation", [c[1:] for c in AGREEMENT], ids=[c[0] for c in AGREEMENT])
def test_schemas_refuse_what_the_engine_refuses(ocr, translation):
    schema_accepts = schema("ocr").is_valid(ocr) and schema("translation").is_valid(translation)
    try:
        letterforge.render(numpy.full((12, 16, 3), 255, numpy.uint8), ocr, translation)
        engine_accepts = True
    except letterforge.PayloadError:
        engine_accepts = False
    assert schema_accepts == engine_accepts


def test_manifest_fields_are_the_files_and_every_option():
    properties = set(schema("manifest-line").schema["properties"])
    options = {name for name, _, _ in letterforge.options()}
    assert properties - options == {"image", "ocr", "translation", "output", "debug", "archive",
                                     "layers"}
    assert options <= properties


def _run_batch(workdir, lines, *flags):
    manifest = os.path.join(workdir, "pages.jsonl")
    with open(manifest, "w") as f:
        f.write("".join(json.dumps(line) + "\n" for line in lines))
    run = subprocess.run([program("letterforge-batch"), "--jobs", "2", "--quiet", *flags, manifest],
                         capture_output=True, text=True, timeout=300)
    return [json.loads(line) for line in run.stdout.splitlines()]


def test_manifest_and_result_lines_written_validate(workdir):
    good = {"image": PAGE, "ocr": OCR, "translation": TRANSLATION,
            "output": os.path.join(workdir, "p1.png"), "debug": os.path.join(workdir, "d1.png"),
            "cleanup_mode": "bubble_clean", "font_scale": None}
    lines = [good,
             dict(good, output=os.path.join(workdir, "p2.png"), debug=None, image="missing.png"),
             dict(good, output=os.path.join(workdir, "p3.png"), debug=None, font="No Such Family")]
    for line in lines:
        schema("manifest-line").validate(line)
    results = _run_batch(workdir, lines + [{"image": 3}])
    assert sorted(r["ok"] for r in results) == [False, False, False, True]
    skipped = _run_batch(workdir, lines[:1], "--skip-existing")
    assert skipped[0]["skipped"] == "output exists"
    for result in results + skipped:
        schema("result-line").validate(result)
    assert any(r["blocks"] and "coverage" in r["blocks"][0] for r in results)
    checks = _run_batch(workdir, lines + [dict(good, translation=OCR), {"image": 3}], "--dry-run")
    assert [c["ok"] for c in checks] == [True, False, False, False, False]
    for check in checks:
        schema("check-line").validate(check)


def test_unknown_manifest_field_is_refused_by_both(workdir):
    line = {"image": PAGE, "ocr": OCR, "translation": TRANSLATION,
            "output": os.path.join(workdir, "p1.png"), "colour": "red"}
    assert not schema("manifest-line").is_valid(line)
    [result] = _run_batch(workdir, [line])
    assert (result["ok"], result["status"]) == (False, 2)
