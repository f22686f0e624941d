#pragma once

#include <cstdint>
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

}  // namespace platform
