#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/color.h"
#include "platform/geometry.h"
#include "platform/image.h"

namespace platform {

struct Rgb8 {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  bool operator==(const Rgb8&) const = default;
};

// An 8-bit RGBA raster together with its drawing context. Drawing coordinates have their
// origin at the bottom-left corner, y upwards, one unit per pixel; pixel (x, y) covers
// [x, x+1) × [y, y+1) and is stored in row height − 1 − y (rows top first).
// Colour samples are premultiplied by alpha; every pixel is opaque once a page is painted,
// so a read returns the colour as drawn.
class PageBitmap {
 public:
  // Absent when a side is not in 1..kMaxImageSide or memory cannot be had. The pixels are one
  // buffer whatever the size. A page larger than one surface of the drawing library (32767
  // pixels a side) is drawn through a surface placed around each drawing, and comes out as a
  // page-sized surface would draw it.
  // With `memory`, the pixels are memory taken from it where it holds enough (cleared first),
  // and keepPixels can give them back.
  static std::optional<PageBitmap> create(std::int64_t width, std::int64_t height,
                                          PixelMemory* memory = nullptr);
  // The same, but with pixels left undefined, for an image to be painted on every row with
  // paintImageRow before the bitmap is read or drawn on.
  static std::optional<PageBitmap> createForImage(std::int64_t width, std::int64_t height,
                                                  PixelMemory* memory = nullptr);

  PageBitmap(PageBitmap&&) noexcept;
  PageBitmap& operator=(PageBitmap&&) noexcept;
  ~PageBitmap();

  std::int64_t width() const { return width_; }
  std::int64_t height() const { return height_; }

  // Direct pixel access; the caller keeps 0 ≤ x < width and 0 ≤ y < height.
  Rgb8 pixel(std::int64_t x, std::int64_t y) const {
    const std::uint32_t v = rowWords(y)[x];
    return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v)};
  }
  // Stores the colour with alpha 255.
  void setPixel(std::int64_t x, std::int64_t y, Rgb8 c) {
    mutableRowWords(y)[x] = 0xFF000000u | (std::uint32_t{c.red} << 16) |
                            (std::uint32_t{c.green} << 8) | std::uint32_t{c.blue};
    pixelsWritten_ = true;
  }
  // The packed pixels of drawing row y (0xAARRGGBB words, premultiplied).
  const std::uint32_t* rowWords(std::int64_t y) const {
    return reinterpret_cast<const std::uint32_t*>(data_ + (height_ - 1 - y) * stride_);
  }

  // Drawing context. State (clip) is kept on a stack by save and restore.
  void save();
  void restore();
  void fillRect(const Rect& rect, const Color& color);
  // Quarter-circle corners of the given radius, antialiased edges.
  void fillRoundedRect(const Rect& rect, double radius, const Color& color);
  // Makes the same shape transparent: what is drawn there goes, by the shape's coverage.
  void eraseRoundedRect(const Rect& rect, double radius);
  // Takes every pixel of a bitmap of the same size; false, changing nothing, for another size.
  bool copyPixelsFrom(const PageBitmap& other);
  // An outline centred on the rectangle's edges.
  void strokeRect(const Rect& rect, double lineWidth, const Color& color);
  void clipToRect(const Rect& rect);
  // Draws the whole image scaled onto rect with source-over blending.
  void drawImage(const DecodedImage& image, const Rect& rect);
  // Paints row `row` (counted from the top) of an image of the bitmap's width one to one over
  // opaque white, whatever the clip: `pixels` are straight RGB (`channels` 3) or RGBA (4).
  // The row comes out as a white fill and drawImage of the image leave it.
  void paintImageRow(std::int64_t row, const std::uint8_t* pixels, int channels);

  struct Impl;
  friend void keepPixels(PageBitmap&& bitmap, PixelMemory& memory);
  Impl& impl() { return *impl_; }
  const Impl& impl() const { return *impl_; }

 private:
  PageBitmap() = default;
  static std::optional<PageBitmap> make(std::int64_t width, std::int64_t height, PixelMemory* memory,
                                        bool cleared);
  std::uint32_t* mutableRowWords(std::int64_t y) {
    return reinterpret_cast<std::uint32_t*>(data_ + (height_ - 1 - y) * stride_);
  }
  void syncBeforeDrawing();
  void paintRoundedRect(const Rect& rect, double radius, const Color& color, bool erase);

  std::unique_ptr<Impl> impl_;
  std::uint8_t* data_ = nullptr;
  std::int64_t stride_ = 0;
  std::int64_t width_ = 0;
  std::int64_t height_ = 0;
  bool pixelsWritten_ = false;
};

// Lets the bitmap go, keeping the memory of a bitmap made with a PixelMemory in `memory` for
// a later bitmap or image.
void keepPixels(PageBitmap&& bitmap, PixelMemory& memory);

}  // namespace platform
