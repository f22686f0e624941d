#include "letterforge/debug/debug_overlay.h"

#include <algorithm>
#include <cmath>

#include "letterforge/inputs/text_rules.h"
#include "letterforge/layout/rect_geometry.h"
#include "platform/text_layout.h"

namespace letterforge {
namespace {

constexpr std::int64_t kLongestWholeLabel = 28;
constexpr std::int64_t kShortenedLabelLength = 26;
constexpr double kLabelSize = 10.0;

// Source-over of a translucent colour onto one opaque pixel, as a 1 x 1 fill would blend it,
// without a path per pixel.
void blendPixel(platform::PageBitmap& page, std::int64_t x, std::int64_t y, const platform::Color& c) {
  if (x < 0 || y < 0 || x >= page.width() || y >= page.height()) return;
  const platform::Rgb8 under = page.pixel(x, y);
  auto mix = [&](double over, std::uint8_t below) {
    return static_cast<std::uint8_t>(std::lround(over * 255.0 * c.alpha + below * (1.0 - c.alpha)));
  };
  page.setPixel(x, y, {mix(c.red, under.red), mix(c.green, under.green), mix(c.blue, under.blue)});
}

}  // namespace

std::string debugLabelText(std::string_view text) {
  if (characterCount(text) <= kLongestWholeLabel) return std::string(text);
  return firstCharacters(text, kShortenedLabelLength) + "..";
}

void drawDebugLabel(platform::TextContext& context, platform::PageBitmap& page,
                    std::string_view text, platform::Point point, const platform::Color& color) {
  const platform::TextStyle style{.size = kLabelSize,
                                  .weight = platform::FontWeight::semibold,
                                  .color = color,
                                  .alignment = platform::TextAlignment::left};
  platform::drawTextLine(context, page, debugLabelText(text), point, style);
}

void drawItemOverlay(platform::TextContext& context, platform::PageBitmap& page,
                     const std::vector<RenderItem>& blockItems,
                     const std::vector<RenderItem>& renderItems, const Rect& pageRect) {
  for (const RenderItem& item : blockItems) {
    page.strokeRect(item.rect, 1.2, platform::withAlpha(systemBlueColor, 0.78));
    drawDebugLabel(context, page, blockLabel(item), {minX(item.rect), minY(item.rect)}, systemBlueColor);
  }
  for (const RenderItem& item : renderItems) {
    const double margin = textMargin(item);
    const Rect area = clampRect(inset(item.rect, -margin, -margin), pageRect);
    const platform::Color color = item.floating ? systemOrangeColor : systemGreenColor;
    page.strokeRect(area, item.floating ? 2.0 : 2.4, color);
    drawDebugLabel(context, page, blockLabel(item), {minX(area), maxY(area) - 14.0}, color);
  }
}

void drawBubbleDebugRegions(platform::TextContext& context, platform::PageBitmap& page,
                            const std::vector<BubbleDebugRegion>& regions) {
  for (const BubbleDebugRegion& region : regions) {
    page.strokeRect(region.rect, 1.8, platform::withAlpha(region.color, 0.9));
    const platform::Point at{minX(region.rect), std::max(minY(region.rect) - 13.0, 0.0)};
    drawDebugLabel(context, page, region.label, at, region.color);
  }
}

void drawTextMaskOverlay(platform::PageBitmap& page, const std::vector<TextMask>& masks) {
  const platform::Color tint = platform::withAlpha(systemRedColor, 0.45);
  for (const TextMask& mask : masks) {
    // A mask with cells has a whole-pixel origin on the page and a width of at least 1.
    if (mask.pixels.empty() || mask.width < 1) continue;
    const auto ox = static_cast<std::int64_t>(mask.rect.x);
    const auto oy = static_cast<std::int64_t>(mask.rect.y);
    for (const std::int64_t p : mask.pixels) {
      const std::int64_t row = p / mask.width;
      const std::int64_t column = p - row * mask.width;
      blendPixel(page, ox + column, oy + row, tint);
    }
  }
}

}  // namespace letterforge
