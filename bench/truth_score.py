#!/usr/bin/python3
"""Scores cleanup modes on pages made by truth_pages.py, against their known clean pages.

  bench/truth_score.py SET [SET...] --build BUILD [--modes m1,m2,...] [--keep DIR]
                       [--markdown]

Each page is rendered by BUILD/letterforge in each mode (its translations draw no ink, so the
output is the cleaned page); the mode "cv2" is OpenCV's cv2.inpaint (Telea, radius 3) over a
mask of the dark strokes of every block (its box grown by 4 pixels, pixels more than 60 levels
darker than the median of the grown box's border, grown by 2 pixels). Per ground category:

  residual  share of lettering pixels more than 40 levels off the clean page (any channel)
  error     mean absolute difference, in levels, over the lettering grown by 3 pixels
  damage    share of pixels more than 40 levels off outside every block grown by 12 pixels
  cpu       CPU milliseconds per page: the whole letterforge process (start, decoding, PNG
            writing included), or mask and inpainting alone for cv2

A row "none" (no cleanup) shows what a run costs without cleanup.
"""
import argparse
import json
import os
import resource
import subprocess
import sys
import time

try:
    import cv2  # imported before any page is timed
except ImportError:
    cv2 = None

import numpy as np
from PIL import Image

from scratch import scratch_dir

OFF = 40
DEFAULT_MODES = "none,white_fill,text_inpaint,bubble_clean,repaint,cv2"


def grow(mask, r):
    """Square dilation by r pixels."""
    out = mask.copy()
    for axis in (0, 1):
        src = out.copy()
        for d in range(1, r + 1):
            out[tuple(slice(d, None) if k == axis else slice(None) for k in range(2))] |= \
                src[tuple(slice(None, -d) if k == axis else slice(None) for k in range(2))]
            out[tuple(slice(None, -d) if k == axis else slice(None) for k in range(2))] |= \
                src[tuple(slice(d, None) if k == axis else slice(None) for k in range(2))]
    return out


def block_area(blocks, shape, grow_by):
    area = np.zeros(shape, bool)
    for b in blocks:
        x, y, w, h = (b["bbox"][k] for k in ("x", "y", "w", "h"))
        area[max(0, y - grow_by):max(0, y + h + grow_by), max(0, x - grow_by):max(0, x + w + grow_by)] = True
    return area


def cv2_clean(page, blocks):
    lum = page @ np.array([0.299, 0.587, 0.114])
    mask = np.zeros(lum.shape, np.uint8)
    for b in blocks:
        x, y, w, h = (b["bbox"][k] for k in ("x", "y", "w", "h"))
        x0, y0 = max(0, x - 4), max(0, y - 4)
        x1, y1 = min(lum.shape[1], x + w + 4), min(lum.shape[0], y + h + 4)
        box = lum[y0:y1, x0:x1]
        ring = np.concatenate([box[0], box[-1], box[:, 0], box[:, -1]])
        mask[y0:y1, x0:x1] |= (box < np.median(ring) - 60).astype(np.uint8)
    mask = grow(mask.astype(bool), 2).astype(np.uint8) * 255
    bgr = np.ascontiguousarray(page[:, :, ::-1])
    return cv2.inpaint(bgr, mask, 3, cv2.INPAINT_TELEA)[:, :, ::-1]


def run_letterforge(build, base, mode, out):
    args = [os.path.join(build, "letterforge"), base + ".png", base + ".ocr.json",
            base + ".translation.json", out, "18", "38", "1", "1.12", "bold", "true",
            "balanced", "", "balanced", mode, "0"]
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    done = subprocess.run(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode != 0:
        sys.exit(f"letterforge failed on {base} in {mode}: {done.stderr}")
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return np.asarray(Image.open(out).convert("RGB")), cpu


class Tally:
    def __init__(self):
        self.letters = self.left = self.near = 0
        self.error = 0.0
        self.outside = self.damaged = 0
        self.cpu = 0.0
        self.pages = 0

    def add(self, clean, result, mask, blocks, cpu):
        diff = np.abs(result.astype(np.int32) - clean.astype(np.int32))
        off = diff.max(axis=2) > OFF
        self.letters += int(mask.sum())
        self.left += int((off & mask).sum())
        near = grow(mask, 3)
        self.near += int(near.sum())
        self.error += float(diff.mean(axis=2)[near].sum())
        outside = ~block_area(blocks, mask.shape, 12)
        self.outside += int(outside.sum())
        self.damaged += int((off & outside).sum())
        self.cpu += cpu
        self.pages += 1

    def row(self):
        return (100.0 * self.left / max(self.letters, 1), self.error / max(self.near, 1),
                100.0 * self.damaged / max(self.outside, 1), 1000.0 * self.cpu / max(self.pages, 1))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("sets", nargs="+")
    ap.add_argument("--build", required=True)
    ap.add_argument("--modes", default=DEFAULT_MODES)
    ap.add_argument("--keep", help="keep the cleaned pages in this folder")
    ap.add_argument("--only", help="score only pages whose name contains this")
    ap.add_argument("--markdown", action="store_true")
    a = ap.parse_args()
    modes = a.modes.split(",")
    tallies = {}
    categories = []
    work = a.keep or scratch_dir()
    os.makedirs(work, exist_ok=True)
    for s in a.sets:
        listing = json.load(open(os.path.join(s, "set.json")))
        for p in listing["pages"]:
            if a.only and a.only not in p["name"]:
                continue
            base = os.path.join(s, p["name"])
            clean = np.asarray(Image.open(base + ".clean.png").convert("RGB"))
            mask = np.asarray(Image.open(base + ".mask.png")) > 0
            page = np.asarray(Image.open(base + ".png").convert("RGB"))
            blocks = json.load(open(base + ".ocr.json"))["blocks"]
            if p["category"] not in categories:
                categories.append(p["category"])
            for mode in modes:
                if mode == "cv2":
                    start = time.process_time()
                    result = cv2_clean(page, blocks)
                    cpu = time.process_time() - start
                    if a.keep:
                        Image.fromarray(result).save(
                            os.path.join(work, f"{os.path.basename(s)}-{p['name']}-cv2.png"))
                else:
                    out = os.path.join(work, f"{os.path.basename(s)}-{p['name']}-{mode}.png")
                    result, cpu = run_letterforge(a.build, base, mode, out)
                for key in (p["category"], "all"):
                    tallies.setdefault((key, mode), Tally()).add(clean, result, mask, blocks, cpu)
    if a.markdown:
        print("| ground | mode | residual | error | damage | CPU ms/page |")
        print("|---|---|---:|---:|---:|---:|")
    else:
        print(f"{'ground':18} {'mode':13} {'residual':>9} {'error':>7} {'damage':>8} {'cpu ms':>8}")
    for c in categories + ["all"]:
        for mode in modes:
            r, e, d, t = tallies[(c, mode)].row()
            if a.markdown:
                print(f"| {c} | {mode} | {r:.1f} % | {e:.1f} | {d:.3f} % | {t:.0f} |")
            else:
                print(f"{c:18} {mode:13} {r:8.1f}% {e:7.1f} {d:7.3f}% {t:8.0f}")


if __name__ == "__main__":
    main()
