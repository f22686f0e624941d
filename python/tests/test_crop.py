"""letterforge.crop: the crop program's rectangle arithmetic on arrays and on files."""

import math
import os
import subprocess

import numpy
import pytest

import letterforge
from support import PAGE, png_of, program


def _coordinates(height, width):
    """Each pixel holds its own column and row: (x % 256, y % 256, x // 256, y // 256)."""
    y, x = numpy.mgrid[0:height, 0:width]
    return numpy.stack([x % 256, y % 256, x // 256, y // 256], axis=2).astype(numpy.uint8)


def _origin(piece):
    r, g, b, a = (int(v) for v in piece[0, 0])
    return r + 256 * b, g + 256 * a


IMAGE = _coordinates(800, 1000)


# Worked by hand: pad = max(longer side x ratio, 40), corners clamped to the 1000 x 800
# image, the size from the unrounded corner.
@pytest.mark.parametrize("name, x, y, w, h, ratio, origin, size", [
    ("default ratio", 100, 100, 50, 20, 0.22, (60, 60), (130, 100)),
    ("ratio one", 100, 100, 50, 20, 1.0, (50, 50), (150, 120)),
    ("clamped at the top left", 10, 10, 50, 20, 0.22, (0, 0), (100, 70)),
    ("runs past the right edge", 950, 100, 100, 20, 0.22, (910, 60), (90, 100)),
    ("fractional x", 100.5, 100, 10, 10, 0.22, (60, 60), (90, 90)),
    ("zero and negative sizes count as one", 100, 100, 0, -5, 0.22, (60, 60), (81, 81)),
    ("negative ratio counts as none", 100, 100, 50, 20, -3, (60, 60), (130, 100)),
    ("infinite ratio is the whole image", 100, 100, 50, 20, math.inf, (0, 0), (1000, 800)),
    ("ratio beyond any float is the whole image", 100, 100, 50, 20, 10**400, (0, 0), (1000, 800)),
    ("not-a-number x starts at the edge", math.nan, 100, 50, 20, 0.22, (0, 60), (1000, 100)),
])
def test_array_crop_matches_the_hand_worked_rectangle(name, x, y, w, h, ratio, origin, size):
    piece = letterforge.crop(IMAGE, x, y, w, h, ratio)
    assert _origin(piece) == origin
    assert (piece.shape[1], piece.shape[0]) == size
    assert piece.shape[2] == 4 and piece.flags.c_contiguous


def test_rgb_array_crop_keeps_three_channels_and_is_a_copy():
    rgb = numpy.ascontiguousarray(IMAGE[:, :, :3])
    piece = letterforge.crop(rgb, 100, 100, 50, 20)
    piece[:] = 0
    assert piece.shape == (100, 130, 3) and rgb[60, 60, 0] == 60


@pytest.mark.parametrize("x, y, message", [
    (5000, 100, "Could not crop image"),
    (100, 900, "Could not crop image"),
    ("12", 100, "Invalid crop rectangle"),
    (None, 100, "Invalid crop rectangle"),
    (10**400, 100, "Invalid crop rectangle"),
    (100, -10**400, "Invalid crop rectangle"),
])
def test_bad_rectangles_raise_crop_error_with_the_programs_message(x, y, message):
    with pytest.raises(letterforge.CropError) as raised:
        letterforge.crop(IMAGE, x, y, 50, 20)
    assert str(raised.value) == message


@pytest.mark.parametrize("x, y, w, h, ratio", [(100, 100, 50, 20, 0.22), (590, 150, 260, 90, 0.5),
                                                (1150, 1650, 100, 100, 0.1)])
def test_file_crop_is_the_crop_programs_image(workdir, x, y, w, h, ratio):
    output = os.path.join(workdir, "crop.png")
    subprocess.run([program("cutframe"), PAGE, output, str(x), str(y), str(w), str(h),
                    str(ratio)], check=True, timeout=60)
    expected = letterforge.decode_image(output)
    with open(PAGE, "rb") as f:
        page_bytes = f.read()

    assert numpy.array_equal(letterforge.crop(PAGE, x, y, w, h, ratio), expected)
    assert numpy.array_equal(letterforge.crop(page_bytes, x, y, w, h, ratio), expected)
    assert numpy.array_equal(letterforge.crop(letterforge.decode_image(PAGE), x, y, w, h, ratio),
                             expected)


def test_file_crop_failures_carry_the_crop_programs_messages(workdir):
    missing = os.path.join(workdir, "missing.png")
    truncated = os.path.join(workdir, "truncated.png")
    with open(truncated, "wb") as f:
        f.write(png_of(IMAGE[:100, :100])[:200])
    with pytest.raises(letterforge.ImageError, match=f"^Could not open image: {missing}$"):
        letterforge.crop(missing, 0, 0, 10, 10)
    with pytest.raises(letterforge.ImageError, match=f"^Could not decode image: {truncated}$"):
        letterforge.crop(truncated, 0, 0, 10, 10)
    with pytest.raises(letterforge.CropError, match="^Could not crop image$"):
        letterforge.crop(PAGE, 5000, 0, 10, 10)
