#pragma once

#include <cstdint>
#include <optional>

#include "letterforge/cleanup/lettering_mask.h"
#include "letterforge/cleanup/pixel_window.h"

namespace letterforge {

// Dark lettering on the paper of a caption box or balloon, told apart by how light each cell
// is (its largest channel: black ink is dark in all three, a dot of coloured ink is not). It
// holds where a smooth fit of the ground's colour fails: on paper printed in coarse dots of
// two or three inks, and on a balloon whose window takes in such paper or art beside it.
struct BoxPaper {
  CellGrid paper{};      // the box's paper, with its dots and the lettering on it
  CellGrid lettering{};  // the dark strokes that meet the core, grown over their soft edge
  CellGrid ground{};     // paper cells clear of every stroke, of the colours of the core's paper
  std::int64_t dotSize = 1;  // the opening (square side) that clears the paper of dark dots
  bool dotted = true;        // printed in dots (fill with its tiles) or plain (smooth, grain)
};

// Cells darker than the split of the core's cells into a dark and a light class (at least 80
// levels apart) are ink; the light cells joined to the core, closed over and with what they
// enclose, are the paper when ink runs around them (enclosingPaper). Ink that a square of
// `dotSize` fits in is lettering; the smallest size (up to 3) that leaves at most 2 % of the
// paper around the core dark is the dots' size. The paper is dotted when that size exceeds 1
// or 5 % of its cells clear of ink are 40 levels off their median colour; plain paper needs an
// outline that the ground beyond does not continue, or a quarter of it 8 cells or more from the
// ink in the core and in other blocks' boxes (a halo is plain, has neither, and hugs its
// strokes, the next line's too). On plain paper the lettering takes 2 cells around the strokes
// (a scan's paler or greyer fringe) and the ground lies 3 cells or more from them, within 40
// levels of the paper's median colour. With more than a tenth of the strokes meeting the core
// off the paper (a line of words over two grounds) the paper is not theirs. A mark joined to
// the outline (ink running out of the window that the paper, closed over its
// gaps, covers, in pieces meeting the core) is lettering; the outline itself is not. The paper
// is the one light group holding most of the core: a box that runs past its balloon's edge
// takes in no ground beyond it, and the paper's colours and the share of its ink joined to a
// drawing are judged on the core's cells on it, more than 4 inside its edge (a halo on the whole
// core), not on the outline and the ground beyond that a loose box holds. Paper printed in dots
// goes on around the core when its colour there differs from that among the lettering by up
// to 64 levels along the line from white to that colour (more or less of its own ink, darker
// towards a border) and 32 across it. Where the paper so judged fails but is the same up to
// the strokes (no halo), it is judged again, as paper printed in dots only, without the areas
// of other colours it joins (cells 40 levels off its colour filling squares
// of 3 x 3 in groups of 100 or more, and a cell around them: a drawing as light as the paper,
// past a thin or missing border), the part left that holds the most of the core (60 % at
// least). Strokes mostly in another block's box and outside this one's are that block's
// lettering, not this one's, nor joined to a drawing. A balloon drawn
// without an outline on a flat tint of another, darker colour has its paper found by colour
// instead, bounded by the tint, and is plain paper filled from its cells 3 or more inside its
// edge. Punctuation past the box's end that is as
// dark as the letters is lettering (marksPastTheEnd). Absent when no such paper or no lettering
// is found. `usable` marks the cells that are not other blocks' lettering.
std::optional<BoxPaper> findBoxPaper(const PixelWindow& window, const LetteringArea& area,
                                     const CellGrid& usable);

// Fills the holes with the paper's own dots: tiles of 4 x 4 cells copied whole from ground
// cells at offsets drawn from `seed`, within 16 cells; a hole that no tried offset maps onto
// ground keeps its value (callers fill the holes smoothly first).
void copyPaperTiles(PixelWindow& window, const CellGrid& holes, const CellGrid& ground,
                    std::uint64_t seed);

}  // namespace letterforge
