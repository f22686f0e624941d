#include "letterforge/cleanup/balloon_finder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "letterforge/cleanup/region_grid.h"

namespace letterforge {
namespace {

// Paper is told by its colour: the paper colour seen between the letters, within a tolerance
// taken from how much that paper varies (digital white barely, scanned newsprint much).
constexpr double kPaperShare = 0.4;          // the lightest share of the lettering's pixels
constexpr double kDarkestPaper = 0.45;       // luminance
constexpr double kToleranceMin = 0.07;
constexpr double kToleranceMax = 0.2;
constexpr double kToleranceSpreadFactor = 4.0;
constexpr double kToleranceBase = 0.05;
// How far a balloon may reach from its lettering, in widths and line heights.
constexpr double kReachWidths = 2.5;
constexpr double kReachLines = 8.0;
constexpr double kReachDownLines = 12.0;
// Joins narrower than twice the radius are cut; radii in line heights, tried in turn.
constexpr std::array<double, 4> kCutRadii = {0.6, 1.2, 2.0, 3.0};
constexpr double kLargestAreaRatio = 40.0;   // balloon pixels per pixel of the lettering's box
constexpr double kHeldShare = 0.6;           // of the lettering's box inside the balloon
constexpr double kInteriorMarginLines = 0.3;
constexpr double kHoldsShare = 0.5;
// A wide flat rectangle holds one line; taller ones are offered beside the largest.
constexpr std::array<double, 5> kInteriorHeightShares = {0.0, 0.25, 0.4, 0.55, 0.7};
// Letters, and lines of letters that touch, are holes in the paper; panels that a gutter
// runs round are larger holes.
constexpr double kLetteringHoleLines = 6.0;

struct Window {
  PixelBounds bounds{};
  std::vector<platform::Rgb8> smoothed{};  // 3 × 3 mean, row (y − minY)
};

// The mean colour of the 3 × 3 pixels around each pixel of the range (cut at the page edge),
// which turns halftone dots and JPEG ringing into their paper's colour.
Window smoothedWindow(const platform::PageBitmap& page, const PixelBounds& b) {
  Window w{.bounds = b};
  w.smoothed.resize(static_cast<std::size_t>(b.width * b.height));
  const std::int64_t lastX = page.width() - 1;
  // Each row sums the columns of its three rows first, then three columns of those sums.
  const std::int64_t firstColumn = std::max<std::int64_t>(b.minX - 1, 0);
  const std::int64_t lastColumn = std::min(b.maxX, lastX);
  std::vector<std::array<int, 3>> columns(static_cast<std::size_t>(std::max<std::int64_t>(lastColumn - firstColumn + 1, 0)));
  for (std::int64_t y = b.minY; y < b.maxY; ++y) {
    const std::int64_t y0 = std::max<std::int64_t>(y - 1, 0);
    const std::int64_t y1 = std::min(y + 1, page.height() - 1);
    std::fill(columns.begin(), columns.end(), std::array<int, 3>{0, 0, 0});
    for (std::int64_t yy = y0; yy <= y1; ++yy) {
      const std::uint32_t* row = page.rowWords(yy);
      for (std::int64_t xx = firstColumn; xx <= lastColumn; ++xx) {
        std::array<int, 3>& c = columns[xx - firstColumn];
        c[0] += static_cast<int>((row[xx] >> 16) & 0xFF);
        c[1] += static_cast<int>((row[xx] >> 8) & 0xFF);
        c[2] += static_cast<int>(row[xx] & 0xFF);
      }
    }
    for (std::int64_t x = b.minX; x < b.maxX; ++x) {
      const std::int64_t x0 = std::max<std::int64_t>(x - 1, 0);
      const std::int64_t x1 = std::min(x + 1, lastX);
      int sum[3] = {0, 0, 0};
      for (std::int64_t xx = x0; xx <= x1; ++xx) {
        for (int c = 0; c < 3; ++c) sum[c] += columns[xx - firstColumn][c];
      }
      const auto n = static_cast<int>((y1 - y0 + 1) * (x1 - x0 + 1));
      // Away from the page's edges a mean is of nine pixels: a division by a constant is cheap.
      const auto mean = [n](int total) {
        return static_cast<std::uint8_t>(n == 9 ? (total + 4) / 9 : (total + n / 2) / n);
      };
      w.smoothed[(y - b.minY) * b.width + (x - b.minX)] = {mean(sum[0]), mean(sum[1]), mean(sum[2])};
    }
  }
  return w;
}

int largestChannelDifference(platform::Rgb8 a, const std::array<int, 3>& b) {
  return std::max({std::abs(a.red - b[0]), std::abs(a.green - b[1]), std::abs(a.blue - b[2])});
}

struct Paper {
  std::array<int, 3> color{};
  int tolerance = 0;  // largest channel difference, 0..255
};

// The paper between the letters: the component medians of the lightest pixels of the
// lettering's box, and a tolerance from their spread.
std::optional<Paper> paperBetweenLetters(const Window& w, const PixelBounds& text) {
  std::vector<platform::Rgb8> samples;
  for (std::int64_t y = text.minY; y < text.maxY; ++y) {
    for (std::int64_t x = text.minX; x < text.maxX; ++x) {
      samples.push_back(w.smoothed[(y - w.bounds.minY) * w.bounds.width + (x - w.bounds.minX)]);
    }
  }
  std::sort(samples.begin(), samples.end(), [](platform::Rgb8 a, platform::Rgb8 b) {
    return luminance(a) > luminance(b);
  });
  samples.resize(std::max<std::size_t>(1, static_cast<std::size_t>(samples.size() * kPaperShare)));
  Paper paper;
  for (int c = 0; c < 3; ++c) {
    std::vector<int> values;
    for (const platform::Rgb8 s : samples) values.push_back(c == 0 ? s.red : (c == 1 ? s.green : s.blue));
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    paper.color[c] = values[values.size() / 2];
  }
  const platform::Rgb8 median{static_cast<std::uint8_t>(paper.color[0]),
                              static_cast<std::uint8_t>(paper.color[1]),
                              static_cast<std::uint8_t>(paper.color[2])};
  if (luminance(median) < kDarkestPaper) return std::nullopt;
  std::vector<int> spread;
  for (const platform::Rgb8 s : samples) spread.push_back(largestChannelDifference(s, paper.color));
  std::nth_element(spread.begin(), spread.begin() + spread.size() / 2, spread.end());
  const double tolerance = std::clamp(
      kToleranceSpreadFactor * spread[spread.size() / 2] / 255.0 + kToleranceBase, kToleranceMin,
      kToleranceMax);
  paper.tolerance = static_cast<int>(std::lround(tolerance * 255.0));
  return paper;
}

// Whether a set cell lies on a side of the window that is not the page's edge.
bool reachesWindowSide(const RegionGrid& grid, const PixelBounds& b, const platform::PageBitmap& page) {
  const bool sides[4] = {b.minX > 0, b.maxX < page.width(), b.minY > 0, b.maxY < page.height()};
  for (std::int64_t y = 0; y < grid.height; ++y) {
    for (std::int64_t x = 0; x < grid.width; ++x) {
      if (grid.cells[y * grid.width + x] == 0) continue;
      if ((x == 0 && sides[0]) || (x + 1 == grid.width && sides[1]) || (y == 0 && sides[2]) ||
          (y + 1 == grid.height && sides[3])) {
        return true;
      }
    }
  }
  return false;
}

// The cells of the lettering's box that lie in the range.
std::vector<std::int64_t> boxCells(const PixelBounds& w, const PixelBounds& text) {
  std::vector<std::int64_t> cells;
  for (std::int64_t y = std::max(text.minY, w.minY); y < std::min(text.maxY, w.maxY); ++y) {
    for (std::int64_t x = std::max(text.minX, w.minX); x < std::min(text.maxX, w.maxX); ++x) {
      cells.push_back((y - w.minY) * w.width + (x - w.minX));
    }
  }
  return cells;
}

// The range of the window's cells within `margin` of the set cells of `grid`.
PixelBounds aroundSetCells(const RegionGrid& grid, const PixelBounds& w, std::int64_t margin) {
  const CellRect set = setBounds(grid);
  PixelBounds b{.minX = w.minX + std::max<std::int64_t>(set.x - margin, 0),
                .maxX = w.minX + std::min(set.x + set.width + margin, w.width),
                .minY = w.minY + std::max<std::int64_t>(set.y - margin, 0),
                .maxY = w.minY + std::min(set.y + set.height + margin, w.height)};
  b.width = b.maxX - b.minX;
  b.height = b.maxY - b.minY;
  return b;
}

// The cells of `grid` (over window `w`) that lie in the range `b` of the window.
RegionGrid croppedGrid(const RegionGrid& grid, const PixelBounds& w, const PixelBounds& b) {
  RegionGrid out = emptyRegionGrid(b.width, b.height);
  for (std::int64_t y = 0; y < b.height; ++y) {
    const auto from = grid.cells.begin() + (y + b.minY - w.minY) * w.width + (b.minX - w.minX);
    std::copy(from, from + b.width, out.cells.begin() + y * b.width);
  }
  return out;
}

// The paper area with the gutters and neighbouring balloons that it runs into cut off: the
// part of the area left standing around the lettering once joins narrower than twice a
// radius are worn away, grown back to its outline. Absent when every radius leaves it open
// or too large.
std::optional<RegionGrid> cutFromNeighbours(const RegionGrid& filled, const std::vector<std::int64_t>& letteringCells,
                                            double lineHeight, std::int64_t letteringArea,
                                            const PixelBounds& window, const platform::PageBitmap& page) {
  const UnsetDistances distances = unsetDistances(filled);
  for (const double k : kCutRadii) {
    const double radius = k * lineHeight;
    const RegionGrid core = largestSeededArea(eroded(distances, radius), letteringCells);
    if (setCellCount(core) == 0) return std::nullopt;
    RegionGrid balloon = intersected(dilated(core, radius + 1.0), filled);
    if (!reachesWindowSide(balloon, window, page) &&
        setCellCount(balloon) <= kLargestAreaRatio * static_cast<double>(letteringArea)) {
      return balloon;
    }
  }
  return std::nullopt;
}

// The median paper colour of the cells of `paperCells` (over range `b` of window `w`), sampled
// on a grid of the whole window's step from its corner.
platform::Color medianPaperColor(const platform::PageBitmap& page, const PixelBounds& w,
                                 const PixelBounds& b, const RegionGrid& paperCells) {
  const std::int64_t step = sampleStep(w.width, w.height, kFillColorBudget);
  const auto firstOnGrid = [step](std::int64_t from, std::int64_t origin) {
    return from + (step - (from - origin) % step) % step;
  };
  std::vector<double> channels[3];
  for (std::int64_t py = firstOnGrid(b.minY, w.minY); py < b.maxY; py += step) {
    for (std::int64_t px = firstOnGrid(b.minX, w.minX); px < b.maxX; px += step) {
      if (paperCells.cells[(py - b.minY) * b.width + (px - b.minX)] == 0) continue;
      const platform::Rgb8 p = page.pixel(px, py);
      channels[0].push_back(p.red / 255.0);
      channels[1].push_back(p.green / 255.0);
      channels[2].push_back(p.blue / 255.0);
    }
  }
  if (channels[0].empty()) return platform::kWhite;
  double median[3];
  for (int c = 0; c < 3; ++c) {
    auto mid = channels[c].begin() + static_cast<std::ptrdiff_t>(channels[c].size() / 2);
    std::nth_element(channels[c].begin(), mid, channels[c].end());
    median[c] = *mid;
  }
  return platform::Color{median[0], median[1], median[2], 1.0};
}

Balloon balloonOf(const RegionGrid& grid, const PixelBounds& w, double margin, platform::Color paper) {
  const CellRect extent = setBounds(grid);
  Balloon balloon{.bounds = {.minX = w.minX + extent.x, .maxX = w.minX + extent.x + extent.width,
                             .minY = w.minY + extent.y, .maxY = w.minY + extent.y + extent.height,
                             .width = extent.width, .height = extent.height},
                  .paper = paper};
  balloon.pixels.reserve(extent.width * extent.height);
  for (std::int64_t y = 0; y < extent.height; ++y) {
    for (std::int64_t x = 0; x < extent.width; ++x) {
      if (grid.cells[(extent.y + y) * grid.width + extent.x + x] != 0) balloon.pixels.insert(y * extent.width + x);
    }
  }
  std::vector<std::int64_t> minHeights;
  for (const double share : kInteriorHeightShares) {
    minHeights.push_back(static_cast<std::int64_t>(std::ceil(share * static_cast<double>(extent.height))));
  }
  for (const CellRect& inner : largestRectangles(eroded(grid, margin), minHeights)) {
    if (inner.width <= 0) break;
    const Rect rect{static_cast<double>(w.minX + inner.x), static_cast<double>(w.minY + inner.y),
                    static_cast<double>(inner.width), static_cast<double>(inner.height)};
    if (std::find(balloon.interiors.begin(), balloon.interiors.end(), rect) == balloon.interiors.end()) {
      balloon.interiors.push_back(rect);
    }
  }
  if (!balloon.interiors.empty()) balloon.interior = balloon.interiors.front();
  return balloon;
}

}  // namespace

double heldShare(const Balloon& balloon, const Rect& rect) {
  if (!std::isfinite(rect.x) || !std::isfinite(rect.y) || !std::isfinite(rect.width) ||
      !std::isfinite(rect.height) || !(rect.width > 0.0) || !(rect.height > 0.0)) {
    return 0.0;
  }
  const double area = (std::ceil(rect.x + rect.width) - std::floor(rect.x)) *
                      (std::ceil(rect.y + rect.height) - std::floor(rect.y));
  const PixelBounds& b = balloon.bounds;
  const auto from = [](double v, std::int64_t lo, std::int64_t hi) {
    return static_cast<std::int64_t>(std::clamp(v, static_cast<double>(lo), static_cast<double>(hi)));
  };
  const std::int64_t x0 = from(std::floor(rect.x), b.minX, b.maxX);
  const std::int64_t x1 = from(std::ceil(rect.x + rect.width), b.minX, b.maxX);
  const std::int64_t y0 = from(std::floor(rect.y), b.minY, b.maxY);
  const std::int64_t y1 = from(std::ceil(rect.y + rect.height), b.minY, b.maxY);
  std::int64_t inside = 0;
  for (std::int64_t y = y0; y < y1; ++y) {
    for (std::int64_t x = x0; x < x1; ++x) {
      inside += balloon.pixels.contains((y - b.minY) * b.width + (x - b.minX)) ? 1 : 0;
    }
  }
  return static_cast<double>(inside) / area;
}

std::optional<Balloon> findBalloon(const platform::PageBitmap& page, const Rect& textRect) {
  const PixelBounds text = pixelBounds(page, textRect);
  if (text.width < 2 || text.height < 2) return std::nullopt;
  const double w = static_cast<double>(text.width);
  const double h = static_cast<double>(text.height);
  // A block of several lines is taller than a line; its width bounds its line height too.
  const double lineHeight = std::max(std::min(h, 0.35 * w), 2.0);
  const double reachX = std::max(kReachWidths * w, kReachLines * lineHeight);
  const double reachY = std::max(w, kReachDownLines * lineHeight);
  const PixelBounds window = pixelBounds(
      page, Rect{static_cast<double>(text.minX) - reachX, static_cast<double>(text.minY) - reachY,
                 w + 2.0 * reachX, h + 2.0 * reachY});
  const Window smoothed = smoothedWindow(page, window);
  const auto paper = paperBetweenLetters(smoothed, text);
  if (!paper) return std::nullopt;

  RegionGrid similar = emptyRegionGrid(window.width, window.height);
  for (std::size_t i = 0; i < similar.cells.size(); ++i) {
    similar.cells[i] = largestChannelDifference(smoothed.smoothed[i], paper->color) <= paper->tolerance ? 1 : 0;
  }
  const RegionGrid paperAreaInWindow = largestSeededArea(similar, boxCells(window, text));
  if (setCellCount(paperAreaInWindow) == 0) return std::nullopt;
  // The rest works on the paper area and a margin that the closing below cannot cross: every
  // step finds there what it finds over the whole window, at a fraction of the cost.
  const double seal = std::max(0.25 * lineHeight, 1.0);
  const PixelBounds area =
      aroundSetCells(paperAreaInWindow, window, static_cast<std::int64_t>(std::ceil(seal)) + 2);
  const RegionGrid paperArea = croppedGrid(paperAreaInWindow, window, area);
  const std::vector<std::int64_t> lettering = boxCells(area, text);
  const auto maxLetterHeight = static_cast<std::int64_t>(std::ceil(kLetteringHoleLines * lineHeight));
  const RegionGrid filled = withSmallHolesFilled(paperArea, maxLetterHeight);
  const auto cut = cutFromNeighbours(filled, lettering, lineHeight, text.width * text.height, area, page);
  if (!cut) return std::nullopt;
  // Letters that touch the outline open their holes to the outside; closing seals them.
  RegionGrid balloon = eroded(dilated(*cut, seal), seal);
  for (std::size_t i = 0; i < balloon.cells.size(); ++i) balloon.cells[i] |= cut->cells[i];
  balloon = withSmallHolesFilled(balloon, maxLetterHeight);

  std::int64_t held = 0;
  for (const std::int64_t cell : lettering) held += balloon.cells[cell];
  if (static_cast<double>(held) < kHeldShare * static_cast<double>(text.width * text.height)) return std::nullopt;
  const platform::Color paperColor = medianPaperColor(page, window, area, intersected(balloon, paperArea));
  return balloonOf(balloon, area, std::max(kInteriorMarginLines * lineHeight, 2.0), paperColor);
}

bool balloonHolds(const Balloon& balloon, const Rect& rect) {
  return heldShare(balloon, rect) >= kHoldsShare;
}

PageBalloons findPageBalloons(const platform::PageBitmap& page, const std::vector<Rect>& textRects) {
  PageBalloons found;
  for (const Rect& rect : textRects) {
    std::optional<std::size_t> index;
    for (std::size_t b = 0; b < found.balloons.size() && !index; ++b) {
      if (balloonHolds(found.balloons[b], rect)) index = b;
    }
    if (!index) {
      if (auto balloon = findBalloon(page, rect)) {
        // Lettering that a balloon found before did not quite hold may still find that one.
        for (std::size_t b = 0; b < found.balloons.size() && !index; ++b) {
          if (balloonHolds(found.balloons[b], balloon->interior)) index = b;
        }
        if (!index) {
          found.balloons.push_back(std::move(*balloon));
          index = found.balloons.size() - 1;
        }
      }
    }
    found.ofRect.push_back(index);
  }
  // Lettering searched before the balloon around it was found from other lettering.
  for (std::size_t i = 0; i < textRects.size(); ++i) {
    for (std::size_t b = 0; b < found.balloons.size() && !found.ofRect[i]; ++b) {
      if (balloonHolds(found.balloons[b], textRects[i])) found.ofRect[i] = b;
    }
  }
  return found;
}

}  // namespace letterforge
