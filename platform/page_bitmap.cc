#include "platform/page_bitmap.h"

#include <cmath>
#include <utility>

#include "platform/huge_pages.h"
#include "platform/page_bitmap_impl.h"

namespace platform {
namespace {

void setSource(cairo_t* cr, const Color& c) {
  cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
}

// Cairo draws in device space (y down); every rectangle is turned over here.
void addDeviceRect(cairo_t* cr, const Rect& r, std::int64_t height) {
  cairo_rectangle(cr, r.x, deviceTop(r, height), r.width, r.height);
}

bool isDrawable(const Rect& r) {
  return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) &&
         std::isfinite(r.height);
}

}  // namespace

std::optional<PageBitmap> PageBitmap::create(std::int64_t width, std::int64_t height) {
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide) {
    return std::nullopt;
  }
  auto impl = std::make_unique<Impl>();
  impl->surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width), static_cast<int>(height));
  if (cairo_surface_status(impl->surface) != CAIRO_STATUS_SUCCESS) return std::nullopt;
  impl->context = cairo_create(impl->surface);
  if (cairo_status(impl->context) != CAIRO_STATUS_SUCCESS) return std::nullopt;

  PageBitmap bitmap;
  bitmap.data_ = cairo_image_surface_get_data(impl->surface);
  bitmap.stride_ = cairo_image_surface_get_stride(impl->surface);
  // The surface's memory comes zeroed from the system and is untouched until the first drawing.
  adviseHugePages(bitmap.data_, static_cast<std::size_t>(bitmap.stride_ * height));
  bitmap.width_ = width;
  bitmap.height_ = height;
  bitmap.impl_ = std::move(impl);
  return bitmap;
}

PageBitmap::PageBitmap(PageBitmap&&) noexcept = default;
PageBitmap& PageBitmap::operator=(PageBitmap&&) noexcept = default;
PageBitmap::~PageBitmap() = default;

void PageBitmap::syncBeforeDrawing() {
  if (pixelsWritten_) {
    cairo_surface_mark_dirty(impl_->surface);
    pixelsWritten_ = false;
  }
}

void PageBitmap::save() { cairo_save(impl_->context); }
void PageBitmap::restore() { cairo_restore(impl_->context); }

void PageBitmap::fillRect(const Rect& rect, const Color& color) {
  if (!isDrawable(rect)) return;
  syncBeforeDrawing();
  cairo_t* cr = impl_->context;
  addDeviceRect(cr, standardised(rect), height_);
  setSource(cr, color);
  cairo_fill(cr);
  cairo_surface_flush(impl_->surface);
}

void PageBitmap::fillRoundedRect(const Rect& rect, double radius, const Color& color) {
  if (!isDrawable(rect) || !std::isfinite(radius)) return;
  syncBeforeDrawing();
  const Rect r = standardised(rect);
  const double rad = std::max(0.0, std::min(radius, std::min(r.width, r.height) / 2.0));
  const double left = r.x;
  const double right = r.x + r.width;
  const double top = deviceTop(r, height_);
  const double bottom = top + r.height;
  cairo_t* cr = impl_->context;
  cairo_new_sub_path(cr);
  cairo_arc(cr, right - rad, top + rad, rad, -M_PI / 2.0, 0.0);
  cairo_arc(cr, right - rad, bottom - rad, rad, 0.0, M_PI / 2.0);
  cairo_arc(cr, left + rad, bottom - rad, rad, M_PI / 2.0, M_PI);
  cairo_arc(cr, left + rad, top + rad, rad, M_PI, 3.0 * M_PI / 2.0);
  cairo_close_path(cr);
  setSource(cr, color);
  cairo_fill(cr);
  cairo_surface_flush(impl_->surface);
}

void PageBitmap::strokeRect(const Rect& rect, double lineWidth, const Color& color) {
  if (!isDrawable(rect) || !std::isfinite(lineWidth)) return;
  syncBeforeDrawing();
  cairo_t* cr = impl_->context;
  addDeviceRect(cr, standardised(rect), height_);
  cairo_set_line_width(cr, lineWidth);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
  setSource(cr, color);
  cairo_stroke(cr);
  cairo_surface_flush(impl_->surface);
}

void PageBitmap::clipToRect(const Rect& rect) {
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
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  cairo_clip_extents(impl_->context, &x1, &y1, &x2, &y2);
  const bool unclipped = x1 <= 0 && y1 <= 0 && x2 >= width_ && y2 >= height_;
  if (unclipped && rect == Rect{0, 0, double(width_), double(height_)} && image.width == width_ &&
      image.height == height_) {
    // One to one: blend straight into memory, the common case of painting a page.
    for (std::int64_t row = 0; row < height_; ++row) {
      const std::uint8_t* src = image.row(row);
      auto* dst = reinterpret_cast<std::uint32_t*>(data_ + row * stride_);
      for (std::int64_t x = 0; x < width_; ++x, src += 4) {
        const std::uint32_t a = src[3];
        if (a == 255) {
          dst[x] = 0xFF000000u | (std::uint32_t{src[0]} << 16) | (std::uint32_t{src[1]} << 8) | src[2];
          continue;
        }
        const std::uint32_t d = dst[x];
        const std::uint32_t inv = 255 - a;
        auto blend = [&](std::uint32_t s, std::uint32_t dc) { return (s * a + dc * inv + 127) / 255; };
        const std::uint32_t outA = a + ((d >> 24) * inv + 127) / 255;
        dst[x] = (outA << 24) | (blend(src[0], (d >> 16) & 255) << 16) |
                 (blend(src[1], (d >> 8) & 255) << 8) | blend(src[2], d & 255);
      }
    }
    cairo_surface_mark_dirty(impl_->surface);
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
  cairo_t* cr = impl_->context;
  cairo_save(cr);
  cairo_translate(cr, r.x, deviceTop(r, height_));
  cairo_scale(cr, r.width / static_cast<double>(image.width), r.height / static_cast<double>(image.height));
  cairo_set_source_surface(cr, source, 0, 0);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_rectangle(cr, 0, 0, static_cast<double>(image.width), static_cast<double>(image.height));
  cairo_fill(cr);
  cairo_restore(cr);
  cairo_surface_destroy(source);
  cairo_surface_flush(impl_->surface);
}

}  // namespace platform
