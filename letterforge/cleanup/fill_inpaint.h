#pragma once

#include <cstdint>
#include <vector>

#include "letterforge/cleanup/text_mask.h"
#include "letterforge/layout/render_item.h"
#include "letterforge/raster/pixel_sampling.h"
#include "platform/color.h"
#include "platform/page_bitmap.h"

namespace letterforge {

// Fills `rect` (drawing coordinates, neither cut nor rounded to pixels) with an antialiased
// rounded rectangle of corner radius min(0.18 x the shorter side, 12).
void fillRoundedRect(platform::PageBitmap& page, const Rect& rect, const platform::Color& colour);

// Repaints every mask pixel on the page with inpaintColor. Only masked pixels are written
// and only unmasked ones read, so the result does not depend on the order of the cells.
void inpaintMask(platform::PageBitmap& page, const TextMask& mask);
// The plain mean colour of the unmasked page pixels in the first square window around
// (x, y), of radius 2, 3, 4 or 5 and cut to the page, that holds any; white when none does.
PixelRgb inpaintColor(const platform::PageBitmap& page, std::int64_t x, std::int64_t y,
                      const TextMask& mask);

// Cleans a plain, bright area: a white fill when the paper is clean enough, else its text
// mask is inpainted and appended to `cleanedMasks`. Areas that are not plain, have no mask
// or whose mask covers more than 58 % of its window are left as they are.
void cleanPlainArea(platform::PageBitmap& page, const Rect& rect,
                    std::vector<TextMask>& cleanedMasks);

}  // namespace letterforge
