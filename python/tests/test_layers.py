"""Layers for editing afterwards: the same files from Python, the C library and
letterforge-batch; the PSD read back with its pixels by psd-tools and ImageMagick; a page
whose layers cannot be made fails whole."""

import io
import json
import os
import shutil
import subprocess

import numpy
import pytest
from PIL import Image

import letterforge
from support import OCR, PAGE, TRANSLATION, program, read

MODES = ["white_fill", "text_inpaint", "bubble_clean", "repaint"]
psd_tools = pytest.importorskip("psd_tools")


def pixels(data, mode="RGBA"):
    return numpy.asarray(Image.open(io.BytesIO(data)).convert(mode))


@pytest.mark.parametrize("mode", MODES)
def test_the_text_over_the_cleaned_page_is_the_page(mode):
    result = letterforge.render(PAGE, OCR, TRANSLATION, layers=True, cleanup_mode=mode)
    layers = result.layers
    cleaned = pixels(layers["cleaned"], "RGB").astype(float)
    text = pixels(layers["text"]).astype(float)
    alpha = text[..., 3:] / 255.0
    over = text[..., :3] * alpha + cleaned * (1 - alpha)
    # Straight colours from premultiplied ones are off by a level or two where alpha is low.
    assert numpy.abs(over - result.page).max() <= 3
    assert alpha.max() == 1.0 and alpha.min() == 0.0
    mask = pixels(layers["mask"], "L")
    original = letterforge.decode_image(PAGE)[..., :3]
    changed = (pixels(layers["cleaned"], "RGB") != original).any(axis=2)
    assert (mask[changed] == 255).all()
    assert set(numpy.unique(mask)) <= {0, 255}
    assert (mask == 255).any() or mode == "white_fill" and not changed.any()


def test_the_psd_holds_every_layer_with_its_pixels_for_psd_tools_and_imagemagick(workdir):
    result = letterforge.render(PAGE, OCR, TRANSLATION, layers=True, cleanup_mode="repaint")
    layers = result.layers
    path = os.path.join(workdir, "page.psd")
    with open(path, "wb") as f:
        f.write(layers["psd"])
    psd = psd_tools.PSDImage.open(path)
    assert [layer.name for layer in psd] == ["Original", "Cleaned", "Text"]
    expected = [letterforge.decode_image(PAGE), pixels(layers["cleaned"]), pixels(layers["text"])]
    for layer, want in zip(psd, expected):
        got = numpy.asarray(layer.topil().convert("RGBA"))
        assert (got == want).all(), layer.name
    assert (numpy.asarray(psd.topil().convert("RGB")) == result.page).all()

    if shutil.which("convert") is None:
        pytest.skip("ImageMagick is not installed (scripts/setup.sh installs it)")
    for index, want in enumerate([result.page] + expected):
        out = os.path.join(workdir, f"layer{index}.png")
        subprocess.run(["convert", f"{path}[{index}]", "-define", "png:color-type=6", out],
                       check=True, capture_output=True, timeout=120)
        got = numpy.asarray(Image.open(out).convert("RGBA"))
        if want.shape[2] == 3:
            assert (got[..., :3] == want).all(), index
        else:
            visible = want[..., 3] > 0
            assert (got[..., 3] == want[..., 3]).all(), index
            assert (got[visible][:, :3] == want[visible][:, :3]).all(), index


def test_batch_writes_the_same_four_files_and_names_them(workdir):
    prefix = os.path.join(workdir, "layers", "p1")
    manifest = os.path.join(workdir, "m.jsonl")
    with open(manifest, "w") as f:
        f.write(json.dumps({"image": PAGE, "ocr": OCR, "translation": TRANSLATION,
                            "output": os.path.join(workdir, "p1.png"), "layers": prefix,
                            "cleanup_mode": "repaint"}) + "\n")
    run = subprocess.run([program("letterforge-batch"), "--quiet", manifest],
                         capture_output=True, timeout=300)
    assert run.returncode == 0, run.stderr
    record = json.loads(run.stdout.decode().splitlines()[0])
    assert record["layers"] == prefix
    layers = letterforge.render(PAGE, OCR, TRANSLATION, layers=True, cleanup_mode="repaint").layers
    for name, suffix in [("cleaned", ".cleaned.png"), ("text", ".text.png"),
                         ("mask", ".mask.png"), ("psd", ".psd")]:
        assert read(prefix + suffix) == layers[name], name


def test_a_page_over_the_psd_limit_fails_and_writes_nothing(workdir):
    wide = numpy.full((4, 30001, 3), 255, numpy.uint8)
    ocr = {"width": 30001, "height": 4, "blocks": []}
    translations = {"source_language_detected": "en", "translations": []}
    prefix, output = os.path.join(workdir, "wide"), os.path.join(workdir, "wide.png")
    with pytest.raises(letterforge.WriteError) as raised:
        letterforge.render(wide, ocr, translations, layers=prefix, output=output)
    assert str(raised.value) == ("Could not write the layers of the page: a PSD holds at most "
                                 "30000 pixels a side, the page is 30001 x 4")
    assert raised.value.status == 5
    assert os.listdir(workdir) == []
    # Without layers the same page renders.
    assert letterforge.render(wide, ocr, translations).width == 30001


def test_layers_that_cannot_be_written_leave_none_of_the_four(workdir):
    blocker = os.path.join(workdir, "taken")
    os.makedirs(os.path.join(blocker + ".mask.png"))  # a folder where a file must go
    result = letterforge.render(PAGE, OCR, TRANSLATION, layers=True)
    with pytest.raises(letterforge.WriteError):
        result.save_layers(blocker)
    assert sorted(os.listdir(workdir)) == ["taken.mask.png"]


def test_no_layers_unless_asked():
    assert letterforge.render(PAGE, OCR, TRANSLATION).layers is None
    with pytest.raises(letterforge.LetterforgeError):
        letterforge.render(PAGE, OCR, TRANSLATION).save_layers("/nonexistent/x")


def test_batch_keeps_no_layers_of_a_page_whose_output_cannot_be_written(workdir):
    output = os.path.join(workdir, "taken.png")
    os.makedirs(output)  # a folder where the page must go
    manifest = os.path.join(workdir, "m.jsonl")
    with open(manifest, "w") as f:
        f.write(json.dumps({"image": PAGE, "ocr": OCR, "translation": TRANSLATION,
                            "output": output, "layers": os.path.join(workdir, "p1")}) + "\n")
    run = subprocess.run([program("letterforge-batch"), "--quiet", manifest],
                         capture_output=True, timeout=300)
    record = json.loads(run.stdout.decode().splitlines()[0])
    assert run.returncode == 1 and record["status"] == 5
    assert sorted(os.listdir(workdir)) == ["m.jsonl", "taken.png"]
