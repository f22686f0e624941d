#include "letterforge/cleanup/fill_inpaint.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "letterforge/cleanup/background_classification.h"
#include "letterforge/layout/rect_geometry.h"

namespace letterforge {
namespace {

using platform::PageBitmap;

constexpr std::int64_t kFirstRadius = 2;
constexpr std::int64_t kLastRadius = 5;

// Where a mask's cells lie on the page. Masks beyond these sizes cannot belong to any page,
// and the limits keep every sum of positions below overflow.
struct MaskPlacement {
  std::int64_t ox = 0;
  std::int64_t oy = 0;
  std::int64_t cells = 0;  // width x height
};

std::optional<MaskPlacement> placement(const TextMask& mask) {
  constexpr double kOriginLimit = 4.0e18;
  constexpr std::int64_t kSideLimit = std::int64_t{1} << 31;
  const double x = std::trunc(minX(mask.rect)), y = std::trunc(minY(mask.rect));
  if (!(std::abs(x) < kOriginLimit && std::abs(y) < kOriginLimit)) return std::nullopt;
  if (mask.width <= 0 || mask.height <= 0 || mask.width > kSideLimit || mask.height > kSideLimit) {
    return std::nullopt;
  }
  return MaskPlacement{.ox = static_cast<std::int64_t>(x),
                       .oy = static_cast<std::int64_t>(y),
                       .cells = mask.width * mask.height};
}

bool isMasked(const TextMask& mask, const MaskPlacement& at, std::int64_t x, std::int64_t y) {
  const std::int64_t column = x - at.ox, row = y - at.oy;
  return column >= 0 && column < mask.width && row >= 0 && row < mask.height &&
         mask.pixels.contains(row * mask.width + column);
}

// A square window of radius r around (x, y), cut to [0, width) x [0, height).
struct Window {
  std::int64_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
};

Window windowAround(std::int64_t x, std::int64_t y, std::int64_t r, std::int64_t width,
                    std::int64_t height) {
  return Window{.x0 = std::max<std::int64_t>(x - r, 0),
                .x1 = std::min(x + r + 1, width),
                .y0 = std::max<std::int64_t>(y - r, 0),
                .y1 = std::min(y + r + 1, height)};
}

// Sums of the 8-bit samples and the count of the unmasked pixels of a page region, as
// prefix sums: any window's totals come from four entries. Integer sums are exact, so the
// mean differs from the mean of component / 255 values only by rounding of a few units in
// the last place, which writePixel absorbs (its halves carry a 1e-9 tolerance).
class UnmaskedSums {
 public:
  UnmaskedSums(const PageBitmap& page, const TextMask& mask, const MaskPlacement& at,
               const Window& region)
      : region_(region), stride_(region.x1 - region.x0 + 1) {
    const std::int64_t rows = region.y1 - region.y0 + 1;
    sums_.assign(static_cast<std::size_t>(stride_ * rows), Totals{});
    for (std::int64_t y = region.y0; y < region.y1; ++y) {
      Totals row{};
      for (std::int64_t x = region.x0; x < region.x1; ++x) {
        if (!isMasked(mask, at, x, y)) {
          const platform::Rgb8 s = page.pixel(x, y);
          row.red += s.red;
          row.green += s.green;
          row.blue += s.blue;
          row.count += 1;
        }
        const Totals& below = entry(x + 1, y);
        entry(x + 1, y + 1) = Totals{below.red + row.red, below.green + row.green,
                                     below.blue + row.blue, below.count + row.count};
      }
    }
  }

  // Mean of the unmasked pixels of a window inside the region; absent when it has none.
  std::optional<PixelRgb> mean(const Window& w) const {
    const Totals& a = entry(w.x1, w.y1);
    const Totals& b = entry(w.x0, w.y1);
    const Totals& c = entry(w.x1, w.y0);
    const Totals& d = entry(w.x0, w.y0);
    const std::int64_t count = a.count - b.count - c.count + d.count;
    if (count == 0) return std::nullopt;
    const auto channel = [&](std::int64_t Totals::*field) {
      const std::int64_t sum = a.*field - b.*field - c.*field + d.*field;
      return static_cast<double>(sum) / static_cast<double>(count) / 255.0;
    };
    return PixelRgb{channel(&Totals::red), channel(&Totals::green), channel(&Totals::blue)};
  }

 private:
  struct Totals {
    std::int64_t red = 0, green = 0, blue = 0, count = 0;
  };
  // Entry (x, y) holds the totals of the pixels left of column x and below row y.
  const Totals& entry(std::int64_t x, std::int64_t y) const {
    return sums_[static_cast<std::size_t>((y - region_.y0) * stride_ + (x - region_.x0))];
  }
  Totals& entry(std::int64_t x, std::int64_t y) {
    return sums_[static_cast<std::size_t>((y - region_.y0) * stride_ + (x - region_.x0))];
  }

  Window region_;
  std::int64_t stride_;
  std::vector<Totals> sums_;
};

}  // namespace

void fillRoundedRect(PageBitmap& page, const Rect& rect, const platform::Color& colour) {
  constexpr double kRadiusFactor = 0.18, kRadiusMax = 12.0;
  const double radius = std::min(kRadiusFactor * std::min(width(rect), height(rect)), kRadiusMax);
  page.fillRoundedRect(rect, radius, colour);
}

PixelRgb inpaintColor(const PageBitmap& page, std::int64_t x, std::int64_t y,
                      const TextMask& mask) {
  const PixelRgb white{1.0, 1.0, 1.0};
  const auto at = placement(mask);
  // Farther off the page than the largest radius, no window reaches a pixel.
  if (x < -kLastRadius || y < -kLastRadius || x >= page.width() + kLastRadius ||
      y >= page.height() + kLastRadius) {
    return white;
  }
  for (std::int64_t r = kFirstRadius; r <= kLastRadius; ++r) {
    const Window w = windowAround(x, y, r, page.width(), page.height());
    PixelRgb sum{};
    std::int64_t count = 0;
    for (std::int64_t yy = w.y0; yy < w.y1; ++yy) {
      for (std::int64_t xx = w.x0; xx < w.x1; ++xx) {
        if (at && isMasked(mask, *at, xx, yy)) continue;
        const auto rgb = samplePixel(page, xx, yy);
        if (!rgb) continue;
        sum.red += rgb->red;
        sum.green += rgb->green;
        sum.blue += rgb->blue;
        ++count;
      }
    }
    if (count > 0) {
      const double n = static_cast<double>(count);
      return PixelRgb{sum.red / n, sum.green / n, sum.blue / n};
    }
  }
  return white;
}

void inpaintMask(PageBitmap& page, const TextMask& mask) {
  const auto at = placement(mask);
  if (!at || mask.pixels.empty()) return;
  // Every window of a masked pixel lies within the mask's window grown by the largest radius.
  const Window region{
      .x0 = std::max<std::int64_t>(at->ox - kLastRadius, 0),
      .x1 = std::min(at->ox + mask.width + kLastRadius, page.width()),
      .y0 = std::max<std::int64_t>(at->oy - kLastRadius, 0),
      .y1 = std::min(at->oy + mask.height + kLastRadius, page.height()),
  };
  if (region.x1 <= region.x0 || region.y1 <= region.y0) return;
  // All sums are taken before the first write, and only unmasked pixels enter them.
  const UnmaskedSums sums(page, mask, *at, region);
  for (std::int64_t cell : mask.pixels) {
    if (cell >= at->cells) break;
    const std::int64_t row = cell / mask.width;
    const std::int64_t x = at->ox + (cell - row * mask.width), y = at->oy + row;
    if (x < 0 || y < 0 || x >= page.width() || y >= page.height()) continue;
    PixelRgb colour{1.0, 1.0, 1.0};
    for (std::int64_t r = kFirstRadius; r <= kLastRadius; ++r) {
      if (const auto mean = sums.mean(windowAround(x, y, r, page.width(), page.height()))) {
        colour = *mean;
        break;
      }
    }
    writePixel(page, x, y, colour);
  }
}

void cleanPlainArea(PageBitmap& page, const Rect& rect, std::vector<TextMask>& cleanedMasks) {
  constexpr double kCoverageMax = 0.58;
  if (!isPlainBrightBackground(page, rect)) return;
  if (isStrictPlainBackground(page, rect)) {
    fillRoundedRect(page, rect, platform::kWhite);
    return;
  }
  auto mask = buildTextMask(page, rect);
  if (!mask) return;
  // A mask this dense is more likely a drawing than lettering.
  const double area = width(mask->rect) * height(mask->rect);
  const double cells = static_cast<double>(mask->pixels.count());
  if (area >= 1.0 && cells / area > kCoverageMax) return;
  if (area < 1.0 && !mask->pixels.empty()) return;
  inpaintMask(page, *mask);
  cleanedMasks.push_back(std::move(*mask));
}

}  // namespace letterforge
