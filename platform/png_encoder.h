#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/image.h"
#include "platform/page_bitmap.h"

namespace platform {

// Uncompressed bytes in a band of the image data by default: a 2480 x 3508 page makes 13
// bands, enough to share among the cores at a cost of about 0.1 % in size.
inline constexpr std::int64_t kPngBandBytes = std::int64_t{2} << 20;

// Which compressor takes a band of the image data: the one of the two below that the band's
// first rows favour (the matcher where it makes them a twentieth smaller), the deflate
// library alone (ISA-L's, or zlib's in a build without it), or the writer's own matcher
// alone, which takes repeats of a single pixel: fine noise whose pixels repeat whole
// (photographs, dithering, screentone) comes out up to a fifth smaller, in one and a half to
// three times the library's time.
enum class PngCompressor { kChosenPerBand, kLibrary, kPixelMatcher };

// How the image data is compressed. Every row is Up-filtered. The data is split into bands of
// whole rows, compressed apart (each but the last ending in a sync flush) and joined into one
// zlib stream; the split depends only on the image and `bandBytes`, so the bytes are the same
// whatever the number of threads.
struct PngSettings {
  PngCompressor compressor = PngCompressor::kChosenPerBand;
  int level = -1;  // the library's effort: 0 to 3, or 0 to 9 over zlib; below 0 its default
  bool alwaysRgba = false;  // keep the alpha channel even when every pixel is opaque
  // Bands compressed at once, the calling thread included. 0: the calling thread, which
  // counts as busy (see CoreClaim), and a helper on every core no other page work holds.
  int threads = 0;
  std::int64_t bandBytes = kPngBandBytes;  // whole rows, one at least
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
