#pragma once

// Private to platform/: one decoder per file format, chosen by image_decode.cc from the
// file's first bytes. Each sets `failure` to kCannotOpen until the header has been read and
// to kCannotDecode afterwards, and allocates pixels only through allocateImage, so sizes
// beyond the limits are refused before any large allocation.
#include <cstdint>
#include <optional>
#include <span>

#include "platform/image.h"

namespace platform {

std::optional<DecodedImage> decodePng(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure);
std::optional<DecodedImage> decodeJpeg(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure);
std::optional<DecodedImage> decodeWebp(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure);
std::optional<DecodedImage> decodeTiff(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure);
std::optional<DecodedImage> decodeGif(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure);

}  // namespace platform
