#include "platform/page_bitmap.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/cpu_features.h"
#include "platform/huge_pages.h"
#include "platform/page_bitmap_impl.h"
#include "platform/page_bitmap_testing.h"

#ifdef LF_X86_VECTORS
#include <immintrin.h>
#endif

namespace platform {
namespace {

// The largest surface side for new bitmaps; only tests lower it.
std::atomic<std::int64_t> surfaceSideForNewBitmaps{kMaxSurfaceSide};

// Pixels beyond a drawing's geometric reach that antialiasing may still touch.
constexpr double kAntialiasMargin = 2.0;

void setSource(cairo_t* cr, const Color& c) {
  cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
}

// Cairo draws in device space (y down); every rectangle is turned over here.
void addDeviceRect(cairo_t* cr, const Rect& r, std::int64_t height) {
  cairo_rectangle(cr, r.x, deviceTop(r, height), r.width, r.height);
}

// Straight RGBA source over a premultiplied pixel, with the rounding Cairo's blend uses.
void blendPixelOver(const std::uint8_t* src, std::uint32_t& dst) {
  const std::uint32_t a = src[3];
  if (a == 255) {
    dst = 0xFF000000u | (std::uint32_t{src[0]} << 16) | (std::uint32_t{src[1]} << 8) | src[2];
    return;
  }
  const std::uint32_t d = dst;
  const std::uint32_t inv = 255 - a;
  auto blend = [&](std::uint32_t s, std::uint32_t dc) { return (s * a + dc * inv + 127) / 255; };
  const std::uint32_t outA = a + ((d >> 24) * inv + 127) / 255;
  dst = (outA << 24) | (blend(src[0], (d >> 16) & 255) << 16) | (blend(src[1], (d >> 8) & 255) << 8) |
        blend(src[2], d & 255);
}

// With `overWhite`, each pixel is blended over opaque white instead of what is there.
void blendRowOverScalar(const std::uint8_t* src, std::uint32_t* dst, std::int64_t width, bool overWhite) {
  for (std::int64_t x = 0; x < width; ++x, src += 4) {
    if (overWhite) dst[x] = 0xFFFFFFFFu;
    blendPixelOver(src, dst[x]);
  }
}

#if defined(LF_X86_VECTORS)
// Four pixels a step: opaque ones, nearly every pixel of a page, are only reordered.
[[gnu::target("ssse3")]] void blendRowOverShuffled(const std::uint8_t* src, std::uint32_t* dst, std::int64_t width,
                                                    bool overWhite) {
  const __m128i toWords = _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  std::int64_t x = 0;
  for (; x + 4 <= width; x += 4, src += 16) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(pixels, alpha), alpha)) == 0xFFFF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_shuffle_epi8(pixels, toWords));
    } else {
      blendRowOverScalar(src, dst + x, 4, overWhite);
    }
  }
  blendRowOverScalar(src, dst + x, width - x, overWhite);
}
#endif

// A row of straight RGBA over a row of the page's words, or over white.
void blendRowOver(const std::uint8_t* src, std::uint32_t* dst, std::int64_t width, bool overWhite = false) {
#if defined(LF_X86_VECTORS)
  if (std::endian::native == std::endian::little && hasByteShuffle()) {
    blendRowOverShuffled(src, dst, width, overWhite);
    return;
  }
#endif
  blendRowOverScalar(src, dst, width, overWhite);
}

void widenRgbToWordsScalar(const std::uint8_t* rgb, std::uint32_t* dst, std::int64_t width) {
  for (std::int64_t x = 0; x < width; ++x, rgb += 3) {
    dst[x] = 0xFF000000u | (std::uint32_t{rgb[0]} << 16) | (std::uint32_t{rgb[1]} << 8) | rgb[2];
  }
}

#if defined(LF_X86_VECTORS)
// Four pixels a step from a 16-byte load of which 12 bytes count, so the loop stops while two
// pixels are still left to read past.
[[gnu::target("ssse3")]] void widenRgbToWordsShuffled(const std::uint8_t* rgb, std::uint32_t* dst,
                                                       std::int64_t width) {
  const __m128i toWords = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  std::int64_t x = 0;
  for (; x + 6 <= width; x += 4, rgb += 12) {
    const __m128i pixels = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb)), toWords);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_or_si128(pixels, alpha));
  }
  widenRgbToWordsScalar(rgb, dst + x, width - x);
}
#endif

// A row of opaque RGB as the page's words.
void widenRgbToWords(const std::uint8_t* rgb, std::uint32_t* dst, std::int64_t width) {
#if defined(LF_X86_VECTORS)
  if (std::endian::native == std::endian::little && hasByteShuffle()) {
    widenRgbToWordsShuffled(rgb, dst, width);
    return;
  }
#endif
  widenRgbToWordsScalar(rgb, dst, width);
}

bool isDrawable(const Rect& r) {
  return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) &&
         std::isfinite(r.height);
}

// The device box of a standardised drawing rectangle, grown by `grow` on every side.
DeviceBox deviceBox(const Rect& r, std::int64_t height, double grow) {
  const double top = deviceTop(r, height);
  return {r.x - grow, top - grow, r.x + r.width + grow, top + r.height + grow};
}

// The part of the page inside every clip rectangle in whole pixels, grown by `spare`.
DeviceBox clipExtent(const PageBitmap::Impl& impl, double spare) {
  DeviceBox box{0.0, 0.0, static_cast<double>(impl.width), static_cast<double>(impl.height)};
  for (const Rect& clip : impl.clips) {
    box.x0 = std::max(box.x0, std::floor(clip.x) - spare);
    box.y0 = std::max(box.y0, std::floor(clip.y) - spare);
    box.x1 = std::min(box.x1, std::ceil(clip.x + clip.width) + spare);
    box.y1 = std::min(box.y1, std::ceil(clip.y + clip.height) + spare);
  }
  return box;
}

// Makes the drawing through a surface over the page pixels [x, x + w) × [y, y + h), with the
// page's device coordinates and the clip in force.
void drawThrough(const PageBitmap::Impl& impl, std::int64_t x, std::int64_t y, std::int64_t w,
                 std::int64_t h, const std::function<void(cairo_t*)>& drawing) {
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      impl.pixels.get() + y * impl.stride + x * 4, CAIRO_FORMAT_ARGB32, static_cast<int>(w),
      static_cast<int>(h), static_cast<int>(impl.stride));
  cairo_surface_set_device_offset(surface, -static_cast<double>(x), -static_cast<double>(y));
  cairo_t* cr = cairo_create(surface);
  for (const Rect& clip : impl.clips) {
    cairo_rectangle(cr, clip.x, clip.y, clip.width, clip.height);
    cairo_clip(cr);
  }
  drawing(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
}

}  // namespace

PageBitmap::Impl::~Impl() {
  if (context != nullptr) cairo_destroy(context);
  if (surface != nullptr) cairo_surface_destroy(surface);
}

// The drawing library limits every polygon to its surface. A limit across a shape moves the
// shape's edges beyond it (their crossings rounded) and drops round joins near it, which
// changes pixels inside by a level here and there; a limit that the shape does not cross
// changes nothing. So a drawing is made through one surface placed around all it can reach
// within the clip and the page, where the library's limits are those of a page-sized surface.
// Only a drawing that reaches further than one surface can hold is cut into surfaces; its
// rectangles still come out exactly.
void PageBitmap::Impl::draw(const DeviceBox& reach, const std::function<void(cairo_t*)>& drawing) {
  if (context != nullptr) {
    drawing(context);
    cairo_surface_flush(surface);
    return;
  }
  // A pixel to spare: the library rounds the clip's edges to its own fixed point.
  const DeviceBox clip = clipExtent(*this, 1.0);
  const double x0 = std::max(clip.x0, std::floor(reach.x0 - kAntialiasMargin));
  const double y0 = std::max(clip.y0, std::floor(reach.y0 - kAntialiasMargin));
  const double x1 = std::min(clip.x1, std::ceil(reach.x1 + kAntialiasMargin));
  const double y1 = std::min(clip.y1, std::ceil(reach.y1 + kAntialiasMargin));
  if (!(x0 < x1 && y0 < y1)) return;  // nothing to change, or not a number
  const auto left = static_cast<std::int64_t>(x0), top = static_cast<std::int64_t>(y0);
  const auto right = static_cast<std::int64_t>(x1), bottom = static_cast<std::int64_t>(y1);
  for (std::int64_t y = top; y < bottom; y += surfaceSide) {
    for (std::int64_t x = left; x < right; x += surfaceSide) {
      drawThrough(*this, x, y, std::min(surfaceSide, right - x), std::min(surfaceSide, bottom - y), drawing);
    }
  }
}

std::optional<PageBitmap> PageBitmap::create(std::int64_t width, std::int64_t height, PixelMemory* memory) {
  return make(width, height, memory, true);
}

std::optional<PageBitmap> PageBitmap::createForImage(std::int64_t width, std::int64_t height,
                                                     PixelMemory* memory) {
  return make(width, height, memory, false);
}

std::optional<PageBitmap> PageBitmap::make(std::int64_t width, std::int64_t height, PixelMemory* memory,
                                           bool cleared) {
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide) {
    return std::nullopt;
  }
  auto impl = std::make_unique<Impl>();
  impl->width = width;
  impl->height = height;
  impl->surfaceSide = surfaceSideForNewBitmaps.load();
  impl->stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, static_cast<int>(width));
  impl->bytes = static_cast<std::size_t>(height) * static_cast<std::size_t>(impl->stride);
  impl->keepable = memory != nullptr;
  // Cleared, as the library's own surfaces are, unless an image is to cover every pixel.
  impl->pixels = memory != nullptr ? memory->take(impl->bytes) : nullptr;
  if (impl->pixels != nullptr) {
    if (cleared) std::memset(impl->pixels.get(), 0, impl->bytes);
  } else {
    impl->pixels = allocatePixels(impl->bytes, cleared);
    if (impl->pixels == nullptr) return std::nullopt;
    // Fresh memory is untouched until the first drawing or painted row.
    adviseHugePages(impl->pixels.get(), impl->bytes);
  }
  if (width <= impl->surfaceSide && height <= impl->surfaceSide) {
    impl->surface = cairo_image_surface_create_for_data(impl->pixels.get(), CAIRO_FORMAT_ARGB32,
                                                        static_cast<int>(width), static_cast<int>(height),
                                                        static_cast<int>(impl->stride));
    if (cairo_surface_status(impl->surface) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    impl->context = cairo_create(impl->surface);
    if (cairo_status(impl->context) != CAIRO_STATUS_SUCCESS) return std::nullopt;
  }

  PageBitmap bitmap;
  bitmap.data_ = impl->pixels.get();
  bitmap.stride_ = impl->stride;
  bitmap.width_ = width;
  bitmap.height_ = height;
  bitmap.impl_ = std::move(impl);
  return bitmap;
}

PageBitmap::PageBitmap(PageBitmap&&) noexcept = default;
PageBitmap& PageBitmap::operator=(PageBitmap&&) noexcept = default;
PageBitmap::~PageBitmap() = default;

void keepPixels(PageBitmap&& bitmap, PixelMemory& memory) {
  PageBitmap gone = std::move(bitmap);
  if (gone.impl_ == nullptr || !gone.impl_->keepable) return;
  PageBitmap::Impl& impl = *gone.impl_;
  if (impl.context != nullptr) cairo_destroy(std::exchange(impl.context, nullptr));
  if (impl.surface != nullptr) cairo_surface_destroy(std::exchange(impl.surface, nullptr));
  memory.keep(std::move(impl.pixels), impl.bytes);
}

void PageBitmap::syncBeforeDrawing() {
  if (pixelsWritten_) {
    if (impl_->surface != nullptr) cairo_surface_mark_dirty(impl_->surface);
    pixelsWritten_ = false;
  }
}

void PageBitmap::save() {
  if (impl_->context != nullptr) {
    cairo_save(impl_->context);
  } else {
    impl_->savedClips.push_back(impl_->clips.size());
  }
}

void PageBitmap::restore() {
  if (impl_->context != nullptr) {
    cairo_restore(impl_->context);
  } else if (!impl_->savedClips.empty()) {
    impl_->clips.resize(impl_->savedClips.back());
    impl_->savedClips.pop_back();
  }
}

void PageBitmap::fillRect(const Rect& rect, const Color& color) {
  if (!isDrawable(rect)) return;
  syncBeforeDrawing();
  const Rect r = standardised(rect);
  impl_->draw(deviceBox(r, height_, 0.0), [&](cairo_t* cr) {
    addDeviceRect(cr, r, height_);
    setSource(cr, color);
    cairo_fill(cr);
  });
}

namespace {

// Adds the rounded rectangle's outline, in device space, to the path.
void addRoundedPath(cairo_t* cr, const Rect& r, double rad, std::int64_t bitmapHeight) {
  const double left = r.x;
  const double right = r.x + r.width;
  const double top = deviceTop(r, bitmapHeight);
  const double bottom = top + r.height;
  cairo_new_sub_path(cr);
  cairo_arc(cr, right - rad, top + rad, rad, -M_PI / 2.0, 0.0);
  cairo_arc(cr, right - rad, bottom - rad, rad, 0.0, M_PI / 2.0);
  cairo_arc(cr, left + rad, bottom - rad, rad, M_PI / 2.0, M_PI);
  cairo_arc(cr, left + rad, top + rad, rad, M_PI, 3.0 * M_PI / 2.0);
  cairo_close_path(cr);
}

double cornerRadius(const Rect& r, double radius) {
  return std::max(0.0, std::min(radius, std::min(r.width, r.height) / 2.0));
}

}  // namespace

void PageBitmap::fillRoundedRect(const Rect& rect, double radius, const Color& color) {
  paintRoundedRect(rect, radius, color, false);
}

void PageBitmap::eraseRoundedRect(const Rect& rect, double radius) {
  paintRoundedRect(rect, radius, Color{0.0, 0.0, 0.0, 1.0}, true);
}

void PageBitmap::paintRoundedRect(const Rect& rect, double radius, const Color& color, bool erase) {
  if (!isDrawable(rect) || !std::isfinite(radius)) return;
  syncBeforeDrawing();
  const Rect r = standardised(rect);
  const double rad = cornerRadius(r, radius);
  impl_->draw(deviceBox(r, height_, 0.0), [&](cairo_t* cr) {
    addRoundedPath(cr, r, rad, height_);
    setSource(cr, color);
    if (!erase) {
      cairo_fill(cr);
      return;
    }
    // Taken out of what is there by the shape's coverage.
    const cairo_operator_t before = cairo_get_operator(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_DEST_OUT);
    cairo_fill(cr);
    cairo_set_operator(cr, before);
  });
}

bool PageBitmap::copyPixelsFrom(const PageBitmap& other) {
  if (other.width_ != width_ || other.height_ != height_) return false;
  for (std::int64_t y = 0; y < height_; ++y) {
    std::memcpy(mutableRowWords(y), other.rowWords(y), static_cast<std::size_t>(width_) * 4);
  }
  pixelsWritten_ = true;
  return true;
}

void PageBitmap::strokeRect(const Rect& rect, double lineWidth, const Color& color) {
  if (!isDrawable(rect) || !std::isfinite(lineWidth)) return;
  syncBeforeDrawing();
  const Rect r = standardised(rect);
  // Mitred right-angled corners reach half the line width beyond the rectangle.
  impl_->draw(deviceBox(r, height_, std::abs(lineWidth) / 2.0), [&](cairo_t* cr) {
    addDeviceRect(cr, r, height_);
    cairo_set_line_width(cr, lineWidth);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    setSource(cr, color);
    cairo_stroke(cr);
  });
}

void PageBitmap::clipToRect(const Rect& rect) {
  if (impl_->context == nullptr) {
    // Kept as the arguments of the rectangle set on each surface, so that every surface
    // rounds its edges alike.
    const Rect r = isDrawable(rect) ? standardised(rect) : Rect{};
    impl_->clips.push_back({r.x, isDrawable(rect) ? deviceTop(r, height_) : 0.0, r.width, r.height});
    return;
  }
  cairo_t* cr = impl_->context;
  if (!isDrawable(rect)) {
    cairo_rectangle(cr, 0, 0, 0, 0);
  } else {
    addDeviceRect(cr, standardised(rect), height_);
  }
  cairo_clip(cr);
}

void PageBitmap::drawImage(const DecodedImage& image, const Rect& rect) {
  if (image.width < 1 || image.height < 1 || !isDrawable(rect)) return;
  syncBeforeDrawing();
  DeviceBox clip;
  if (impl_->context != nullptr) {
    cairo_clip_extents(impl_->context, &clip.x0, &clip.y0, &clip.x1, &clip.y1);
  } else {
    clip = clipExtent(*impl_, 0.0);
  }
  const bool unclipped = clip.x0 <= 0 && clip.y0 <= 0 && clip.x1 >= width_ && clip.y1 >= height_;
  if (unclipped && rect == Rect{0, 0, double(width_), double(height_)} && image.width == width_ &&
      image.height == height_) {
    // One to one: blend straight into memory, the common case of painting a page.
    for (std::int64_t row = 0; row < height_; ++row) {
      blendRowOver(image.row(row), reinterpret_cast<std::uint32_t*>(data_ + row * stride_), width_);
    }
    if (impl_->surface != nullptr) cairo_surface_mark_dirty(impl_->surface);
    return;
  }
  // General case: a premultiplied copy of the image, scaled onto the rectangle by Cairo.
  cairo_surface_t* source = cairo_image_surface_create(
      CAIRO_FORMAT_ARGB32, static_cast<int>(image.width), static_cast<int>(image.height));
  if (cairo_surface_status(source) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(source);
    return;
  }
  std::uint8_t* sdata = cairo_image_surface_get_data(source);
  const int sstride = cairo_image_surface_get_stride(source);
  for (std::int64_t row = 0; row < image.height; ++row) {
    const std::uint8_t* src = image.row(row);
    auto* dst = reinterpret_cast<std::uint32_t*>(sdata + row * sstride);
    for (std::int64_t x = 0; x < image.width; ++x, src += 4) {
      const std::uint32_t a = src[3];
      auto pre = [&](std::uint32_t c) { return (c * a + 127) / 255; };
      dst[x] = (a << 24) | (pre(src[0]) << 16) | (pre(src[1]) << 8) | pre(src[2]);
    }
  }
  cairo_surface_mark_dirty(source);
  const Rect r = standardised(rect);
  if (r.width <= 0 || r.height <= 0) {
    cairo_surface_destroy(source);
    return;
  }
  impl_->draw(deviceBox(r, height_, 0.0), [&](cairo_t* cr) {
    cairo_save(cr);
    cairo_translate(cr, r.x, deviceTop(r, height_));
    cairo_scale(cr, r.width / static_cast<double>(image.width), r.height / static_cast<double>(image.height));
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_rectangle(cr, 0, 0, static_cast<double>(image.width), static_cast<double>(image.height));
    cairo_fill(cr);
    cairo_restore(cr);
  });
  cairo_surface_destroy(source);
}

void PageBitmap::paintImageRow(std::int64_t row, const std::uint8_t* pixels, int channels) {
  auto* words = reinterpret_cast<std::uint32_t*>(data_ + row * stride_);
  if (channels == 3) {
    widenRgbToWords(pixels, words, width_);
  } else {
    blendRowOver(pixels, words, width_, true);
  }
  pixelsWritten_ = true;
}

ScopedSurfaceSide::ScopedSurfaceSide(std::int64_t side)
    : previous_(surfaceSideForNewBitmaps.exchange(std::clamp<std::int64_t>(side, 1, kMaxSurfaceSide))) {}

ScopedSurfaceSide::~ScopedSurfaceSide() { surfaceSideForNewBitmaps.store(previous_); }

bool fitsOneSurface(const PageBitmap& bitmap) { return bitmap.impl().context != nullptr; }

}  // namespace platform
