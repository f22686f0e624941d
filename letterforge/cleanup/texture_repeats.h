#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "letterforge/cleanup/pixel_window.h"

namespace letterforge {

using CellOffset = std::array<std::int64_t, 2>;  // columns, rows

// How the texture of a ground repeats.
struct TextureRepeats {
  // The offsets at which a cell best matches the cell at the offset (local minima of the mean
  // colour difference over a sample of cells), best first. For screentone they are the steps
  // of its grid; for art, the directions its strokes run in.
  std::vector<CellOffset> offsets{};
  // The same minima placed to a fraction of a cell, from the differences around each.
  std::vector<std::array<double, 2>> exact{};
  // A screentone's grid: some offset matches far better than the offsets of 2 cells, which
  // on a smooth ground or a drawing match best.
  bool periodic = false;
};

// The repeats of the `ground` cells, offsets from 2 to `reach` cells long, at most `count`.
// The cost is bounded: a sample of at most 600 cells.
TextureRepeats findRepeats(const PixelWindow& window, const CellGrid& ground, std::int64_t reach,
                           std::size_t count);

// The steps of a screentone's grid out to `reach` cells, shortest first: whole multiples and
// sums of its two shortest repeats, measured to a fraction of a cell from all the repeats
// found and each rounded to whole cells on its own, so that far steps stay on the grid.
std::vector<CellOffset> gridSteps(const TextureRepeats& repeats, std::int64_t reach);

// For every cell of `range`, the per-channel median colour of its nearest 9 translates by the
// steps (shortest first) whose cells are set in `valid`; a cell without any keeps its colour.
PixelWindow predictFromSteps(const PixelWindow& window, const CellGrid& valid,
                             const std::vector<CellOffset>& steps, const CellRange& range);

// Fills the holes from the outside in, each with the prediction from its translates that are
// sources or filled already. Holes with no such translate keep their value.
void fillFromSteps(PixelWindow& window, const CellGrid& holes, const CellGrid& sources,
                   const std::vector<CellOffset>& steps);

}  // namespace letterforge
