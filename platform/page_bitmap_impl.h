#pragma once

// Private to platform/: the Cairo objects behind a PageBitmap.
#include <cairo.h>

#include "platform/page_bitmap.h"

namespace platform {

struct PageBitmap::Impl {
  cairo_surface_t* surface = nullptr;
  cairo_t* context = nullptr;
  ~Impl() {
    if (context != nullptr) cairo_destroy(context);
    if (surface != nullptr) cairo_surface_destroy(surface);
  }
};

// The device-space y of the top edge of a drawing rectangle on a bitmap of the given height.
inline double deviceTop(const Rect& rect, std::int64_t bitmapHeight) {
  return static_cast<double>(bitmapHeight) - (rect.y + rect.height);
}

}  // namespace platform
