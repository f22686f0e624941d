#pragma once

// Bitmaps for the platform tests.

#include <cstdint>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "platform/page_bitmap.h"

namespace platform {

// A page of the given size painted white.
inline PageBitmap whitePage(std::int64_t w, std::int64_t h) {
  auto page = PageBitmap::create(w, h);
  EXPECT_TRUE(page.has_value());
  page->fillRect({0, 0, double(w), double(h)}, kWhite);
  return std::move(*page);
}

// Both bitmaps hold the same size and the same pixel words, alpha included; a failure names
// the first pixel that differs, in drawing coordinates.
inline ::testing::AssertionResult samePixels(const PageBitmap& a, const PageBitmap& b) {
  if (a.width() != b.width() || a.height() != b.height()) {
    return ::testing::AssertionFailure() << "sizes differ";
  }
  for (std::int64_t y = 0; y < a.height(); ++y) {
    for (std::int64_t x = 0; x < a.width(); ++x) {
      if (a.rowWords(y)[x] != b.rowWords(y)[x]) {
        return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") differs: " << std::hex
                                             << a.rowWords(y)[x] << " against " << b.rowWords(y)[x];
      }
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace platform
