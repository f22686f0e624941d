#!/usr/bin/env bash
# Renders the same pages with two builds of letterforge and cutframe and compares every output
# (PNG files by their decoded pixels and colour channels, bench/same_pixels.py; other files
# byte for byte), the standard output, the standard error and the exit status of each run.
#
#   bench/compare_outputs.sh <old-build-dir> <new-build-dir>
#
# Pages: the sample page of examples/, generated A4 pages with 30, 100 and 2,000 blocks, and
# the real pages of examples/real/ (read from ../shared/pages/ when it is there). Each in every
# cleanup mode and with no cleanup, with and without a debug image; cutframe on a few
# rectangles. Prints one line per difference and a summary; exits 1 when anything differs.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
old=$(cd "${1:?old build dir}" && pwd)
new=$(cd "${2:?new build dir}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

pages=()  # "name|image|ocr|translation"
pages+=("sample|$root/examples/page.png|$root/examples/ocr.json|$root/examples/translation.json")
for blocks in 30 100 2000; do
  mkdir -p "$work/gen$blocks"
  "$old/tools/make_sample_page" "$work/gen$blocks" 2480 3508 "$blocks" >/dev/null
  pages+=("gen$blocks|$work/gen$blocks/page.png|$work/gen$blocks/ocr.json|$work/gen$blocks/translation.json")
done
shared="$root/../shared/pages"
for page in mimi-eunice-338.png pc-ep03-p01.jpg buster-bear-10-p02.jpg everett-true.jpg; do
  [ -f "$shared/$page" ] || continue
  name="${page%.*}"
  pages+=("$name|$shared/$page|$root/examples/real/$name.ocr.json|$root/examples/real/$name.translation.json")
done

# Builds' PNG writers may differ in their bytes; the pictures must not.
same_file() {  # old file, new file
  [ -f "$1" ] && [ -f "$2" ] || return 1
  case $1 in
    *.png) /usr/bin/python3 "$here/same_pixels.py" "$1" "$2" ;;
    *) cmp -s "$1" "$2" ;;
  esac
}

runs=0
differences=0
# Runs one command line with both builds in separate folders and compares everything.
compare() {  # label, program, arguments... (OUT stands for the run's folder)
  local label=$1 program=$2
  shift 2
  local side
  for side in old new; do
    local dir="$work/run-$side" build
    build=$([ "$side" = old ] && echo "$old" || echo "$new")
    rm -rf "$dir" && mkdir -p "$dir"
    local args=("${@//OUT/$dir}")
    set +e
    (cd "$dir" && "$build/$program" "${args[@]}" >"$work/$side.stdout" 2>"$work/$side.stderr")
    echo $? >"$work/$side.status"
    set -e
    sed -i "s|$dir|OUT|g" "$work/$side.stdout" "$work/$side.stderr"
  done
  runs=$((runs + 1))
  local what
  for what in stdout stderr status; do
    if ! cmp -s "$work/old.$what" "$work/new.$what"; then
      echo "DIFFERENT $what: $label"
      differences=$((differences + 1))
    fi
  done
  local file
  for file in $( (cd "$work/run-old" && find . -type f; cd "$work/run-new" && find . -type f) | sort -u); do
    if ! same_file "$work/run-old/$file" "$work/run-new/$file"; then
      echo "DIFFERENT file $file: $label"
      differences=$((differences + 1))
    fi
  done
}

for entry in "${pages[@]}"; do
  IFS='|' read -r name image ocr translation <<<"$entry"
  for mode in white_fill text_inpaint bubble_clean none; do
    compare "$name $mode" letterforge "$image" "$ocr" "$translation" OUT/out.png \
      18 38 1 1.12 bold true balanced '' balanced "$mode"
    compare "$name $mode debug" letterforge "$image" "$ocr" "$translation" OUT/out.png \
      18 38 1 1.12 bold true balanced OUT/debug.png balanced "$mode"
  done
  compare "$name defaults" letterforge "$image" "$ocr" "$translation" OUT/out.png
  compare "$name crop" cutframe "$image" OUT/crop.png 100 120 300 200
  compare "$name crop outside" cutframe "$image" OUT/crop.png 99999 5 10 10
done
compare "missing image" letterforge "$work/none.png" x y OUT/out.png
compare "usage" letterforge a b c

echo "$runs runs compared, $differences differences"
[ "$differences" = 0 ]
