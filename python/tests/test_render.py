"""letterforge.render against the letterforge program: the same inputs give the same bytes,
the same report lines and files written the same way."""

import json
import os
import pathlib

import pytest

import letterforge
from support import OCR, PAGE, TRANSLATION, read, run_letterforge

MODES = ["white_fill", "text_inpaint", "bubble_clean"]


@pytest.mark.parametrize("mode", MODES)
def test_page_and_debug_png_are_the_programs_bytes_and_report_lines(workdir, mode):
    options = {"cleanup_mode": mode, "font_scale": 1.1, "stroke_color": "#FFEE00",
               "grouping_preset": "aggressive", "typesetting_mode": "readable"}
    output, debug = os.path.join(workdir, "out.png"), os.path.join(workdir, "debug.png")
    status, lines = run_letterforge(PAGE, OCR, TRANSLATION, output, debug, **options)
    assert status == 0

    result = letterforge.render(PAGE, OCR, TRANSLATION, debug=True, **options)

    assert result.png() == read(output)
    assert result.png(debug=True) == read(debug)
    assert result.report == lines
    assert result.report or mode == "white_fill", "the other modes report every block"


def test_image_as_path_bytes_or_array_gives_one_page():
    by_path = letterforge.render(pathlib.Path(PAGE), OCR, TRANSLATION)
    by_bytes = letterforge.render(read(PAGE), OCR, TRANSLATION)
    by_array = letterforge.render(letterforge.decode_image(PAGE), OCR, TRANSLATION)
    assert by_bytes.png() == by_path.png()
    assert by_array.png() == by_path.png()


def test_payloads_as_dicts_json_text_bytes_or_paths_give_one_page():
    with open(OCR, encoding="utf-8") as f:
        ocr_text = f.read()
    with open(TRANSLATION, encoding="utf-8") as f:
        translation_text = f.read()
    expected = letterforge.render(PAGE, OCR, TRANSLATION).png()
    for ocr, translations in [(json.loads(ocr_text), json.loads(translation_text)),
                              (ocr_text, translation_text),
                              (ocr_text.encode(), translation_text.encode()),
                              (pathlib.Path(OCR), pathlib.Path(TRANSLATION))]:
        assert letterforge.render(PAGE, ocr, translations).png() == expected


def test_output_and_debug_paths_are_written_as_the_program_writes_them(workdir):
    expected_output = os.path.join(workdir, "expected.png")
    expected_debug = os.path.join(workdir, "expected-debug.png")
    run_letterforge(PAGE, OCR, TRANSLATION, expected_output, expected_debug)
    output = os.path.join(workdir, "new", "dirs", "page.png")
    debug = os.path.join(workdir, "debug", "page.png")

    result = letterforge.render(PAGE, OCR, TRANSLATION, output=output, debug=debug)

    assert read(output) == read(expected_output)
    assert read(debug) == read(expected_debug)
    assert result.has_debug
    assert sorted(os.listdir(os.path.dirname(output))) == ["page.png"], "no temporary file left"


@pytest.mark.parametrize("name, options, magic", [
    ("page.jpg", {}, b"\xff\xd8\xff"),
    ("page.JPEG", {}, b"\xff\xd8\xff"),
    ("page.webp", {}, b"RIFF"),
    ("page", {}, b"\x89PNG"),  # no extension: PNG
    ("page.tiff", {"format": "webp"}, b"RIFF"),  # another extension only with a format
    ("page.png", {"format": "jpeg", "quality": 40}, b"\xff\xd8\xff"),
    ("page.jpg", {"format": "PNG"}, b"\x89PNG"),
])
def test_saved_format_follows_the_format_option_then_the_extension(workdir, name, options, magic):
    path = os.path.join(workdir, name)
    letterforge.render(PAGE, OCR, TRANSLATION, output=path, **options)
    assert read(path).startswith(magic)


def test_encode_takes_format_and_quality_defaulting_to_the_options():
    result = letterforge.render(PAGE, OCR, TRANSLATION, format="jpeg", quality=30)
    assert result.encode() == result.encode("jpeg", 30)
    assert result.encode("jpeg", 95) != result.encode()
    assert result.encode("webp").startswith(b"RIFF")
    assert result.encode("png") == result.png()
    assert letterforge.decode_image(result.encode("webp", None)).shape == (1700, 1200, 4)


def test_blocks_describe_each_translated_block_in_block_order():
    with open(OCR, encoding="utf-8") as f:
        ocr = json.load(f)
    with open(TRANSLATION, encoding="utf-8") as f:
        translated = {t["id"] for t in json.load(f)["translations"]
                      if t["translated_text"].strip()}
    result = letterforge.render(PAGE, ocr, TRANSLATION, cleanup_mode="bubble_clean")

    assert [b["id"] for b in result.blocks] == [b["id"] for b in ocr["blocks"]
                                                if b["id"] in translated]
    grouped = [b for b in result.blocks if "+" in b["item"]]
    assert grouped and all(b["id"] in b["item"].split("+") for b in grouped)
    fallbacks = [b for b in result.blocks if b["cleanup"] == "fallback"]
    assert {b["id"] for b in fallbacks} == {"c1", "s1"}  # as the report line says
    assert all(b["fallback_reason"] == "low_bubble_confidence" for b in fallbacks)
    for block in result.blocks:
        assert block["drawn"] == (block["font_size"] is not None)


def test_flags_follow_the_cleanup_and_the_balloon_preset_never_spans_balloons():
    result = letterforge.render(PAGE, OCR, TRANSLATION, cleanup_mode="bubble_clean",
                                grouping_preset="balloon", fit_balloon=True)
    for block in result.blocks:
        kept = block["cleanup"] == "fallback" and block["fallback_cleanup"] in ("refused",
                                                                                 "left_alone")
        assert ("uncleaned" in block["flags"]) == kept, block
        assert ("overflowed" in block["flags"]) == block["overflowed"], block
        assert "spans_balloons" not in block["flags"], block


@pytest.mark.parametrize("given", ["dict", "text", "file", "file name"])
def test_block_overrides_as_a_dict_its_json_text_or_a_file(workdir, given):
    first = letterforge.render(PAGE, OCR, TRANSLATION).blocks[0]["id"]
    overrides = {first: {"skip": True, "cleanup": "keep"}}
    path = pathlib.Path(workdir, "blocks.json")
    path.write_text(json.dumps(overrides))
    overrides = {"dict": overrides, "text": "\n  " + json.dumps(overrides), "file": path,
                 "file name": str(path)}[given]
    result = letterforge.render(PAGE, OCR, TRANSLATION, blocks=overrides)
    block = result.blocks[0]
    assert (block["drawn"], block["cleanup"], block["item"]) == (False, "left_alone", first)
    assert all(b["drawn"] for b in result.blocks[1:])


@pytest.mark.parametrize("blocks, error, message", [
    ({"nope": {"skip": True}}, letterforge.PayloadError, "blocks: nope: no translated block has this id"),
    ('{"nope": {"skip": true}}', letterforge.PayloadError, "blocks: nope: no translated block has this id"),
    ('{"p1": {"size": 3}}', letterforge.OptionError, 'blocks: p1: unknown field "size"'),
    ({"p1": {"text_color": "red"}}, letterforge.OptionError,
     'blocks: p1: text_color: expected six hex digits, found "red"'),
    ('{"p1": {"skip": true}', letterforge.OptionError, "blocks: not valid JSON at byte 22: syntax error"),
    ({"p1": {"skip": {1, 2}}}, letterforge.OptionError, "blocks: cannot be written as JSON"),
    ("missing/blocks.json", letterforge.PayloadError,
     "missing/blocks.json: cannot be read: No such file or directory"),
    ([{"p1": {"skip": True}}], letterforge.OptionError,
     "blocks: expected a dict, the JSON text of one or a file's path, found an array"),
    (3, letterforge.OptionError,
     "blocks: expected a dict, the JSON text of one or a file's path, found an int"),
], ids=["IdOfNoBlock", "IdOfNoBlockInText", "UnknownFieldInText", "BadColour", "TextCutShort",
        "NotJson", "FileMissing", "List", "Number"])
def test_block_overrides_that_cannot_be_used_raise_naming_the_fault(blocks, error, message):
    with pytest.raises(error) as raised:
        letterforge.render(PAGE, OCR, TRANSLATION, blocks=blocks)
    assert str(raised.value).startswith(message), str(raised.value)


def test_blocks_are_records_that_read_compare_and_serialise_as_dicts():
    result = letterforge.render(PAGE, OCR, TRANSLATION, cleanup_mode="bubble_clean")
    fields = list(letterforge.BlockResult.__annotations__)
    for block in result.blocks:
        plain = dict(block)
        assert list(plain) == fields
        assert [getattr(block, name) for name in fields] == [plain[name] for name in fields]
        assert block == plain and json.dumps(block) == json.dumps(plain)
    with pytest.raises(AttributeError):
        result.blocks[0].overflow  # a field's name misspelt


def test_package_shows_only_its_own_names():
    names = dir(letterforge)
    assert "render" in names and "release_engine" in names and "__version__" in names
    assert not {"json", "math", "numbers", "os", "numpy", "Any", "Mapping"} & set(names)
    assert set(letterforge.__all__) <= set(names)


def test_result_without_debug_has_no_debug_image():
    result = letterforge.render(PAGE, OCR, TRANSLATION)
    assert result.debug is None and not result.has_debug
    with pytest.raises(letterforge.LetterforgeError):
        result.png(debug=True)


def test_help_of_render_explains_every_option():
    text = letterforge.render.__doc__
    for name, _, description in letterforge.options():
        assert f"{name} (" in text and description in text
    assert {"font", "format", "quality", "cleanup_mode"} <= {n for n, _, _ in letterforge.options()}


def _japanese_translation(workdir):
    with open(TRANSLATION) as f:
        translation = json.load(f)
    for entry in translation["translations"]:
        entry["translated_text"] = "こんにちは、元気？"
    path = os.path.join(workdir, "ja.json")
    with open(path, "w") as f:
        json.dump(translation, f, ensure_ascii=False)
    return path


@pytest.mark.parametrize("options, flagged", [
    ({}, False),
    ({"direction": "vertical"}, False),
    ({"direction": "vertical", "font": "Inter"}, True),
    ({"direction": "horizontal", "font": "Inter"}, False),
], ids=["lines", "columns", "columns_in_a_font_without_vertical_forms", "lines_in_it"])
def test_columns_in_a_font_without_vertical_forms_are_flagged(workdir, options, flagged):
    result = letterforge.render(PAGE, OCR, _japanese_translation(workdir), **options)
    drawn = [block for block in result.blocks if block["drawn"]]
    assert drawn
    assert all(("no_vertical_forms" in block["flags"]) == flagged for block in drawn)
