#include "letterforge/cleanup/fill_inpaint.h"

#include <algorithm>
#include <cmath>
#include <cstring>
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

// Byte-wise min and max of eight values below 128 at once: with the top bit of every byte of
// `a` set, subtracting `b` borrows within no byte, and the top bit stays set where a >= b.
constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kTopBits = 0x8080808080808080u;

std::uint64_t atLeastBytes(std::uint64_t a, std::uint64_t b) {
  return ((((a | kTopBits) - b) & kTopBits) >> 7) * 0xFF;
}
std::uint64_t byteMax(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t aWins = atLeastBytes(a, b);
  return (a & aWins) | (b & ~aWins);
}
std::uint64_t byteMin(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t aWins = atLeastBytes(b, a);
  return (a & aWins) | (b & ~aWins);
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

// What inpainting needs to know of the page around a mask, all taken before the first write:
// - which pixels are masked;
// - for every pixel the chessboard distance to the nearest unmasked one (kFar when farther
//   than the largest radius), which names the first window radius that holds any;
// - prefix sums of the 8-bit samples and the count of the unmasked pixels, so that a window's
//   totals come from four entries whatever its size. They are kept modulo 2^32: an 11 x 11
//   window sums to far less, so its four-entry difference is exact.
// Each sample written is the exact mean sum / count rounded half up, in integers: the mean
// colour of the window as an 8-bit sample, whatever the order of summing.
class InpaintRegion {
 public:
  InpaintRegion(const PageBitmap& page, const TextMask& mask, const MaskPlacement& at,
                const Window& region)
      : region_(region),
        width_(region.x1 - region.x0),
        height_(region.y1 - region.y0),
        distance_(static_cast<std::size_t>(width_ * height_), 0),
        sums_(static_cast<std::size_t>((width_ + 1) * (height_ + 1)), Totals{}) {
    std::int64_t row = 0, rowStart = 0;  // cells come in ascending order: divide once a row
    for (std::int64_t cell : mask.pixels) {
      if (cell >= at.cells) break;
      if (cell - rowStart >= mask.width) {
        row = cell / mask.width;
        rowStart = row * mask.width;
      }
      const std::int64_t x = at.ox + (cell - rowStart), y = at.oy + row;
      if (x >= region.x0 && x < region.x1 && y >= region.y0 && y < region.y1) {
        distance_[index(x, y)] = kFar;
      }
    }
    addUpUnmasked(page);
    measureDistances();
  }

  // Chessboard distance from (x, y) to the nearest unmasked pixel, capped at kFar.
  std::int64_t distance(std::int64_t x, std::int64_t y) const { return distance_[index(x, y)]; }

  // Mean of the unmasked pixels of a window inside the region that holds any, as 8-bit
  // samples rounded to nearest with halves up: (2 sum + count) / (2 count) exactly.
  platform::Rgb8 roundedMean(const Window& w) const {
    const Totals& a = sum(w.x1, w.y1);
    const Totals& b = sum(w.x0, w.y1);
    const Totals& c = sum(w.x1, w.y0);
    const Totals& d = sum(w.x0, w.y0);
    const std::uint32_t count = a.count - b.count - c.count + d.count;
    const auto channel = [&](std::uint32_t Totals::*field) {
      const std::uint32_t total = a.*field - b.*field - c.*field + d.*field;
      return static_cast<std::uint8_t>((2 * total + count) / (2 * count));
    };
    return platform::Rgb8{channel(&Totals::red), channel(&Totals::green), channel(&Totals::blue)};
  }

  static constexpr std::uint8_t kFar = kLastRadius + 1;

 private:
  struct Totals {
    std::uint32_t red = 0, green = 0, blue = 0, count = 0;
  };

  std::size_t index(std::int64_t x, std::int64_t y) const {
    return static_cast<std::size_t>((y - region_.y0) * width_ + (x - region_.x0));
  }
  // Entry (x, y) holds the totals of the pixels left of column x and below row y.
  Totals& sum(std::int64_t x, std::int64_t y) {
    return sums_[static_cast<std::size_t>((y - region_.y0) * (width_ + 1) + (x - region_.x0))];
  }
  const Totals& sum(std::int64_t x, std::int64_t y) const {
    return sums_[static_cast<std::size_t>((y - region_.y0) * (width_ + 1) + (x - region_.x0))];
  }

  void addUpUnmasked(const PageBitmap& page) {
    for (std::int64_t y = region_.y0; y < region_.y1; ++y) {
      Totals row{};
      for (std::int64_t x = region_.x0; x < region_.x1; ++x) {
        if (distance_[index(x, y)] == 0) {
          const platform::Rgb8 s = page.pixel(x, y);
          row.red += s.red;
          row.green += s.green;
          row.blue += s.blue;
          row.count += 1;
        }
        const Totals& below = sum(x + 1, y);
        sum(x + 1, y + 1) = Totals{below.red + row.red, below.green + row.green,
                                   below.blue + row.blue, below.count + row.count};
      }
    }
  }

  // The chessboard distance splits by axis: the nearest unmasked pixel of each row first,
  // then the best of the rows up to kLastRadius above and below. Masked cells hold kFar on
  // entry. Pixels outside the region count as far: it reaches kLastRadius beyond every masked
  // pixel, or the page ends there.
  void measureDistances() {
    const auto w = static_cast<std::size_t>(width_);
    std::vector<std::uint8_t> inRow(distance_.size());
    for (std::size_t r = 0; r < static_cast<std::size_t>(height_); ++r) {
      const std::uint8_t* masked = &distance_[r * w];
      std::uint8_t* near = &inRow[r * w];
      std::uint8_t run = kFar;
      for (std::size_t c = 0; c < w; ++c) {
        run = masked[c] == 0 ? 0 : std::min<std::uint8_t>(run + 1, kFar);
        near[c] = run;
      }
      run = kFar;
      for (std::size_t c = w; c-- > 0;) {
        run = masked[c] == 0 ? 0 : std::min<std::uint8_t>(run + 1, kFar);
        near[c] = std::min(near[c], run);
      }
    }
    for (std::int64_t r = 0; r < height_; ++r) {
      std::uint8_t* out = &distance_[static_cast<std::size_t>(r) * w];
      for (std::int64_t dr = -kLastRadius; dr <= kLastRadius; ++dr) {
        if (r + dr < 0 || r + dr >= height_) continue;
        const std::uint8_t* near = &inRow[static_cast<std::size_t>(r + dr) * w];
        const auto rows = static_cast<std::uint8_t>(dr < 0 ? -dr : dr);
        const std::uint64_t rowsEach = kOnes * rows;
        std::size_t c = 0;
        for (; c + 8 <= w; c += 8) {
          std::uint64_t o = 0, n = 0;
          std::memcpy(&o, out + c, 8);
          std::memcpy(&n, near + c, 8);
          o = byteMin(o, byteMax(rowsEach, n));
          std::memcpy(out + c, &o, 8);
        }
        for (; c < w; ++c) out[c] = std::min(out[c], std::max(rows, near[c]));
      }
    }
  }

  Window region_;
  std::int64_t width_;
  std::int64_t height_;
  std::vector<std::uint8_t> distance_;
  std::vector<Totals> sums_;
};

}  // namespace

double roundedRectRadius(const Rect& rect) {
  constexpr double kRadiusFactor = 0.18, kRadiusMax = 12.0;
  return std::min(kRadiusFactor * std::min(width(rect), height(rect)), kRadiusMax);
}

void fillRoundedRect(PageBitmap& page, const Rect& rect, const platform::Color& colour) {
  page.fillRoundedRect(rect, roundedRectRadius(rect), colour);
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
  // Everything is read before the first write, and only unmasked pixels are read.
  const InpaintRegion around(page, mask, *at, region);
  for (std::int64_t y = region.y0; y < region.y1; ++y) {
    for (std::int64_t x = region.x0; x < region.x1; ++x) {
      const std::int64_t nearest = around.distance(x, y);
      if (nearest == 0) continue;  // not masked
      platform::Rgb8 colour{255, 255, 255};
      if (nearest <= kLastRadius) {
        const std::int64_t r = std::max(nearest, kFirstRadius);
        colour = around.roundedMean(windowAround(x, y, r, page.width(), page.height()));
      }
      page.setPixel(x, y, colour);
    }
  }
}

PlainAreaPlan planPlainArea(const PageBitmap& page, const Rect& rect) {
  if (!isPlainBrightBackground(page, rect)) return {PlainAreaVerdict::kNotPlain};
  if (isStrictPlainBackground(page, rect)) return {PlainAreaVerdict::kCleanPaper};
  auto mask = buildTextMask(page, rect);
  if (!mask) return {PlainAreaVerdict::kNoMask};
  const auto verdict = maskCoverage(*mask) > kInpaintDensityLimit ? PlainAreaVerdict::kDenseMask
                                                                   : PlainAreaVerdict::kLettering;
  return {verdict, std::move(mask)};
}

PlainAreaVerdict cleanPlainArea(PageBitmap& page, const Rect& rect,
                                std::vector<TextMask>& cleanedMasks) {
  PlainAreaPlan plan = planPlainArea(page, rect);
  if (plan.verdict == PlainAreaVerdict::kCleanPaper) fillRoundedRect(page, rect, platform::kWhite);
  if (plan.verdict == PlainAreaVerdict::kLettering) {
    inpaintMask(page, *plan.mask);
    cleanedMasks.push_back(std::move(*plan.mask));
  }
  return plan.verdict;
}

}  // namespace letterforge
