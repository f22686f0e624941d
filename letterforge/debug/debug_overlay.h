#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "letterforge/cleanup/text_mask.h"
#include "letterforge/layout/render_item.h"
#include "platform/color.h"
#include "platform/page_bitmap.h"
#include "platform/text_layout.h"

namespace letterforge {

// The named colours of the debug image: clearly distinct, used nowhere else.
inline constexpr platform::Color systemBlueColor{0.10, 0.45, 0.95, 1.0};
inline constexpr platform::Color systemGreenColor{0.15, 0.70, 0.30, 1.0};
inline constexpr platform::Color systemOrangeColor{0.98, 0.55, 0.05, 1.0};
inline constexpr platform::Color systemRedColor{0.90, 0.15, 0.15, 1.0};
inline constexpr platform::Color systemYellowColor{0.85, 0.64, 0.0, 1.0};  // dark enough to read on paper
inline constexpr platform::Color systemPurpleColor{0.60, 0.25, 0.85, 1.0};
// What the repaint mode did with a block.
inline constexpr platform::Color repaintedPaperColor{0.0, 0.60, 0.60, 1.0};     // teal
inline constexpr platform::Color inpaintedSmoothColor{0.20, 0.30, 0.75, 1.0};  // indigo
inline constexpr platform::Color inpaintedTextureColor{0.85, 0.10, 0.55, 1.0};  // magenta

// One annotated rectangle recorded during cleanup.
struct BubbleDebugRegion {
  Rect rect{};
  std::string label{};
  platform::Color color{};
  bool operator==(const BubbleDebugRegion&) const = default;
};

// The label as drawn: 29 characters or more become their first 26 followed by "..".
std::string debugLabelText(std::string_view text);

// Draws the label on one line, 10-point semibold, its lower-left corner at `point`.
void drawDebugLabel(platform::TextContext& context, platform::PageBitmap& page,
                    std::string_view text, platform::Point point, const platform::Color& color);

// Outlines every block item in blue and every render item's text area (green, or orange when
// floating), each with its ids joined by "+".
void drawItemOverlay(platform::TextContext& context, platform::PageBitmap& page,
                     const std::vector<RenderItem>& blockItems,
                     const std::vector<RenderItem>& renderItems, const Rect& pageRect);

// Outlines each region in its colour with its label just below it.
void drawBubbleDebugRegions(platform::TextContext& context, platform::PageBitmap& page,
                            const std::vector<BubbleDebugRegion>& regions);

// Tints every pixel of every mask red.
void drawTextMaskOverlay(platform::PageBitmap& page, const std::vector<TextMask>& masks);

}  // namespace letterforge
