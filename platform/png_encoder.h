#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/image.h"
#include "platform/page_bitmap.h"

namespace platform {

// How the image data is filtered and compressed. The defaults are the fastest measured on a
// full page: every row Up-filtered, zlib level 1 (as fast as run-length matching, and a
// quarter smaller; adaptive filtering and higher levels cost two to five times the time).
enum class PngFilters { kAdaptive, kUpOnly };
enum class PngStrategy { kDefault, kFiltered, kRle };
struct PngSettings {
  PngFilters filters = PngFilters::kUpOnly;
  int zlibLevel = 1;  // 0..9
  PngStrategy strategy = PngStrategy::kDefault;
  bool alwaysRgba = false;       // keep the alpha channel even when every pixel is opaque
  bool libraryDefaults = false;  // ignore the fields above and let the library choose
};

// Encodes as a standard 8-bit PNG: RGB when every pixel is opaque, RGBA otherwise.
// Absent on failure, with `failure` describing it.
std::optional<std::vector<std::uint8_t>> encodePng(const PageBitmap& bitmap, std::string& failure);
std::optional<std::vector<std::uint8_t>> encodePng(const DecodedImage& image, std::string& failure);
std::optional<std::vector<std::uint8_t>> encodePng(const PageBitmap& bitmap, const PngSettings& settings,
                                                   std::string& failure);
std::optional<std::vector<std::uint8_t>> encodePng(const DecodedImage& image, const PngSettings& settings,
                                                   std::string& failure);

// Encodes 8-bit grey levels, rows top first, as a greyscale PNG.
std::optional<std::vector<std::uint8_t>> encodeGreyPng(const std::vector<std::uint8_t>& levels,
                                                       std::int64_t width, std::int64_t height,
                                                       std::string& failure);

}  // namespace platform
