#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/image.h"
#include "platform/page_bitmap.h"

namespace platform {

// Encodes as a standard 8-bit PNG: RGB when every pixel is opaque, RGBA otherwise.
// Absent on failure, with `failure` describing it.
std::optional<std::vector<std::uint8_t>> encodePng(const PageBitmap& bitmap, std::string& failure);
std::optional<std::vector<std::uint8_t>> encodePng(const DecodedImage& image, std::string& failure);

}  // namespace platform
