#pragma once

// Bitmaps for the platform tests.

#include <cstdint>
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

}  // namespace platform
