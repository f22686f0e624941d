#!/usr/bin/python3
"""Checks a cleanup mode on real pages, where no clean page is known.

  bench/real_pages_check.py --build BUILD [--modes m1,m2] [--payloads DIR] [--pages-dir DIR]
                            [--keep DIR] [--grow N] [--shift DX,DY] [--measure-on given|sent]
                            [--lines]

Every page of DIR (default examples/real) with OCR, and a file NAME.regions.json telling which
balloon, caption, sign or free lettering each block lies in, is rendered by BUILD/letterforge
with a translation drawing no ink for its balloon and caption blocks only; the other blocks
stay untranslated. Per balloon or caption block, with the paper colour taken as the median
colour of its box grown by 2 pixels on the page (lettering covers less than half of a box):

  kept      the block keeps lettering: of the pixels of its box more than 60 levels off the
            paper before cleanup, more than 10 % (and at least 30) are still off after it
  off       a patch off the paper: the mean colour of the pixels cleanup changed in the box
            grown by 10 pixels is more than 12 levels off the paper colour (any channel)

and per page, `wiped`: pixels changed inside an untranslated block's box and outside every
translated block's box grown by 12 pixels (lettering wiped that nobody translated).

On paper printed in coarse dots both counts mislead: the median of a box is a mix of the
paper, its dots and the lettering, and the dots themselves lie more than 60 levels off it, so
even a clean box keeps "ink". The columns `kept*` and `off*` measure the same two things
with the paper taken as the median colour of the box's larger part under a split of its
pixels by their largest channel into a dark and a light part (the lettering is the smaller
part of its box), and with ink counted on both pages after a 3 x 3 median filter, which
clears dots of one or two pixels and keeps strokes of two pixels or more. On flat paper the
two measures mostly agree.

Another OCR engine will not cut its boxes as the payloads' did. `--grow N` sends every block's
box grown by N pixels on each side (a negative N shrinks it, keeping at least a pixel), and
`--shift DX,DY` moves it, both within the page; the untranslated blocks' boxes are sent the same
way. Both counts are then measured on the boxes sent, as a checker holding only that OCR would;
`--measure-on given` measures them on the payload's own boxes instead (where the lettering
is), so that a grown box's outline and tone do not move the measure. `wiped` counts from the
payload's boxes of the untranslated blocks and the reach of the boxes sent. `--lines` reads
NAME.lines.ocr.json, one box per line of lettering, for the pages that have one.
"""
import argparse
import json
import os
import subprocess
import sys

import numpy as np
from PIL import Image
from scipy import ndimage

from scratch import scratch_dir

INK = 60
KEPT_SHARE = 0.10
KEPT_PIXELS = 30
OFF_PAPER = 12
REACH = 12


def box_of(block, shape, grow):
    b = block["bbox"]
    return (max(0, b["y"] - grow), min(shape[0], b["y"] + b["h"] + grow),
            max(0, b["x"] - grow), min(shape[1], b["x"] + b["w"] + grow))


def paper_colour(page, block):
    y0, y1, x0, x1 = box_of(block, page.shape, 2)
    return np.median(page[y0:y1, x0:x1].reshape(-1, 3), axis=0)


def larger_part_colour(page, block):
    """The median colour of the larger part of the box grown by 2, its pixels split by their
    largest channel at the level that sets the two parts farthest apart (Otsu's rule)."""
    y0, y1, x0, x1 = box_of(block, page.shape, 2)
    pixels = page[y0:y1, x0:x1].reshape(-1, 3)
    level = pixels.max(axis=1).astype(np.int64)
    counts = np.bincount(level, minlength=256).astype(float)
    below = np.cumsum(counts)
    below_sum = np.cumsum(counts * np.arange(256))
    n, total = below[-1], below_sum[-1]
    with np.errstate(divide="ignore", invalid="ignore"):
        spread = below * (n - below) * (below_sum / below - (total - below_sum) / (n - below)) ** 2
    spread = np.nan_to_num(spread)
    if spread.max() <= 0:
        return np.median(pixels, axis=0)
    dark = level <= int(np.argmax(spread))
    larger = pixels[~dark] if dark.sum() * 2 <= len(pixels) else pixels[dark]
    return np.median(larger, axis=0)


def median_filtered(page):
    return np.stack([ndimage.median_filter(page[..., c], size=3) for c in range(3)], axis=-1)


def off_paper(pixels, paper):
    return np.abs(pixels.astype(np.int32) - paper.astype(np.int32)).max(axis=-1) > INK


def perturbed(block, width, height, grow, shift):
    """The block with its box grown by `grow` on each side (shrunk when negative, to a pixel at
    least) and moved by `shift`, kept within the page."""
    b = block["bbox"]
    x0, y0 = b["x"] - grow + shift[0], b["y"] - grow + shift[1]
    x1, y1 = b["x"] + b["w"] + grow + shift[0], b["y"] + b["h"] + grow + shift[1]
    if x1 - x0 < 1:
        x0 = x1 = (x0 + x1) // 2
        x1 += 1
    if y1 - y0 < 1:
        y0 = y1 = (y0 + y1) // 2
        y1 += 1
    x0, y0 = min(max(x0, 0), width - 1), min(max(y0, 0), height - 1)
    x1, y1 = min(max(x1, x0 + 1), width), min(max(y1, y0 + 1), height)
    return dict(block, bbox={"x": x0, "y": y0, "w": x1 - x0, "h": y1 - y0})


def check_page(build, page_path, ocr_path, regions, mode, work, grow=0, shift=(0, 0),
               measure_on="sent"):
    given = json.load(open(ocr_path))
    name = os.path.splitext(os.path.basename(page_path))[0]
    ocr = given
    if grow or shift != (0, 0):
        width, height = Image.open(page_path).size
        ocr = dict(given, blocks=[perturbed(b, width, height, grow, shift) for b in given["blocks"]])
        ocr_path = os.path.join(work, name + ".sent.ocr.json")
        with open(ocr_path, "w") as f:
            json.dump(ocr, f)
    kinds = {b: r["kind"] for r in regions["regions"] for b in r["blocks"]}
    cleaned = [b for b in ocr["blocks"] if kinds.get(b["id"]) in ("balloon", "caption")]
    measured = [b for b in (ocr if measure_on == "sent" else given)["blocks"]
                if kinds.get(b["id"]) in ("balloon", "caption")]
    others = [b for b in given["blocks"] if kinds.get(b["id"]) not in ("balloon", "caption")]
    translation = os.path.join(work, name + ".translation.json")
    with open(translation, "w") as f:
        json.dump({"source_language_detected": "en",
                   "translations": [{"id": b["id"], "source_text": b["text"],
                                     "translated_text": "\u200b"} for b in cleaned]}, f)
    out = os.path.join(work, f"{name}-{mode}.png")
    args = [os.path.join(build, "letterforge"), page_path, ocr_path, translation, out, "18",
            "38", "1", "1.12", "bold", "true", "balanced",
            os.path.join(work, f"{name}-{mode}-debug.png"), "balanced", mode, "0"]
    done = subprocess.run(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if done.returncode != 0:
        sys.exit(f"letterforge failed on {name} in {mode}: {done.stderr}")
    before = np.asarray(Image.open(page_path).convert("RGB"))
    after = np.asarray(Image.open(out).convert("RGB"))
    changed = np.abs(before.astype(np.int32) - after.astype(np.int32)).max(axis=2) > 0
    filtered_before, filtered_after = median_filtered(before), median_filtered(after)
    kept, off, kept_dots, off_dots = [], [], [], []
    for b in measured:
        for paper, pages, kept_list, off_list in (
                (paper_colour(before, b), (before, after), kept, off),
                (larger_part_colour(before, b), (filtered_before, filtered_after), kept_dots, off_dots)):
            y0, y1, x0, x1 = box_of(b, before.shape, 0)
            ink_before = int(off_paper(pages[0][y0:y1, x0:x1], paper).sum())
            ink_after = int(off_paper(pages[1][y0:y1, x0:x1], paper).sum())
            if ink_after >= KEPT_PIXELS and ink_after > KEPT_SHARE * ink_before:
                kept_list.append(b["id"])
            y0, y1, x0, x1 = box_of(b, before.shape, 10)
            patch = changed[y0:y1, x0:x1]
            if patch.any():
                mean = after[y0:y1, x0:x1][patch].mean(axis=0)
                if np.abs(mean - paper).max() > OFF_PAPER:
                    off_list.append(b["id"])
    reach = np.zeros(changed.shape, bool)
    for b in cleaned:
        y0, y1, x0, x1 = box_of(b, before.shape, REACH)
        reach[y0:y1, x0:x1] = True
    untranslated = np.zeros(changed.shape, bool)
    for b in others:
        y0, y1, x0, x1 = box_of(b, before.shape, 0)
        untranslated[y0:y1, x0:x1] = True
    wiped = int((changed & untranslated & ~reach).sum())
    return len(cleaned), kept, off, wiped, kept_dots, off_dots


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", required=True)
    ap.add_argument("--modes", default="white_fill,text_inpaint,bubble_clean,repaint")
    ap.add_argument("--payloads", default=os.path.join(root, "examples", "real"))
    ap.add_argument("--pages-dir", default=os.path.normpath(os.path.join(root, "..", "shared", "pages")))
    ap.add_argument("--keep", help="keep the cleaned pages and debug images in this folder")
    ap.add_argument("--grow", type=int, default=0,
                    help="send every box grown by N pixels on each side (negative: shrunk)")
    ap.add_argument("--shift", default="0,0", help="send every box moved by DX,DY pixels")
    ap.add_argument("--measure-on", choices=("sent", "given"), default="sent",
                    help="measure on the boxes sent (default) or on the payload's own")
    ap.add_argument("--lines", action="store_true",
                    help="read NAME.lines.ocr.json, one box per line, where a page has one")
    a = ap.parse_args()
    shift = tuple(int(v) for v in a.shift.split(","))
    if len(shift) != 2:
        sys.exit("--shift takes DX,DY")
    work = a.keep or scratch_dir()
    os.makedirs(work, exist_ok=True)
    pages = sorted(f[:-len(".regions.json")] for f in os.listdir(a.payloads)
                   if f.endswith(".regions.json"))
    if not pages:
        sys.exit(f"no NAME.regions.json in {a.payloads}")
    print(f"{'page':24} {'mode':13} {'blocks':>6} {'kept':>5} {'off':>5} {'wiped':>6} {'kept*':>5} "
          f"{'off*':>5}  kept / off | kept* / off*")
    for mode in a.modes.split(","):
        totals = [0] * 6
        for name in pages:
            image = next((os.path.join(a.pages_dir, name + ext) for ext in (".png", ".jpg")
                          if os.path.exists(os.path.join(a.pages_dir, name + ext))), None)
            if image is None:
                sys.exit(f"no page image for {name} in {a.pages_dir}")
            regions = json.load(open(os.path.join(a.payloads, name + ".regions.json")))
            ocr = os.path.join(a.payloads, name + ".ocr.json")
            if a.lines and os.path.exists(os.path.join(a.payloads, name + ".lines.ocr.json")):
                ocr = os.path.join(a.payloads, name + ".lines.ocr.json")
            n, kept, off, wiped, kept_dots, off_dots = check_page(
                a.build, image, ocr, regions, mode, work, a.grow, shift, a.measure_on)
            row = [n, len(kept), len(off), wiped, len(kept_dots), len(off_dots)]
            totals = [t + v for t, v in zip(totals, row)]
            print(f"{name:24} {mode:13} {n:6} {row[1]:5} {row[2]:5} {wiped:6} {row[4]:5} {row[5]:5}  "
                  f"{' '.join(kept) or '-'} / {' '.join(off) or '-'} | "
                  f"{' '.join(kept_dots) or '-'} / {' '.join(off_dots) or '-'}")
        print(f"{'all':24} {mode:13} {totals[0]:6} {totals[1]:5} {totals[2]:5} {totals[3]:6} "
              f"{totals[4]:5} {totals[5]:5}")


if __name__ == "__main__":
    main()
