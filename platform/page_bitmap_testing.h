#pragma once

// For tests: page bitmaps cut into small surfaces, so that drawings across the edges between
// surfaces can be checked on small pages against the same drawings on one surface.
#include <cstdint>

#include "platform/page_bitmap.h"

namespace platform {

// While one is alive, bitmaps created on any thread draw through surfaces of at most `side`
// pixels a side (1 up to the drawing library's own limit) instead of the largest it allows.
class ScopedSurfaceSide {
 public:
  explicit ScopedSurfaceSide(std::int64_t side);
  ~ScopedSurfaceSide();
  ScopedSurfaceSide(const ScopedSurfaceSide&) = delete;
  ScopedSurfaceSide& operator=(const ScopedSurfaceSide&) = delete;

 private:
  std::int64_t previous_;
};

// Whether the bitmap is one surface of the drawing library, as every page up to the surface
// side is; a larger page is drawn through surfaces over its parts.
bool fitsOneSurface(const PageBitmap& bitmap);

}  // namespace platform
