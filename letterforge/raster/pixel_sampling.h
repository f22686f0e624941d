#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "letterforge/raster/exclusions.h"
#include "platform/color.h"
#include "platform/geometry.h"
#include "platform/page_bitmap.h"

namespace letterforge {

// A colour in device RGB, components in 0..1.
struct PixelRgb {
  double red = 0.0;
  double green = 0.0;
  double blue = 0.0;
  bool operator==(const PixelRgb&) const = default;
};

// The pixel range of a page rectangle: columns minX <= x < maxX, rows minY <= y < maxY.
// 0 <= minX, maxX <= page width, 0 <= minY, maxY <= page height; width and height are never
// negative, and a range with either at 0 holds no pixel.
struct PixelBounds {
  std::int64_t minX = 0;
  std::int64_t maxX = 0;
  std::int64_t minY = 0;
  std::int64_t maxY = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool operator==(const PixelBounds&) const = default;
};

struct GridBrightness {
  double brightFraction = 0.0;
  double colourfulFraction = 0.0;
  bool operator==(const GridBrightness&) const = default;
};

// Fractions of the counted grid points of a range.
struct RegionStats {
  double bright = 0.0;
  double dark = 0.0;
  double colourful = 0.0;
  double edge = 0.0;
  bool operator==(const RegionStats&) const = default;
};

// Grid point budgets of the sampled measurements.
inline constexpr std::int64_t kBackgroundBudget = 2200;
inline constexpr std::int64_t kRegionStatsBudget = 2400;
inline constexpr std::int64_t kFillColorBudget = 1800;

// Pixel (x, y) in drawing coordinates; absent when it lies off the page.
std::optional<PixelRgb> samplePixel(const platform::PageBitmap& page, std::int64_t x,
                                    std::int64_t y);

// (0.299 red + 0.587 green) + 0.114 blue, in that order: white gives 0.9999999999999999.
double luminance(const PixelRgb& rgb);
// The same value for an 8-bit sample, without dividing each component.
double luminance(platform::Rgb8 sample);
// The darkest grey level whose 8-bit luminance reaches `threshold` (256 when none does). Each
// channel's term grows with its level and so does their rounded sum: a sample whose every
// channel is at this level or above is at least as light, and a scan can pass it by.
int greyLevelReaching(double threshold);
// (max - min) / max of the components; 0 for black.
double saturation(const PixelRgb& rgb);
// The same value for an 8-bit sample.
double saturation(platform::Rgb8 sample);

// The pixels a page rectangle touches, cut to the page. A rectangle with a coordinate that is
// not finite or too large for a 64-bit pixel index has an empty range.
PixelBounds pixelBounds(const platform::PageBitmap& page, const platform::Rect& rect);
// Grid step that visits about `budget` points of a width x height range; at least 1.
std::int64_t sampleStep(std::int64_t width, std::int64_t height, std::int64_t budget);

// Median luminance (element count / 2 of the ascending list) of the one-pixel border ring
// of the range; 1.0 when the ring holds no readable pixel.
double borderLuminanceMedian(const platform::PageBitmap& page, const PixelBounds& bounds);
// Fractions of bright (luminance >= 0.72) and colourful (saturation >= 0.18) points of the
// range's grid at the background budget; absent when no point was read.
std::optional<GridBrightness> gridBrightness(const platform::PageBitmap& page,
                                             const PixelBounds& bounds);
// Bright, dark, colourful and edge fractions of the grid at the region-statistics budget,
// leaving out points inside any of `exclusions` (edges included). (1, 0, 0, 0) when no point
// was counted. Marks made for another page are not used.
RegionStats regionStats(const platform::PageBitmap& page, const PixelBounds& bounds,
                        const Exclusions& exclusions);

}  // namespace letterforge
