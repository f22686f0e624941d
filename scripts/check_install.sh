#!/usr/bin/env bash
# Installs a build (build/, or the folder given) into a temporary prefix and uses it as a
# program outside this repository would: every file in place, the manual pages formatted
# without warnings, the library exporting its C interface and nothing else, and
# examples/c/render_page.c built against the library through pkg-config and through the CMake
# package, run on the sample page, giving the page, the debug image and the report lines of the
# installed letterforge byte for byte, as the installed letterforge-batch gives the page and the
# debug image. The Python package, installed under a staging root, renders the same page
# without the shared library.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
prefix=$(mktemp -d /tmp/lf-install-XXXXXX)
trap 'rm -rf "$prefix"' EXIT
fail() {
  echo "install check: $*" >&2
  exit 1
}

# The Python package goes to the interpreter's own directory, an absolute one: it is staged
# apart below, so that nothing is installed outside the temporary prefix.
cmake --install "$build" --prefix "$prefix" --component Unspecified >/dev/null
for file in bin/letterforge bin/cutframe bin/letterforge-batch include/letterforge.h lib/pkgconfig/letterforge.pc \
  lib/cmake/letterforge/letterforgeConfig.cmake lib/cmake/letterforge/letterforgeConfigVersion.cmake \
  lib/cmake/letterforge/letterforgeTargets.cmake share/man/man1/letterforge.1 \
  share/man/man1/cutframe.1 share/man/man1/letterforge-batch.1 share/man/man3/letterforge.3; do
  [ -e "$prefix/$file" ] || fail "$file is not installed"
done
version=$(sed -n 's/.*kVersion = "\([0-9.]*\)".*/\1/p' letterforge/driver/version.h)
library="$prefix/lib/libletterforge.so.$version"
[ -e "$library" ] || fail "lib/libletterforge.so.$version is not installed"
for page in "$prefix"/share/man/man1/*.1 "$prefix"/share/man/man3/*.3; do
  warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
exported=$(nm -D --defined-only "$library" | awk '{print $3}')
others=$(grep -v '^lf_' <<<"$exported" || true)
[ -z "$others" ] || fail "the library exports more than lf_*: $(head -5 <<<"$others" | tr '\n' ' ')"

export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
[ "$(pkg-config --modversion letterforge)" = "$version" ] || fail "pkg-config gives another version"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -pedantic -Werror examples/c/render_page.c \
  $(pkg-config --cflags --libs letterforge) -Wl,-rpath,"$prefix/lib" -o "$prefix/render_page"
cmake -S examples/c -B "$prefix/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/cmake-build" >/dev/null

inputs=(examples/page.png examples/ocr.json examples/translation.json)
work="$prefix/work"
mkdir "$work"
"$prefix/bin/letterforge" "${inputs[@]}" "$work/program.png" 18 38 1 1.12 bold true balanced \
  "$work/program-debug.png" balanced bubble_clean >/dev/null 2>"$work/program.err"
[ "$("$prefix/bin/letterforge-batch" --version)" = "letterforge-batch $version" ] ||
  fail "letterforge-batch gives another version"
printf '{"image": "%s", "ocr": "%s", "translation": "%s", "output": "%s", "debug": "%s", "cleanup_mode": "bubble_clean"}\n' \
  "$PWD/${inputs[0]}" "$PWD/${inputs[1]}" "$PWD/${inputs[2]}" "$work/batch.png" "$work/batch-debug.png" \
  >"$work/chapter.jsonl"
"$prefix/bin/letterforge-batch" --quiet "$work/chapter.jsonl" >/dev/null ||
  fail "the installed letterforge-batch failed"
cmp -s "$work/program.png" "$work/batch.png" || fail "letterforge-batch: the page differs"
cmp -s "$work/program-debug.png" "$work/batch-debug.png" || fail "letterforge-batch: the debug image differs"
for example in "$prefix/render_page" "$prefix/cmake-build/render_page"; do
  "$example" "${inputs[@]}" "$work/library.png" bubble_clean "$work/library-debug.png" \
    >"$work/blocks.txt" 2>"$work/library.err" || fail "$example failed: $(cat "$work/library.err")"
  cmp -s "$work/program.png" "$work/library.png" || fail "$example: the page differs"
  cmp -s "$work/program-debug.png" "$work/library-debug.png" || fail "$example: the debug image differs"
  diff "$work/program.err" "$work/library.err" >&2 || fail "$example: the report lines differ"
  [ "$(wc -l <"$work/blocks.txt")" = 9 ] || fail "$example: not one line per translated block"
  rm "$work/library.png" "$work/library-debug.png"
done
# A failure's code is the program's exit status.
status=0
"$prefix/render_page" /nonexistent.png examples/ocr.json examples/translation.json "$work/x.png" \
  2>/dev/null || status=$?
[ "$status" = 1 ] || fail "an unreadable image gave status $status"

# The Python package: the engine linked into its module, which needs no libletterforge and
# exports only its entry point.
site=$(sed -n 's/^LF_PYTHON_INSTALL_DIR:PATH=//p' "$build/CMakeCache.txt")
if [ -n "$site" ] && [ -e "$build/python/letterforge/__init__.py" ]; then
  DESTDIR="$prefix/staged" cmake --install "$build" --component python >/dev/null
  module=$(echo "$prefix/staged$site"/letterforge/_letterforge*.so)
  [ -e "$module" ] || fail "the Python module is not installed"
  ! readelf -d "$module" | grep -q 'NEEDED.*libletterforge' || fail "the Python module needs libletterforge"
  [ "$(nm -D --defined-only "$module" | awk '{print $3}')" = PyInit__letterforge ] ||
    fail "the Python module exports more than PyInit__letterforge"
  sources=("${inputs[@]/#/$PWD/}")
  (cd / && PYTHONPATH="$prefix/staged$site" /usr/bin/python3 -c '
import sys, letterforge
assert letterforge.__file__.startswith(sys.argv[1]), letterforge.__file__
open(sys.argv[2], "wb").write(letterforge.render(*sys.argv[3:6], cleanup_mode="bubble_clean").png())
' "$prefix/staged" "$work/python.png" "${sources[@]}") || fail "the installed Python package failed"
  cmp -s "$work/program.png" "$work/python.png" || fail "the installed Python package: the page differs"
fi
echo "install check: $prefix held every file; the library exports $(wc -l <<<"$exported") lf_* symbols only;" \
  "the C example built both ways and rendered as letterforge does, as did the Python package"
