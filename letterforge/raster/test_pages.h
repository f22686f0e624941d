#pragma once

// Tiny synthetic pages for pixel tests. Positions are drawing coordinates (origin bottom-left,
// y up); everything is cut to the page, so fixtures may reach past its edges.

#include <algorithm>
#include <cstdint>

#include "platform/page_bitmap.h"

namespace letterforge::test_pages {

inline constexpr platform::Rgb8 kWhite{255, 255, 255};
inline constexpr platform::Rgb8 kBlack{0, 0, 0};
inline constexpr platform::Rgb8 kRed{255, 0, 0};

inline platform::Rgb8 grey(std::uint8_t level) { return {level, level, level}; }

// Sets the pixels x0 <= x < x0 + width, y0 <= y < y0 + height.
inline void paintRect(platform::PageBitmap& page, std::int64_t x0, std::int64_t y0,
                      std::int64_t width, std::int64_t height, platform::Rgb8 color) {
  const std::int64_t x1 = std::min(x0 + width, page.width());
  const std::int64_t y1 = std::min(y0 + height, page.height());
  for (std::int64_t y = std::max<std::int64_t>(y0, 0); y < y1; ++y) {
    for (std::int64_t x = std::max<std::int64_t>(x0, 0); x < x1; ++x) page.setPixel(x, y, color);
  }
}

// Sets the one-pixel border ring of the same range.
inline void paintRing(platform::PageBitmap& page, std::int64_t x0, std::int64_t y0,
                      std::int64_t width, std::int64_t height, platform::Rgb8 color) {
  paintRect(page, x0, y0, width, 1, color);
  paintRect(page, x0, y0 + height - 1, width, 1, color);
  paintRect(page, x0, y0, 1, height, color);
  paintRect(page, x0 + width - 1, y0, 1, height, color);
}

// Sets the first `count` pixels of the range in row order (bottom row first, left to right),
// for fixtures that need an exact number of pixels of one kind.
inline void paintFirstPixels(platform::PageBitmap& page, std::int64_t x0, std::int64_t y0,
                             std::int64_t width, std::int64_t height, std::int64_t count,
                             platform::Rgb8 color) {
  for (std::int64_t i = 0; i < count && i < width * height; ++i) {
    const std::int64_t x = x0 + i % width;
    const std::int64_t y = y0 + i / width;
    if (x >= 0 && y >= 0 && x < page.width() && y < page.height()) page.setPixel(x, y, color);
  }
}

// An ellipse centred on (cx, cy) with radii rx and ry: `fill` inside, `outline` in a band
// `outlineWidth` pixels wide along its edge (none for width 0).
inline void paintEllipse(platform::PageBitmap& page, double cx, double cy, double rx, double ry,
                         platform::Rgb8 fill, platform::Rgb8 outline, double outlineWidth = 3) {
  const auto inside = [](double dx, double dy, double a, double b) {
    return a > 0 && b > 0 && (dx * dx) / (a * a) + (dy * dy) / (b * b) <= 1.0;
  };
  for (auto y = static_cast<std::int64_t>(cy - ry); y <= static_cast<std::int64_t>(cy + ry); ++y) {
    for (auto x = static_cast<std::int64_t>(cx - rx); x <= static_cast<std::int64_t>(cx + rx); ++x) {
      if (x < 0 || y < 0 || x >= page.width() || y >= page.height()) continue;
      const double dx = x + 0.5 - cx;
      const double dy = y + 0.5 - cy;
      if (!inside(dx, dy, rx, ry)) continue;
      page.setPixel(x, y, inside(dx, dy, rx - outlineWidth, ry - outlineWidth) ? fill : outline);
    }
  }
}

// A line of `count` letter shapes (rings) from (x, y) upwards, each 6 x 10 pixels, 4 apart:
// lettering 10 × count − 4 pixels wide and 10 high.
inline void paintLetters(platform::PageBitmap& page, std::int64_t x, std::int64_t y, int count,
                         platform::Rgb8 color = kBlack) {
  for (int i = 0; i < count; ++i) paintRing(page, x + 10 * i, y, 6, 10, color);
}

// A page of one colour.
inline platform::PageBitmap makePage(std::int64_t width, std::int64_t height,
                                     platform::Rgb8 color = kWhite) {
  platform::PageBitmap page = *platform::PageBitmap::create(width, height);
  paintRect(page, 0, 0, width, height, color);
  return page;
}

// Number of pixels whose colour differs between two pages of the same size.
inline std::int64_t differingPixels(const platform::PageBitmap& a, const platform::PageBitmap& b) {
  std::int64_t differing = 0;
  for (std::int64_t y = 0; y < a.height(); ++y) {
    for (std::int64_t x = 0; x < a.width(); ++x)
      differing += a.pixel(x, y) == b.pixel(x, y) ? 0 : 1;
  }
  return differing;
}

}  // namespace letterforge::test_pages
