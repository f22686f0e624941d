#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace platform {

// Largest image accepted by the decoders, checked from the file header before any pixel
// memory is allocated, so that a forged header cannot exhaust memory.
inline constexpr std::int64_t kMaxImageSide = 65535;
inline constexpr std::int64_t kMaxImagePixels = std::int64_t{1} << 28;

// A decoded image: 8-bit red, green, blue, alpha (not premultiplied), rows top first,
// 4 × width bytes per row.
struct DecodedImage {
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::unique_ptr<std::uint8_t[]> rgba{};

  std::uint8_t* row(std::int64_t y) { return rgba.get() + y * width * 4; }
  const std::uint8_t* row(std::int64_t y) const { return rgba.get() + y * width * 4; }
};

// Allocates an image of the given size with undefined contents; absent when a side is not in
// 1..kMaxImageSide, the area exceeds kMaxImagePixels or memory cannot be had.
std::optional<DecodedImage> allocateImage(std::int64_t width, std::int64_t height);

// Decodes PNG, JPEG, WebP, TIFF or GIF (the first image of a file that holds several),
// recognised by content, not by name. Grey, palette, 16-bit and alpha images are converted.
// Absent on every failure: missing, unreadable, empty, truncated, corrupt, unsupported or
// too large.
std::optional<DecodedImage> decodeImageFile(const std::string& path);
std::optional<DecodedImage> decodeImage(std::span<const std::uint8_t> bytes);

// Why a decode gave nothing: the file could not be read or its header is not one of an image
// format read here, or a recognised image could not be turned into pixels (corrupt,
// truncated or too large).
enum class ImageDecodeFailure { kCannotOpen, kCannotDecode };
std::optional<DecodedImage> decodeImageFile(const std::string& path, ImageDecodeFailure& failure);
std::optional<DecodedImage> decodeImage(std::span<const std::uint8_t> bytes,
                                        ImageDecodeFailure& failure);

// A rectangle of image pixels: columns x to x + width − 1 and rows y to y + height − 1, rows
// counted from the top.
struct ImageRegion {
  std::int64_t x = 0;
  std::int64_t y = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool operator==(const ImageRegion&) const = default;
};

// Told the image's width and height once its header is read, answers which region to decode,
// or absent for the whole image.
using ImageRegionChoice = std::function<std::optional<ImageRegion>(std::int64_t width, std::int64_t height)>;

// Decodes only the chosen region, pixel for pixel what cutting it out of the whole decoded
// image gives. PNG (not interlaced) stops after the region's last row and JPEG decodes only
// the blocks the region needs, so damage below the region goes unnoticed; other formats
// decode the whole image. Absent as decodeImage is, and with kCannotDecode when the region
// is empty or not wholly inside the image.
std::optional<DecodedImage> decodeImageFileRegion(const std::string& path, const ImageRegionChoice& choose,
                                                  ImageDecodeFailure& failure);
std::optional<DecodedImage> decodeImageRegion(std::span<const std::uint8_t> bytes, const ImageRegionChoice& choose,
                                              ImageDecodeFailure& failure);

}  // namespace platform
