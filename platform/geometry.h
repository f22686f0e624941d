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

struct Point {
  double x = 0.0;
  double y = 0.0;
  bool operator==(const Point&) const = default;
};

}  // namespace platform
