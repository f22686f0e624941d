#include "letterforge/raster/exclusions.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace letterforge {
namespace {

// Whole points p of [0, count) with start <= p <= end, as first and last; first > last when
// there are none. Comparisons with a number that is not one fail, as they do point by point.
struct PointSpan {
  std::int64_t first = 1;
  std::int64_t last = 0;
};

PointSpan pointsBetween(double start, double end, std::int64_t count) {
  if (!(start <= end) || count <= 0) return {};
  const double first = std::max(std::ceil(start), 0.0);
  const double last = std::min(std::floor(end), static_cast<double>(count - 1));
  if (!(first <= last)) return {};
  return {static_cast<std::int64_t>(first), static_cast<std::int64_t>(last)};
}

struct Cover {
  PointSpan columns;
  PointSpan rows;
};

// Marks every covered point row by row. A row where no rectangle starts or ends repeats the
// row below it; other rows are made from the count of open rectangles at each column.
void markCovers(const std::vector<Cover>& covers, std::int64_t width, std::int64_t height,
                std::int64_t wordsPerRow, std::vector<std::uint64_t>& bits) {
  std::vector<std::vector<std::size_t>> opening(static_cast<std::size_t>(height));
  std::vector<std::vector<std::size_t>> closing(static_cast<std::size_t>(height) + 1);
  for (std::size_t i = 0; i < covers.size(); ++i) {
    opening[static_cast<std::size_t>(covers[i].rows.first)].push_back(i);
    closing[static_cast<std::size_t>(covers[i].rows.last) + 1].push_back(i);
  }
  std::vector<std::int64_t> delta(static_cast<std::size_t>(width) + 1, 0);  // opens minus closes
  std::int64_t open = 0;
  for (std::int64_t y = 0; y < height; ++y) {
    const auto row = static_cast<std::size_t>(y);
    for (const std::size_t i : closing[row]) {
      --delta[static_cast<std::size_t>(covers[i].columns.first)];
      ++delta[static_cast<std::size_t>(covers[i].columns.last) + 1];
      --open;
    }
    for (const std::size_t i : opening[row]) {
      ++delta[static_cast<std::size_t>(covers[i].columns.first)];
      --delta[static_cast<std::size_t>(covers[i].columns.last) + 1];
      ++open;
    }
    std::uint64_t* out = bits.data() + y * wordsPerRow;
    if (open == 0) continue;
    if (y > 0 && opening[row].empty() && closing[row].empty()) {
      std::memcpy(out, out - wordsPerRow, static_cast<std::size_t>(wordsPerRow) * sizeof *out);
      continue;
    }
    std::int64_t depth = 0;
    for (std::int64_t x = 0; x < width; ++x) {
      depth += delta[static_cast<std::size_t>(x)];
      if (depth > 0) out[x / 64] |= 1ULL << (x % 64);
    }
  }
}

}  // namespace

Exclusions makeExclusions(const platform::PageBitmap& page, std::vector<platform::Rect> rects) {
  Exclusions exclusions{.rects = std::move(rects)};
  if (exclusions.rects.size() <= kListedExclusions) return exclusions;
  const std::int64_t width = page.width();
  const std::int64_t height = page.height();
  std::vector<Cover> covers;
  for (const platform::Rect& rect : exclusions.rects) {
    const platform::Rect r = platform::standardised(rect);
    const Cover cover{pointsBetween(r.x, r.x + r.width, width),
                      pointsBetween(r.y, r.y + r.height, height)};
    if (cover.columns.first <= cover.columns.last && cover.rows.first <= cover.rows.last) {
      covers.push_back(cover);
    }
  }
  exclusions.wordsPerRow = (width + 63) / 64;
  exclusions.width = width;
  exclusions.height = height;
  exclusions.coveredBits.assign(static_cast<std::size_t>(exclusions.wordsPerRow * height), 0);
  markCovers(covers, width, height, exclusions.wordsPerRow, exclusions.coveredBits);
  return exclusions;
}

bool isExcluded(const Exclusions& exclusions, std::int64_t x, std::int64_t y) {
  const bool marked = x >= 0 && y >= 0 && x < exclusions.width && y < exclusions.height;
  if (marked && !exclusions.coveredBits.empty()) {
    const std::uint64_t word =
        exclusions.coveredBits[static_cast<std::size_t>(y * exclusions.wordsPerRow + x / 64)];
    return (word >> (x % 64)) & 1U;
  }
  const double px = static_cast<double>(x), py = static_cast<double>(y);
  for (const platform::Rect& rect : exclusions.rects) {
    const platform::Rect r = platform::standardised(rect);
    if (r.x <= px && px <= r.x + r.width && r.y <= py && py <= r.y + r.height) return true;
  }
  return false;
}

bool isMarkedFor(const Exclusions& exclusions, const platform::PageBitmap& page) {
  return !exclusions.coveredBits.empty() && exclusions.width == page.width() &&
         exclusions.height == page.height();
}

}  // namespace letterforge
