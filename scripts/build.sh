#!/usr/bin/env bash
# Configures and builds into build/ (or the folder given as $1, with extra CMake options after
# it). TARGETS, when set, names the targets to build instead of all of them.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
if [ -n "${TARGETS:-}" ]; then
  # shellcheck disable=SC2086
  cmake --build "$dir" -j"$(nproc)" --target $TARGETS
else
  cmake --build "$dir" -j"$(nproc)"
fi
