#include "letterforge/raster/pixel_sampling.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "letterforge/layout/rect_geometry.h"

namespace letterforge {
namespace {

using platform::PageBitmap;
using platform::Rgb8;

constexpr double kBrightMin = 0.72;
constexpr double kDarkMax = 0.34;
constexpr double kColourfulMin = 0.18;
constexpr double kEdgeStepMin = 0.2;

// One channel's term of the luminance sum for every sample level. Each entry is the same
// rounded product the formula makes, so table sums equal the formula bit for bit.
constexpr std::array<double, 256> channelTerms(double weight) {
  std::array<double, 256> terms{};
  for (int level = 0; level < 256; ++level) terms[level] = weight * (level / 255.0);
  return terms;
}

constexpr std::array<double, 256> kRedTerms = channelTerms(0.299);
constexpr std::array<double, 256> kGreenTerms = channelTerms(0.587);
constexpr std::array<double, 256> kBlueTerms = channelTerms(0.114);

double wordLuminance(std::uint32_t word) {
  return (kRedTerms[(word >> 16) & 0xFF] + kGreenTerms[(word >> 8) & 0xFF]) +
         kBlueTerms[word & 0xFF];
}

PixelRgb rgbOf(Rgb8 sample) {
  return {sample.red / 255.0, sample.green / 255.0, sample.blue / 255.0};
}

PixelRgb wordRgb(std::uint32_t word) {
  return rgbOf(Rgb8{static_cast<std::uint8_t>(word >> 16), static_cast<std::uint8_t>(word >> 8),
                    static_cast<std::uint8_t>(word)});
}

// Hand-made ranges that reach off the page are cut to it, so every pixel walked is readable.
PixelBounds onPage(const PageBitmap& page, const PixelBounds& b) {
  PixelBounds cut{.minX = std::max<std::int64_t>(b.minX, 0),
                  .maxX = std::min(b.maxX, page.width()),
                  .minY = std::max<std::int64_t>(b.minY, 0),
                  .maxY = std::min(b.maxY, page.height())};
  cut.width = cut.maxX > cut.minX ? cut.maxX - cut.minX : 0;
  cut.height = cut.maxY > cut.minY ? cut.maxY - cut.minY : 0;
  return cut;
}

// floor or ceil of v as a pixel index; absent when v is not finite or does not fit.
std::optional<std::int64_t> pixelIndex(double v) {
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (!(v >= -kLimit && v < kLimit)) return std::nullopt;
  return static_cast<std::int64_t>(v);
}

}  // namespace

std::optional<PixelRgb> samplePixel(const PageBitmap& page, std::int64_t x, std::int64_t y) {
  if (x < 0 || y < 0 || x >= page.width() || y >= page.height()) return std::nullopt;
  return rgbOf(page.pixel(x, y));
}

double luminance(const PixelRgb& rgb) {
  return (0.299 * rgb.red + 0.587 * rgb.green) + 0.114 * rgb.blue;
}

double luminance(Rgb8 sample) {
  return (kRedTerms[sample.red] + kGreenTerms[sample.green]) + kBlueTerms[sample.blue];
}

int greyLevelReaching(double threshold) {
  int level = 0;
  while (level < 256 && luminance(Rgb8{static_cast<std::uint8_t>(level), static_cast<std::uint8_t>(level),
                                       static_cast<std::uint8_t>(level)}) < threshold) {
    ++level;
  }
  return level;
}

double saturation(const PixelRgb& rgb) {
  const double mx = std::max({rgb.red, rgb.green, rgb.blue});
  const double mn = std::min({rgb.red, rgb.green, rgb.blue});
  if (mx <= 0) return 0.0;
  return (mx - mn) / mx;
}

double saturation(Rgb8 sample) { return saturation(rgbOf(sample)); }

PixelBounds pixelBounds(const PageBitmap& page, const Rect& rect) {
  const auto x0 = pixelIndex(std::floor(minX(rect)));
  const auto x1 = pixelIndex(std::ceil(maxX(rect)));
  const auto y0 = pixelIndex(std::floor(minY(rect)));
  const auto y1 = pixelIndex(std::ceil(maxY(rect)));
  if (!x0 || !x1 || !y0 || !y1) return PixelBounds{};
  return onPage(page, PixelBounds{.minX = *x0, .maxX = *x1, .minY = *y0, .maxY = *y1});
}

std::int64_t sampleStep(std::int64_t width, std::int64_t height, std::int64_t budget) {
  // Pixel ranges are at most page-sized; the double product only guards hand-made sizes.
  const bool fits =
      width > 0 && height > 0 && width <= std::numeric_limits<std::int64_t>::max() / height;
  const double area = fits ? static_cast<double>(width * height)
                           : static_cast<double>(width) * static_cast<double>(height);
  const double perPoint = static_cast<double>(std::max<std::int64_t>(budget, 1));
  const double root = std::sqrt(std::max(area, 1.0) / perPoint);
  if (!(root < 9.0e18)) return std::numeric_limits<std::int64_t>::max();
  return std::max<std::int64_t>(static_cast<std::int64_t>(root), 1);
}

double borderLuminanceMedian(const PageBitmap& page, const PixelBounds& bounds) {
  const PixelBounds b = onPage(page, bounds);
  if (b.width == 0 || b.height == 0) return 1.0;
  std::vector<double> ring;
  ring.reserve(static_cast<std::size_t>(2 * (b.width + b.height)));
  for (std::int64_t y = b.minY; y < b.maxY; ++y) {
    const std::uint32_t* row = page.rowWords(y);
    if (y == b.minY || y == b.maxY - 1) {
      for (std::int64_t x = b.minX; x < b.maxX; ++x) ring.push_back(wordLuminance(row[x]));
    } else {
      ring.push_back(wordLuminance(row[b.minX]));
      if (b.maxX - 1 != b.minX) ring.push_back(wordLuminance(row[b.maxX - 1]));
    }
  }
  // Only the element at count / 2 of the ascending order is needed, not a full sort.
  const auto middle = ring.begin() + static_cast<std::ptrdiff_t>(ring.size() / 2);
  std::nth_element(ring.begin(), middle, ring.end());
  return *middle;
}

std::optional<GridBrightness> gridBrightness(const PageBitmap& page, const PixelBounds& bounds) {
  const PixelBounds b = onPage(page, bounds);
  const std::int64_t step = sampleStep(b.width, b.height, kBackgroundBudget);
  std::int64_t counted = 0, bright = 0, colourful = 0;
  for (std::int64_t y = b.minY; y < b.maxY; y += step) {
    const std::uint32_t* row = page.rowWords(y);
    for (std::int64_t x = b.minX; x < b.maxX; x += step) {
      ++counted;
      if (wordLuminance(row[x]) >= kBrightMin) ++bright;
      if (saturation(wordRgb(row[x])) >= kColourfulMin) ++colourful;
    }
  }
  if (counted == 0) return std::nullopt;
  const double n = static_cast<double>(counted);
  return GridBrightness{.brightFraction = static_cast<double>(bright) / n,
                        .colourfulFraction = static_cast<double>(colourful) / n};
}

RegionStats regionStats(const PageBitmap& page, const PixelBounds& bounds,
                        const Exclusions& exclusions) {
  const PixelBounds b = onPage(page, bounds);
  const std::int64_t step = sampleStep(b.width, b.height, kRegionStatsBudget);
  // Listed exclusions are cut to those that reach the range, so that a page of a few dozen
  // blocks does not test every grid point against every block; many are marked point by point.
  const bool marked = isMarkedFor(exclusions, page);
  Exclusions nearby;
  if (!marked) {
    const double lastX = static_cast<double>(b.maxX - 1), lastY = static_cast<double>(b.maxY - 1);
    for (const Rect& exclusion : exclusions.rects) {
      const Rect r = standardised(exclusion);
      if (r.x <= lastX && static_cast<double>(b.minX) <= r.x + r.width && r.y <= lastY &&
          static_cast<double>(b.minY) <= r.y + r.height) {
        nearby.rects.push_back(r);
      }
    }
  }
  const Exclusions& excluded = marked ? exclusions : nearby;

  std::int64_t total = 0, bright = 0, dark = 0, colourful = 0, edge = 0;
  for (std::int64_t y = b.minY; y < b.maxY; y += step) {
    const std::uint32_t* row = page.rowWords(y);
    const std::uint32_t* nextRow = (b.maxY - y > step) ? page.rowWords(y + step) : nullptr;
    for (std::int64_t x = b.minX; x < b.maxX; x += step) {
      if (isExcluded(excluded, x, y)) continue;
      ++total;
      const double lum = wordLuminance(row[x]);
      if (lum >= kBrightMin) ++bright;
      if (lum <= kDarkMax) ++dark;
      if (saturation(wordRgb(row[x])) >= kColourfulMin) ++colourful;
      // Neighbours count even when they lie in an exclusion: an edge is a property of the point.
      const bool rightEdge =
          b.maxX - x > step && std::abs(lum - wordLuminance(row[x + step])) >= kEdgeStepMin;
      const bool upEdge =
          nextRow != nullptr && std::abs(lum - wordLuminance(nextRow[x])) >= kEdgeStepMin;
      if (rightEdge || upEdge) ++edge;
    }
  }
  if (total == 0) return RegionStats{.bright = 1.0};
  const double n = static_cast<double>(total);
  return RegionStats{.bright = static_cast<double>(bright) / n,
                     .dark = static_cast<double>(dark) / n,
                     .colourful = static_cast<double>(colourful) / n,
                     .edge = static_cast<double>(edge) / n};
}

}  // namespace letterforge
