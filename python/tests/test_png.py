"""PNG outputs read back by decoders that are not the package's own: Pillow for the pixels,
zlib for the compressed stream that several threads wrote in bands. Rendered pages of every
fixture, generated pages, the extreme sizes, and translucent crops written as RGBA."""

import glob
import io
import os
import struct
import subprocess
import zlib

import numpy
import pytest
from PIL import Image

import letterforge
from support import REPO, program, sample_page

NO_BLOCKS = {"width": 1, "height": 1, "blocks": []}
NO_TRANSLATIONS = {"translations": []}
FIXTURES = sorted(glob.glob(os.path.join(REPO, "platform", "testdata", "*.*")))
FIXTURES = [f for f in FIXTURES if not f.endswith(".sh")]


def chunks(png):
    """(type, data) of every chunk."""
    found, at = [], 8
    while at < len(png):
        length, kind = struct.unpack(">I4s", png[at:at + 8])
        found.append((kind, png[at + 8:at + 8 + length]))
        at += 12 + length
    return found


def image_data(png):
    """The zlib stream of the IDAT chunks, whole."""
    return b"".join(data for kind, data in chunks(png) if kind == b"IDAT")


def pillow_pixels(png):
    with Image.open(io.BytesIO(png)) as image:
        image.load()
        return image.mode, numpy.asarray(image)


def expect_pillow_reads_the_page(result):
    png = result.png()
    mode, pixels = pillow_pixels(png)
    assert mode == "RGB"
    assert numpy.array_equal(pixels, result.page)
    rows = zlib.decompress(image_data(png))
    assert len(rows) == result.height * (1 + 3 * result.width)


@pytest.mark.parametrize("fixture", FIXTURES, ids=os.path.basename)
def test_every_fixture_rendered_reads_back_in_pillow(fixture):
    expect_pillow_reads_the_page(letterforge.render(fixture, NO_BLOCKS, NO_TRANSLATIONS))


@pytest.mark.parametrize("size", [(2480, 3508, 30), (800, 2000, 3)], ids=["a4", "strip"])
def test_generated_pages_read_back_in_pillow_and_zlib(workdir, size):
    image, ocr, translation = sample_page(workdir, *size)
    result = letterforge.render(image, ocr, translation, cleanup_mode="bubble_clean")
    expect_pillow_reads_the_page(result)
    with open(image, "rb") as f:
        written = f.read()
    mode, pixels = pillow_pixels(written)
    assert numpy.array_equal(pixels, letterforge.decode_image(image)[:, :, :3])


@pytest.mark.parametrize("width,height", [(1, 1), (65535, 1), (800, 40000)],
                         ids=["one-pixel", "widest-row", "long-strip"])
@pytest.mark.parametrize("channels", [3, 4], ids=["rgb", "rgba"])
def test_extreme_sizes_read_back_in_pillow(width, height, channels):
    page = numpy.zeros((height, width, channels), numpy.uint8)
    page[:, :, 0] = numpy.arange(width, dtype=numpy.uint32)[None, :] * 37 % 256
    page[:, :, 1] = numpy.arange(height, dtype=numpy.uint32)[:, None] * 53 % 256
    if channels == 4:
        page[:, :, 3] = 255
        page[::3, ::2, 3] = 0  # transparent pixels come out white
    expect_pillow_reads_the_page(letterforge.render(page, NO_BLOCKS, NO_TRANSLATIONS))


def test_translucent_crop_is_written_as_rgba_pillow_reads(workdir):
    source = os.path.join(REPO, "platform", "testdata", "half_alpha.png")
    output = os.path.join(workdir, "crop.png")
    subprocess.run([program("cutframe"), source, output, "0", "0", "4", "4"], check=True,
                   capture_output=True, timeout=60)
    with open(output, "rb") as f:
        png = f.read()
    mode, pixels = pillow_pixels(png)
    assert mode == "RGBA"
    assert numpy.array_equal(pixels, letterforge.crop(source, 0, 0, 4, 4))
    assert (pixels[:, :, 3] < 255).any()
