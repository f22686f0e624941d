#pragma once

#include <optional>
#include <string>
#include <vector>

#include "letterforge/cleanup/cleanup_mode.h"
#include "letterforge/cleanup/text_mask.h"
#include "letterforge/layout/render_item.h"
#include "letterforge/raster/exclusions.h"
#include "platform/color.h"
#include "platform/page_bitmap.h"

namespace letterforge {

// A speech bubble's interior as found: the grown search rectangle whose pixels look like
// bubble paper, and how sure the search is (0.68 to 0.99).
struct BubbleRegion {
  Rect rect{};
  double confidence = 0.0;
  bool operator==(const BubbleRegion&) const = default;
};

// Growth factors of the bubble search, tried in this order.
inline constexpr double kBubbleGrowthFactors[] = {0.65, 0.38, 0.24};

// Whether the item's rectangle grown by growthFactor × its shorter side (8 to 42 pixels) and
// kept inside `bounds` is bubble paper: light, plain, little edge, not much larger than the
// item. `exclusions` (the padded text areas of the page) are left out of the statistics.
std::optional<BubbleRegion> findGroupBubble(const platform::PageBitmap& page, const RenderItem& item,
                                            const Exclusions& exclusions, const Rect& bounds,
                                            double growthFactor);

// The bubble search: findGroupBubble with each growth factor in turn; the first region wins.
std::optional<BubbleRegion> searchBubble(const platform::PageBitmap& page, const RenderItem& item,
                                         const Exclusions& exclusions, const Rect& bounds);

// The lettering of a block's padded area inside its bubble: dark, unsaturated strokes without
// specks, grown by 2 pixels. Absent when the area and bubble barely overlap, the bubble is not
// clean paper, or nothing is marked.
std::optional<TextMask> bubbleTextMask(const platform::PageBitmap& page, const Rect& itemRect,
                                       const Rect& bubbleRect);

// The bubble's paper colour: per-component medians of its bright, unsaturated pixels outside
// the mask. White when none is found, or when the median is bright and nearly grey.
platform::Color bubbleFillColor(const platform::PageBitmap& page, const TextMask& mask,
                                const Rect& bubbleRect);

// The rectangle an item's translation is typeset into: its rect grown by textMargin, or in
// bubble cleaning the bubble around it or a grown area for groups.
Rect itemTextArea(const platform::PageBitmap& page, const RenderItem& item, const Rect& pageRect,
                  CleanupMode cleanupMode, const Exclusions& blockCleanRects);

}  // namespace letterforge
