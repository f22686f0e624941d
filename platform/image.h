#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// Largest image accepted by the decoders, checked from the file header before any pixel
// memory is allocated, so that a forged header cannot exhaust memory.
inline constexpr std::int64_t kMaxImageSide = 65535;
inline constexpr std::int64_t kMaxImagePixels = std::int64_t{1} << 28;

// Whether an image of this size may be a page: each side 1 to kMaxImageSide pixels, at most
// kMaxImagePixels in all. Every way a page comes in (a file's header, bytes, pixels given by
// a caller) is held to it.
bool withinImageLimits(std::int64_t width, std::int64_t height);

// The message of a page image that cannot be opened, `name` being its path or a description.
std::string imageOpenFailure(std::string_view name);

// Pixel memory: from operator new[] when its contents start undefined, from the C allocator
// (which hands out fresh memory already cleared) when they must start cleared.
struct FreePixels {
  bool cleared = false;
  void operator()(std::uint8_t* pixels) const {
    if (cleared) {
      std::free(pixels);
    } else {
      delete[] pixels;
    }
  }
};
using PixelBuffer = std::unique_ptr<std::uint8_t[], FreePixels>;
// Memory for `bytes` of pixels, cleared when asked; empty when it cannot be had.
PixelBuffer allocatePixels(std::size_t bytes, bool cleared);

// A decoded image: 8-bit red, green, blue, alpha (not premultiplied), rows top first,
// 4 × width bytes per row.
struct DecodedImage {
  std::int64_t width = 0;
  std::int64_t height = 0;
  PixelBuffer rgba{};

  std::uint8_t* row(std::int64_t y) { return rgba.get() + y * width * 4; }
  const std::uint8_t* row(std::int64_t y) const { return rgba.get() + y * width * 4; }
};

// The pixel memory of a page's image and bitmap, kept for the next page. A program that
// renders page after page takes it back instead of having the system map and clear fresh
// memory for every page, which costs about a tenth of a page's run. Holds at most two
// buffers. Belongs to one thread, as the render engine that owns it does.
class PixelMemory {
 public:
  // The smallest kept buffer of at least `bytes`, with undefined contents, or nothing. Kept
  // buffers smaller than `bytes` are let go then, so that they are never held beside the
  // larger page that replaces them.
  PixelBuffer take(std::size_t bytes);
  // Keeps a buffer of `bytes` for a later take, in place of a smaller one when both places
  // are held.
  void keep(PixelBuffer buffer, std::size_t bytes);
  // Keeps the image's memory; the image is left empty.
  void keep(DecodedImage& image);

 private:
  struct Kept {
    PixelBuffer buffer{};
    std::size_t bytes = 0;
  };
  std::array<Kept, 2> kept_{};
};

// Allocates an image of the given size with undefined contents, from `memory` when it holds
// enough; absent when a side is not in 1..kMaxImageSide, the area exceeds kMaxImagePixels or
// memory cannot be had.
std::optional<DecodedImage> allocateImage(std::int64_t width, std::int64_t height,
                                          PixelMemory* memory = nullptr);

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
// The same, with the pixels in `memory` where it holds enough.
std::optional<DecodedImage> decodeImageFile(const std::string& path, ImageDecodeFailure& failure,
                                            PixelMemory& memory);
std::optional<DecodedImage> decodeImage(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure,
                                        PixelMemory& memory);

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
