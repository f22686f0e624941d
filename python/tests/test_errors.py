"""Every failure raises the package's exception of its class with the message the program
prints for the same failure."""

import errno
import json
import os
import subprocess
import sys

import pytest

import letterforge
from support import BUILD_DIR, OCR, PAGE, TRANSLATION, run_letterforge


def _write(directory, name, text):
    path = os.path.join(directory, name)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    return path


def _ocr_with(blocks):
    return {"width": 100, "height": 100, "blocks": blocks}


def _block(id_, x=10):
    return {"id": id_, "text": "A", "confidence": 1, "bbox": {"x": x, "y": 10, "w": 30, "h": 10}}


def _nested(depth):
    document = {}
    for _ in range(depth):
        document = {"a": document}
    return document


def _translation(id_, text="B"):
    return {"id": id_, "source_text": "A", "translated_text": text}


# name, exception, (image, ocr, translation) files made in the scratch directory, exit status.
PROGRAM_FAILURES = [
    ("missing image", letterforge.ImageError, ("missing.png", OCR, TRANSLATION), 1),
    ("text as image", letterforge.ImageError, ("text.png", OCR, TRANSLATION), 1),
    ("missing ocr file", letterforge.PayloadError, (PAGE, "missing.json", TRANSLATION), 3),
    ("ocr not json", letterforge.PayloadError, (PAGE, "text.png", TRANSLATION), 3),
    ("wrong type in translation", letterforge.PayloadError, (PAGE, OCR, "typed.json"), 3),
    ("duplicate translation id", letterforge.DuplicateIdError, (PAGE, OCR, "twice.json"), 4),
    ("duplicate ocr id", letterforge.DuplicateIdError, (PAGE, "twice-ocr.json", "one.json"), 4),
]


@pytest.mark.parametrize("name, exception, files, status", PROGRAM_FAILURES,
                         ids=[row[0] for row in PROGRAM_FAILURES])
def test_failure_raises_its_class_with_the_programs_message(workdir, name, exception, files,
                                                            status):
    _write(workdir, "text.png", "not an image")
    _write(workdir, "typed.json", json.dumps({"translations": [{"id": 5}]}))
    _write(workdir, "twice.json", json.dumps(
        {"translations": [_translation("p1"), _translation("p1", "again")]}))
    _write(workdir, "twice-ocr.json", json.dumps(_ocr_with([_block("x"), _block("x", 50)])))
    _write(workdir, "one.json", json.dumps({"translations": [_translation("x")]}))
    paths = [f if os.path.isabs(f) else os.path.join(workdir, f) for f in files]
    program_status, lines = run_letterforge(*paths, os.path.join(workdir, "out.png"))

    with pytest.raises(exception) as raised:
        letterforge.render(*paths, output=os.path.join(workdir, "mine.png"))

    assert program_status == status == raised.value.status
    assert lines[-1] == str(raised.value) == raised.value.message
    assert lines[:-1] == raised.value.report
    assert isinstance(raised.value, letterforge.LetterforgeError)
    assert isinstance(raised.value, FileNotFoundError) == name.startswith("missing")
    assert not os.path.exists(os.path.join(workdir, "mine.png"))


# name, call given the missing path, the package's class for it.
MISSING_FILES = [
    ("image", lambda path: letterforge.render(path, OCR, TRANSLATION),
     letterforge.ImageNotFoundError),
    ("ocr", lambda path: letterforge.render(PAGE, path, TRANSLATION),
     letterforge.PayloadNotFoundError),
    ("translation", lambda path: letterforge.render(PAGE, OCR, path),
     letterforge.PayloadNotFoundError),
    ("decoded image", letterforge.decode_image, letterforge.ImageNotFoundError),
    ("cropped image", lambda path: letterforge.crop(path, 0, 0, 10, 10),
     letterforge.ImageNotFoundError),
]


@pytest.mark.parametrize("name, call, exception", MISSING_FILES,
                         ids=[row[0] for row in MISSING_FILES])
@pytest.mark.parametrize("dangling", [False, True], ids=["no file", "dangling link"])
def test_missing_file_is_also_a_file_not_found_error(workdir, name, call, exception, dangling):
    path = os.path.join(workdir, "missing")
    if dangling:
        os.symlink(os.path.join(workdir, "nowhere"), path)
    with pytest.raises(FileNotFoundError) as raised:
        call(path)
    assert type(raised.value) is exception
    assert (raised.value.errno, raised.value.filename) == (errno.ENOENT, path)
    assert path in str(raised.value) and not str(raised.value).startswith("[Errno")


def test_unwritable_output_raises_write_error_with_the_programs_message(workdir):
    blocker = _write(workdir, "file", "")
    output = os.path.join(blocker, "page.png")
    status, lines = run_letterforge(PAGE, OCR, TRANSLATION, output)
    with pytest.raises(letterforge.WriteError) as raised:
        letterforge.render(PAGE, OCR, TRANSLATION, output=output)
    assert status == 5 and lines == [str(raised.value)]
    assert str(raised.value).startswith(f"Could not write {output}: ")
    assert isinstance(raised.value, OSError)


def test_saving_onto_a_directory_fails_and_leaves_it_alone(workdir):
    result = letterforge.render(PAGE, OCR, TRANSLATION)
    with pytest.raises(letterforge.WriteError) as raised:
        result.save(workdir, debug=False)
    assert str(raised.value) == f"Could not write {workdir}: Is a directory"
    assert os.listdir(workdir) == []


@pytest.mark.parametrize("ocr, message", [
    (_ocr_with([{**_block("p1"), "bbox": {"x": "1", "y": 1, "w": 1, "h": 1}}]),
     "ocr: blocks[0].bbox.x: expected a number, found a string"),
    ({"width": 1, "height": 1}, "ocr: blocks: required key is missing"),
    ([1, 2], "ocr: "),
    (_ocr_with([_block("p1")]) | {"extra": {1, 2}}, "ocr: cannot be written as JSON: "),
    (_ocr_with([{**_block("p1"), "confidence": float("nan")}]), "ocr: cannot be written as JSON: "),
    ("{not json", "ocr: not valid JSON at byte "),
    (b"{\"width\": \xff}", "ocr: not valid JSON at byte "),
    (12, "ocr: expected a dict, JSON text or a path, found int"),
    (_ocr_with([_block("p1")]) | {"extra": _nested(300)}, "ocr: nesting deeper than 256 levels"),
    (_ocr_with([_block("p1")]) | {"extra": _nested(5000)}, "ocr: nesting deeper than 256 levels"),
])
def test_payload_documents_in_memory_are_named_in_their_failures(ocr, message):
    with pytest.raises(letterforge.PayloadError) as raised:
        letterforge.render(PAGE, ocr, TRANSLATION)
    assert str(raised.value).startswith(message)


@pytest.mark.parametrize("options, message", [
    ({"colour": "red"}, 'unknown option "colour"'),
    ({"font_scale": "big"}, "font_scale: expected a number, found a string"),
    ({"grouping": 1}, "grouping: expected a boolean, found a number"),
    ({"cleanup_mode": True}, "cleanup_mode: expected a string, found a boolean"),
    ({"base_font_size": {"px": 12}}, "base_font_size: expected a number, found an object"),
    ({"font_weight": ["bold"]}, "font_weight: expected a string, found an array"),
    ({"line_spacing": b"1"}, "line_spacing: expected a number, found a bytes"),
    ({"stroke_color": "red"}, 'stroke_color: expected six hex digits, found "red"'),
    ({"format": "gif"}, 'format: expected png, jpeg or webp, found "gif"'),
    ({"font": ""}, "font: expected a family name or a font file's path, found an empty string"),
    ({"cleanup_mode": "bubbleclean"}, "cleanup_mode: expected white_fill, text_inpaint, "
     'bubble_clean, repaint or none, found "bubbleclean" (nearest: bubble_clean)'),
    ({"font_weight": "Heavy"},
     'font_weight: expected regular, semibold or bold, found "Heavy" (nearest: bold)'),
    ({"grouping_preset": "balancd"}, "grouping_preset: expected conservative, balanced, "
     'aggressive or balloon, found "balancd" (nearest: balanced)'),
    ({"typesetting_mode": ""},
     'typesetting_mode: expected readable, balanced or strict, found "" (nearest: strict)'),
    ({"direction": "sideways"}, "direction: expected horizontal, vertical or auto, found "
     '"sideways" (nearest: vertical)'),
    ({"direction": 1}, "direction: expected a string, found a number"),
    ({"font_scale": 10**400}, "font_scale: expected a number, found an integer too large for a float"),
    ({"quality": -10**400}, "quality: expected a number, found an integer too large for a float"),
])
def test_bad_options_raise_option_error_before_any_file_is_read(options, message):
    with pytest.raises(letterforge.OptionError) as raised:
        letterforge.render("missing.png", "missing.json", "missing.json", **options)
    assert str(raised.value) == message
    assert isinstance(raised.value, TypeError) and isinstance(raised.value, ValueError)


def test_none_keeps_an_options_default():
    default = letterforge.render(PAGE, OCR, TRANSLATION, cleanup_mode="text_inpaint")
    given = letterforge.render(PAGE, OCR, TRANSLATION, cleanup_mode="text_inpaint",
                               font_scale=None, stroke_color=None, grouping=None)
    assert given.png() == default.png()


@pytest.mark.parametrize("font, message", [
    ("/nonexistent/font.ttf", "Could not use font /nonexistent/font.ttf: "),
    ("No Such Family Zq", "Could not use font No Such Family Zq: "),
])
def test_unavailable_font_raises_font_error(font, message):
    with pytest.raises(letterforge.FontError) as raised:
        letterforge.render(PAGE, OCR, TRANSLATION, font=font)
    assert str(raised.value).startswith(message) and raised.value.status == 7


def test_cleanup_mode_none_draws_over_the_untouched_page():
    none = letterforge.render(PAGE, OCR, TRANSLATION, cleanup_mode="None")
    assert all(block.get("cleanup") == "left_alone" for block in none.blocks)


@pytest.mark.parametrize("files, message", [
    ({"output": "page.gif"}, 'output "page.gif": its extension names no format written here'),
    ({"output": "page.png", "debug": "page-debug.BMP"},
     'debug image "page-debug.BMP": its extension names no format written here'),
])
def test_a_file_name_of_a_format_not_written_is_refused_before_rendering(tmp_path, files,
                                                                        message):
    paths = {key: str(tmp_path / name) for key, name in files.items()}
    with pytest.raises(letterforge.OptionError) as raised:
        letterforge.render("missing.png", "missing.json", "missing.json", **paths)
    assert message.split('"')[0] in str(raised.value) and "no format written here" in str(raised.value)
    assert list(tmp_path.iterdir()) == []


def test_the_format_option_writes_under_any_extension(tmp_path):
    letterforge.render(PAGE, OCR, TRANSLATION, output=tmp_path / "page.gif", format="webp")
    assert (tmp_path / "page.gif").read_bytes()[8:12] == b"WEBP"


def test_encoding_options_are_checked_when_encoding():
    result = letterforge.render(PAGE, {"width": 1, "height": 1, "blocks": []},
                                {"translations": []})
    with pytest.raises(letterforge.OptionError, match='format: expected png, jpeg or webp'):
        result.encode("bmp")
    with pytest.raises(letterforge.OptionError, match="quality: expected a number"):
        result.encode("jpeg", "high")


def test_every_exception_is_a_letterforge_error():
    classes = [letterforge.ImageError, letterforge.OptionError, letterforge.PayloadError,
               letterforge.DuplicateIdError, letterforge.WriteError,
               letterforge.OutOfMemoryError, letterforge.FontError, letterforge.CropError]
    assert all(issubclass(c, letterforge.LetterforgeError) for c in classes)
    assert sorted(c.status for c in classes) == [1, 1, 2, 3, 4, 5, 6, 7]


# Run apart, under a limit of address space that a page of 2**28 pixels cannot fit in.
_OUT_OF_MEMORY_SCRIPT = """
import resource, numpy, letterforge
resource.setrlimit(resource.RLIMIT_AS, (768 << 20, resource.RLIM_INFINITY))
page = numpy.lib.stride_tricks.as_strided(numpy.zeros(3, numpy.uint8), shape=(16384, 16384, 3),
                                          strides=(0, 0, 1))
try:
    letterforge.render(page, {"width": 1, "height": 1, "blocks": []}, {"translations": []})
except letterforge.OutOfMemoryError as error:
    print(error.status, error)
"""


def test_page_too_large_for_memory_raises_and_the_interpreter_goes_on():
    # NumPy's linear algebra threads would otherwise reserve address space by the core.
    env = dict(os.environ, PYTHONPATH=os.path.join(BUILD_DIR, "python"), OPENBLAS_NUM_THREADS="1")
    run = subprocess.run([sys.executable, "-c", _OUT_OF_MEMORY_SCRIPT], env=env,
                         capture_output=True, timeout=120)
    assert run.returncode == 0, run.stderr.decode()
    assert run.stdout.decode() == (
        "6 Could not copy the image of 16384 x 16384 pixels: out of memory\n")
