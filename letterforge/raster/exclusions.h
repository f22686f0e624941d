#pragma once

#include <cstdint>
#include <vector>

#include "platform/geometry.h"
#include "platform/page_bitmap.h"

namespace letterforge {

// Rectangles whose points the sampled statistics leave out, edges included. When there are
// many, the page points they cover are marked once, so that a test costs the same however
// many there are and however they overlap.
struct Exclusions {
  std::vector<platform::Rect> rects{};
  std::vector<std::uint64_t> coveredBits{};  // a bit per page point, row by row; empty: not made
  std::int64_t wordsPerRow = 0;
  std::int64_t width = 0;   // of the page the bits were made for
  std::int64_t height = 0;
  bool operator==(const Exclusions&) const = default;
};

// More rectangles than this get their covered points marked.
inline constexpr std::size_t kListedExclusions = 16;

// The exclusions of `rects` on `page`, with the covered points marked when there are more than
// kListedExclusions. Rectangles are taken standardised; one with a side that is not a number
// covers nothing.
Exclusions makeExclusions(const platform::PageBitmap& page, std::vector<platform::Rect> rects);

// Whether point (x, y) lies in one of the rectangles: rect.x <= x <= rect.x + width, and the
// same upwards. Points off the page the marks were made for are tested against the rectangles.
bool isExcluded(const Exclusions& exclusions, std::int64_t x, std::int64_t y);

// Whether the points of `page` are marked in `exclusions`.
bool isMarkedFor(const Exclusions& exclusions, const platform::PageBitmap& page);

}  // namespace letterforge
