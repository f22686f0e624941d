#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "letterforge/cleanup/pixel_window.h"
#include "letterforge/cleanup/texture_repeats.h"

namespace letterforge {

// Fills the `holes` from the outside in, every cell copied from the `sources` cell whose
// neighbourhood best matches the hole's filled and known neighbourhood, among the cells at
// `offsets` from it, those that continue its filled neighbours' sources and a few more at
// offsets drawn from `seed`. Cells in neither set are read but never copied. Linear in the
// number of holes: the candidates per hole are bounded. A hole with no usable candidate keeps
// its value (callers fill the holes smoothly first).
void fillFromTexture(PixelWindow& window, const CellGrid& holes, const CellGrid& sources,
                     const std::vector<CellOffset>& offsets, std::uint64_t seed);

}  // namespace letterforge
