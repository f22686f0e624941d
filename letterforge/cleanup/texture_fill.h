#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "letterforge/cleanup/pixel_window.h"
#include "letterforge/cleanup/texture_repeats.h"

namespace letterforge {

// Fills the `holes` from the texture of the `sources` around them, coarse to fine: at each
// level of a pyramid (halved while the holes are deeper than 3 cells, at most 3 times; a coarser
// cell is known, in the mean colour of its known cells, when two of its four are) every
// 7 x 7 patch that covers a hole is matched to a patch of sources (by lightness and hue, hue
// counting more; at the coarsest level searched, among the places within 16 cells of it on a
// grid of 2 and the cells at `offsets`;
// at finer levels among the `offsets` where the match it inherited is among the worse half;
// then its neighbours' matches continued and a few drawn from `seed` ever nearer its own), and
// each hole becomes the mean of what the patches covering it copy there. The finest level's
// holes are first filled patch by patch from their border inwards, where lines and edges meet
// the border first, from the source that best matches each patch's known cells, and searched
// from that fill; there each patch copies from its two best matches at least 2 cells apart (the
// second only where it matches nearly as well). Cells in neither set are read but never copied. Linear in the number
// of holes: the candidates per patch and the passes are bounded. A hole that no patch reaches keeps its
// value (callers fill the holes smoothly first), and when no level has a place for a source
// patch, nothing is searched and every hole keeps its value.
//
// The work done, counted: the candidate sources looked at and the patches compared.
struct FillWork {
  std::int64_t candidates = 0;
  std::int64_t comparisons = 0;
};

void fillFromTexture(PixelWindow& window, const CellGrid& holes, const CellGrid& sources,
                     const std::vector<CellOffset>& offsets, std::uint64_t seed,
                     FillWork* work = nullptr);

}  // namespace letterforge
