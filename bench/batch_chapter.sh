#!/usr/bin/env bash
# A chapter of 40 A4 pages at 300 dpi (2480 x 3508, 30 lettered bubbles each), bubble_clean,
# rendered three ways, taking turns so that a busy spell of the machine falls on all alike:
#  - a shell loop starting one letterforge per page;
#  - xargs -P <jobs> starting letterforge processes, <jobs> at a time;
#  - letterforge-batch --jobs <jobs> in one process.
# Prints pages per minute (wall time), CPU time per page (user + system, children included)
# and peak memory (the largest resident size of one process) of each, medians of RUNS rounds,
# and the ratios the batch program is held to: at least 2.0 times the loop's pages per minute,
# 1.1 times xargs', and at most jobs x 3 page bitmaps + 50 MB of memory.
#
#   bench/batch_chapter.sh [build-dir]     RUNS=3 PAGES=40 JOBS=2 (environment)
#   BASELINE=<other-build-dir>             (also runs that build's letterforge-batch in the same
#                                           rounds, and prints the pages per minute after / before)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build}
runs=${RUNS:-3}
pages=${PAGES:-40}
jobs=${JOBS:-2}

[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target letterforge letterforge-batch make_sample_page >/dev/null
build=$(cd "$build" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs); load at start:$(uptime | sed 's/.*load average://')"

# --- The chapter ------------------------------------------------------------------------
# The generator draws the same page every time, so one is made and copied: each page is still
# a file of its own, read, rendered and written on its own.
"$build/tools/make_sample_page" "$work/src" 2480 3508 30
for ((i = 1; i <= pages; i++)); do
  mkdir -p "$work/p$i"
  cp "$work/src/page.png" "$work/src/ocr.json" "$work/src/translation.json" "$work/p$i/"
  printf '{"image": "p%d/page.png", "ocr": "p%d/ocr.json", "translation": "p%d/translation.json", "output": "out/p%d.png", "cleanup_mode": "bubble_clean"}\n' \
    "$i" "$i" "$i" "$i" >> "$work/chapter.jsonl"
  echo "$work/p$i/page.png $work/p$i/ocr.json $work/p$i/translation.json $work/out/p$i.png 18 38 1 1.12 bold true balanced '' balanced bubble_clean" >> "$work/args.txt"
done
echo "chapter: $pages pages of 2480 x 3508, 30 blocks, bubble_clean; $jobs jobs; $runs rounds"

loop="while read -r line; do eval \"$build/letterforge \$line\" >/dev/null 2>&1 || exit 1; done < $work/args.txt"
parallel="xargs -P $jobs -L 1 sh -c '\"$build/letterforge\" \"\$@\" >/dev/null 2>&1' letterforge < $work/args.txt"
batch="$build/letterforge-batch --jobs $jobs --quiet $work/chapter.jsonl >/dev/null"
entries=("loop|$loop" "xargs|$parallel" "batch|$batch")
if [ -n "${BASELINE:-}" ]; then
  base=$(cd "$BASELINE" && pwd)
  entries+=("before|$base/letterforge-batch --jobs $jobs --quiet $work/chapter.jsonl >/dev/null")
fi

# Runs each "name|command" entry once per round; appends "name|wall|user|system|peak KB".
cat > "$work/measure.py" <<'PY'
import os, subprocess, sys, time
rounds, results, entries = int(sys.argv[1]), sys.argv[2], [e.split("|", 1) for e in sys.argv[3:]]
def run(command):
    start = time.monotonic()
    child = subprocess.Popen(["bash", "-c", command])
    _, status, usage = os.wait4(child.pid, 0)
    if status != 0:
        sys.exit(f"failed ({status}): {command}")
    return time.monotonic() - start, usage
with open(results, "a") as out:
    for _ in range(rounds):
        for name, command in entries:
            subprocess.run(["rm", "-rf", os.path.join(os.path.dirname(results), "out")])
            wall, usage = run(command)
            out.write(f"{name}|{wall}|{usage.ru_utime}|{usage.ru_stime}|{usage.ru_maxrss}\n")
PY
# The first round warms the file cache and the font cache; it is not counted.
python3 "$work/measure.py" 1 "$work/warm.txt" "${entries[@]}"
python3 "$work/measure.py" "$runs" "$work/runs.txt" "${entries[@]}"

python3 - "$work/runs.txt" "$pages" "$jobs" <<'PY'
import statistics, sys
from collections import defaultdict
pages, jobs = int(sys.argv[2]), int(sys.argv[3])
runs = defaultdict(list)
for line in open(sys.argv[1]):
    name, wall, user, system, peak = line.strip().split("|")
    runs[name].append((float(wall), float(user) + float(system), int(peak) / 1024))
summary = {}
print(f"\n{'':<8}{'pages/min':>11}{'wall s':>9}{'CPU ms/page':>13}{'peak MB':>9}")
for name in [n for n in ("loop", "xargs", "batch", "before") if n in runs]:
    wall = statistics.median(s[0] for s in runs[name])
    cpu = statistics.median(s[1] for s in runs[name])
    peak = max(s[2] for s in runs[name])
    summary[name] = (pages * 60 / wall, cpu * 1000 / pages, peak)
    print(f"{name:<8}{summary[name][0]:>11.1f}{wall:>9.1f}{summary[name][1]:>13.0f}{peak:>9.0f}")
bitmap = 2480 * 3508 * 4 / 2**20
limit = jobs * 3 * bitmap + 50
print(f"\nbatch / loop:  {summary['batch'][0] / summary['loop'][0]:.2f}x pages per minute (at least 2.0)")
print(f"batch / xargs: {summary['batch'][0] / summary['xargs'][0]:.2f}x pages per minute (at least 1.1)")
print(f"batch peak:    {summary['batch'][2]:.0f} MB (at most {jobs} x 3 x {bitmap:.1f} + 50 = {limit:.0f} MB)")
print(f"CPU saved per page against one process per page: {summary['xargs'][1] - summary['batch'][1]:.0f} ms")
if "before" in summary:
    print(f"batch after / before: {summary['batch'][0] / summary['before'][0]:.2f}x pages per minute, "
          f"{summary['batch'][1] / summary['before'][1]:.2f}x CPU a page")
PY
echo "load at end:$(uptime | sed 's/.*load average://')"
