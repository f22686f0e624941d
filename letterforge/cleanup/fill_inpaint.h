#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "letterforge/cleanup/text_mask.h"
#include "letterforge/layout/render_item.h"
#include "letterforge/raster/pixel_sampling.h"
#include "platform/color.h"
#include "platform/page_bitmap.h"

namespace letterforge {

// Fills `rect` (drawing coordinates, neither cut nor rounded to pixels) with an antialiased
// rounded rectangle of corner radius roundedRectRadius(rect).
void fillRoundedRect(platform::PageBitmap& page, const Rect& rect, const platform::Color& colour);
// min(0.18 x the shorter side, 12).
double roundedRectRadius(const Rect& rect);

// Repaints every mask pixel on the page with the mean colour of the unmasked page pixels in
// the first square window around it, of radius 2, 3, 4 or 5 and cut to the page, that holds
// any (white when none does), as 8-bit samples rounded half up. Only masked pixels are
// written and only unmasked ones read, so the result does not depend on the order of cells.
void inpaintMask(platform::PageBitmap& page, const TextMask& mask);

// A text mask covering more of its window than this is more likely a drawing than lettering.
inline constexpr double kInpaintDensityLimit = 0.58;

// What the safety gate and the plain-area tests find, tested in this order.
enum class PlainAreaVerdict {
  kNotPlain,    // not plain and bright: the gate refuses it
  kCleanPaper,  // strictly plain paper
  kNoMask,      // plain, but nothing dark enough to be lettering
  kDenseMask,   // the mask covers more than kInpaintDensityLimit of its window
  kLettering,   // a mask of lettering to inpaint
};
struct PlainAreaPlan {
  PlainAreaVerdict verdict = PlainAreaVerdict::kNotPlain;
  std::optional<TextMask> mask{};  // present with kDenseMask and kLettering
};

// Judges an area for plain-background cleanup: the safety gate, strict plainness, then the
// text mask and its density.
PlainAreaPlan planPlainArea(const platform::PageBitmap& page, const Rect& rect);

// Cleans a plain, bright area: a white fill when the paper is clean enough, else its text
// mask is inpainted and appended to `cleanedMasks`. Areas that are not plain, have no mask
// or whose mask is too dense are left as they are. Returns what it found.
PlainAreaVerdict cleanPlainArea(platform::PageBitmap& page, const Rect& rect,
                                std::vector<TextMask>& cleanedMasks);

}  // namespace letterforge
