#include "platform/page_bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "platform/test_bitmaps.h"

namespace platform {
namespace {

const Rgb8 kWhite8{255, 255, 255};
const Rgb8 kBlack8{0, 0, 0};

TEST(PageBitmapTest, RefusesImpossibleSizes) {
  EXPECT_FALSE(PageBitmap::create(0, 10).has_value());
  EXPECT_FALSE(PageBitmap::create(10, -1).has_value());
  EXPECT_FALSE(PageBitmap::create(kMaxImageSide + 1, 1).has_value());
}

TEST(PageBitmapTest, DrawingYZeroIsTheBottomRow) {
  PageBitmap page = whitePage(4, 3);
  page.fillRect({0, 0, 4, 1}, kBlack);
  EXPECT_EQ(page.pixel(2, 0), kBlack8);
  EXPECT_EQ(page.pixel(2, 1), kWhite8);
  // Storage is top row first: the bottom drawing row is the last storage row.
  EXPECT_EQ(page.rowWords(0)[0] & 0xFFFFFFu, 0u);
}

TEST(PageBitmapTest, PixelCoversItsUnitSquare) {
  PageBitmap page = whitePage(5, 5);
  page.fillRect({2, 3, 1, 1}, kBlack);
  for (std::int64_t y = 0; y < 5; ++y) {
    for (std::int64_t x = 0; x < 5; ++x) {
      EXPECT_EQ(page.pixel(x, y), (x == 2 && y == 3) ? kBlack8 : kWhite8) << x << "," << y;
    }
  }
}

TEST(PageBitmapTest, SetPixelIsSeenByLaterDrawing) {
  PageBitmap page = whitePage(3, 3);
  page.setPixel(1, 1, {10, 20, 30});
  EXPECT_EQ(page.pixel(1, 1), (Rgb8{10, 20, 30}));
  EXPECT_EQ(page.rowWords(1)[1] >> 24, 255u);
  page.fillRect({0, 0, 1, 1}, kBlack);
  EXPECT_EQ(page.pixel(1, 1), (Rgb8{10, 20, 30}));
}

TEST(PageBitmapTest, RoundedRectCoversInsideButNotTheCorner) {
  PageBitmap page = whitePage(40, 40);
  page.fillRoundedRect({0, 0, 40, 40}, 12, kBlack);
  EXPECT_EQ(page.pixel(20, 20), kBlack8);
  EXPECT_EQ(page.pixel(0, 20), kBlack8);
  EXPECT_EQ(page.pixel(0, 0), kWhite8);
  EXPECT_EQ(page.pixel(39, 39), kWhite8);
}

TEST(PageBitmapTest, ClipLastsUntilRestore) {
  PageBitmap page = whitePage(10, 10);
  page.save();
  page.clipToRect({0, 0, 5, 10});
  page.fillRect({0, 0, 10, 10}, kBlack);
  page.restore();
  EXPECT_EQ(page.pixel(4, 5), kBlack8);
  EXPECT_EQ(page.pixel(5, 5), kWhite8);
  page.fillRect({0, 0, 10, 10}, kBlack);
  EXPECT_EQ(page.pixel(9, 9), kBlack8);
}

TEST(PageBitmapTest, StrokeIsCentredOnTheEdges) {
  PageBitmap page = whitePage(20, 20);
  page.strokeRect({5, 5, 10, 10}, 2, kBlack);
  EXPECT_EQ(page.pixel(4, 10), kBlack8);
  EXPECT_EQ(page.pixel(5, 10), kBlack8);
  EXPECT_EQ(page.pixel(6, 10), kWhite8);
  EXPECT_EQ(page.pixel(10, 10), kWhite8);
}

TEST(PageBitmapTest, ImageDrawnOneToOneOverWhiteTurnsTransparencyWhite) {
  PageBitmap page = whitePage(2, 1);
  DecodedImage image{.width = 2, .height = 1, .rgba = std::make_unique<std::uint8_t[]>(8)};
  const std::uint8_t pixels[8] = {255, 0, 0, 255, 0, 0, 0, 0};
  std::copy(pixels, pixels + 8, image.rgba.get());
  page.drawImage(image, {0, 0, 2, 1});
  EXPECT_EQ(page.pixel(0, 0), (Rgb8{255, 0, 0}));
  EXPECT_EQ(page.pixel(1, 0), kWhite8);
}

TEST(PageBitmapTest, ImageDrawnIntoAClippedPageRespectsTheClip) {
  PageBitmap page = whitePage(2, 1);
  DecodedImage image{.width = 2, .height = 1, .rgba = std::make_unique<std::uint8_t[]>(8)};
  std::fill(image.rgba.get(), image.rgba.get() + 8, 255);
  image.rgba[0] = image.rgba[1] = image.rgba[2] = 0;
  image.rgba[4] = image.rgba[5] = image.rgba[6] = 0;
  page.save();
  page.clipToRect({0, 0, 1, 1});
  page.drawImage(image, {0, 0, 2, 1});
  page.restore();
  EXPECT_EQ(page.pixel(0, 0), kBlack8);
  EXPECT_EQ(page.pixel(1, 0), kWhite8);
}

TEST(PageBitmapTest, NonFiniteOrEmptyShapesDrawNothing) {
  PageBitmap page = whitePage(4, 4);
  page.fillRect({NAN, 0, 4, 4}, kBlack);
  page.fillRoundedRect({0, 0, INFINITY, 4}, 2, kBlack);
  page.strokeRect({0, 0, 4, 4}, NAN, kBlack);
  DecodedImage image{.width = 1, .height = 1, .rgba = std::make_unique<std::uint8_t[]>(4)};
  page.drawImage(image, {0, 0, 0, 0});
  page.fillRect({0, 0, 1, 1}, kBlack);  // the context still draws afterwards
  EXPECT_EQ(page.pixel(0, 0), kBlack8);
  EXPECT_EQ(page.pixel(3, 3), kWhite8);
}

}  // namespace
}  // namespace platform
