"""What the tests share: where the sources and the built programs are, running letterforge
the way a controlling process does, small pages, and PNG files written from arrays."""

import json
import os
import struct
import subprocess
import zlib

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD_DIR = os.path.abspath(os.environ.get("LF_BUILD_DIR", os.path.join(REPO, "build")))
EXAMPLES = os.path.join(REPO, "examples")
PAGE = os.path.join(EXAMPLES, "page.png")
OCR = os.path.join(EXAMPLES, "ocr.json")
TRANSLATION = os.path.join(EXAMPLES, "translation.json")

# The optional positional values of letterforge's command line, in order, with their
# defaults; "debug" stands where the debug image's path goes.
_POSITIONAL = [("base_font_size", "18"), ("max_font_size", "38"), ("font_scale", "1"),
               ("line_spacing", "1.12"), ("font_weight", "bold"), ("grouping", "true"),
               ("grouping_preset", "balanced"), ("debug", ""),
               ("typesetting_mode", "balanced"), ("cleanup_mode", "white_fill"),
               ("stroke_width", "25"), ("stroke_color", "FFFFFF")]


def schema(name):
    """A validator of schema/<name>.schema.json, itself checked against JSON Schema 2020-12."""
    import jsonschema
    with open(os.path.join(REPO, "schema", name + ".schema.json")) as f:
        document = json.load(f)
    jsonschema.Draft202012Validator.check_schema(document)
    return jsonschema.Draft202012Validator(document)


def program(name):
    return os.path.join(BUILD_DIR, name)


def _argument(value):
    if isinstance(value, bool):
        return "true" if value else "false"
    return str(value)


def run_letterforge(image, ocr, translation, output, debug="", **options):
    """Runs the program with the options in their positions; returns (status, stderr lines)."""
    given = dict(options, debug=debug)
    arguments = [image, ocr, translation, output]
    arguments += [_argument(given.get(name, default)) for name, default in _POSITIONAL]
    run = subprocess.run([program("letterforge")] + arguments, capture_output=True, timeout=120)
    return run.returncode, run.stderr.decode().splitlines()


def sample_page(directory, width, height, blocks):
    """A generated page of `blocks` lettered bubbles: (image, ocr, translation) paths."""
    os.makedirs(directory, exist_ok=True)
    subprocess.run([os.path.join(BUILD_DIR, "tools", "make_sample_page"), directory, str(width),
                    str(height), str(blocks)], check=True, capture_output=True, timeout=120)
    return tuple(os.path.join(directory, name)
                 for name in ("page.png", "ocr.json", "translation.json"))


def png_of(array):
    """An 8-bit RGB or RGBA PNG of a (height, width, 3 or 4) uint8 array, unfiltered."""
    height, width, channels = array.shape
    rows = b"".join(b"\x00" + array[y].tobytes() for y in range(height))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 2 if channels == 3 else 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def read(path):
    with open(path, "rb") as f:
        return f.read()
