#pragma once

#include <optional>
#include <vector>

#include "letterforge/cleanup/lettering_mask.h"
#include "letterforge/cleanup/pixel_window.h"

namespace letterforge {

// The paper of a caption box or balloon that holds a block's lettering, as one ground model
// sees it: the cells nearer the ground than `near` (`distance`, one value per cell) joined
// 8-wise to those of the core, closed over gaps of a few cells, with every cell they enclose
// (the strokes, a tone's dots). Absent unless it holds at least 90 % of the core (or is one
// group and 90 % of the core's cells more than 4 cells past it are within 40 levels of the
// ground 5 to 8 cells past it: a loose box over the paper's outline and the ground beyond), at
// least 80 % of it around the core is near the ground, and a thin line of one colour, darker
// than the paper, runs around it with another ground beyond, unlike both (other lettering's
// neighbourhoods left out): a halo, however wide, has the same ground on both sides of where
// an outline would be.
// With `PaperEdge::kDarker` any edge darker than the paper will do, whatever lies beyond: for a
// paper printed in dots, which no halo is. With `PaperEdge::kLine` the edge is a line darker
// than the paper that the ground beyond does not continue, whatever that ground's colour: a
// balloon drawn on a gutter or a page of its own paper's colour. With `PaperEdge::kGround` the
// edge is a flat ground of one colour, darker than the paper, that runs on beyond it: a balloon
// drawn without an outline on a flat tint.
enum class PaperEdge { kOutlined, kDarker, kLine, kGround };
std::optional<CellGrid> enclosingPaper(const PixelWindow& window, const std::vector<float>& distance,
                                       float near, const LetteringArea& area,
                                       PaperEdge edge = PaperEdge::kOutlined);

// A mark that touches a box's outline (an exclamation mark, a word joined to the balloon's
// line) stands into the paper with paper on both sides of it, so the paper closed over its gaps
// covers it; the outline has the ground beyond on its other side and stays out. The pieces of
// `ink` (the groups that run on with the outline) that `paper` covers within the reach and that
// meet the core are such marks.
CellGrid marksOnTheOutline(const CellGrid& ink, const CellGrid& paper, const LetteringArea& area);

}  // namespace letterforge
