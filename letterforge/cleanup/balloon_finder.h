#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "letterforge/cleanup/text_mask.h"
#include "letterforge/layout/render_item.h"
#include "letterforge/raster/pixel_sampling.h"
#include "platform/color.h"
#include "platform/page_bitmap.h"

namespace letterforge {

// A speech balloon or caption box: the closed area of one paper colour around some lettering,
// the lettering inside it included.
struct Balloon {
  PixelBounds bounds{};  // the pixels the balloon reaches
  CellSet pixels{};      // its pixels: cell (y − bounds.minY) × bounds.width + (x − bounds.minX)
  Rect interior{};       // the largest rectangle inside it, kept a margin away from its outline
  // Rectangles inside it as `interior` is, the largest of those at least 25, 40, 55 and 70 %
  // of its height high: `interior` first, then the taller ones that differ from it.
  std::vector<Rect> interiors{};
  platform::Color paper{};  // the median colour of its paper, lettering left out
  bool operator==(const Balloon&) const = default;
};

// The balloon around the lettering of `textRect` (a line or a block of lines, drawing
// coordinates): the area of the paper colour seen between its letters, of any colour that is
// not dark, reaching out from the lettering to the outline; touching and overlapping balloons
// and gutters that the paper runs into are cut off at their narrow joins. Absent when the
// lettering does not lie on such an area (text over the art), when the area is open or far
// larger than the lettering, or when the rectangle is under 2 pixels a side.
std::optional<Balloon> findBalloon(const platform::PageBitmap& page, const Rect& textRect);

// The share of the pixels of `rect` (whole pixels it touches) that lie in the balloon, its
// lettering included; 0 for a rectangle that is empty or not finite.
double heldShare(const Balloon& balloon, const Rect& rect);

// Whether at least half of the pixels of `rect` lie in the balloon.
bool balloonHolds(const Balloon& balloon, const Rect& rect);

// The balloons of a page's lettering: `ofRect[i]` indexes the balloon holding textRects[i],
// absent for lettering outside any balloon. A rectangle that a balloon found before holds
// is not searched again; two searches that find one balloon give one entry.
struct PageBalloons {
  std::vector<Balloon> balloons{};
  std::vector<std::optional<std::size_t>> ofRect{};
};
PageBalloons findPageBalloons(const platform::PageBitmap& page, const std::vector<Rect>& textRects);

}  // namespace letterforge
