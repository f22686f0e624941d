#include "letterforge/cleanup/background_classification.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "letterforge/layout/rect_geometry.h"
#include "letterforge/raster/pixel_sampling.h"

namespace letterforge {
namespace {

using platform::PageBitmap;
using platform::Point;

struct PlainLimits {
  double ringMedianMin = 0.0;
  double brightMin = 0.0;
  double colourfulMax = 0.0;
};

constexpr PlainLimits kPlainLimits{.ringMedianMin = 0.55, .brightMin = 0.55, .colourfulMax = 0.18};
constexpr PlainLimits kStrictLimits{.ringMedianMin = 0.82, .brightMin = 0.74, .colourfulMax = 0.08};
constexpr std::int64_t kPlainSideMin = 3;

bool passesPlainLimits(const PageBitmap& page, const Rect& rect, const PlainLimits& limits) {
  const PixelBounds b = pixelBounds(page, rect);
  // Too small to judge; cleaning such a sliver cannot harm the artwork.
  if (b.width < kPlainSideMin || b.height < kPlainSideMin) return true;
  const double ringMedian = borderLuminanceMedian(page, b);
  const auto grid = gridBrightness(page, b);
  if (!grid) return ringMedian >= limits.ringMedianMin;
  return ringMedian >= limits.ringMedianMin && grid->brightFraction >= limits.brightMin &&
         grid->colourfulFraction <= limits.colourfulMax;
}

// The grown surround: 0.45 of the shorter side, kept between 8 and 24 pixels.
double surroundPad(const Rect& rect) {
  constexpr double kPadMin = 8.0, kPadMax = 24.0;
  const double k = 0.45 * std::min(width(rect), height(rect));
  if (k < kPadMin) return kPadMin;
  if (k >= kPadMax) return kPadMax;
  return k;
}

double probeMargin(const Rect& rect) {
  constexpr double kMarginMin = 4.0, kMarginMax = 12.0;
  const double k = 0.35 * std::min(width(rect), height(rect));
  if (k >= kMarginMax) return kMarginMax;
  return std::max(k, kMarginMin);
}

}  // namespace

bool isPlainBrightBackground(const PageBitmap& page, const Rect& rect) {
  return passesPlainLimits(page, rect, kPlainLimits);
}

bool isStrictPlainBackground(const PageBitmap& page, const Rect& rect) {
  return passesPlainLimits(page, rect, kStrictLimits);
}

bool isBubbleSurround(const PageBitmap& page, const Rect& rect,
                      const Exclusions& exclusions) {
  constexpr std::int64_t kSideMin = 4;
  constexpr double kRingMedianMin = 0.56, kBrightMin = 0.34, kDarkMax = 0.3, kColourfulMax = 0.16;
  const double pad = surroundPad(rect);
  const Rect pageRect{0, 0, double(page.width()), double(page.height())};
  const Rect grown = clampRect(inset(rect, -pad, -pad), pageRect);
  const PixelBounds b = pixelBounds(page, grown);
  if (b.width < kSideMin || b.height < kSideMin) return false;
  const RegionStats s = regionStats(page, b, exclusions);
  const double ringMedian = borderLuminanceMedian(page, b);
  return ringMedian >= kRingMedianMin && s.bright >= kBrightMin && s.dark <= kDarkMax &&
         s.colourful <= kColourfulMax;
}

bool surroundProbe(const PageBitmap& page, const Rect& rect) {
  constexpr double kLuminanceMin = 0.76, kSaturationMax = 0.14;
  const double m = probeMargin(rect);
  const double left = minX(rect) - m, right = maxX(rect) + m, mid = midX(rect);
  const double below = minY(rect) - m, above = maxY(rect) + m;
  const std::array<Point, 6> probes{Point{left, below},  Point{right, below}, Point{left, above},
                                    Point{right, above}, Point{mid, below},   Point{mid, above}};
  std::int64_t sampled = 0, bright = 0;
  for (const Point& p : probes) {
    // std::round takes halves away from zero, so -0.5 becomes -1 and is off the page.
    const double x = std::round(p.x), y = std::round(p.y);
    if (!(x >= 0 && y >= 0 && x < static_cast<double>(page.width()) &&
          y < static_cast<double>(page.height()))) {
      continue;
    }
    const auto rgb = samplePixel(page, static_cast<std::int64_t>(x), static_cast<std::int64_t>(y));
    if (!rgb) continue;
    ++sampled;
    if (luminance(*rgb) >= kLuminanceMin && saturation(*rgb) <= kSaturationMax) ++bright;
  }
  const std::int64_t required = sampled == 3 ? 2 : sampled / 2;
  return sampled > 2 && bright >= required;
}

}  // namespace letterforge
