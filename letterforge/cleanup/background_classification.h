#pragma once

#include <vector>

#include "letterforge/layout/render_item.h"
#include "letterforge/raster/exclusions.h"
#include "platform/page_bitmap.h"

namespace letterforge {

// True when the area's border ring and sampled grid are light and unsaturated enough to clean
// at all. Areas under 3 pixels in either direction count as plain.
bool isPlainBrightBackground(const platform::PageBitmap& page, const Rect& rect);
// The stricter version: paper clean and white enough that a plain white fill suffices.
bool isStrictPlainBackground(const platform::PageBitmap& page, const Rect& rect);
// True when the area grown by 8 to 24 pixels, with `exclusions` (the text areas) left out,
// is plain and light, as the paper of a speech bubble. False when the grown range is under
// 4 pixels in either direction.
bool isBubbleSurround(const platform::PageBitmap& page, const Rect& rect,
                      const Exclusions& exclusions);
// True when most of six points just outside the area are bright and unsaturated; points off
// the page do not count, and fewer than three counted points give false.
bool surroundProbe(const platform::PageBitmap& page, const Rect& rect);

}  // namespace letterforge
