#pragma once

namespace platform {

// An axis-aligned rectangle in drawing coordinates: page pixels, origin at the bottom-left
// corner, y upwards. Width or height may be negative or zero; the rectangle operations of
// letterforge/layout/rect_geometry.h standardise them.
struct Rect {
  double x = 0.0;
  double y = 0.0;
  double width = 0.0;
  double height = 0.0;
  bool operator==(const Rect&) const = default;
};

// The same area with negative sizes made positive (origin moved to the other edge).
inline Rect standardised(Rect r) {
  if (r.width < 0) {
    r.x += r.width;
    r.width = -r.width;
  }
  if (r.height < 0) {
    r.y += r.height;
    r.height = -r.height;
  }
  return r;
}

struct Point {
  double x = 0.0;
  double y = 0.0;
  bool operator==(const Point&) const = default;
};

}  // namespace platform
