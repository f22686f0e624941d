#!/usr/bin/env bash
# Installs what is missing, builds, and renders the sample page of examples/ in each cleanup
# mode, with a debug image beside each result, into out/; then installs the Python package and
# renders the page once more from Python.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build
for mode in white_fill text_inpaint bubble_clean; do
  echo "== $mode"
  ./build/letterforge examples/page.png examples/ocr.json examples/translation.json \
    "out/$mode.png" 18 38 1 1.12 bold true balanced "out/$mode-debug.png" balanced "$mode"
done
bash scripts/install_python.sh build
echo "== python"
python3 -c '
import letterforge
result = letterforge.render("examples/page.png", "examples/ocr.json", "examples/translation.json",
                            output="out/python.png", cleanup_mode="bubble_clean")
print("\n".join(result.report))
print("Rendered out/python.png:", result.page.shape, "array,", len(result.blocks), "blocks")
'
echo "Open out/*.png to see the results."
