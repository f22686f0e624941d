#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: once in a normal build (with
# the Python package's tests, on the system interpreter against the build tree; then installs it
# into a temporary prefix and builds a C program against the installed library), once
# under AddressSanitizer and UndefinedBehaviorSanitizer (clang, with fuzzing coverage), the fuzz
# targets of that same build for 20 seconds each, and the concurrent-engine tests under
# ThreadSanitizer. Warnings are errors in every build.
set -euo pipefail
cd "$(dirname "$0")/.."
WITH_FUZZ_TOOLS=1 bash scripts/setup.sh
bash scripts/build.sh build -DLF_WERROR=ON
ctest --test-dir build --output-on-failure -j"$(nproc)"
LF_BUILD_DIR="$PWD/build" /usr/bin/python3 -m pytest -q python/tests
bash scripts/check_install.sh build
# The Python module has no tests of its own under ctest: the sanitized build leaves it out.
CC=clang CXX=clang++ bash scripts/build.sh build-asan -DLF_SANITIZE=ON -DLF_FUZZ=ON -DLF_WERROR=ON \
  -DLF_PYTHON=OFF
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$PWD/fuzz/lsan.supp":print_suppressions=0 \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
LF_FUZZ_BUILD_DIR=build-asan bash fuzz/run_fuzzers.sh 20
# Engines rendering on several threads at once: only the tests that need it, since every
# other test runs on one thread.
CC=clang CXX=clang++ TARGETS="driver_test c_api_test" bash scripts/build.sh build-tsan \
  -DLF_SANITIZE_THREAD=ON -DLF_WERROR=ON
TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/scripts/tsan.supp" \
  ctest --test-dir build-tsan --output-on-failure -R 'RenderEngine|CApiThreadTest'
