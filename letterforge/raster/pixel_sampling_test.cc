#include "letterforge/raster/pixel_sampling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <limits>
#include <string>

#include "letterforge/layout/rect_geometry.h"
#include "letterforge/raster/test_pages.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

using platform::Rgb8;
using namespace test_pages;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(PixelSamplingTest, LuminanceAndSaturationOfPrimaries) {
  const PixelRgb white{1, 1, 1};
  EXPECT_EQ(luminance(white), 0.9999999999999999);
  EXPECT_EQ(saturation(white), 0.0);
  EXPECT_EQ(luminance(PixelRgb{1, 0, 0}), 0.299);
  EXPECT_EQ(saturation(PixelRgb{1, 0, 0}), 1.0);
  EXPECT_EQ(saturation(PixelRgb{0, 0, 0}), 0.0);
  EXPECT_DOUBLE_EQ(saturation(PixelRgb{0.8, 0.4, 0.6}), 0.5);
}

TEST(PixelSamplingTest, SampleLuminanceEqualsTheFormulaOnComponents) {
  for (int r = 0; r < 256; r += 3) {
    for (int g = 0; g < 256; g += 3) {
      for (int b = 0; b < 256; b += 3) {
        const Rgb8 s{std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)};
        ASSERT_EQ(luminance(s), luminance(PixelRgb{r / 255.0, g / 255.0, b / 255.0}))
            << r << "," << g << "," << b;
      }
    }
  }
}

// The first grey at or above each threshold; no sample whose darkest channel is that grey,
// the others anywhere above it, falls below the threshold.
TEST(PixelSamplingTest, NoSampleAtOrAboveTheGreyReachingAThresholdIsDarker) {
  for (const auto& [threshold, level] : {std::pair{0.0, 0}, {0.18, 46}, {0.2, 51}, {0.2000001, 52},
                                        {0.78, 199}, {0.9999999999999999, 255}, {1.0, 256}, {kNaN, 0}}) {
    ASSERT_EQ(greyLevelReaching(threshold), level) << threshold;
    if (level == 0 || level == 256) continue;
    const auto l = std::uint8_t(level), below = std::uint8_t(level - 1);
    EXPECT_LT(luminance(Rgb8{below, below, below}), threshold);
    for (int other = 0; other < 256 * 256; ++other) {
      const auto a = std::uint8_t(std::max(level, other >> 8));
      const auto b = std::uint8_t(std::max(level, other & 0xFF));
      for (const Rgb8 s : {Rgb8{l, a, b}, Rgb8{a, l, b}, Rgb8{a, b, l}}) ASSERT_GE(luminance(s), threshold);
    }
  }
}

TEST(PixelSamplingTest, SamplePixelReadsComponentsAndIsAbsentOffThePage) {
  platform::PageBitmap page = makePage(4, 3);
  page.setPixel(3, 2, Rgb8{255, 51, 0});
  EXPECT_EQ(samplePixel(page, 3, 2), (PixelRgb{1.0, 0.2, 0.0}));
  EXPECT_EQ(samplePixel(page, 0, 0), (PixelRgb{1, 1, 1}));
  EXPECT_FALSE(samplePixel(page, -1, 0));
  EXPECT_FALSE(samplePixel(page, 4, 0));
  EXPECT_FALSE(samplePixel(page, 0, 3));
  EXPECT_FALSE(samplePixel(page, 0, std::numeric_limits<std::int64_t>::min()));
}

struct BoundsCase {
  const char* name;
  Rect rect;
  PixelBounds expected;
};
class PixelBoundsTest : public ::testing::TestWithParam<BoundsCase> {};

TEST_P(PixelBoundsTest, MatchesHandWorkedRange) {
  const platform::PageBitmap page = makePage(100, 50);
  EXPECT_EQ(pixelBounds(page, GetParam().rect), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, PixelBoundsTest,
    ::testing::Values(
        BoundsCase{"FractionalEdgesWidenOutwards", {10.2, 20.7, 5.1, 3.0}, {10, 16, 20, 24, 6, 4}},
        BoundsCase{"WholePixelsKept", {10, 20, 5, 3}, {10, 15, 20, 23, 5, 3}},
        BoundsCase{"CutAtRightAndTop", {90.5, 45, 30, 30}, {90, 100, 45, 50, 10, 5}},
        BoundsCase{"CutAtLeftAndBottom", {-3.5, -1, 5, 4}, {0, 2, 0, 3, 2, 3}},
        BoundsCase{"WhollyLeftIsEmpty", {-20, 10, 5, 5}, {0, -15, 10, 15, 0, 5}},
        BoundsCase{"WhollyAboveIsEmpty", {10, 60, 5, 5}, {10, 15, 60, 50, 5, 0}},
        BoundsCase{"NegativeSizeStandardised", {15, 23, -5, -3}, {10, 15, 20, 23, 5, 3}},
        BoundsCase{"ZeroSizeOnWholePixelIsEmpty", {5, 5, 0, 0}, {5, 5, 5, 5, 0, 0}},
        BoundsCase{"SubPixelCoversOnePixel", {5.2, 5.2, 0.3, 0.3}, {5, 6, 5, 6, 1, 1}},
        BoundsCase{"NaNIsEmpty", {kNaN, 0, 10, 10}, {}},
        BoundsCase{"InfiniteWidthIsEmpty", {0, 0, kInf, 10}, {}},
        BoundsCase{"BeyondIndexRangeIsEmpty", {0, 0, 10, 1e19}, {}},
        BoundsCase{"FarLeftBeyondIndexRangeIsEmpty", {-1e300, 0, 10, 10}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct StepCase {
  const char* name;
  std::int64_t width, height, budget, expected;
};
class SampleStepTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(SampleStepTest, MatchesHandWorkedStep) {
  const StepCase& c = GetParam();
  EXPECT_EQ(sampleStep(c.width, c.height, c.budget), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Budgets, SampleStepTest,
    ::testing::Values(StepCase{"Square100Budget2200", 100, 100, 2200, 2},  // sqrt(4.55) = 2.13
                      StepCase{"Square40EveryPixel", 40, 40, 2200, 1},
                      StepCase{"EmptyRange", 0, 0, 2200, 1},
                      StepCase{"JustUnderFourBudgets", 21, 419, 2200, 1},  // 8799 points
                      StepCase{"ExactlyFourBudgets", 88, 100, 2200, 2},    // sqrt(4) = 2
                      StepCase{"LargestPageFillBudget", 65535, 65535, 1800, 1544},
                      StepCase{"RegionBudget600x400", 600, 400, 2400, 10},
                      StepCase{"ZeroBudgetTreatedAsOne", 9, 9, 0, 9}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PixelSamplingTest, BorderRingOfThreeByThreeHoldsItsEightOuterPixels) {
  platform::PageBitmap page = makePage(5, 5, kBlack);
  paintRing(page, 1, 1, 3, 3, kWhite);
  const PixelBounds b{1, 4, 1, 4, 3, 3};
  EXPECT_EQ(borderLuminanceMedian(page, b), 0.9999999999999999);
  // Four of the eight black: the median is the upper middle element, white.
  paintRect(page, 1, 1, 3, 1, kBlack);
  page.setPixel(1, 2, kBlack);
  EXPECT_EQ(borderLuminanceMedian(page, b), 0.9999999999999999);
  page.setPixel(3, 2, kBlack);
  EXPECT_EQ(borderLuminanceMedian(page, b), 0.0);
}

TEST(PixelSamplingTest, BorderMedianOfFourLevelsIsTheThird) {
  platform::PageBitmap page = makePage(2, 2);
  page.setPixel(0, 0, grey(153));  // 0.6
  page.setPixel(1, 0, grey(51));   // 0.2
  page.setPixel(0, 1, grey(204));  // 0.8
  page.setPixel(1, 1, grey(102));  // 0.4
  EXPECT_NEAR(borderLuminanceMedian(page, {0, 2, 0, 2, 2, 2}), 0.6, 1e-12);
}

TEST(PixelSamplingTest, BorderRingLeavesTheInsideOut) {
  platform::PageBitmap page = makePage(10, 10, kBlack);
  paintRing(page, 0, 0, 10, 10, kWhite);  // 36 white ring pixels around 64 black ones
  EXPECT_EQ(borderLuminanceMedian(page, {0, 10, 0, 10, 10, 10}), 0.9999999999999999);
}

TEST(PixelSamplingTest, BorderRingOfOneColumnCountsEachPixelOnce) {
  platform::PageBitmap page = makePage(1, 4, kBlack);
  page.setPixel(0, 0, kWhite);
  page.setPixel(0, 3, kWhite);
  // Two black, two white: index 2 of the ascending list is white. Counting the middle pixels
  // twice would give four black of six.
  EXPECT_EQ(borderLuminanceMedian(page, {0, 1, 0, 4, 1, 4}), 0.9999999999999999);
}

TEST(PixelSamplingTest, BorderMedianOfEmptyRangeIsOne) {
  const platform::PageBitmap page = makePage(4, 4, kBlack);
  EXPECT_EQ(borderLuminanceMedian(page, {2, 2, 0, 4, 0, 4}), 1.0);
  EXPECT_EQ(borderLuminanceMedian(page, pixelBounds(page, {-10, 0, 5, 4})), 1.0);
}

TEST(PixelSamplingTest, GridStartsAtTheRangeCornerAndSkipsByTheStep) {
  platform::PageBitmap page = makePage(120, 120);
  const PixelBounds b = pixelBounds(page, {1, 1, 100, 100});  // step 2: columns 1, 3, 5, ...
  for (std::int64_t x = 2; x < 120; x += 2) paintRect(page, x, 0, 1, 120, kBlack);
  EXPECT_EQ(gridBrightness(page, b)->brightFraction, 1.0);
  for (std::int64_t x = 1; x < 120; x += 2) paintRect(page, x, 0, 1, 120, kBlack);
  EXPECT_EQ(gridBrightness(page, b)->brightFraction, 0.0);
}

struct PixelKindCase {
  const char* name;
  Rgb8 color;
  bool bright, dark, colourful;
};
class PixelKindTest : public ::testing::TestWithParam<PixelKindCase> {};

// Luminance comes in steps of about 1/255, so the rows pick the sample levels on and on
// either side of each limit; the exact colours were found by search over all 8-bit triples.
TEST_P(PixelKindTest, GridAndRegionStatsClassifyAtTheLimits) {
  const PixelKindCase& c = GetParam();
  const platform::PageBitmap page = makePage(3, 3, c.color);
  const PixelBounds b{0, 3, 0, 3, 3, 3};
  const GridBrightness grid = *gridBrightness(page, b);
  EXPECT_EQ(grid.brightFraction, c.bright ? 1.0 : 0.0);
  EXPECT_EQ(grid.colourfulFraction, c.colourful ? 1.0 : 0.0);
  const RegionStats stats = regionStats(page, b, {});
  EXPECT_EQ(stats.bright, c.bright ? 1.0 : 0.0);
  EXPECT_EQ(stats.dark, c.dark ? 1.0 : 0.0);
  EXPECT_EQ(stats.colourful, c.colourful ? 1.0 : 0.0);
  EXPECT_EQ(stats.edge, 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, PixelKindTest,
    ::testing::Values(
        PixelKindCase{"GreyJustUnderBright", grey(183), false, false, false},  // 0.7176
        PixelKindCase{"ExactlyBright", {177, 183, 204}, true, false, false},   // 0.72, sat 0.13
        PixelKindCase{"GreyJustOverBright", grey(184), true, false, false},    // 0.7216
        PixelKindCase{"GreyJustUnderDark", grey(86), false, true, false},      // 0.3373
        PixelKindCase{"ExactlyDark", {66, 90, 124}, false, true, true},        // 0.34, sat 0.47
        PixelKindCase{"GreyJustOverDark", grey(87), false, false, false},      // 0.3412
        PixelKindCase{"SaturationJustOverColourful", {255, 255, 209}, true, false, true},  // .1804
        // 45/250 is 18 % in decimal, but the division rounds to 0.17999999999999994.
        PixelKindCase{"SaturationEighteenPercentRoundsUnder", {250, 250, 205}, true, false, false},
        PixelKindCase{"SaturationJustUnderColourful", {255, 255, 210}, true, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PixelSamplingTest, GridBrightnessOfEmptyRangeIsAbsent) {
  const platform::PageBitmap page = makePage(4, 4);
  EXPECT_FALSE(gridBrightness(page, {}));
  EXPECT_FALSE(gridBrightness(page, pixelBounds(page, {10, 10, 5, 5})));
}

TEST(RegionStatsTest, EmptyOrWhollyExcludedRangeCountsAsBright) {
  const platform::PageBitmap page = makePage(10, 10, kBlack);
  const RegionStats none{1.0, 0.0, 0.0, 0.0};
  EXPECT_EQ(regionStats(page, {}, {}), none);
  EXPECT_EQ(regionStats(page, {2, 6, 2, 6, 4, 4}, {.rects = {Rect{1, 1, 6, 6}}}), none);
}

TEST(RegionStatsTest, ExclusionEdgesAreInclusive) {
  platform::PageBitmap page = makePage(5, 5);
  paintRect(page, 0, 0, 3, 3, kBlack);  // points 0..2 in both directions
  const RegionStats s = regionStats(page, {0, 5, 0, 5, 5, 5}, {.rects = {Rect{0, 0, 2, 2}}});
  EXPECT_EQ(s.dark, 0.0);
  EXPECT_EQ(s.bright, 1.0);
  // Counted points look only right and up, where everything is white.
  EXPECT_EQ(s.edge, 0.0);
}

TEST(RegionStatsTest, ExclusionsTouchingTheRangeOnlyAtItsEdgeStillCount) {
  platform::PageBitmap page = makePage(4, 1, kBlack);
  page.setPixel(0, 0, kWhite);
  page.setPixel(3, 0, kWhite);
  // The first ends on column 0, the second starts on column 3, the third covers column 3
  // with a negative width; the rest lie elsewhere or are not numbers and exclude nothing.
  const std::vector<Rect> exclusions{Rect{-2, 0, 2, 0}, Rect{3, 0, 5, 0}, Rect{3.5, 0, -0.5, 0},
                                     Rect{100, 0, 1, 1}, Rect{0, 2, 4, 1},
                                     Rect{std::nan(""), 0, 1, 1}};
  // Columns 1 and 2 are left, both dark; column 2 sees the white column 3 to its right.
  const RegionStats s = regionStats(page, {0, 4, 0, 1, 4, 1}, {.rects = exclusions});
  EXPECT_EQ(s, (RegionStats{0.0, 1.0, 0.0, 0.5}));
  // Without the two edge exclusions the white points count: half bright, half dark.
  const RegionStats kept = regionStats(page, {0, 4, 0, 1, 4, 1}, {.rects = {Rect{100, 0, 1, 1}}});
  EXPECT_EQ(kept.bright, 0.5);
  EXPECT_EQ(kept.dark, 0.5);
}

TEST(RegionStatsTest, EdgeLooksRightThenUpAndCountsOnce) {
  platform::PageBitmap page = makePage(2, 2);
  page.setPixel(0, 0, kBlack);
  // Only (0, 0) differs from a neighbour to its right or above; it differs from both.
  EXPECT_EQ(regionStats(page, {0, 2, 0, 2, 2, 2}, {}).edge, 0.25);
}

TEST(RegionStatsTest, EdgeNeighbourInsideAnExclusionIsStillRead) {
  platform::PageBitmap page = makePage(2, 1);
  page.setPixel(1, 0, kBlack);
  const RegionStats s = regionStats(page, {0, 2, 0, 1, 2, 1}, {.rects = {Rect{1, 0, 0, 0}}});
  EXPECT_EQ(s, (RegionStats{1.0, 0.0, 0.0, 1.0}));
}

struct EdgeCase {
  const char* name;
  Rgb8 upper;
  double expectedEdge;
};
class RegionEdgeTest : public ::testing::TestWithParam<EdgeCase> {};

// A one-column range: the lower point's only neighbour is the one above it, as in the last
// grid column. Grey 51 has luminance exactly 0.2, grey 50 0.196.
TEST_P(RegionEdgeTest, LastColumnLooksUp) {
  platform::PageBitmap page = makePage(3, 2, kBlack);
  page.setPixel(2, 1, GetParam().upper);
  EXPECT_EQ(regionStats(page, {2, 3, 0, 2, 1, 2}, {}).edge, GetParam().expectedEdge);
}

INSTANTIATE_TEST_SUITE_P(Limits, RegionEdgeTest,
                         ::testing::Values(EdgeCase{"StepJustUnder", grey(50), 0.0},
                                           EdgeCase{"StepExactlyAtLimit", grey(51), 0.5},
                                           EdgeCase{"StepOver", grey(52), 0.5}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace letterforge
