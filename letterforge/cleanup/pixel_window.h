#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "letterforge/raster/pixel_sampling.h"
#include "platform/page_bitmap.h"

namespace letterforge {

// A range of page pixels copied out as RGB floats (0 to 255), for the steps that model the
// ground under lettering. Cell (column, row) is page pixel (x0 + column, y0 + row).
struct PixelWindow {
  std::int64_t x0 = 0;
  std::int64_t y0 = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::vector<float> rgb{};  // three per cell, row by row

  std::int64_t cells() const { return width * height; }
  const float* at(std::int64_t cell) const { return &rgb[static_cast<std::size_t>(3 * cell)]; }
  float* at(std::int64_t cell) { return &rgb[static_cast<std::size_t>(3 * cell)]; }
};

// One byte per cell of a window: a mask (0 or 1) or small labels.
struct CellGrid {
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::vector<std::uint8_t> cells{};
  bool operator==(const CellGrid&) const = default;
};

// The next number of a fixed sequence (splitmix64): every run of a job draws the same.
inline std::uint64_t nextRandom(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

// Moves `state` on as `draws` calls of nextRandom would, without drawing.
inline void skipRandom(std::uint64_t& state, std::uint64_t draws) { state += draws * 0x9E3779B97F4A7C15u; }

// The squared distance of two RGB cells.
inline double colourDistance(const float* a, const float* b) {
  const double d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2];
  return d0 * d0 + d1 * d1 + d2 * d2;
}

// A cell range of a window: columns c0 <= c < c1, rows r0 <= r < r1.
struct CellRange {
  std::int64_t c0 = 0;
  std::int64_t r0 = 0;
  std::int64_t c1 = 0;
  std::int64_t r1 = 0;
  bool operator==(const CellRange&) const = default;
  bool contains(std::int64_t c, std::int64_t r) const { return c >= c0 && c < c1 && r >= r0 && r < r1; }
};

// The pixels of `bounds` (on the page) copied out.
PixelWindow copyWindow(const platform::PageBitmap& page, const PixelBounds& bounds);
// Writes the window's cells that are set in `mask` back to the page, rounded to 8 bits, and
// returns the colours they replaced, in the order of the cells.
std::vector<platform::Rgb8> writeMaskedCells(platform::PageBitmap& page, const PixelWindow& window,
                                             const CellGrid& mask);

CellGrid emptyGrid(std::int64_t width, std::int64_t height);
// The cells of `bounds` (page pixels) within the window, cut to it.
CellRange rangeOf(const PixelWindow& window, const PixelBounds& bounds);
// Sets every cell of the range.
void fillRange(CellGrid& grid, const CellRange& range, std::uint8_t value = 1);
// Every set cell grown into the (2r + 1) x (2r + 1) square around it, kept inside `limit`.
CellGrid growCells(const CellGrid& grid, std::int64_t r, const CellRange& limit);
std::int64_t countSet(const CellGrid& grid);
// Calls visit(cell) for each set cell, in order, passing over eight unset cells at a time.
template <typename Visit>
void forEachSetCell(const CellGrid& grid, Visit&& visit) {
  const std::uint8_t* cells = grid.cells.data();
  const auto n = static_cast<std::int64_t>(grid.cells.size());
  std::int64_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t eight = 0;
    std::memcpy(&eight, cells + i, 8);
    if (eight == 0) continue;
    for (std::int64_t k = i; k < i + 8; ++k) {
      if (cells[k] != 0) visit(k);
    }
  }
  for (; i < n; ++i) {
    if (cells[i] != 0) visit(i);
  }
}
// The cells of `cells` that are set in `allowed` too; the others are cleared.
CellGrid within(CellGrid cells, const CellGrid& allowed);
// The cells of `cells` that are not set in `taken`; the others are cleared.
CellGrid without(CellGrid cells, const CellGrid& taken);
// The per-channel median colour of the listed cells (the upper middle one of an even count);
// black when none are listed.
std::array<float, 3> medianOfCells(const PixelWindow& window, const std::vector<std::int64_t>& cells);
// The set cells by their chessboard distance from the cells that are not set (nearest first,
// at most 255 apart), then row by row: the order in which holes are filled from outside in.
std::vector<std::int64_t> cellsByDepth(const CellGrid& holes);
// The set cells that a size x size square of set cells covers (an opening: erosion, then
// dilation by the square): groups narrower than the square are cleared.
CellGrid opened(const CellGrid& cells, std::int64_t size);
// The 8-connected groups of the set cells: per cell its group's number from 1, 0 for cells
// not set; `count` is the number of groups.
std::vector<std::int32_t> labelGroups(const CellGrid& cells, std::int32_t& count);
// Sets every cell that the grid's edge cannot reach 4-wise without crossing a set cell: what
// the set cells enclose.
void addEnclosed(CellGrid& cells);
// Per cell, the chessboard distance to the nearest set cell of `from`, at most `cap` (also
// when no cell is set).
std::vector<std::uint8_t> distanceTo(const CellGrid& from, std::uint8_t cap);

}  // namespace letterforge
