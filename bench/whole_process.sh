#!/usr/bin/env bash
# Whole-process timings on a 2480 x 3508 comic page (A4 at 300 dpi), PNG and JPEG: cutframe
# cutting a 400 x 300 rectangle, and letterforge alone (no blocks) and in each cleanup mode
# with 30 blocks, beside ImageMagick's `convert in out.png` (a plain decode and re-encode of
# the page) as a reference point. Prints medians, ratios and peak memory.
#
#   bench/whole_process.sh [build-dir]      (default: build; needs hyperfine, ImageMagick and vips:
#                                            WITH_BENCH_TOOLS=1 bash scripts/setup.sh)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
runs=${RUNS:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- The page ---------------------------------------------------------------------------
# A 2480 x 3508 page of 30 lettered bubbles with a photo-like and a screentone panel, with its
# OCR and translation files, made by the sample-page generator.
"$build/tools/make_sample_page" "$work" 2480 3508 30
convert "$work/page.png" -quality 90 "$work/page.jpg"
printf '{"width": 2480, "height": 3508, "blocks": []}' > "$work/empty.json"
echo "page: 2480 x 3508, 30 blocks; page.png $(stat -c %s "$work/page.png") bytes, page.jpg $(stat -c %s "$work/page.jpg") bytes"

# --- Timings ----------------------------------------------------------------------------
# Each entry: name|command. The first entry of each group is the reference for the ratios.
lf() {  # page format, OCR file, cleanup mode
  echo "$build/letterforge $work/page.$1 $work/$2 $work/translation.json $work/out.png 18 38 1 1.12 bold true balanced '' balanced $3"
}
for format in png jpg; do
  page="$work/page.$format"
  commands=(
    "convert $format->png|convert $page $work/convert.png"
    "codec floor $format|$build/tools/codec_floor $page $work/floor.png"
    "cutframe $format 400x300|$build/cutframe $page $work/crop.png 1000 1500 400 300"
    "vips crop $format 400x300|vips crop $page $work/vcrop.png 960 1460 480 380"
    "letterforge $format frame|$(lf "$format" empty.json white_fill)"
    "letterforge $format white_fill|$(lf "$format" ocr.json white_fill)"
    "letterforge $format text_inpaint|$(lf "$format" ocr.json text_inpaint)"
    "letterforge $format bubble_clean|$(lf "$format" ocr.json bubble_clean)"
  )
  args=()
  for entry in "${commands[@]}"; do args+=(-n "${entry%%|*}" "${entry#*|}"); done
  hyperfine --style none --warmup 2 --runs "$runs" --export-json "$work/$format.json" "${args[@]}" > /dev/null
  for entry in "${commands[@]}"; do
    /usr/bin/time -f %M -o "$work/peak" bash -c "exec ${entry#*|}" >/dev/null 2>&1
    echo "${entry%%|*}|$(tail -n 1 "$work/peak")" >> "$work/peaks.txt"
  done
done

python3 - "$work/peaks.txt" "$work/png.json" "$work/jpg.json" <<'PY'
import json, sys
peaks = dict(line.strip().split("|") for line in open(sys.argv[1]) if "|" in line)
print(f"{'command':<30}{'median ms':>11}{'vs convert':>12}{'vs floor':>10}{'peak MB':>9}")
for path in sys.argv[2:]:
    results = json.load(open(path))["results"]
    reference = results[0]["median"]
    floor = next(r["median"] for r in results if r["command"].startswith("codec floor"))
    for r in results:
        peak = int(peaks.get(r["command"], "0")) / 1024
        print(f"{r['command']:<30}{r['median'] * 1000:>11.1f}{r['median'] / reference:>11.2f}x"
              f"{r['median'] / floor:>9.2f}x{peak:>9.0f}")
PY
