"""Arrays in and out: RGB and RGBA pages, any layout in memory, and arrays that cannot be
pages refused before anything is copied."""

import os

import numpy
import pytest

import letterforge
from support import OCR, PAGE, TRANSLATION, png_of, run_letterforge

NO_BLOCKS = {"width": 1, "height": 1, "blocks": []}
NO_TRANSLATIONS = {"translations": []}


def test_page_array_is_the_rgb_of_the_programs_png(workdir):
    output = os.path.join(workdir, "out.png")
    run_letterforge(PAGE, OCR, TRANSLATION, output)
    page = letterforge.render(letterforge.decode_image(PAGE)[:, :, :3], OCR, TRANSLATION).page

    written = letterforge.decode_image(output)
    assert page.shape == (1700, 1200, 3) and page.dtype == numpy.uint8
    assert (written[:, :, 3] == 255).all()
    assert numpy.array_equal(page, written[:, :, :3])


def test_rgba_transparency_comes_out_white_as_from_a_png_file(workdir):
    rgba = numpy.zeros((40, 60, 4), numpy.uint8)
    rgba[:, :, 0] = 200  # red everywhere, at three opacities
    rgba[:, :20, 3] = 0
    rgba[:, 20:40, 3] = 128
    rgba[:, 40:, 3] = 255
    path = os.path.join(workdir, "rgba.png")
    with open(path, "wb") as f:
        f.write(png_of(rgba))
    output = os.path.join(workdir, "out.png")
    run_letterforge(path, OCR, TRANSLATION, output)

    result = letterforge.render(rgba, NO_BLOCKS, NO_TRANSLATIONS)

    assert (result.page[:, :20] == 255).all(), "fully transparent is white"
    assert (result.page[:, 40:] == [200, 0, 0]).all(), "opaque keeps its colour"
    half = result.page[:, 20:40]
    assert (half[:, :, 0] > 200).all() and (half[:, :, 1] < 255).all()
    assert (half[:, :, 1:] > 100).all(), "half transparent is blended with white"
    assert result.png() == open(output, "rb").read()


def _layouts():
    base = numpy.random.default_rng(7).integers(0, 256, (30, 50, 4), dtype=numpy.uint8)
    return [
        ("every other pixel", numpy.ascontiguousarray(
            numpy.repeat(numpy.repeat(base, 2, 0), 2, 1))[::2, ::2]),
        ("upside down", base[::-1]),
        ("channels reversed", base[:, :, ::-1]),
        ("fortran order", numpy.asfortranarray(base)),
        ("rgb view of rgba", base[:, :, :3]),
        ("read only", numpy.frombuffer(base.tobytes(), numpy.uint8).reshape(base.shape)),
    ]


@pytest.mark.parametrize("name, array", _layouts(), ids=[name for name, _ in _layouts()])
def test_arrays_of_any_layout_render_as_their_contiguous_copy(name, array):
    expected = letterforge.render(numpy.ascontiguousarray(array), NO_BLOCKS, NO_TRANSLATIONS)
    result = letterforge.render(array, NO_BLOCKS, NO_TRANSLATIONS)
    assert numpy.array_equal(result.page, expected.page)


def _zero_strided(height, width):
    """A huge array over one pixel of memory."""
    return numpy.lib.stride_tricks.as_strided(numpy.zeros(3, numpy.uint8),
                                              shape=(height, width, 3), strides=(0, 0, 1))


@pytest.mark.parametrize("array, message", [
    (numpy.zeros((4, 4, 3), numpy.float64), "found float64 of shape (4, 4, 3)"),
    (numpy.zeros((4, 4, 3), numpy.int16), "found int16 of shape (4, 4, 3)"),
    (numpy.zeros((4, 4, 3), numpy.int8), "found int8 of shape (4, 4, 3)"),
    (numpy.zeros((4, 4, 3), bool), "found bool of shape (4, 4, 3)"),
    (numpy.zeros((4, 4), numpy.uint8), "found uint8 of shape (4, 4)"),
    (numpy.zeros((4, 4, 2), numpy.uint8), "found uint8 of shape (4, 4, 2)"),
    (numpy.zeros((4, 4, 5), numpy.uint8), "found uint8 of shape (4, 4, 5)"),
    (numpy.zeros((4, 4, 3, 1), numpy.uint8), "found uint8 of shape (4, 4, 3, 1)"),
    (numpy.zeros(12, numpy.uint8), "found uint8 of shape (12,)"),
    (numpy.zeros((0, 0, 3), numpy.uint8), "image of 0 x 0 pixels"),
    (numpy.zeros((5, 0, 4), numpy.uint8), "image of 0 x 5 pixels"),
    (_zero_strided(1, 65536), "image of 65536 x 1 pixels"),
    (_zero_strided(65536, 1), "image of 1 x 65536 pixels"),
    (_zero_strided(20000, 20000), "image of 20000 x 20000 pixels"),
], ids=lambda v: v if isinstance(v, str) else None)
def test_arrays_that_cannot_be_pages_are_refused_with_what_was_found(array, message):
    with pytest.raises(letterforge.ImageError) as error:
        letterforge.render(array, NO_BLOCKS, NO_TRANSLATIONS)
    assert message in str(error.value)
    if "pixels" in message:
        assert "each side must be 1 to 65535 pixels and the whole at most 268435456" in str(
            error.value)
    else:
        assert str(error.value).startswith(
            "image: expected a uint8 array of shape (height, width, 3) or (height, width, 4)")


def test_largest_side_passes_the_array_check():
    # Cropped rather than rendered: the check is the same, and no page-sized bitmap is made.
    piece = letterforge.crop(_zero_strided(1, 65535), 65500, 0, 10, 1)
    assert piece.shape == (1, 65535 - 65460, 3)  # padded by 40 and cut at the right edge
    with pytest.raises(letterforge.ImageError, match="image of 65536 x 1 pixels"):
        letterforge.crop(_zero_strided(1, 65536), 0, 0, 10, 1)


@pytest.mark.parametrize("image", [[[0, 0, 0]], 12, None, {"path": PAGE}])
def test_other_kinds_of_image_are_refused(image):
    with pytest.raises(letterforge.ImageError, match="expected a path, the bytes of an image"):
        letterforge.render(image, NO_BLOCKS, NO_TRANSLATIONS)


def test_decoded_image_is_rgba_top_first(workdir):
    rgb = numpy.arange(4 * 3 * 3, dtype=numpy.uint8).reshape(4, 3, 3)
    decoded = letterforge.decode_image(png_of(rgb))
    assert decoded.shape == (4, 3, 4)
    assert numpy.array_equal(decoded[:, :, :3], rgb) and (decoded[:, :, 3] == 255).all()
