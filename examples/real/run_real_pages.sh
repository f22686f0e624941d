#!/usr/bin/env bash
# Renders four real comic pages in each cleanup mode, with a debug image beside each result,
# into out/real/. The page images are not kept in this repository; they are read from
# ../shared/pages/ beside it (see SOURCES.md there for their origins and licences).
# Usage: bash examples/real/run_real_pages.sh [build-dir]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build}"
pages_dir=../shared/pages
for page in mimi-eunice-338.png pc-ep03-p01.jpg buster-bear-10-p02.jpg everett-true.jpg; do
  name="${page%.*}"
  for mode in white_fill text_inpaint bubble_clean; do
    echo "== $name $mode"
    "./$build/letterforge" "$pages_dir/$page" "examples/real/$name.ocr.json" \
      "examples/real/$name.translation.json" "out/real/$name-$mode.png" \
      18 38 1 1.12 bold true balanced "out/real/$name-$mode-debug.png" balanced "$mode"
  done
done
echo "Open out/real/*.png to see the results."
