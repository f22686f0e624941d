#!/usr/bin/env bash
# Installs what is missing, builds, and renders the sample page of examples/ in each cleanup
# mode, with a debug image beside each result, into out/; then a small chapter (the sample page
# and three generated pages, one set in Comic Neue, one written as WebP) in one process with
# letterforge-batch, into out/chapter/, printing its line per page; the same pages as a comic
# archive, out/sample-chapter.cbz, translated into out/sample-chapter-en.cbz; then installs the Python
# package and renders the page once more from Python.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build
for mode in white_fill text_inpaint bubble_clean; do
  echo "== $mode"
  ./build/letterforge examples/page.png examples/ocr.json examples/translation.json \
    "out/$mode.png" 18 38 1 1.12 bold true balanced "out/$mode-debug.png" balanced "$mode"
done

echo "== chapter: letterforge-batch"
chapter=out/chapter
sizes=("1200 1700 12" "1100 1560 8" "1240 1754 9")
for i in 1 2 3; do
  # shellcheck disable=SC2086
  ./build/tools/make_sample_page "$chapter/source$i" ${sizes[$((i - 1))]}
done
# Relative paths are read from the manifest's folder.
cat > "$chapter/chapter.jsonl" <<'JSONL'
{"image": "../../examples/page.png", "ocr": "../../examples/ocr.json", "translation": "../../examples/translation.json", "output": "pages/01.png", "cleanup_mode": "white_fill"}
{"image": "source1/page.png", "ocr": "source1/ocr.json", "translation": "source1/translation.json", "output": "pages/02.png", "font": "Comic Neue"}
{"image": "source2/page.png", "ocr": "source2/ocr.json", "translation": "source2/translation.json", "output": "pages/03.webp"}
{"image": "source3/page.png", "ocr": "source3/ocr.json", "translation": "source3/translation.json", "output": "pages/04.png", "debug": "pages/04-debug.png"}
JSONL
./build/letterforge-batch --set cleanup_mode=bubble_clean "$chapter/chapter.jsonl"

echo "== chapter: a comic archive in, a comic archive out"
# The same four pages packed as a chapter travels: page images with their payloads beside them.
python3 - "$chapter" out/sample-chapter.cbz <<'PY'
import sys, zipfile
folder, archive = sys.argv[1], sys.argv[2]
pages = [("examples/page.png", "examples/ocr.json", "examples/translation.json")] + [
    (f"{folder}/source{i}/page.png", f"{folder}/source{i}/ocr.json", f"{folder}/source{i}/translation.json")
    for i in (1, 2, 3)]
with zipfile.ZipFile(archive, "w") as cbz:
    for number, (image, ocr, translation) in enumerate(pages, 1):
        cbz.write(image, f"{number}.png")
        cbz.write(ocr, f"{number}.ocr.json")
        cbz.write(translation, f"{number}.translation.json")
PY
./build/letterforge-batch --quiet --set cleanup_mode=bubble_clean out/sample-chapter.cbz \
  --output-cbz out/sample-chapter-en.cbz > out/sample-chapter-en.jsonl
echo "Wrote out/sample-chapter-en.cbz from out/sample-chapter.cbz"

bash scripts/install_python.sh build
echo "== python"
python3 -c '
import letterforge
result = letterforge.render("examples/page.png", "examples/ocr.json", "examples/translation.json",
                            output="out/python.png", cleanup_mode="bubble_clean")
print("\n".join(result.report))
print("Rendered out/python.png:", result.page.shape, "array,", len(result.blocks), "blocks")
'
echo "Open out/*.png, out/chapter/pages/ and out/sample-chapter-en.cbz to see the results."
