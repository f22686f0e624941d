#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: once in a normal build (with
# the Python package's tests, on the system interpreter against the build tree; then installs it
# into a temporary prefix and builds a C program against the installed library), the PNG
# writer's row stream tests once more over zlib instead of ISA-L (the build option LF_ISAL=OFF;
# that test builds from the stream's few sources, so this costs well under a minute), once
# under AddressSanitizer and UndefinedBehaviorSanitizer (clang, with fuzzing coverage), the fuzz
# targets of that same build for 20 seconds each, and the concurrent-engine tests under
# ThreadSanitizer. Warnings are errors in every build. Debug information is kept to line tables
# (enough for a sanitizer's or debugger's backtrace): full debug information costs a quarter of
# the compile time and serves no test.
set -euo pipefail
cd "$(dirname "$0")/.."
WITH_FUZZ_TOOLS=1 bash scripts/setup.sh
lines_only=(-DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")
bash scripts/build.sh build -DLF_WERROR=ON "${lines_only[@]}"
ctest --test-dir build --output-on-failure -j"$(nproc)"
LF_BUILD_DIR="$PWD/build" /usr/bin/python3 -m pytest -q python/tests
bash scripts/check_install.sh build
TARGETS=row_stream_test bash scripts/build.sh build-zlib -DLF_ISAL=OFF -DLF_PYTHON=OFF -DLF_WERROR=ON \
  "${lines_only[@]}"
ctest --test-dir build-zlib --output-on-failure -j"$(nproc)" -R 'DeflateRows|Cores'
# The Python module has no tests of its own under ctest: the sanitized build leaves it out.
CC=clang CXX=clang++ bash scripts/build.sh build-asan -DLF_SANITIZE=ON -DLF_FUZZ=ON -DLF_WERROR=ON \
  -DLF_PYTHON=OFF "${lines_only[@]}"
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$PWD/fuzz/lsan.supp":print_suppressions=0 \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
LF_FUZZ_BUILD_DIR=build-asan bash fuzz/run_fuzzers.sh 20
# Engines rendering on several threads at once: only the tests that need it, since every
# other test runs on one thread.
CC=clang CXX=clang++ TARGETS="driver_test c_api_test" bash scripts/build.sh build-tsan \
  -DLF_SANITIZE_THREAD=ON -DLF_WERROR=ON "${lines_only[@]}"
TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/scripts/tsan.supp" \
  ctest --test-dir build-tsan --output-on-failure -R 'RenderEngine|CApiThreadTest'
