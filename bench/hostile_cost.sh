#!/usr/bin/env bash
# Cost of letterforge on hostile pages, and on the ordinary 30-block page for comparison.
#
#   bench/hostile_cost.sh <build-dir> [<other-build-dir>]      all cases at their full sizes
#   CASES="word:5000 lines:2500" bench/hostile_cost.sh build   chosen cases and sizes
#
# Cases (bench/hostile_inputs.py writes their files; the page is a generated A4 page):
#   onebox:N  N blocks on one box, "bubble_clean" (the other modes: onebox-white_fill:N, ...)
#   word:N    one word of N letters          lines:N   one block of N lines
#   grid:N    N blocks on a grid, grouped    marks:N   a letter with N combining accents
#   joined:N  N emoji joined by joiners      vowels:N  a consonant with N spacing vowel signs
#   thai:N    a Thai consonant with N vowel signs above it
# A case may name its cleanup mode after a dash: grid-text_inpaint:2000, grid-none:2000.
# Each run is limited to TIMEOUT seconds (default 600). Prints CPU seconds (user + system),
# wall seconds and peak MB of every run (with two builds, whether their outputs are
# byte-identical when both finish), then the ordinary page in every mode, RUNS runs each
# (default 5, median; with two builds taking turns, so that a busy spell falls on both), and
# with two builds whether their outputs are byte-identical.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
builds=("$(cd "${1:?build dir}" && pwd)")
[ $# -ge 2 ] && builds+=("$(cd "$2" && pwd)")
cases=${CASES:-"onebox:100000 onebox-white_fill:100000 word:100000 grid:2000 grid-text_inpaint:2000 grid-none:2000 lines:10000 marks:50000 joined:64000 vowels:64000 thai:64000"}
timeout_s=${TIMEOUT:-600}
runs=${RUNS:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"${builds[0]}/tools/make_sample_page" "$work/page" 2480 3508 30 >/dev/null
page="$work/page/page.png"

# One run: prints "cpu wall peakMB status".
run() {  # build, ocr, translation, output, mode
  local status=0
  /usr/bin/time -f "%U %S %e %M" -o "$work/time" timeout "$timeout_s" "$1/letterforge" "$page" \
    "$2" "$3" "$4" 18 38 1 1.12 bold true balanced '' balanced "$5" >/dev/null 2>&1 || status=$?
  awk -v s="$status" 'END {printf "%.2f %.2f %.0f %s\n", $1 + $2, $3, $4 / 1024, s}' "$work/time"
}

printf '%-26s %-8s %9s %9s %8s %7s\n' case build cpu_s wall_s peak_MB status
for entry in $cases; do
  name=${entry%%:*}
  size=${entry##*:}
  kind=${name%%-*}
  mode=bubble_clean
  [ "$kind" != onebox ] && mode=white_fill
  [ "$name" != "$kind" ] && mode=${name#*-}
  dir="$work/$kind-$size"
  [ -d "$dir" ] || python3 "$here/hostile_inputs.py" "$kind" "$size" "$dir"
  finished=0
  for i in "${!builds[@]}"; do
    rm -f "$work/out-$i.png"
    read -r cpu wall peak status < <(run "${builds[$i]}" "$dir/ocr.json" "$dir/translation.json" "$work/out-$i.png" "$mode")
    [ "$status" = 0 ] && finished=$((finished + 1))
    [ "$status" = 124 ] && status="killed"
    printf '%-26s %-8s %9s %9s %8s %7s\n' "$name:$size" "$(basename "${builds[$i]}")" "$cpu" "$wall" "$peak" "$status"
  done
  if [ "$finished" -eq 2 ]; then
    cmp -s "$work/out-0.png" "$work/out-1.png" && echo "  outputs identical" || echo "  outputs differ"
  fi
done

echo
echo "ordinary page, 30 blocks: median CPU seconds of $runs runs, the builds taking turns"
for mode in white_fill text_inpaint bubble_clean none; do
  for ((r = 0; r < runs; r++)); do
    for i in "${!builds[@]}"; do
      run "${builds[$i]}" "$work/page/ocr.json" "$work/page/translation.json" "$work/page-$i.png" "$mode" \
        >>"$work/times-$mode-$i"
    done
  done
  for i in "${!builds[@]}"; do
    median=$(sort -n "$work/times-$mode-$i" | awk -v n="$runs" '{a[NR] = $1} END {print a[int((n + 1) / 2)]}')
    printf '%-26s %-8s %9s\n' "page30:$mode" "$(basename "${builds[$i]}")" "$median"
  done
  if [ ${#builds[@]} -eq 2 ]; then
    cmp -s "$work/page-0.png" "$work/page-1.png" && echo "  outputs identical" || echo "  OUTPUTS DIFFER"
  fi
done
