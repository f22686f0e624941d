#include "letterforge/cleanup/region_grid.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace letterforge {
namespace {

// Chamfer steps: 3 across an edge, 4 across a corner; a distance d counts as d / 3 pixels.
constexpr std::int32_t kStraight = 3;
constexpr std::int32_t kDiagonal = 4;
constexpr std::int32_t kFar = std::numeric_limits<std::int32_t>::max() / 2;

// Gives `label` to the 4-connected area of cells of `value` around `start`, which has it and
// no label yet.
void labelArea(const RegionGrid& grid, std::uint8_t value, std::int64_t start, std::int32_t label,
               std::vector<std::int32_t>& labels, std::vector<std::int64_t>& stack) {
  labels[start] = label;
  stack.push_back(start);
  while (!stack.empty()) {
    const std::int64_t cell = stack.back();
    stack.pop_back();
    const std::int64_t x = cell % grid.width;
    const std::int64_t y = cell / grid.width;
    const auto visit = [&](std::int64_t next) {
      if (grid.cells[next] == value && labels[next] == 0) {
        labels[next] = label;
        stack.push_back(next);
      }
    };
    if (x > 0) visit(cell - 1);
    if (x + 1 < grid.width) visit(cell + 1);
    if (y > 0) visit(cell - grid.width);
    if (y + 1 < grid.height) visit(cell + grid.width);
  }
}

// Labels the 4-connected areas of cells whose value is `value`; label 0 for other cells.
std::vector<std::int32_t> areaLabels(const RegionGrid& grid, std::uint8_t value,
                                     std::int32_t& count) {
  std::vector<std::int32_t> labels(grid.cells.size(), 0);
  std::vector<std::int64_t> stack;
  count = 0;
  for (std::int64_t start = 0; start < static_cast<std::int64_t>(grid.cells.size()); ++start) {
    if (grid.cells[start] == value && labels[start] == 0) labelArea(grid, value, start, ++count, labels, stack);
  }
  return labels;
}

// Two chamfer passes from the cells at distance 0; `edgeIsZero` puts a zero ring beyond the
// window. The passes run over the grid framed by that ring, so that no step checks an edge.
std::vector<std::int32_t> chamfer(const RegionGrid& grid, std::uint8_t zeroValue, bool edgeIsZero) {
  const std::int64_t w = grid.width;
  const std::int64_t h = grid.height;
  const std::int64_t stride = w + 2;
  std::vector<std::int32_t> framed(static_cast<std::size_t>(stride * (h + 2)), edgeIsZero ? 0 : kFar);
  for (std::int64_t y = 0; y < h; ++y) {
    std::int32_t* row = framed.data() + (y + 1) * stride + 1;
    const std::uint8_t* cells = grid.cells.data() + y * w;
    for (std::int64_t x = 0; x < w; ++x) row[x] = cells[x] == zeroValue ? 0 : kFar;
  }
  // Each row takes the row before it in one sweep that has no chain from cell to cell, then
  // runs along itself: the same minimum as taking all neighbours at once.
  for (std::int64_t y = 1; y <= h; ++y) {
    std::int32_t* row = framed.data() + y * stride;
    const std::int32_t* above = row - stride;
    for (std::int64_t x = 1; x <= w; ++x) {
      row[x] = std::min(std::min(row[x], above[x] + kStraight),
                        std::min(above[x - 1], above[x + 1]) + kDiagonal);
    }
    for (std::int64_t x = 1; x <= w; ++x) row[x] = std::min(row[x], row[x - 1] + kStraight);
  }
  for (std::int64_t y = h; y >= 1; --y) {
    std::int32_t* row = framed.data() + y * stride;
    const std::int32_t* below = row + stride;
    for (std::int64_t x = 1; x <= w; ++x) {
      row[x] = std::min(std::min(row[x], below[x] + kStraight),
                        std::min(below[x - 1], below[x + 1]) + kDiagonal);
    }
    for (std::int64_t x = w; x >= 1; --x) row[x] = std::min(row[x], row[x + 1] + kStraight);
  }
  std::vector<std::int32_t> d(grid.cells.size());
  for (std::int64_t y = 0; y < h; ++y) {
    std::copy_n(framed.data() + (y + 1) * stride + 1, w, d.data() + y * w);
  }
  return d;
}

}  // namespace

RegionGrid emptyRegionGrid(std::int64_t width, std::int64_t height) {
  if (width <= 0 || height <= 0) return {};
  return RegionGrid{.width = width,
                    .height = height,
                    .cells = std::vector<std::uint8_t>(static_cast<std::size_t>(width * height), 0)};
}

std::int64_t setCellCount(const RegionGrid& grid) {
  return std::count(grid.cells.begin(), grid.cells.end(), std::uint8_t{1});
}

RegionGrid largestSeededArea(const RegionGrid& grid, const std::vector<std::int64_t>& seeds) {
  // Only the areas that hold a seed are labelled, as their first seed comes.
  std::vector<std::int32_t> labels(grid.cells.size(), 0);
  std::vector<std::int64_t> stack;
  std::vector<std::int64_t> seedsOf(1, 0);  // by label
  std::int32_t best = 0;
  for (const std::int64_t seed : seeds) {
    if (seed < 0 || seed >= static_cast<std::int64_t>(labels.size()) || grid.cells[seed] != 1) continue;
    if (labels[seed] == 0) {
      labelArea(grid, 1, seed, static_cast<std::int32_t>(seedsOf.size()), labels, stack);
      seedsOf.push_back(0);
    }
    const std::int64_t n = ++seedsOf[labels[seed]];
    if (best == 0 || n > seedsOf[best]) best = labels[seed];
  }
  RegionGrid area = emptyRegionGrid(grid.width, grid.height);
  if (best == 0) return area;
  for (std::size_t i = 0; i < labels.size(); ++i) area.cells[i] = labels[i] == best ? 1 : 0;
  return area;
}

RegionGrid withSmallHolesFilled(const RegionGrid& grid, std::int64_t maxHoleHeight) {
  std::int32_t count = 0;
  const std::vector<std::int32_t> labels = areaLabels(grid, 0, count);
  struct Extent {
    std::int64_t top = std::numeric_limits<std::int64_t>::max();
    std::int64_t bottom = -1;
    bool reachesEdge = false;
  };
  std::vector<Extent> extents(static_cast<std::size_t>(count) + 1);
  for (std::int64_t i = 0; i < static_cast<std::int64_t>(labels.size()); ++i) {
    if (labels[i] == 0) continue;
    Extent& e = extents[labels[i]];
    const std::int64_t x = i % grid.width;
    const std::int64_t y = i / grid.width;
    e.top = std::min(e.top, y);
    e.bottom = std::max(e.bottom, y);
    e.reachesEdge = e.reachesEdge || x == 0 || y == 0 || x + 1 == grid.width || y + 1 == grid.height;
  }
  RegionGrid filled = grid;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    if (labels[i] == 0) continue;
    const Extent& e = extents[labels[i]];
    if (!e.reachesEdge && e.bottom - e.top + 1 <= maxHoleHeight) filled.cells[i] = 1;
  }
  return filled;
}

UnsetDistances unsetDistances(const RegionGrid& grid) {
  return UnsetDistances{.width = grid.width, .height = grid.height, .steps = chamfer(grid, 0, true)};
}

RegionGrid eroded(const UnsetDistances& distances, double radius) {
  RegionGrid out = emptyRegionGrid(distances.width, distances.height);
  const double limit = radius * kStraight;
  for (std::size_t i = 0; i < distances.steps.size(); ++i) out.cells[i] = distances.steps[i] > limit ? 1 : 0;
  return out;
}

RegionGrid eroded(const RegionGrid& grid, double radius) { return eroded(unsetDistances(grid), radius); }

RegionGrid dilated(const RegionGrid& grid, double radius) {
  const std::vector<std::int32_t> d = chamfer(grid, 1, false);
  RegionGrid out = emptyRegionGrid(grid.width, grid.height);
  const double limit = radius * kStraight;
  for (std::size_t i = 0; i < d.size(); ++i) out.cells[i] = d[i] <= limit ? 1 : 0;
  return out;
}

RegionGrid intersected(const RegionGrid& a, const RegionGrid& b) {
  RegionGrid out = a;
  for (std::size_t i = 0; i < out.cells.size() && i < b.cells.size(); ++i) out.cells[i] &= b.cells[i];
  return out;
}

CellRect largestRectangle(const RegionGrid& grid, std::int64_t minHeight) {
  return largestRectangles(grid, {minHeight}).front();
}

std::vector<CellRect> largestRectangles(const RegionGrid& grid, const std::vector<std::int64_t>& minHeights) {
  // Per row, the run of set cells upwards from each column; the largest rectangle under that
  // skyline is found with a stack of rising heights.
  std::vector<std::int64_t> heights(static_cast<std::size_t>(std::max<std::int64_t>(grid.width, 0)), 0);
  std::vector<CellRect> best(minHeights.size());
  std::vector<std::int64_t> stack;
  for (std::int64_t y = 0; y < grid.height; ++y) {
    for (std::int64_t x = 0; x < grid.width; ++x) {
      heights[x] = grid.cells[y * grid.width + x] != 0 ? heights[x] + 1 : 0;
    }
    stack.clear();
    for (std::int64_t x = 0; x <= grid.width; ++x) {
      const std::int64_t hx = x < grid.width ? heights[x] : 0;
      while (!stack.empty() && heights[stack.back()] >= hx) {
        const std::int64_t h = heights[stack.back()];
        stack.pop_back();
        const std::int64_t left = stack.empty() ? 0 : stack.back() + 1;
        const std::int64_t w = x - left;
        for (std::size_t i = 0; i < minHeights.size(); ++i) {
          if (h >= minHeights[i] && w * h > best[i].width * best[i].height) best[i] = {left, y - h + 1, w, h};
        }
      }
      stack.push_back(x);
    }
  }
  return best;
}

CellRect setBounds(const RegionGrid& grid) {
  std::int64_t minX = grid.width, minY = grid.height, maxX = -1, maxY = -1;
  for (std::int64_t y = 0; y < grid.height; ++y) {
    for (std::int64_t x = 0; x < grid.width; ++x) {
      if (grid.cells[y * grid.width + x] == 0) continue;
      minX = std::min(minX, x);
      maxX = std::max(maxX, x);
      minY = std::min(minY, y);
      maxY = std::max(maxY, y);
    }
  }
  if (maxX < 0) return {};
  return {minX, minY, maxX - minX + 1, maxY - minY + 1};
}

}  // namespace letterforge
