#!/usr/bin/env bash
# Whole-process costs on a 2480 x 3508 comic page (A4 at 300 dpi), PNG and JPEG input:
#  - letterforge alone (no blocks) and in each cleanup mode with 30 blocks;
#  - the codec floor (tools/codec_floor: the same decode and PNG encode, nothing else);
#  - the bare round trip of ImageMagick (`convert in out.png`) and of `vips copy`;
#  - cutframe cutting a 400 x 300 rectangle beside `vips crop` of the same padded rectangle.
# Then letterforge's cost against the number of blocks (10, 100, 1000, 2000), an 800 x 40000
# vertical strip of 12 bubbles in each mode with and without the debug image (its peak memory
# against the size of one page bitmap), and pages per minute with one and with two processes at
# once.
#
# Times are CPU time (user + system) unless marked wall: the machine may be shared, and CPU
# time is what a page costs whatever else runs. Medians of RUNS runs, the commands taking turns
# so that a busy spell falls on all of them alike. Peak memory is the largest resident size.
#
#   bench/whole_process.sh [build-dir]      (default: build, configured here when missing)
#   RUNS=11 CURVE_RUNS=3 PAGES=10           (environment: runs per command, per curve point,
#                                            pages per process in the throughput test)
#   BASELINE=<other-build-dir>              (also runs that build's letterforge in the same
#                                            turns, and prints each mode before and after)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build}
runs=${RUNS:-11}
curve_runs=${CURVE_RUNS:-3}
pages=${PAGES:-10}

if ! command -v convert >/dev/null || ! command -v vips >/dev/null; then
  WITH_BENCH_TOOLS=1 bash "$root/scripts/setup.sh"
fi
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target letterforge cutframe codec_floor make_sample_page >/dev/null
build=$(cd "$build" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs); load at start:$(uptime | sed 's/.*load average://')"

# --- The page ---------------------------------------------------------------------------
# 30 lettered bubbles with a photo-like and a screentone panel, with its OCR and translation
# files, made by the sample-page generator.
"$build/tools/make_sample_page" "$work" 2480 3508 30
convert "$work/page.png" -quality 90 "$work/page.jpg"
printf '{"width": 2480, "height": 3508, "blocks": []}' > "$work/empty.json"
echo "page: 2480 x 3508, 30 blocks; page.png $(stat -c %s "$work/page.png") bytes, page.jpg $(stat -c %s "$work/page.jpg") bytes"

lf() {  # page file, OCR file, translation file, cleanup mode
  lf_of "$build" "$@"
}
lf_of() {  # build folder, page file, OCR file, translation file, cleanup mode
  echo "$1/letterforge $2 $3 $4 $work/out.png 18 38 1 1.12 bold true balanced '' balanced $5"
}
lf_debug() {  # page file, OCR file, translation file, cleanup mode: with the debug image
  echo "$build/letterforge $1 $2 $3 $work/out.png 18 38 1 1.12 bold true balanced $work/debug.png balanced $4"
}
baseline_entries() {  # page file: the baseline build's frame and modes, when there is one
  [ -n "${BASELINE:-}" ] || return 0
  local base format=${1##*.}
  base=$(cd "$BASELINE" && pwd)
  echo "$format before frame|$(lf_of "$base" "$1" "$work/empty.json" "$work/translation.json" white_fill)"
  for mode in white_fill text_inpaint bubble_clean; do
    echo "$format before $mode|$(lf_of "$base" "$1" "$work/ocr.json" "$work/translation.json" "$mode")"
  done
}

# Runs each "name|command" entry $1 times in turns; appends "name|wall|user|system|peak KB"
# lines to the file $2. The child's own resource usage, to the microsecond.
cat > "$work/measure.py" <<'PY'
import os, resource, subprocess, sys, time
count, results, entries = int(sys.argv[1]), sys.argv[2], [e.split("|", 1) for e in sys.argv[3:]]
def run(command):
    start = time.monotonic()
    child = subprocess.Popen(["bash", "-c", "exec " + command], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    return time.monotonic() - start, usage
for _, command in entries:
    run(command)  # warms the file cache
with open(results, "a") as out:
    for _ in range(count):
        for name, command in entries:
            wall, usage = run(command)
            out.write(f"{name}|{wall}|{usage.ru_utime}|{usage.ru_stime}|{usage.ru_maxrss}\n")
PY
measure() { python3 "$work/measure.py" "$@"; }

# --- Whole runs -------------------------------------------------------------------------
# cutframe pads 400 x 300 at (1000, 1500) by max(0.22 x 400, 40) = 88 px: 576 x 476 at (912, 1412).
for format in png jpg; do
  page="$work/page.$format"
  mapfile -t before < <(baseline_entries "$page")
  measure "$runs" "$work/runs.txt" "${before[@]}" \
    "$format codec floor|$build/tools/codec_floor $page $work/floor.png" \
    "$format convert|convert $page $work/convert.png" \
    "$format vips copy|vips copy $page $work/vips.png" \
    "$format letterforge frame|$(lf "$page" "$work/empty.json" "$work/translation.json" white_fill)" \
    "$format letterforge white_fill|$(lf "$page" "$work/ocr.json" "$work/translation.json" white_fill)" \
    "$format letterforge text_inpaint|$(lf "$page" "$work/ocr.json" "$work/translation.json" text_inpaint)" \
    "$format letterforge bubble_clean|$(lf "$page" "$work/ocr.json" "$work/translation.json" bubble_clean)" \
    "$format cutframe 400x300|$build/cutframe $page $work/crop.png 1000 1500 400 300" \
    "$format vips crop|vips crop $page $work/vcrop.png 912 1412 576 476"
done

# --- Cost against blocks ----------------------------------------------------------------
for blocks in 10 100 1000 2000; do
  dir="$work/blocks$blocks"
  "$build/tools/make_sample_page" "$dir" 2480 3508 "$blocks"
  entries=()
  for mode in white_fill text_inpaint bubble_clean; do
    entries+=("$blocks $mode|$(lf "$dir/page.png" "$dir/ocr.json" "$dir/translation.json" "$mode")")
  done
  measure "$curve_runs" "$work/curve.txt" "${entries[@]}"
done

# --- A long strip -----------------------------------------------------------------------
# Taller than one surface of the drawing library: the case of stitched long-strip pages.
strip="$work/strip"
"$build/tools/make_sample_page" "$strip" 800 40000 12
entries=()
for mode in white_fill text_inpaint bubble_clean; do
  entries+=("$mode|$(lf "$strip/page.png" "$strip/ocr.json" "$strip/translation.json" "$mode")")
  entries+=("$mode + debug|$(lf_debug "$strip/page.png" "$strip/ocr.json" "$strip/translation.json" "$mode")")
done
measure "$curve_runs" "$work/strip.txt" "${entries[@]}"

# --- Pages per minute -------------------------------------------------------------------
# Each process renders the 30-block PNG page $pages times in a row; wall time of the whole.
for mode in white_fill text_inpaint bubble_clean; do
  command=$(lf "$work/page.png" "$work/ocr.json" "$work/translation.json" "$mode")
  for processes in 1 2; do
    start=$(date +%s.%N)
    for ((p = 0; p < processes; p++)); do
      bash -c "for i in \$(seq $pages); do $command >/dev/null 2>&1 || exit 1; done" &
    done
    wait
    echo "$mode|$processes|$(echo "$(date +%s.%N) - $start" | bc)" >> "$work/throughput.txt"
  done
done

python3 - "$work/runs.txt" "$work/curve.txt" "$work/throughput.txt" "$pages" "$work/strip.txt" <<'PY'
import statistics, sys
from collections import defaultdict

def load(path):
    runs = defaultdict(list)
    for line in open(path):
        name, wall, user, system, peak = line.strip().split("|")
        runs[name].append((float(wall) * 1000, (float(user) + float(system)) * 1000, int(peak) / 1024))
    return runs

def medians(samples):
    return (statistics.median(s[1] for s in samples), statistics.median(s[0] for s in samples),
            max(s[2] for s in samples))

runs = load(sys.argv[1])
print(f"\n{'command':<28}{'CPU ms':>9}{'wall ms':>9}{'/ floor':>9}{'/ convert':>11}{'peak MB':>9}")
for fmt in ("png", "jpg"):
    floor = medians(runs[f"{fmt} codec floor"])[0]
    convert = medians(runs[f"{fmt} convert"])[0]
    for name, samples in runs.items():
        if not name.startswith(fmt):
            continue
        cpu, wall, peak = medians(samples)
        print(f"{name:<28}{cpu:>9.0f}{wall:>9.0f}{cpu / floor:>8.2f}x{cpu / convert:>10.2f}x{peak:>9.0f}")
    if f"{fmt} before frame" in runs:
        for mode in ("frame", "white_fill", "text_inpaint", "bubble_clean"):
            now = runs[f"{fmt} letterforge {mode}"]
            then = runs[f"{fmt} before {mode}"]
            print(f"{'  ' + mode + ' after / before':<28}{medians(now)[0] / medians(then)[0]:>8.3f}x"
                  f"{'':>21}{medians(now)[2]:>5.0f} vs {medians(then)[2]:.0f}")
    cut = medians(runs[f"{fmt} cutframe 400x300"])[0]
    crop = medians(runs[f"{fmt} vips crop"])[0]
    print(f"{'  cutframe / vips crop':<28}{cut / crop:>8.2f}x")

curve = load(sys.argv[2])
modes = ("white_fill", "text_inpaint", "bubble_clean")
print(f"\nletterforge CPU ms against blocks (PNG page, median of {len(next(iter(curve.values())))})")
print(f"{'blocks':>7}" + "".join(f"{m:>14}" for m in modes) + f"{'peak MB':>9}")
for blocks in ("10", "100", "1000", "2000"):
    cells = [medians(curve[f"{blocks} {m}"]) for m in modes]
    print(f"{blocks:>7}" + "".join(f"{c[0]:>14.0f}" for c in cells) + f"{max(c[2] for c in cells):>9.0f}")

strip = load(sys.argv[5])
bitmap_mb = 800 * 40000 * 4 / 2**20
print(f"\n800 x 40000 strip, 12 blocks (median of {len(next(iter(strip.values())))}); one page bitmap is {bitmap_mb:.0f} MB")
print(f"{'mode':<24}{'CPU ms':>9}{'wall ms':>9}{'peak MB':>9}{'/ bitmap':>10}")
for name, samples in strip.items():
    cpu, wall, peak = medians(samples)
    print(f"{name:<24}{cpu:>9.0f}{wall:>9.0f}{peak:>9.0f}{peak / bitmap_mb:>9.2f}x")

print(f"\npages per minute, 30-block PNG page, {sys.argv[4]} pages per process (wall time)")
print(f"{'mode':<14}{'1 process':>11}{'2 processes':>13}")
table = defaultdict(dict)
for line in open(sys.argv[3]):
    mode, processes, seconds = line.strip().split("|")
    table[mode][int(processes)] = int(processes) * int(sys.argv[4]) * 60 / float(seconds)
for mode, rates in table.items():
    print(f"{mode:<14}{rates[1]:>11.0f}{rates[2]:>13.0f}")
PY
echo "load at end:$(uptime | sed 's/.*load average://')"
