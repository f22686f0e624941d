#pragma once

#include <cstdint>
#include <vector>

namespace letterforge {

// A yes/no grid over a window of the page: cell row × width + column. Cells beyond the window
// count as unset wherever an operation looks past its edge.
struct RegionGrid {
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::vector<std::uint8_t> cells{};  // 0 or 1
  bool operator==(const RegionGrid&) const = default;
};

// A width × height grid with no cell set (an empty grid for a non-positive side).
RegionGrid emptyRegionGrid(std::int64_t width, std::int64_t height);

std::int64_t setCellCount(const RegionGrid& grid);

// The 4-connected area of set cells that holds the most of the `seeds` (cell indices; ties go
// to the area met first). Empty when no seed is a set cell.
RegionGrid largestSeededArea(const RegionGrid& grid, const std::vector<std::int64_t>& seeds);

// The grid with its holes filled: 4-connected unset areas that do not reach the window's edge
// and are at most `maxHoleHeight` rows high. Larger enclosed areas stay unset.
RegionGrid withSmallHolesFilled(const RegionGrid& grid, std::int64_t maxHoleHeight);

// Set cells whose distance to the nearest unset cell (or to beyond the window) is above
// `radius` pixels. Distances are chamfer distances, within 8 % of the true ones.
RegionGrid eroded(const RegionGrid& grid, double radius);

// The distances erosion compares, kept to erode one grid by several radii for the cost of one:
// eroded(unsetDistances(grid), radius) is eroded(grid, radius).
struct UnsetDistances {
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::vector<std::int32_t> steps{};  // chamfer steps: 3 across an edge, 4 across a corner
};
UnsetDistances unsetDistances(const RegionGrid& grid);
RegionGrid eroded(const UnsetDistances& distances, double radius);

// Cells whose distance to the nearest set cell is at most `radius` pixels; beyond the window
// nothing is set.
RegionGrid dilated(const RegionGrid& grid, double radius);

// Cells set in both grids of one size.
RegionGrid intersected(const RegionGrid& a, const RegionGrid& b);

// A rectangle of cells: columns x to x + width − 1, rows y to y + height − 1.
struct CellRect {
  std::int64_t x = 0;
  std::int64_t y = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool operator==(const CellRect&) const = default;
};

// The rectangle of set cells with the largest area among those at least `minHeight` rows
// high (the first in row order among equals); no cell when there is none.
CellRect largestRectangle(const RegionGrid& grid, std::int64_t minHeight = 0);
// largestRectangle for each of the minimum heights, found in one pass.
std::vector<CellRect> largestRectangles(const RegionGrid& grid, const std::vector<std::int64_t>& minHeights);

// The smallest rectangle holding every set cell; no cell when none is set.
CellRect setBounds(const RegionGrid& grid);

}  // namespace letterforge
