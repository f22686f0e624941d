#pragma once

// Private to platform/: the Cairo objects behind a PageBitmap.
#include <cairo.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/page_bitmap.h"

namespace platform {

// The drawing library refuses image surfaces with a side above this.
inline constexpr std::int64_t kMaxSurfaceSide = 32767;

// A box in device space (page pixels, y down): [x0, x1) × [y0, y1).
struct DeviceBox {
  double x0 = 0.0;
  double y0 = 0.0;
  double x1 = 0.0;
  double y1 = 0.0;
};

// The pixels are one buffer of the page's own. A page up to the largest surface side is one
// surface over them, with one context, as the drawing library makes them. On a larger page each
// drawing is made through a surface over the part of the buffer it can reach, with the
// page's device coordinates (a device offset), so that it comes out byte for byte as on one
// page-sized surface. The clip is kept here and set on every such surface.
struct PageBitmap::Impl {
  cairo_surface_t* surface = nullptr;  // a page that fits one surface
  cairo_t* context = nullptr;

  PixelBuffer pixels{};
  std::size_t bytes = 0;
  bool keepable = false;  // made with a PixelMemory, so given back to one
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::int64_t stride = 0;
  std::int64_t surfaceSide = kMaxSurfaceSide;
  std::vector<Rect> clips{};              // device rectangles of every clip in force, in order
  std::vector<std::size_t> savedClips{};  // how many were in force at each save

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl();

  // Makes one drawing: `reach` holds every pixel the drawing can change (antialiasing is
  // allowed for). On a page of one surface the drawing is made on it and `reach` is not used.
  void draw(const DeviceBox& reach, const std::function<void(cairo_t*)>& drawing);
};

// The device-space y of the top edge of a drawing rectangle on a bitmap of the given height.
inline double deviceTop(const Rect& rect, std::int64_t bitmapHeight) {
  return static_cast<double>(bitmapHeight) - (rect.y + rect.height);
}

}  // namespace platform
