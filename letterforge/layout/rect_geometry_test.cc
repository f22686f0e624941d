#include "letterforge/layout/rect_geometry.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

const Rect kPage{0, 0, 800, 600};

struct ClampCase {
  const char* name;
  Rect r;
  Rect expected;
};
class ClampRectTest : public ::testing::TestWithParam<ClampCase> {};

TEST_P(ClampRectTest, KeepsRectOnPage) {
  const ClampCase& c = GetParam();
  EXPECT_EQ(clampRect(c.r, kPage), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClampRectTest,
    ::testing::Values(
        ClampCase{"InsideUnchanged", {10, 20, 100, 40}, {10, 20, 100, 40}},
        ClampCase{"LeftAndBottomCut", {-10, -5, 100, 40}, {0, 0, 90, 35}},
        ClampCase{"RightAndTopCut", {750, 580, 100, 40}, {750, 580, 50, 20}},
        ClampCase{"SliverWidenedToOne", {10, 20, 0.4, 40}, {10, 20, 1, 40}},
        ClampCase{"WhollyRightKeepsOwnX", {900, 20, 50, 40}, {900, 20, 1, 40}},
        ClampCase{"WhollyAboveKeepsOwnY", {10, 700, 50, 40}, {10, 700, 50, 1}},
        ClampCase{"WhollyLeftMovesToEdge", {-100, 20, 50, 40}, {0, 20, 1, 40}},
        ClampCase{"WhollyBelowMovesToEdge", {10, -100, 50, 40}, {10, 0, 50, 1}},
        ClampCase{"NegativeSizeStandardised", {110, 60, -100, -40}, {10, 20, 100, 40}},
        ClampCase{"HugeValuesStayFinite", {-1e308, -1e308, 1e308, 1e308}, {0, 0, 1, 1}},
        ClampCase{"CoversPage", {-1e300, -1e300, 3e300, 3e300}, {0, 0, 800, 600}}),
    [](const auto& info) { return std::string(info.param.name); });

struct MarginCase {
  const char* name;
  double width, height;
  bool floating;
  double expected;
};

class BlockMarginTest : public ::testing::TestWithParam<MarginCase> {};

TEST_P(BlockMarginTest, MatchesHandWorkedValue) {
  const MarginCase& c = GetParam();
  EXPECT_DOUBLE_EQ(blockMargin(RenderItem{.rect = {0, 0, c.width, c.height}}), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, BlockMarginTest,
    ::testing::Values(
        MarginCase{"SmallBlockRaisedToFloor", 10, 10, false, 4.0},
        MarginCase{"LargeBlockCappedOverall", 300, 300, false, 12.0},
        MarginCase{"TallBlockShortSideCapped", 100, 150, false, 10.0},
        MarginCase{"ShortSideRuleBetweenLimits", 30, 40, false, 6.6},
        MarginCase{"HeightRuleWins", 40, 180, false, 10.8},
        MarginCase{"ZeroSize", 0, 0, false, 4.0},
        MarginCase{"NegativeSizeMeasuredAsPositive", -100, -150, false, 10.0}),
    [](const auto& info) { return std::string(info.param.name); });

class TextMarginTest : public ::testing::TestWithParam<MarginCase> {};

TEST_P(TextMarginTest, MatchesHandWorkedValue) {
  const MarginCase& c = GetParam();
  EXPECT_DOUBLE_EQ(textMargin(RenderItem{.rect = {0, 0, c.width, c.height}, .floating = c.floating}),
            c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, TextMarginTest,
    ::testing::Values(
        MarginCase{"PlainItem", 200, 100, false, 13.0},
        MarginCase{"FloatingItem", 200, 100, true, 8.0},
        MarginCase{"FloatingNarrowRaisedToFloor", 20, 300, true, 4.0},
        MarginCase{"PlainCapped", 500, 400, false, 20.0},
        MarginCase{"FloatingCapped", 500, 400, true, 10.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RectGeometryTest, AccessorsUseStandardisedRect) {
  const Rect r{110, 60, -100, -40};
  EXPECT_EQ(minX(r), 10);
  EXPECT_EQ(maxX(r), 110);
  EXPECT_EQ(midX(r), 60);
  EXPECT_EQ(minY(r), 20);
  EXPECT_EQ(maxY(r), 60);
  EXPECT_EQ(midY(r), 40);
  EXPECT_EQ(width(r), 100);
  EXPECT_EQ(height(r), 40);
}

TEST(RectGeometryTest, UnionCountsZeroSizeRectsAndIgnoresNull) {
  EXPECT_EQ(unionRect(Rect{0, 0, 10, 10}, Rect{50, 50, 0, 0}), (Rect{0, 0, 50, 50}));
  EXPECT_EQ(unionRect(nullRect(), Rect{5, 6, 7, 8}), (Rect{5, 6, 7, 8}));
  EXPECT_EQ(unionRect(Rect{5, 6, 7, 8}, nullRect()), (Rect{5, 6, 7, 8}));
  EXPECT_TRUE(isNull(unionRect(nullRect(), nullRect())));
  EXPECT_EQ(unionRect(Rect{10, 10, -10, -10}, Rect{20, 20, 5, 5}), (Rect{0, 0, 25, 25}));
}

TEST(RectGeometryTest, InsetShrinksToNullOrGrows) {
  EXPECT_TRUE(isNull(inset(Rect{0, 0, 10, 10}, 6, 6)));
  EXPECT_EQ(inset(Rect{0, 0, 10, 10}, -6, -6), (Rect{-6, -6, 22, 22}));
  EXPECT_EQ(inset(Rect{0, 0, 10, 10}, 5, 5), (Rect{5, 5, 0, 0}));
  EXPECT_FALSE(isNull(inset(Rect{0, 0, 10, 10}, 5, 5)));
  EXPECT_TRUE(isNull(inset(Rect{0, 0, 10, 10}, 1, 5.5)));
  EXPECT_TRUE(isNull(inset(nullRect(), -5, -5)));
}

struct IntersectionCase {
  const char* name;
  Rect a, b;
  bool intersect;
  Rect expected;  // meaningful only when they intersect
};
class IntersectionTest : public ::testing::TestWithParam<IntersectionCase> {};

TEST_P(IntersectionTest, OverlapOrNull) {
  const IntersectionCase& c = GetParam();
  EXPECT_EQ(intersects(c.a, c.b), c.intersect);
  EXPECT_EQ(intersects(c.b, c.a), c.intersect);
  if (c.intersect) {
    EXPECT_EQ(intersection(c.a, c.b), c.expected);
  } else {
    EXPECT_TRUE(isNull(intersection(c.a, c.b)));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IntersectionTest,
    ::testing::Values(
        IntersectionCase{"Overlapping", {0, 0, 10, 10}, {5, 5, 10, 10}, true, {5, 5, 5, 5}},
        IntersectionCase{"Contained", {0, 0, 10, 10}, {2, 3, 4, 5}, true, {2, 3, 4, 5}},
        IntersectionCase{"SharedEdgeIsZeroWidth", {0, 0, 10, 10}, {10, 2, 5, 5}, true, {10, 2, 0, 5}},
        IntersectionCase{"SharedCornerIsZeroSize", {0, 0, 10, 10}, {10, 10, 5, 5}, true, {10, 10, 0, 0}},
        IntersectionCase{"Apart", {0, 0, 10, 10}, {10.5, 0, 5, 5}, false, {}},
        IntersectionCase{"NullNeverIntersects", {0, 0, 10, 10}, nullRect(), false, {}},
        IntersectionCase{"NegativeSizeStandardised", {10, 10, -10, -10}, {5, 5, 10, 10}, true,
                         {5, 5, 5, 5}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace letterforge
