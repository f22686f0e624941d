#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need (only those missing),
# then warms the font cache so the first text layout of a run does not pay for it.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git groff-base
  libcairo2-dev libpango1.0-dev libfribidi-dev libfontconfig-dev
  fonts-inter fonts-noto-core fonts-noto-cjk fonts-noto-color-emoji fonts-comic-neue
  libspng-dev libjpeg62-turbo-dev libwebp-dev libtiff-dev libgif-dev zlib1g-dev libisal-dev
  nlohmann-json3-dev libicu-dev libarchive-dev
  libgtest-dev libgmock-dev libbenchmark-dev strace
  python3-dev python3-numpy pybind11-dev python3-pybind11 python3-pytest python3-distributed
  python3-pil python3-psd-tools imagemagick python3-jsonschema python3-scipy
)
if [ "${WITH_FUZZ_TOOLS:-0}" = 1 ]; then
  packages+=(clang libclang-rt-14-dev)
fi
if [ "${WITH_BENCH_TOOLS:-0}" = 1 ]; then
  packages+=(hyperfine time libvips-tools python3-opencv)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

fc-cache -f >/dev/null 2>&1 || fc-cache >/dev/null
