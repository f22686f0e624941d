#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/image.h"
#include "platform/page_bitmap.h"

namespace letterforge {

using platform::DecodedImage;
using platform::PageBitmap;

// Decodes the page image; its pixel size is the page size of the run. Absent when the file
// is missing, unreadable, not a decodable image or too large. With `memory`, the pixels go
// into the memory it kept from an earlier page where that is large enough.
std::optional<DecodedImage> loadPageImage(const std::string& imagePath,
                                          platform::PixelMemory* memory = nullptr);

// A new RGBA page bitmap of the given size; absent when its memory cannot be had. With
// `memory`, drawn in memory kept from an earlier page where it holds enough.
std::optional<PageBitmap> createPageBitmap(std::int64_t pageWidth, std::int64_t pageHeight,
                                           platform::PixelMemory* memory = nullptr);

// Paints the image one to one onto opaque white, so transparent areas come out white.
void drawPageImage(PageBitmap& bitmap, const DecodedImage& image);

// The formats a finished image can be written in.
enum class ImageFormat { kPng, kJpeg, kWebp };

struct ImageEncoding {
  ImageFormat format = ImageFormat::kPng;
  std::optional<int> quality{};  // JPEG (kDefaultJpegQuality without one) and lossy WebP
  bool operator==(const ImageEncoding&) const = default;
};

inline constexpr int kDefaultJpegQuality = 90;

// The extension of the path's last name: what follows its last ".", when that is neither the
// name's first nor its last character. Empty for none ("out/page", ".hidden", "v1.2/page").
std::string extensionOf(const std::string& path);

// The format a file name's extension names, letter case aside: .png, .jpg or .jpeg, .webp.
// Absent for another extension or none.
std::optional<ImageFormat> formatOfPath(const std::string& path);

// The extensions formatOfPath knows, as messages list them.
inline constexpr const char* kImageExtensions = "png, jpg, jpeg or webp";

// "png", "jpeg" or "webp".
const char* formatWord(ImageFormat format);

// The bitmap encoded as asked: PNG; JPEG at the quality; WebP lossy at the quality, lossless
// without one. Absent when it cannot be encoded, with `failure` describing it and naming the
// image `name`.
std::optional<std::vector<std::uint8_t>> encodeImage(const PageBitmap& bitmap,
                                                     const ImageEncoding& encoding,
                                                     const std::string& name, std::string& failure);

// The bitmap as PNG bytes. Absent when it cannot be encoded, with `failure` describing it and
// naming the image `name`.
std::optional<std::vector<std::uint8_t>> encodePng(const PageBitmap& bitmap, const std::string& name,
                                                   std::string& failure);

// Copies the pixels of a finished (opaque) bitmap out: rows top first, `channels` bytes a
// pixel (3: RGB; 4: RGBA, alpha 255), rows `stride` bytes apart; `out` holds height rows.
void copyBitmapPixels(const PageBitmap& bitmap, int channels, std::uint8_t* out,
                      std::size_t stride);

// Stores PNG bytes at path, creating missing parent directories and replacing any file there;
// a failed write leaves no partial file. False on failure, with `failure` describing it.
bool writePng(std::span<const std::uint8_t> png, const std::string& path, std::string& failure);

}  // namespace letterforge
