#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "letterforge/cleanup/pixel_window.h"
#include "letterforge/cleanup/texture_repeats.h"

namespace letterforge {

// Where a block's lettering is looked for, in cells of its window: `core` is the block's box
// (a little grown, as boxes of text recognition cut strokes), `reach` the neighbourhood its
// lettering, outline and halo may cover and no mask leaves. `otherText` marks the
// neighbourhoods of other blocks' lettering still on the page: a halo that runs on into the
// next line of a paragraph is still lettering.
struct LetteringArea {
  CellRange core{};
  CellRange reach{};
  CellGrid otherText{};
};

// What stands out of a ground model, split into 8-connected groups. A group holds a cell at
// least `strong` from the ground and the cells at least `weak` from it that join it.
struct OutlierGroups {
  CellGrid lettering{};     // groups meeting the core, cut to the reach
  CellGrid structure{};     // groups running out of the window (not through other lettering):
                            // outlines, art
  std::int64_t speckCells = 0;   // cells of the other groups (dots of a tone, specks)
  std::int64_t speckGroups = 0;
  // Groups other than lettering with cells around the box (in the reach, outside the core),
  // and those cells: many for screentone and art, few where an outline passes.
  std::int64_t bandGroups = 0;
  std::int64_t bandCells = 0;
};

// Splits the cells by their distance from the ground (one value per cell).
OutlierGroups groupOutliers(const std::vector<float>& distance, std::int64_t width,
                            std::int64_t height, double strong, double weak,
                            const LetteringArea& area);

// Lettering on a textured ground, by colour: the colours far commoner in the core than in
// the ring around the reach (the window outside it), their groups that meet the core, the
// areas they enclose (the fill inside a rim) and a rim of one colour around them. Colours
// within 32 levels of `ground` (the colour the ground model found) are never lettering.
CellGrid paletteLettering(const PixelWindow& window, const LetteringArea& area,
                          const CellGrid& usable, const std::array<float, 3>& ground);

// Grows the set cells through a rim or halo: while the cells just outside them mostly share
// one colour (within 40 levels), those of that colour are added, up to 6 layers.
void growRim(CellGrid& cells, const PixelWindow& window, const CellRange& reach);

// growRim for letters found by colour, whose antialiased edge into a rim agrees on no colour
// (or on one of its own): where the cells one layer past that edge mostly share one colour
// (within 40 levels), 48 levels or more from both the letters' colour and the ground's beyond
// the reach, and darker or lighter than both the letters and three quarters of that ground (a
// black rim around orange letters, a cream halo around dark ones on tan art), the edge and that
// rim are taken, the rim up to 6 layers; elsewhere growRim's layers.
void growLetteringRim(CellGrid& cells, const PixelWindow& window, const LetteringArea& area, const CellGrid& usable);

// Letters inside a halo or rim of another lightness, whatever lies beyond it (paper, shading,
// a drawing as dark or as light as they are): under the split of the core's lightness into a
// dark and a light class (at least 80 levels apart), the groups of either class, of 4 cells or
// more, that meet the core and stay inside the reach.
CellGrid haloLettering(const PixelWindow& window, const LetteringArea& area, const CellGrid& usable);

// Lettering on screentone: what differs from the cells whole steps of the tone's grid away
// (`steps`, shortest first, from gridSteps), the other lettering's neighbourhoods left out.
CellGrid toneLettering(const PixelWindow& window, const LetteringArea& area, const CellGrid& usable,
                       const std::vector<CellOffset>& steps);

}  // namespace letterforge
