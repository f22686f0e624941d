#include "letterforge/raster/exclusions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "letterforge/raster/pixel_sampling.h"
#include "letterforge/raster/test_pages.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

using platform::Rect;
using namespace test_pages;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The rectangles first, then enough copies far off the page that the points get marked.
std::vector<Rect> withFiller(std::vector<Rect> rects) {
  while (rects.size() <= kListedExclusions) rects.push_back({1000, 1000, 1, 1});
  return rects;
}

std::set<std::pair<std::int64_t, std::int64_t>> coveredPoints(const Exclusions& exclusions,
                                                              std::int64_t width,
                                                              std::int64_t height) {
  std::set<std::pair<std::int64_t, std::int64_t>> points;
  for (std::int64_t y = 0; y < height; ++y) {
    for (std::int64_t x = 0; x < width; ++x) {
      if (isExcluded(exclusions, x, y)) points.insert({x, y});
    }
  }
  return points;
}

struct CoverCase {
  const char* name;
  Rect rect;
  std::set<std::pair<std::int64_t, std::int64_t>> expected;
};

class ExclusionCoverTest : public ::testing::TestWithParam<CoverCase> {};

// Each rectangle alone among the filler, on an 8 x 4 page, marked and listed.
TEST_P(ExclusionCoverTest, CoversTheWholePointsBetweenItsEdges) {
  const CoverCase& c = GetParam();
  const platform::PageBitmap page = makePage(8, 4);
  const Exclusions marked = makeExclusions(page, withFiller({c.rect}));
  ASSERT_FALSE(marked.coveredBits.empty());
  EXPECT_EQ(coveredPoints(marked, 8, 4), c.expected);
  EXPECT_EQ(coveredPoints(Exclusions{.rects = {c.rect}}, 8, 4), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, ExclusionCoverTest,
    ::testing::Values(
        CoverCase{"FractionalEdgesKeepTheWholePointsInside", {2.5, 1, 2, 0}, {{3, 1}, {4, 1}}},
        CoverCase{"IntegerEdgesAreIncluded", {1, 1, 1, 1}, {{1, 1}, {2, 1}, {1, 2}, {2, 2}}},
        CoverCase{"NegativeSizesAreFlipped", {7, 3, -1, -1}, {{6, 2}, {7, 2}, {6, 3}, {7, 3}}},
        CoverCase{"ReachingPastThePageIsCut", {-5, 3, 6.5, 9}, {{0, 3}, {1, 3}}},
        CoverCase{"InfiniteWidthReachesTheRightEdge",
                  {5, 0, kInf, 0},
                  {{5, 0}, {6, 0}, {7, 0}}},
        CoverCase{"InfiniteOriginCoversNothing", {-kInf, 0, kInf, 4}, {}},
        CoverCase{"NotANumberCoversNothing", {kNaN, 0, 4, 4}, {}},
        CoverCase{"OffThePageCoversNothing", {8.5, 0, 3, 3}, {}},
        CoverCase{"ThinnerThanAPointBetweenPointsCoversNothing", {2.2, 0, 0.5, 3}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExclusionsTest, FewRectanglesStayListed) {
  const platform::PageBitmap page = makePage(8, 4);
  std::vector<Rect> rects(kListedExclusions, Rect{1, 1, 2, 2});
  EXPECT_TRUE(makeExclusions(page, rects).coveredBits.empty());
  rects.push_back({1, 1, 2, 2});
  EXPECT_FALSE(makeExclusions(page, rects).coveredBits.empty());
}

// Marks cover the page they were made for; other points, and other pages, go by the list.
TEST(ExclusionsTest, MarksServeOnlyTheirOwnPage) {
  const platform::PageBitmap small = makePage(8, 4);
  const Exclusions marked = makeExclusions(small, withFiller({{-3, 0, 4, 1}, {10, 6, 2, 2}}));
  EXPECT_TRUE(isExcluded(marked, -2, 1));  // off the page, inside the first
  EXPECT_TRUE(isExcluded(marked, 11, 7));  // off the page, inside the second
  EXPECT_FALSE(isExcluded(marked, 9, 7));
  platform::PageBitmap large = makePage(16, 12, kBlack);
  paintRect(large, 10, 6, 3, 3, kWhite);  // points 10..12, of which the second covers 10..12
  EXPECT_TRUE(isMarkedFor(marked, small));
  EXPECT_FALSE(isMarkedFor(marked, large));
  const RegionStats s = regionStats(large, pixelBounds(large, {9, 5, 5, 5}), marked);
  EXPECT_EQ(s, regionStats(large, pixelBounds(large, {9, 5, 5, 5}), {.rects = marked.rects}));
  EXPECT_EQ(s.bright, 0.0);  // the 9 white points are the ones left out
  EXPECT_EQ(s.dark, 1.0);
}

// Many overlapping, nested and touching rectangles: marked points are the listed ones, and
// the statistics of every range come out the same either way.
TEST(ExclusionsTest, MarkedAndListedAgreeEverywhere) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> position(-10.0, 140.0);
  std::uniform_real_distribution<double> size(-20.0, 40.0);
  platform::PageBitmap page = makePage(130, 70);
  for (int i = 0; i < 60; ++i) {
    paintRect(page, random() % 130, random() % 70, random() % 9, random() % 9, grey(random() % 256));
  }
  std::vector<Rect> rects;
  for (int i = 0; i < 200; ++i) {
    const double x = i % 3 == 0 ? std::floor(position(random)) : position(random);
    rects.push_back({x, position(random) / 2, size(random), size(random) / 2});
  }
  const Exclusions marked = makeExclusions(page, rects);
  const Exclusions listed{.rects = rects};
  ASSERT_FALSE(marked.coveredBits.empty());
  EXPECT_EQ(coveredPoints(marked, 130, 70), coveredPoints(listed, 130, 70));
  for (std::int64_t x0 = 0; x0 < 130; x0 += 17) {
    for (std::int64_t y0 = 0; y0 < 70; y0 += 11) {
      const PixelBounds range = pixelBounds(page, {double(x0), double(y0), 45, 30});
      EXPECT_EQ(regionStats(page, range, marked), regionStats(page, range, listed)) << x0 << "," << y0;
    }
  }
}

}  // namespace
}  // namespace letterforge
