#!/usr/bin/python3
"""Checks a cleanup mode on real pages, where no clean page is known.

  bench/real_pages_check.py --build BUILD [--modes m1,m2] [--payloads DIR] [--pages-dir DIR]
                            [--keep DIR]

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
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image

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


def off_paper(pixels, paper):
    return np.abs(pixels.astype(np.int32) - paper.astype(np.int32)).max(axis=-1) > INK


def check_page(build, page_path, ocr_path, regions, mode, work):
    ocr = json.load(open(ocr_path))
    kinds = {b: r["kind"] for r in regions["regions"] for b in r["blocks"]}
    cleaned = [b for b in ocr["blocks"] if kinds.get(b["id"]) in ("balloon", "caption")]
    others = [b for b in ocr["blocks"] if kinds.get(b["id"]) not in ("balloon", "caption")]
    name = os.path.splitext(os.path.basename(page_path))[0]
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
    kept, off = [], []
    for b in cleaned:
        paper = paper_colour(before, b)
        y0, y1, x0, x1 = box_of(b, before.shape, 0)
        ink_before = int(off_paper(before[y0:y1, x0:x1], paper).sum())
        ink_after = int(off_paper(after[y0:y1, x0:x1], paper).sum())
        if ink_after >= KEPT_PIXELS and ink_after > KEPT_SHARE * ink_before:
            kept.append(b["id"])
        y0, y1, x0, x1 = box_of(b, before.shape, 10)
        patch = changed[y0:y1, x0:x1]
        if patch.any():
            mean = after[y0:y1, x0:x1][patch].mean(axis=0)
            if np.abs(mean - paper).max() > OFF_PAPER:
                off.append(b["id"])
    reach = np.zeros(changed.shape, bool)
    for b in cleaned:
        y0, y1, x0, x1 = box_of(b, before.shape, REACH)
        reach[y0:y1, x0:x1] = True
    untranslated = np.zeros(changed.shape, bool)
    for b in others:
        y0, y1, x0, x1 = box_of(b, before.shape, 0)
        untranslated[y0:y1, x0:x1] = True
    wiped = int((changed & untranslated & ~reach).sum())
    return len(cleaned), kept, off, wiped


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", required=True)
    ap.add_argument("--modes", default="white_fill,text_inpaint,bubble_clean,repaint")
    ap.add_argument("--payloads", default=os.path.join(root, "examples", "real"))
    ap.add_argument("--pages-dir", default=os.path.normpath(os.path.join(root, "..", "shared", "pages")))
    ap.add_argument("--keep", help="keep the cleaned pages and debug images in this folder")
    a = ap.parse_args()
    work = a.keep or tempfile.mkdtemp()
    os.makedirs(work, exist_ok=True)
    pages = sorted(f[:-len(".regions.json")] for f in os.listdir(a.payloads)
                   if f.endswith(".regions.json"))
    if not pages:
        sys.exit(f"no NAME.regions.json in {a.payloads}")
    print(f"{'page':24} {'mode':13} {'blocks':>6} {'kept':>5} {'off':>5} {'wiped':>6}  kept / off")
    for mode in a.modes.split(","):
        totals = [0, 0, 0, 0]
        for name in pages:
            image = next((os.path.join(a.pages_dir, name + ext) for ext in (".png", ".jpg")
                          if os.path.exists(os.path.join(a.pages_dir, name + ext))), None)
            if image is None:
                sys.exit(f"no page image for {name} in {a.pages_dir}")
            regions = json.load(open(os.path.join(a.payloads, name + ".regions.json")))
            n, kept, off, wiped = check_page(a.build, image,
                                             os.path.join(a.payloads, name + ".ocr.json"),
                                             regions, mode, work)
            totals = [totals[0] + n, totals[1] + len(kept), totals[2] + len(off), totals[3] + wiped]
            print(f"{name:24} {mode:13} {n:6} {len(kept):5} {len(off):5} {wiped:6}  "
                  f"{' '.join(kept) or '-'} / {' '.join(off) or '-'}")
        print(f"{'all':24} {mode:13} {totals[0]:6} {totals[1]:5} {totals[2]:5} {totals[3]:6}")


if __name__ == "__main__":
    main()
