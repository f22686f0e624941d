#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer) in
# build-fuzz when needed and runs each for the given number of seconds, one per core at a
# time, starting from the seed corpora of fuzz/corpus/. Fails when a target finds a crash,
# leak, timeout or out-of-memory input; the input is left in build-fuzz/fuzz/artifacts/.
#
#   bash fuzz/run_fuzzers.sh <seconds-per-target> [target...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: run_fuzzers.sh <seconds-per-target> [target...]}
shift
build=${LF_FUZZ_BUILD_DIR:-build-fuzz}
all_targets=(ocr_payload_fuzzer translation_payload_fuzzer render_options_fuzzer
             image_decode_fuzzer crop_fuzzer letterforge_run_fuzzer manifest_fuzzer)
if [[ $# -gt 0 ]]; then targets=("$@"); else targets=("${all_targets[@]}"); fi

# clang with its libFuzzer runtime (only a recommendation of clang's own packages).
probe='extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }'
if ! echo "$probe" | clang++ -x c++ -fsanitize=fuzzer - -o /dev/null >/dev/null 2>&1; then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends clang libclang-rt-14-dev
fi

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLF_FUZZ=ON -DLF_SANITIZE=ON -DLF_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

artifacts="$build/fuzz/artifacts"
mkdir -p "$artifacts"

# Runs one target for the given time; its summary (and on failure its log's tail) goes to
# "$2", so that targets running side by side print whole, in order.
run_target() {
  local target=$1 summary=$2 work extra
  # New inputs go to a scratch corpus, so the seeds in the repository stay as committed.
  work=$(mktemp -d)
  case $target in
    letterforge_run_fuzzer) extra=(-max_len=8192 -timeout=20 -close_fd_mask=3 -dict=fuzz/json.dict) ;;
    ocr_payload_fuzzer | translation_payload_fuzzer) extra=(-max_len=8192 -timeout=10 -dict=fuzz/json.dict) ;;
    manifest_fuzzer) extra=(-max_len=8192 -timeout=10 -dict=fuzz/manifest.dict) ;;
    # A valid GIF of a few dozen bytes may describe a canvas of 2^28 pixels, which takes
    # seconds to clear under the sanitizers.
    image_decode_fuzzer) extra=(-max_len=65536 -timeout=60) ;;
    *) extra=(-max_len=4096 -timeout=10) ;;
  esac
  local failed=0
  echo "== $target: ${seconds}s" >"$summary"
  if ! ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
       LSAN_OPTIONS=suppressions="$PWD/fuzz/lsan.supp":print_suppressions=0 \
       "$build/fuzz/$target" "$work" "fuzz/corpus/$target" -max_total_time="$seconds" \
         -rss_limit_mb=2560 -malloc_limit_mb=2048 -print_final_stats=1 \
         -artifact_prefix="$artifacts/$target-" "${extra[@]}" 2>"$work.log"; then
    failed=1
    { echo "!! $target failed; log and input:"
      tail -n 60 "$work.log"
      ls "$artifacts" | grep "^$target-" || true; } >>"$summary"
  fi
  { grep -E '^(#[0-9]+ *DONE|stat::number_of_executed_units|Done [0-9]+ runs)' "$work.log" || true
    grep -E '^#[0-9]+' "$work.log" | tail -n 1 || true; } >>"$summary"
  rm -rf "$work" "$work.log"
  return $failed
}

# One target per core at a time: each fuzzer runs on one thread.
summaries=$(mktemp -d)
trap 'rm -rf "$summaries"' EXIT
status=0
slots=$(nproc)
for ((first = 0; first < ${#targets[@]}; first += slots)); do
  pids=()
  for ((i = first; i < first + slots && i < ${#targets[@]}; i++)); do
    run_target "${targets[i]}" "$summaries/$i" &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || status=1; done
  for ((i = first; i < first + slots && i < ${#targets[@]}; i++)); do cat "$summaries/$i"; done
done
exit $status
