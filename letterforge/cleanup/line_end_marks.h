#pragma once

#include <vector>

#include "letterforge/cleanup/lettering_mask.h"
#include "letterforge/cleanup/pixel_window.h"

namespace letterforge {

// Punctuation that a box of text recognition leaves out at a line's end or start (the
// exclamation mark after a word, an ellipsis): the groups of `ink` that are no `lettering`,
// lie within a letter's height of the core's end (or start) or past it, on the rows of the lettering within a
// letter's height of them (the median height of the lettering's groups; a quarter of it of
// slack), are no taller or wider than a letter, and stand out as the letters do (their
// strongest cell at least 0.6 of the lettering's median `strength`, one value per cell). Their
// cells and those around them lie on `paper`: a mark touching an outline or the art beyond is
// none, nor is ink of other blocks (cells not `usable`). Each mark taken joins the line for the
// next (the dots of an ellipsis); marks lie at most two letters' heights past the core, and
// may lie past the reach.
CellGrid marksPastTheEnd(const CellGrid& ink, const CellGrid& lettering, const std::vector<float>& strength,
                         const CellGrid& paper, const CellGrid& usable, const LetteringArea& area);

}  // namespace letterforge
