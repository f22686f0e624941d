#pragma once

#include <cstdint>

#include "letterforge/cleanup/pixel_window.h"

namespace letterforge {

// Fills the cells set in `holes` with a smooth interpolation of the cells set in `known`;
// cells in neither are not read. Linear in the window's size however large the holes: a
// pyramid of averages fills every hole, then a fixed number of relaxation sweeps smooth it.
// Holes are left as they are when no cell is known.
void interpolateHoles(PixelWindow& window, const CellGrid& known, const CellGrid& holes);

// Adds to every hole the fine detail of a known cell nearby (its difference from the mean of
// the known cells within 2 of it), taken at one offset per 8 x 8 tile so that grain keeps its
// texture; no cell may be both known and a hole. The offsets follow from `seed`, so a job gives the same pixels every time.
void addGrain(PixelWindow& window, const CellGrid& known, const CellGrid& holes,
              std::uint64_t seed);

}  // namespace letterforge
