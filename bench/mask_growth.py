#!/usr/bin/python3
"""How the repaint mode's cost grows with the mask: one block covering the whole page.

  bench/mask_growth.py --build BUILD [--sizes 450x600,900x1200,1800x2400] [--runs 3]

For each size, pages of truth_pages.py (paper, screentone and art) get one OCR block over the
whole page but a margin of 8 pixels; each is cleaned in the repaint mode and run with no
cleanup, and the difference of their CPU times (median of the runs) is printed per page and
per megapixel of the block. A cost in proportion to the mask keeps ms/Mpx level as the size
doubles; a quadratic one doubles it. The block's result and the pixels it masked are printed
beside: a block whose mask would take most of it is left `not_cleaned`, so what is timed
there is the looking.
"""
import argparse
import json
import os
import resource
import statistics
import subprocess
import sys

from scratch import scratch_dir

HERE = os.path.dirname(os.path.abspath(__file__))
PAGES = ["001-balloon_offwhite", "007-screentone", "008-art"]


def cpu_of(args):
    """The CPU seconds of one run, and its report line for the block."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    done = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode != 0:
        sys.exit(f"failed: {' '.join(args)}: {done.stderr}")
    report = next((line.split() for line in (done.stdout + done.stderr).splitlines()
                   if line.startswith("repaint ")), None)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime), report


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", required=True)
    ap.add_argument("--sizes", default="450x600,900x1200,1800x2400")
    ap.add_argument("--runs", type=int, default=3)
    a = ap.parse_args()
    work = scratch_dir()
    print(f"{'page':22} {'size':>10} {'block Mpx':>9} {'repaint ms':>10} {'ms/Mpx':>8}  {'result':17} {'masked':>8}")
    for size in a.sizes.split(","):
        w, h = (int(v) for v in size.split("x"))
        out = os.path.join(work, size)
        subprocess.run([sys.executable, os.path.join(HERE, "truth_pages.py"), out, "--pages", "9",
                        "--size", size, "--seed", "5"], check=True, stdout=subprocess.DEVNULL)
        for name in PAGES:
            base = os.path.join(out, name)
            block = {"id": "all", "text": "all", "confidence": 0.9,
                     "bbox": {"x": 8, "y": 8, "w": w - 16, "h": h - 16}}
            with open(base + ".whole.ocr.json", "w") as f:
                json.dump({"width": w, "height": h, "blocks": [block]}, f)
            with open(base + ".whole.translation.json", "w") as f:
                json.dump({"source_language_detected": "en", "translations": [
                    {"id": "all", "source_text": "all", "translated_text": "\u200b"}]}, f)
            costs = {}
            report = None
            for mode in ("repaint", "none"):
                args = [os.path.join(a.build, "letterforge"), base + ".png",
                        base + ".whole.ocr.json", base + ".whole.translation.json",
                        os.path.join(work, "out.png"), "18", "38", "1", "1.12", "bold", "true",
                        "balanced", "", "balanced", mode, "0"]
                runs = [cpu_of(args) for _ in range(a.runs)]
                costs[mode] = statistics.median(cpu for cpu, _ in runs)
                report = report or runs[0][1]
            ms = 1000.0 * (costs["repaint"] - costs["none"])
            mpx = (w - 16) * (h - 16) / 1e6
            action = report[1] if report else "-"
            masked = report[3].removeprefix("pixels=") if report else "-"
            print(f"{name:22} {size:>10} {mpx:9.2f} {ms:10.0f} {ms / mpx:8.0f}  {action:17} {masked:>8}")


if __name__ == "__main__":
    main()
