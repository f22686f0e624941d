#!/usr/bin/python3
"""Compares repaint's lettering mask with the true one, on pages made by truth_pages.py.

  bench/mask_score.py SET [SET...] --build BUILD [--only WORD] [--keep DIR] [--blocks]

Each page is rendered by BUILD/letterforge-batch in `repaint` with its layers (the options of
truth_score.py: grouping on, a translation that draws no ink); the cleanup mask layer (every
pixel cleanup masked or changed) is set against NAME.mask.png. The lettering that counts is
what is visible: true mask pixels more than 40 levels off the clean page on the lettered one
(a white halo over white paper needs no cleaning). Per ground category:

  blocks       blocks repainted, and of them `not_cleaned`
  residual     share of visible lettering more than 40 levels off the clean page after cleanup,
               split into `missed` (outside our mask: the mask's share) and `filled` (inside
               it, filled wrong: the fill's share)
  missed       share of visible lettering outside our mask, and of it the part in blocks
               reported not_cleaned
  extra        our mask's pixels outside the true mask, as a share of the true mask's pixels:
               within 1 pixel of it (the growth), 2 to 3 pixels, farther (drawing taken)

--blocks prints one line per block with its own figures, worst missed first.
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

OFF = 40
OPTIONS = {"base_font_size": 18, "max_font_size": 38, "font_scale": 1, "line_spacing": 1.12,
           "font_weight": "bold", "grouping": True, "grouping_preset": "balanced",
           "typesetting_mode": "balanced", "cleanup_mode": "repaint", "stroke_width": 0}
REACH = 12


def run_batch(build, pages, work):
    manifest = os.path.join(work, "pages.jsonl")
    with open(manifest, "w") as f:
        for base, name in pages:
            job = {"image": base + ".png", "ocr": base + ".ocr.json",
                   "translation": base + ".translation.json",
                   "output": os.path.join(work, name + ".out.png"),
                   "layers": os.path.join(work, name)}
            job.update(OPTIONS)
            f.write(json.dumps(job) + "\n")
    done = subprocess.run([os.path.join(build, "letterforge-batch"), "--jobs", "1", manifest],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    results = {}
    for line in done.stdout.splitlines():
        r = json.loads(line)
        if not r.get("ok"):
            sys.exit(f"letterforge-batch failed: {line}")
        results[os.path.basename(r["layers"])] = r
    return results


def blocks_of(result, blocks):
    """Per block: its box and its cleanup word."""
    boxes = {b["id"]: b["bbox"] for b in blocks}
    out = []
    for b in result["blocks"]:
        box = boxes[b["id"]]
        out.append((b["id"], {"box": [box["x"], box["y"], box["x"] + box["w"], box["y"] + box["h"]],
                              "cleanup": b["cleanup"]}))
    return out


class Tally:
    def __init__(self):
        self.blocks = self.not_cleaned = 0
        self.visible = self.left = self.left_missed = 0
        self.missed = self.missed_nc = 0
        self.true = 0
        self.extra = [0, 0, 0]

    def add(self, other):
        for k, v in vars(other).items():
            if isinstance(v, list):
                for i, x in enumerate(v):
                    getattr(self, k)[i] += x
            else:
                setattr(self, k, getattr(self, k) + v)

    def row(self):
        v, t = max(self.visible, 1), max(self.true, 1)
        return [self.blocks, self.not_cleaned, 100.0 * self.left / v,
                100.0 * self.left_missed / v, 100.0 * (self.left - self.left_missed) / v,
                100.0 * self.missed / v, 100.0 * self.missed_nc / v] + \
               [100.0 * e / t for e in self.extra]


def score_page(base, work, name, result):
    page = np.asarray(Image.open(base + ".png").convert("RGB")).astype(np.int32)
    clean = np.asarray(Image.open(base + ".clean.png").convert("RGB")).astype(np.int32)
    true = np.asarray(Image.open(base + ".mask.png")) > 0
    ours = np.asarray(Image.open(os.path.join(work, name + ".mask.png"))) > 0
    cleaned = np.asarray(Image.open(os.path.join(work, name + ".cleaned.png")).convert("RGB"))
    blocks = json.load(open(base + ".ocr.json"))["blocks"]
    visible = true & (np.abs(page - clean).max(axis=2) > OFF)
    left = visible & (np.abs(cleaned.astype(np.int32) - clean).max(axis=2) > OFF)
    missed = visible & ~ours
    near1 = ndimage.binary_dilation(true, np.ones((3, 3), bool))
    near3 = ndimage.binary_dilation(true, np.ones((7, 7), bool))
    extra = ours & ~true
    # Each pixel belongs to the block whose box is nearest, within its reach.
    owner = np.full(true.shape, -1, np.int32)
    nearest = np.full(true.shape, np.inf)
    yy, xx = np.mgrid[0:true.shape[0], 0:true.shape[1]]
    found = blocks_of(result, blocks)
    for k, (_, item) in enumerate(found):
        x0, y0, x1, y1 = item["box"]
        away = np.maximum(np.maximum(x0 - xx, xx - (x1 - 1)).clip(0),
                          np.maximum(y0 - yy, yy - (y1 - 1)).clip(0))
        closer = (away <= REACH) & (away < nearest)
        owner[closer] = k
        nearest[closer] = away[closer]
    per_block = []
    for k, (label, item) in enumerate(found):
        here = owner == k
        t = Tally()
        t.blocks = 1
        t.not_cleaned = 1 if item["cleanup"] == "not_cleaned" else 0
        t.visible = int((visible & here).sum())
        t.left = int((left & here).sum())
        t.left_missed = int((left & missed & here).sum())
        t.missed = int((missed & here).sum())
        t.missed_nc = t.missed if t.not_cleaned else 0
        t.true = int((true & here).sum())
        t.extra = [int((extra & here & near1).sum()), int((extra & here & near3 & ~near1).sum()),
                   int((extra & here & ~near3).sum())]
        per_block.append((label, item, t))
    return per_block


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("sets", nargs="+")
    ap.add_argument("--build", required=True)
    ap.add_argument("--only", help="score only pages whose name contains this")
    ap.add_argument("--keep", help="keep the layers in this folder")
    ap.add_argument("--blocks", action="store_true", help="a line per block, worst first")
    a = ap.parse_args()
    work = a.keep or scratch_dir()
    os.makedirs(work, exist_ok=True)
    pages = []
    for s in a.sets:
        for p in json.load(open(os.path.join(s, "set.json")))["pages"]:
            if not a.only or a.only in p["name"]:
                pages.append((os.path.join(s, p["name"]), f"{os.path.basename(s)}-{p['name']}",
                              p["category"]))
    results = run_batch(a.build, [(b, n) for b, n, _ in pages], work)
    tallies, lines = {}, []
    for base, name, category in pages:
        for label, item, t in score_page(base, work, name, results[name]):
            for key in (category, "all"):
                tallies.setdefault(key, Tally()).add(t)
            lines.append((t.missed, name, label, item, t))
    print("| ground | blocks | not cleaned | residual % | of it missed | of it filled | missed %"
          " | in not cleaned | extra <=1 px % | extra 2-3 px % | extra farther % |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for key, t in tallies.items():
        r = t.row()
        print(f"| {key} | {r[0]} | {r[1]} | " + " | ".join(f"{x:.1f}" for x in r[2:]) + " |")
    if a.blocks:
        for missed, name, label, item, t in sorted(lines, key=lambda x: -x[0]):
            r = t.row()
            print(f"{name} {label} {item['box']} {item['cleanup']} visible={t.visible} "
                  f"left={t.left} missed={t.missed} extra={t.extra}")


if __name__ == "__main__":
    main()
