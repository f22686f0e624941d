#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "letterforge/layout/render_item.h"

namespace letterforge {

// Indices of rectangles filed by the cells of a grid that the rectangles reach, so that those
// that may meet a given rectangle are found without looking at all of them.
class RectCells {
 public:
  // A grid over `area`: cells of about 64 units, at most 512 a side, never finer than the
  // rounding of its coordinates can tell apart. Positions outside fall into the edge cells;
  // an area that is not finite is one cell.
  explicit RectCells(const Rect& area);

  // Files `index` in the cells that `now` reaches and `before` did not: `before` is what was
  // filed for it earlier and lies inside `now`, or the null rectangle.
  void file(std::size_t index, const Rect& now, const Rect& before);

  // Every index filed in a cell that `r` reaches, widened by one cell each way, once each and
  // ascending: among them all whose rectangles meet `r`, edges included. Indices for which
  // `dropped` holds are first taken out of the cells for good.
  std::vector<std::size_t> near(const Rect& r, const std::function<bool(std::size_t)>& dropped);

 private:
  struct Axis {
    double low = 0.0;
    double cell = 1.0;
    std::int64_t count = 1;
    std::int64_t at(double v) const;
  };
  struct Span {
    std::int64_t column0 = 0, column1 = -1, row0 = 0, row1 = -1;
  };
  static Axis axisOver(double low, double high);
  Span spanOf(const Rect& r, std::int64_t pad) const;

  Axis columns_{};
  Axis rows_{};
  std::vector<std::vector<std::size_t>> filed_{};
  std::vector<std::uint64_t> seen_{};  // the last search that met each index
  std::uint64_t search_ = 0;
};

}  // namespace letterforge
