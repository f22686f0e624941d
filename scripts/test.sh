#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: once in a normal build, once
# under AddressSanitizer and UndefinedBehaviorSanitizer (clang, with fuzzing coverage), and the
# fuzz targets of that same build for 20 seconds each.
set -euo pipefail
cd "$(dirname "$0")/.."
WITH_FUZZ_TOOLS=1 bash scripts/setup.sh
bash scripts/build.sh build
ctest --test-dir build --output-on-failure -j"$(nproc)"
CC=clang CXX=clang++ bash scripts/build.sh build-asan -DLF_SANITIZE=ON -DLF_FUZZ=ON
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$PWD/fuzz/lsan.supp":print_suppressions=0 \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
LF_FUZZ_BUILD_DIR=build-asan bash fuzz/run_fuzzers.sh 20
