#include "letterforge/cleanup/bubble_detection.h"

#include <algorithm>
#include <cstdint>

#include "letterforge/cleanup/background_classification.h"
#include "letterforge/inputs/text_rules.h"
#include "letterforge/layout/block_grouping.h"
#include "letterforge/layout/rect_geometry.h"
#include "letterforge/raster/pixel_sampling.h"

namespace letterforge {
namespace {

constexpr double kLightPaper = 0.68;
constexpr double kBrightPixel = 0.72;

Rect grown(const Rect& r, double dx, double dy) { return inset(r, -dx, -dy); }

// lo below lo, hi from hi on, v between.
double clampStep(double v, double lo, double hi) {
  if (v < lo) return lo;
  if (v >= hi) return hi;
  return v;
}

bool isPaperForSearch(const RegionStats& s, double ringMedian, double areaRatio) {
  return s.dark <= 0.22 && ringMedian >= kLightPaper && s.edge <= 0.34 && s.bright >= 0.58 &&
         areaRatio <= 7.5;
}

bool isPaperForMask(const RegionStats& s, double ringMedian) {
  return ringMedian >= kLightPaper && s.bright >= 0.56 && s.colourful <= 0.12 && s.dark <= 0.24 &&
         s.edge <= 0.36;
}

// Median at index count / 2 of the ascending list.
double median(std::vector<double>& values) {
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

}  // namespace

std::optional<BubbleRegion> findGroupBubble(const platform::PageBitmap& page, const RenderItem& item,
                                            const Exclusions& exclusions, const Rect& bounds,
                                            double growthFactor) {
  const double itemWidth = width(item.rect);
  const double itemHeight = height(item.rect);
  const double k = growthFactor * std::min(itemWidth, itemHeight);
  const double pad = k < 8.0 ? 8.0 : (k >= 42.0 ? 42.0 : k);
  const Rect search = clampRect(grown(item.rect, pad, pad), bounds);
  const PixelBounds b = pixelBounds(page, search);
  if (b.width < 5 || b.height < 5) return std::nullopt;

  const double ringMedian = borderLuminanceMedian(page, b);
  const RegionStats s = regionStats(page, b, exclusions);
  if (s.colourful > 0.1) return std::nullopt;
  const double itemArea = itemWidth * itemHeight;
  const double searchArea = width(search) * height(search);
  const double areaRatio = itemArea >= 1.0 ? searchArea / itemArea : searchArea;
  if (!isPaperForSearch(s, ringMedian, areaRatio)) return std::nullopt;

  double confidence =
      0.3 * ringMedian + 0.38 * s.bright + 0.16 * (1.0 - s.dark) + 0.16 * (1.0 - s.edge);
  confidence = std::min(std::max(confidence, 0.0), 0.99);
  if (confidence < 0.68) return std::nullopt;
  return BubbleRegion{search, confidence};
}

std::optional<BubbleRegion> searchBubble(const platform::PageBitmap& page, const RenderItem& item,
                                         const Exclusions& exclusions, const Rect& bounds) {
  for (const double factor : kBubbleGrowthFactors) {
    if (auto region = findGroupBubble(page, item, exclusions, bounds, factor)) return region;
  }
  return std::nullopt;
}

std::optional<TextMask> bubbleTextMask(const platform::PageBitmap& page, const Rect& itemRect,
                                       const Rect& bubbleRect) {
  const Rect r = intersection(itemRect, bubbleRect);
  if (isNull(r) || width(r) <= 2.0 || height(r) <= 2.0) return std::nullopt;
  const PixelBounds b = pixelBounds(page, r);
  if (b.width < 3 || b.height < 3) return std::nullopt;

  const PixelBounds bubble = pixelBounds(page, bubbleRect);
  const double ringMedian = borderLuminanceMedian(page, bubble);
  if (!isPaperForMask(regionStats(page, bubble, {.rects = {r}}), ringMedian)) return std::nullopt;

  double threshold = ringMedian - 0.08;
  if (threshold >= 0.78) threshold = 0.78;
  threshold = std::max(threshold, 0.18);

  CellSet strokes;
  strokes.reserve(b.width * b.height);
  // The window lies on the page, and the 8-bit luminance needs no division: most pixels are
  // paper, passed by when no channel is darker than the grey of the threshold, and only the
  // others are measured.
  const auto paperLevel = static_cast<std::uint32_t>(greyLevelReaching(threshold));
  for (std::int64_t y = b.minY; y < b.maxY; ++y) {
    const std::uint32_t* row = page.rowWords(y);
    for (std::int64_t x = b.minX; x < b.maxX; ++x) {
      const std::uint32_t word = row[x];
      if (std::min({(word >> 16) & 0xFFu, (word >> 8) & 0xFFu, word & 0xFFu}) >= paperLevel) continue;
      const platform::Rgb8 sample = page.pixel(x, y);
      // Coloured ink darker than the paper is artwork, not lettering.
      if (luminance(sample) < threshold && saturation(sample) <= 0.35) {
        strokes.insert((y - b.minY) * b.width + (x - b.minX));
      }
    }
  }
  const CellSet kept = dropSpecks(strokes, b.width, b.height);
  if (kept.empty()) return std::nullopt;
  return TextMask{.rect = {double(b.minX), double(b.minY), double(b.width), double(b.height)},
                  .pixels = dilateCells(kept, b.width, b.height, 2),
                  .width = b.width,
                  .height = b.height};
}

platform::Color bubbleFillColor(const platform::PageBitmap& page, const TextMask& mask,
                                const Rect& bubbleRect) {
  const PixelBounds b = pixelBounds(page, bubbleRect);
  const std::int64_t step = sampleStep(b.width, b.height, kFillColorBudget);
  // A mask with cells has a whole-pixel origin on the page; an empty one is never consulted.
  const bool masked = !mask.pixels.empty();
  const auto ox = masked ? static_cast<std::int64_t>(mask.rect.x) : 0;
  const auto oy = masked ? static_cast<std::int64_t>(mask.rect.y) : 0;
  auto isMaskCell = [&](std::int64_t x, std::int64_t y) {
    const std::int64_t column = x - ox;
    const std::int64_t row = y - oy;
    return masked && column >= 0 && column < mask.width && row >= 0 && row < mask.height &&
           mask.pixels.contains(row * mask.width + column);
  };

  std::vector<double> reds, greens, blues;
  for (std::int64_t y = b.minY; y < b.maxY; y += step) {
    for (std::int64_t x = b.minX; x < b.maxX; x += step) {
      if (isMaskCell(x, y)) continue;
      const auto rgb = samplePixel(page, x, y);
      if (!rgb || luminance(*rgb) < kBrightPixel || saturation(*rgb) > 0.12) continue;
      reds.push_back(rgb->red);
      greens.push_back(rgb->green);
      blues.push_back(rgb->blue);
    }
  }
  if (reds.empty()) return platform::kWhite;
  const PixelRgb paper{median(reds), median(greens), median(blues)};
  // A tinted or shaded bubble keeps its colour; bright, nearly grey paper is plain white.
  if (luminance(paper) < 0.78 || saturation(paper) > 0.16) {
    return platform::Color{paper.red, paper.green, paper.blue, 1.0};
  }
  return platform::kWhite;
}

Rect itemTextArea(const platform::PageBitmap& page, const RenderItem& item, const Rect& pageRect,
                  CleanupMode cleanupMode, const Exclusions& blockCleanRects) {
  const double margin = textMargin(item);
  const Rect base = clampRect(grown(item.rect, margin, margin), pageRect);
  if (cleanupMode != CleanupMode::kBubbleClean) return base;

  const std::size_t n = item.ids.size();
  const double w = width(item.rect);
  const double h = height(item.rect);
  if (n == 1 && !item.floating) {
    const Rect bounds = clampRect(grown(item.rect, std::max(0.32 * w, 10.0), std::max(0.32 * h, 10.0)), pageRect);
    if (const auto region = searchBubble(page, item, blockCleanRects, bounds)) {
      return clampRect(inset(region->rect, 5.0, 5.0), pageRect);
    }
    return base;
  }
  if (n <= 1) return base;

  const std::int64_t chars = characterCount(item.text);
  const bool longText = chars >= 42 || item.text.find('\n') != std::string::npos;
  if (n <= 4) {
    if (isShortGroup(item) &&
        (isBubbleSurround(page, base, blockCleanRects) || surroundProbe(page, base))) {
      return clampRect(grown(base, clampStep(0.36 * w, 18.0, 48.0), clampStep(0.34 * h, 16.0, 42.0)),
                       pageRect);
    }
    if (!longText) return base;
  }

  // Large groups, and small ones with long text: the bubble around the whole group.
  const Rect bounds = clampRect(grown(item.rect, std::max(0.18 * w, 14.0), std::max(0.18 * h, 12.0)), pageRect);
  if (const auto region = searchBubble(page, item, blockCleanRects, bounds)) {
    return clampRect(inset(region->rect, 4.0, 4.0), pageRect);
  }
  if (n > 4 || isBubbleSurround(page, base, blockCleanRects)) {
    return clampRect(grown(base, clampStep(0.08 * w, 5.0, 16.0), clampStep(0.06 * h, 4.0, 14.0)), pageRect);
  }
  return base;
}

}  // namespace letterforge
