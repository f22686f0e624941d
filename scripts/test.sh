#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: once in a normal build and
# once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build
ctest --test-dir build --output-on-failure -j"$(nproc)"
bash scripts/build.sh build-asan -DLF_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
bash fuzz/run_fuzzers.sh 20
