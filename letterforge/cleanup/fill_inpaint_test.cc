#include "letterforge/cleanup/fill_inpaint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "letterforge/raster/test_pages.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

using platform::PageBitmap;
using platform::Rgb8;
using namespace test_pages;

constexpr Rgb8 kYellow{255, 255, 0};

// A mask over the window (x0, y0, width, height) marking the given page pixels.
TextMask maskOf(std::int64_t x0, std::int64_t y0, std::int64_t width, std::int64_t height,
                const std::vector<std::pair<std::int64_t, std::int64_t>>& pixels) {
  TextMask mask{.rect = {double(x0), double(y0), double(width), double(height)},
                .width = width,
                .height = height};
  for (const auto& [x, y] : pixels) mask.pixels.insert((y - y0) * width + (x - x0));
  return mask;
}

// The colour inpainting gives (x, y), worked out the plain way: the mean of the unmasked
// pixels' components in the first window of radius 2 to 5 that holds any, white when none
// does, rounded to the nearest sample (a half, give or take floating noise, rounds up).
Rgb8 plainMeanColour(const PageBitmap& page, std::int64_t x, std::int64_t y, const TextMask& mask) {
  const auto ox = std::int64_t(mask.rect.x), oy = std::int64_t(mask.rect.y);
  const auto masked = [&](std::int64_t px, std::int64_t py) {
    const std::int64_t column = px - ox, row = py - oy;
    return column >= 0 && column < mask.width && row >= 0 && row < mask.height &&
           mask.pixels.contains(row * mask.width + column);
  };
  const auto sample = [](double c) { return std::uint8_t(std::floor(c * 255.0 + 0.5 + 1e-9)); };
  for (std::int64_t r = 2; r <= 5; ++r) {
    double red = 0, green = 0, blue = 0, count = 0;
    const std::int64_t x0 = std::max<std::int64_t>(x - r, 0), x1 = std::min(x + r, page.width() - 1);
    const std::int64_t y0 = std::max<std::int64_t>(y - r, 0), y1 = std::min(y + r, page.height() - 1);
    for (std::int64_t py = y0; py <= y1; ++py) {
      for (std::int64_t px = x0; px <= x1; ++px) {
        if (masked(px, py)) continue;
        const Rgb8 p = page.pixel(px, py);
        red += p.red / 255.0, green += p.green / 255.0, blue += p.blue / 255.0, count += 1;
      }
    }
    if (count > 0) return {sample(red / count), sample(green / count), sample(blue / count)};
  }
  return kWhite;
}

// Drawing coordinates; the corner pixel at (x0 + k, y0 + k) is untouched when the radius r
// is at least (k + 1) / (1 - 1 / sqrt 2), and fully covered when r is at most k / (1 - 1 / sqrt 2).
TEST(FillInpaintTest, RoundedFillRadiusFollowsTheShorterSide) {
  PageBitmap page = makePage(130, 60);
  fillRoundedRect(page, {10, 10, 100, 40}, platform::kBlack);  // radius 7.2
  EXPECT_EQ(page.pixel(11, 11), kWhite);                       // needs r >= 6.83
  EXPECT_EQ(page.pixel(13, 13), kBlack);                       // needs r <= 10.24
  EXPECT_EQ(page.pixel(60, 10), kBlack);
  EXPECT_EQ(page.pixel(109, 49), kWhite);
  EXPECT_EQ(page.pixel(60, 50), kWhite);
}

TEST(FillInpaintTest, RoundedFillRadiusIsCappedAtTwelve) {
  PageBitmap page = makePage(320, 220);
  fillRoundedRect(page, {10, 10, 300, 200}, platform::kBlack);  // 0.18 x 200 = 36, capped
  EXPECT_EQ(page.pixel(12, 12), kWhite);                        // needs r >= 10.24
  EXPECT_EQ(page.pixel(18, 18), kBlack);                        // needs r <= 27.3
  EXPECT_EQ(page.pixel(307, 207), kWhite);
}

TEST(FillInpaintTest, RoundedFillOfUnusableRectsChangesNothing) {
  PageBitmap page = makePage(20, 20);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  fillRoundedRect(page, {nan, 0, 10, 10}, platform::kBlack);
  fillRoundedRect(page, {0, 0, std::numeric_limits<double>::infinity(), 10}, platform::kBlack);
  fillRoundedRect(page, {50, 50, 10, 10}, platform::kBlack);
  fillRoundedRect(page, {5, 5, 0, 0}, platform::kBlack);
  EXPECT_EQ(differingPixels(page, makePage(20, 20)), 0);
}

TEST(FillInpaintTest, SingleMaskedPixelInRedPaperBecomesRed) {
  PageBitmap page = makePage(20, 20, kRed);
  page.setPixel(10, 10, kBlack);
  const TextMask mask = maskOf(5, 5, 10, 10, {{10, 10}});
  inpaintMask(page, mask);
  EXPECT_EQ(page.pixel(10, 10), kRed);  // 24 red pixels of the radius-2 window
}

TEST(FillInpaintTest, MiddleOfAnElevenPixelBlockBecomesWhite) {
  PageBitmap page = makePage(30, 30, kRed);
  std::vector<std::pair<std::int64_t, std::int64_t>> block;
  for (std::int64_t y = 10; y <= 20; ++y) {
    for (std::int64_t x = 10; x <= 20; ++x) block.emplace_back(x, y);
  }
  const TextMask mask = maskOf(0, 0, 30, 30, block);
  inpaintMask(page, mask);
  EXPECT_EQ(page.pixel(15, 15), kWhite);
  EXPECT_EQ(page.pixel(10, 10), kRed);
  EXPECT_EQ(page.pixel(14, 15), kRed);  // radius 5 reaches column 9
  EXPECT_EQ(page.pixel(9, 9), kRed);
}

TEST(FillInpaintTest, MaskedPixelAtThePageCornerUsesItsEightNeighbours) {
  PageBitmap page = makePage(10, 10);
  for (const auto& [x, y] : {std::pair{1, 0}, {0, 1}, {1, 1}}) page.setPixel(x, y, kBlack);
  const TextMask mask = maskOf(0, 0, 5, 5, {{0, 0}});
  // Five white of eight: 0.625 of 255 is 159.375.
  inpaintMask(page, mask);
  EXPECT_EQ(page.pixel(0, 0), grey(159));
}

TEST(FillInpaintTest, PixelsOutsideTheMaskGridAreAlwaysUsed) {
  PageBitmap page = makePage(10, 10, Rgb8{0, 0, 255});
  const TextMask mask =
      maskOf(2, 2, 3, 3, {{2, 2}, {3, 2}, {4, 2}, {2, 3}, {3, 3}, {4, 3}, {2, 4}, {3, 4}, {4, 4}});
  page.setPixel(3, 3, kBlack);
  inpaintMask(page, mask);
  EXPECT_EQ(page.pixel(3, 3), (Rgb8{0, 0, 255}));
}

TEST(FillInpaintTest, HalfLevelMeansRoundUp) {
  PageBitmap page = makePage(3, 1, kBlack);
  page.setPixel(2, 0, grey(1));
  inpaintMask(page, maskOf(0, 0, 1, 1, {{0, 0}}));  // mean of samples 0 and 1
  EXPECT_EQ(page.pixel(0, 0), grey(1));
}

// Every masked pixel gets the plain mean of the untouched page, summed pixel by pixel.
void expectSameAsPixelByPixel(std::uint32_t seed, const TextMask& mask) {
  const auto randomPage = [seed] {
    std::mt19937 random(seed);
    PageBitmap page = makePage(40, 30);
    for (std::int64_t y = 0; y < 30; ++y) {
      for (std::int64_t x = 0; x < 40; ++x) {
        page.setPixel(x, y,
                      Rgb8{std::uint8_t(random()), std::uint8_t(random() % 4),
                           std::uint8_t(random() % 2 == 0 ? 0 : 255)});
      }
    }
    return page;
  };
  const PageBitmap original = randomPage();
  PageBitmap expected = randomPage();
  PageBitmap actual = randomPage();
  const auto ox = std::int64_t(mask.rect.x), oy = std::int64_t(mask.rect.y);
  for (std::int64_t cell : mask.pixels) {
    const std::int64_t x = ox + cell % mask.width, y = oy + cell / mask.width;
    if (x < 0 || y < 0 || x >= original.width() || y >= original.height()) continue;
    expected.setPixel(x, y, plainMeanColour(original, x, y, mask));
  }
  inpaintMask(actual, mask);
  EXPECT_EQ(differingPixels(actual, expected), 0) << "seed " << seed;
}

TEST(FillInpaintTest, InpaintingMatchesPixelByPixelMeans) {
  std::mt19937 random(11);
  const std::vector<Rect> windows{{5, 4, 20, 15}, {-3, -2, 15, 12}, {30, 22, 14, 10}};
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    for (const Rect& w : windows) {
      TextMask mask{.rect = w, .width = std::int64_t(w.width), .height = std::int64_t(w.height)};
      for (int i = 0; i < 120; ++i) mask.pixels.insert(random() % (mask.width * mask.height));
      expectSameAsPixelByPixel(seed, mask);
      // Solid blocks, so that pixels lie 3, 4, 5 and more away from unmasked paper.
      TextMask blocks{.rect = w, .width = mask.width, .height = mask.height};
      for (int block = 0; block < 3; ++block) {
        const std::int64_t c0 = random() % blocks.width, r0 = random() % blocks.height;
        const std::int64_t size = 6 + random() % 9;
        for (std::int64_t r = r0; r < std::min(r0 + size, blocks.height); ++r) {
          for (std::int64_t c = c0; c < std::min(c0 + size, blocks.width); ++c) {
            blocks.pixels.insert(r * blocks.width + c);
          }
        }
      }
      expectSameAsPixelByPixel(seed, blocks);
    }
  }
}

TEST(FillInpaintTest, UnusableMasksChangeNothing) {
  PageBitmap page = makePage(10, 10, kBlack);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  inpaintMask(page, TextMask{.rect = {2, 2, 3, 3}, .width = 3, .height = 3});
  inpaintMask(page, TextMask{.rect = {nan, 2, 3, 3}, .pixels = {0, 1}, .width = 3, .height = 3});
  inpaintMask(page, TextMask{.rect = {2, 2, 3, 3}, .pixels = {0, 1}, .width = 0, .height = 3});
  inpaintMask(page, TextMask{.rect = {2, 2, 3, 3}, .pixels = {9, 40}, .width = 3, .height = 3});
  inpaintMask(page, TextMask{.rect = {20, 20, 3, 3}, .pixels = {0, 4}, .width = 3, .height = 3});
  inpaintMask(page, TextMask{.rect = {-1e300, 2, 3, 3}, .pixels = {0}, .width = 3, .height = 3});
  EXPECT_EQ(differingPixels(page, makePage(10, 10, kBlack)), 0);
}

TEST(FillInpaintTest, CleanWhiteAreaIsFilledWithoutAMask) {
  PageBitmap page = makePage(60, 40);
  paintRect(page, 25, 19, 10, 2, kBlack);
  std::vector<TextMask> masks;
  cleanPlainArea(page, {10, 10, 40, 20}, masks);
  EXPECT_TRUE(masks.empty());
  EXPECT_EQ(differingPixels(page, makePage(60, 40)), 0);
}

TEST(FillInpaintTest, LightGreyAreaIsInpaintedAndItsMaskKept) {
  // Grey 200 (0.784) is plain but not clean enough for a white fill. Strokes darker than
  // 0.754 grow 7 pixels, so the bar lies 7 deep in its mask and every window of it is masked.
  PageBitmap page = makePage(60, 40, grey(200));
  paintRect(page, 27, 19, 6, 2, kBlack);
  std::vector<TextMask> masks;
  cleanPlainArea(page, {10, 10, 40, 20}, masks);
  ASSERT_EQ(masks.size(), 1u);
  EXPECT_EQ(masks[0].rect, (Rect{10, 10, 40, 20}));
  EXPECT_EQ(masks[0].pixels.count(), 20 * 16);
  EXPECT_EQ(page.pixel(27, 19), kWhite);
  EXPECT_EQ(page.pixel(20, 12), grey(200));  // a mask cell next to unmasked paper
  EXPECT_EQ(page.pixel(19, 12), grey(200));  // outside the mask
}

TEST(FillInpaintTest, DenseAreaIsLeftAlone) {
  const auto dotted = [] {
    PageBitmap page = makePage(60, 40, grey(200));
    for (std::int64_t y = 12; y < 30; y += 8) {
      for (std::int64_t x = 12; x < 50; x += 8) page.setPixel(x, y, kBlack);
    }
    return page;
  };
  PageBitmap page = dotted();
  std::vector<TextMask> masks;
  cleanPlainArea(page, {10, 10, 40, 20}, masks);
  EXPECT_TRUE(masks.empty());
  EXPECT_EQ(differingPixels(page, dotted()), 0);
}

// A 20 x 10 area, white with a yellow bottom row: colourful 10 %, so neither clean nor strict,
// and strokes grow 2 pixels. Dots at window (1, 1) and (18, 1) grow into 4 x 4 corners, an
// inner dot into 5 x 5, a 2 x 3 block of dots into 6 x 7.
struct CoverageCase {
  const char* name;
  std::vector<std::pair<std::int64_t, std::int64_t>> dots;
  std::int64_t cells;
  bool inpainted;
};
class CleanPlainAreaCoverageTest : public ::testing::TestWithParam<CoverageCase> {};

TEST_P(CleanPlainAreaCoverageTest, DenseMasksAreRefused) {
  const auto dotted = [] {
    PageBitmap page = makePage(20, 10);
    paintRect(page, 0, 0, 20, 1, kYellow);
    for (const auto& [x, y] : GetParam().dots) page.setPixel(x, y, kBlack);
    return page;
  };
  PageBitmap page = dotted();
  std::vector<TextMask> masks;
  cleanPlainArea(page, {0, 0, 20, 10}, masks);
  EXPECT_EQ(masks.size(), GetParam().inpainted ? 1u : 0u);
  if (!masks.empty()) {
    EXPECT_EQ(masks[0].pixels.count(), GetParam().cells);
  }
  EXPECT_EQ(differingPixels(page, dotted()) > 0, GetParam().inpainted);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, CleanPlainAreaCoverageTest,
    ::testing::Values(
        CoverageCase{"Coverage58Percent", {{3, 2}, {9, 2}, {3, 7}, {9, 7}, {18, 1}}, 116, true},
        CoverageCase{"CoverageJustOver58Percent",
                     {{3, 2}, {9, 2}, {3, 7}, {15, 5}, {16, 5}, {15, 6}, {16, 6}, {15, 7}, {16, 7}},
                     117,
                     false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FillInpaintTest, AreasThatAreNotPlainOrNotOnThePageAreLeftAlone) {
  PageBitmap page = makePage(30, 30);
  paintRing(page, 5, 5, 20, 20, kBlack);
  paintRect(page, 10, 14, 10, 2, kBlack);
  const auto before = [] {
    PageBitmap p = makePage(30, 30);
    paintRing(p, 5, 5, 20, 20, kBlack);
    paintRect(p, 10, 14, 10, 2, kBlack);
    return p;
  };
  std::vector<TextMask> masks;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const Rect& r : {Rect{5, 5, 20, 20}, Rect{nan, 5, 20, 20}, Rect{100, 100, 20, 20}}) {
    cleanPlainArea(page, r, masks);
  }
  EXPECT_TRUE(masks.empty());
  EXPECT_EQ(differingPixels(page, before()), 0);
}

}  // namespace
}  // namespace letterforge
