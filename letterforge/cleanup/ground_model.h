#pragma once

#include <optional>
#include <vector>

#include "letterforge/cleanup/enclosing_paper.h"
#include "letterforge/cleanup/ground_fit.h"
#include "letterforge/cleanup/lettering_mask.h"
#include "letterforge/cleanup/pixel_window.h"

namespace letterforge {

// One hypothesis of the ground under a block's lettering, and what it makes of the window.
struct GroundModel {
  GroundFit fit{};
  std::vector<float> distance{};  // per cell, from the fit (groundDistance)
  double weak = 0.0;              // cells this far from the fit or farther stand out of it
  OutlierGroups groups{};
  double bandShare = 0.0;  // of the cells around the box (the reach outside the core),
                           // those within 14 levels of the fit
  double ringShare = 0.0;  // of the ring outside the reach (other lettering left out), those
                           // within 14 levels of the fit
  // The paper of a caption box or balloon holding the lettering (enclosingPaper), when the
  // fit's colour is one: the ground beyond its outline is no ground of this block.
  std::optional<CellGrid> paper{};
};

// The ground under a block's lettering, fitted to the `usable` cells from three starts: the
// median colour of the window, the commonest colour of the core (the paper of a small caption
// among other grounds) and of the ring. A fit that explains under 15 % of the ring took a halo
// or a rim for the ground, as the ground goes on beyond the lettering; of the others the one
// that explains more of the band around the box wins, and the paper of a box around the
// lettering before both, however little of the ring lies inside the box. Absent when under 12 cells are usable.
std::optional<GroundModel> modelGround(const PixelWindow& window, const LetteringArea& area,
                                       const CellGrid& usable);

// Whether the ground is smooth (paper or shading) rather than a texture: the fit leaves
// little noise, explains at least 70 % of the ring, and few groups of detail lie around the
// box (the dots of a screentone, the strokes of a drawing).
bool isSmoothGround(const GroundModel& model, const LetteringArea& area);

// Whether the fitted ground changes by at most 12 levels over the range: flat paper.
bool isFlatGround(const GroundModel& model, const CellRange& range);

}  // namespace letterforge
