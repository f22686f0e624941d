#!/usr/bin/env bash
# Whole-process timings on a 2480 x 3508 comic-like page (A4 at 300 dpi), PNG and JPEG:
# cutframe cutting a 400 x 300 rectangle, beside ImageMagick's `convert in out.png` (a plain
# decode and re-encode of the page) as a reference point. Prints the median of each command
# and its ratio to the reference.
#
#   bench/whole_process.sh [build-dir]      (default: build; needs hyperfine and ImageMagick)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
runs=${RUNS:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- The page ---------------------------------------------------------------------------
# Six bordered panels; lettering as rows of glyph-sized strokes inside white bubbles; a
# screentone panel; a noisy photographic panel.
make_page() {
  local draw="$work/page.mvg"
  awk 'BEGIN {
    srand(7);
    print "stroke black stroke-width 8 fill none";
    for (r = 0; r < 3; r++) for (c = 0; c < 2; c++) {
      x = 120 + c * 1150; y = 120 + r * 1116;
      printf "rectangle %d,%d %d,%d\n", x, y, x + 1090, y + 1056;
      bx = x + 80; by = y + 80;
      printf "stroke black stroke-width 6 fill white roundrectangle %d,%d %d,%d 60,60\n", bx, by, bx + 520, by + 340;
      printf "stroke none fill black\n";
      for (ly = by + 50; ly < by + 300; ly += 52)
        for (gx = bx + 50; gx < bx + 460; gx += 14 + int(rand() * 22) + 8)
          printf "rectangle %d,%d %d,%d\n", gx, ly, gx + 5 + int(rand() * 4), ly + 34;
      print "stroke black stroke-width 8 fill none";
    }
  }' > "$draw"
  convert -size 2480x3508 xc:white \
    \( -size 1074x1040 pattern:gray25 \) -geometry +128+1244 -composite \
    \( -seed 1 -size 1074x1040 gradient:'#d9a066'-'#35406b' -attenuate 0.6 +noise Gaussian \) -geometry +1278+128 -composite \
    -draw "$(cat "$draw")" -type TrueColor -define png:color-type=2 "$work/page.png"
  convert "$work/page.png" -quality 90 "$work/page.jpg"
}

make_page
echo "page: 2480 x 3508; page.png $(stat -c %s "$work/page.png") bytes, page.jpg $(stat -c %s "$work/page.jpg") bytes"

# --- Timings ----------------------------------------------------------------------------
# Each entry: name|command. The first entry of each group is the reference for the ratios.
for format in png jpg; do
  page="$work/page.$format"
  commands=(
    "convert $format->png|convert $page $work/convert.png"
    "cutframe $format 400x300|$build/cutframe $page $work/crop.png 1000 1500 400 300"
  )
  args=()
  for entry in "${commands[@]}"; do args+=(-n "${entry%%|*}" "${entry#*|}"); done
  hyperfine --style none --warmup 2 --runs "$runs" --export-json "$work/$format.json" "${args[@]}" > /dev/null
done

python3 - "$work/png.json" "$work/jpg.json" <<'PY'
import json, sys
print(f"{'command':<24}{'median ms':>12}{'vs reference':>14}")
for path in sys.argv[1:]:
    results = json.load(open(path))["results"]
    reference = results[0]["median"]
    for r in results:
        print(f"{r['command']:<24}{r['median'] * 1000:>12.1f}{r['median'] / reference:>13.2f}x")
PY
