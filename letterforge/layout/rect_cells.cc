#include "letterforge/layout/rect_cells.h"

#include <algorithm>
#include <cmath>

#include "letterforge/layout/rect_geometry.h"

namespace letterforge {
namespace {

constexpr double kCellSize = 64.0;
constexpr std::int64_t kMostCellsPerSide = 512;

}  // namespace

RectCells::Axis RectCells::axisOver(double low, double high) {
  const double extent = high - low;
  if (!std::isfinite(low) || !std::isfinite(extent)) return Axis{};
  const auto count = static_cast<std::int64_t>(
      std::clamp(std::ceil(extent / kCellSize), 1.0, static_cast<double>(kMostCellsPerSide)));
  // A pad of one cell then covers any rounding of positions near a cell's edge.
  const double finest = 1e-6 * (1.0 + std::max(std::abs(low), std::abs(high)));
  return Axis{low, std::max(extent / static_cast<double>(count), finest), count};
}

// Monotone in v, so a rectangle's cells hold every cell of every point inside it.
std::int64_t RectCells::Axis::at(double v) const {
  const double index = std::floor((v - low) / cell);
  if (!(index > 0.0)) return 0;
  if (index >= static_cast<double>(count - 1)) return count - 1;
  return static_cast<std::int64_t>(index);
}

RectCells::RectCells(const Rect& area)
    : columns_(axisOver(minX(area), maxX(area))),
      rows_(axisOver(minY(area), maxY(area))),
      filed_(static_cast<std::size_t>(columns_.count * rows_.count)) {}

RectCells::Span RectCells::spanOf(const Rect& r, std::int64_t pad) const {
  return {std::max<std::int64_t>(columns_.at(minX(r)) - pad, 0),
          std::min(columns_.at(maxX(r)) + pad, columns_.count - 1),
          std::max<std::int64_t>(rows_.at(minY(r)) - pad, 0),
          std::min(rows_.at(maxY(r)) + pad, rows_.count - 1)};
}

void RectCells::file(std::size_t index, const Rect& now, const Rect& before) {
  const Span was = isNull(before) ? Span{} : spanOf(before, 0);
  const Span span = spanOf(now, 0);
  for (std::int64_t row = span.row0; row <= span.row1; ++row) {
    for (std::int64_t column = span.column0; column <= span.column1; ++column) {
      const bool filedBefore = column >= was.column0 && column <= was.column1 &&
                               row >= was.row0 && row <= was.row1;
      if (!filedBefore) filed_[static_cast<std::size_t>(row * columns_.count + column)].push_back(index);
    }
  }
}

std::vector<std::size_t> RectCells::near(const Rect& r,
                                         const std::function<bool(std::size_t)>& dropped) {
  const Span span = spanOf(r, 1);
  ++search_;
  std::vector<std::size_t> found;
  for (std::int64_t row = span.row0; row <= span.row1; ++row) {
    for (std::int64_t column = span.column0; column <= span.column1; ++column) {
      std::vector<std::size_t>& cell = filed_[static_cast<std::size_t>(row * columns_.count + column)];
      std::erase_if(cell, dropped);
      for (const std::size_t index : cell) {
        if (index >= seen_.size()) seen_.resize(index + 1, 0);
        if (seen_[index] == search_) continue;
        seen_[index] = search_;
        found.push_back(index);
      }
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace letterforge
