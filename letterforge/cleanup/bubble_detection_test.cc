#include "letterforge/cleanup/bubble_detection.h"

#include <gtest/gtest.h>

#include "letterforge/layout/rect_geometry.h"
#include "letterforge/raster/test_pages.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;
using enum CleanupMode;

using namespace test_pages;

RenderItem blockItem(const Rect& rect, std::string text = "hello there") {
  return RenderItem{.ids = {"p1"}, .rect = rect, .text = std::move(text)};
}

const Rect kPage{0, 0, 300, 200};

// Rectangles computed through insets and clamps carry rounding in the last bits.
void expectRectNear(const Rect& actual, const Rect& expected) {
  EXPECT_NEAR(actual.x, expected.x, 1e-9);
  EXPECT_NEAR(actual.y, expected.y, 1e-9);
  EXPECT_NEAR(actual.width, expected.width, 1e-9);
  EXPECT_NEAR(actual.height, expected.height, 1e-9);
}

TEST(FindGroupBubbleTest, CleanWhiteSurroundScoresTheCap) {
  const auto page = makePage(300, 200);
  const RenderItem item = blockItem({100, 80, 100, 40});
  const auto region = findGroupBubble(page, item, {}, kPage, 0.65);
  ASSERT_TRUE(region.has_value());
  EXPECT_EQ(region->confidence, 0.99);
  EXPECT_EQ(region->rect, (Rect{74, 54, 152, 92}));  // pad 0.65 × 40 = 26
}

TEST(FindGroupBubbleTest, PadIsHeldBetweenEightAndFortyTwo) {
  const auto page = makePage(400, 400);
  EXPECT_EQ(findGroupBubble(page, blockItem({180, 180, 40, 10}), {}, {0, 0, 400, 400}, 0.24)->rect,
            (Rect{172, 172, 56, 26}));
  EXPECT_EQ(findGroupBubble(page, blockItem({100, 100, 200, 200}), {}, {0, 0, 400, 400}, 0.65)->rect,
            (Rect{58, 58, 284, 284}));
}

TEST(FindGroupBubbleTest, SearchFallsBackToSmallerFactorsWhenArtworkIsReached) {
  auto page = makePage(300, 200, kBlack);
  paintRect(page, 80, 60, 140, 80, kWhite);  // white within 20 px of the item, black beyond
  const RenderItem item = blockItem({100, 80, 100, 40});
  EXPECT_FALSE(findGroupBubble(page, item, {}, kPage, 0.65).has_value());
  const auto region = searchBubble(page, item, {}, kPage);
  ASSERT_TRUE(region.has_value());
  EXPECT_DOUBLE_EQ(region->rect.x, 100 - 0.38 * 40);
}

TEST(FindGroupBubbleTest, TinyItemNeverFindsABubbleOfItsOwn) {
  const auto page = makePage(300, 200);
  EXPECT_FALSE(searchBubble(page, blockItem({100, 100, 4, 4}), {}, kPage).has_value());
  EXPECT_FALSE(searchBubble(page, blockItem({100, 100, 0.5, 0.5}), {}, kPage).has_value());
}

TEST(FindGroupBubbleTest, SearchCutByThePageEdgeUnderFivePixelsFails) {
  const auto page = makePage(300, 200);
  EXPECT_FALSE(findGroupBubble(page, blockItem({-30, -30, 26, 26}), {}, kPage, 0.24).has_value());
}

TEST(FindGroupBubbleTest, ColourfulSurroundIsNoBubble) {
  auto page = makePage(300, 200);
  paintRect(page, 0, 0, 300, 70, kRed);  // the lower part of the search area is red
  EXPECT_FALSE(findGroupBubble(page, blockItem({100, 80, 100, 40}), {}, kPage, 0.65).has_value());
}

TEST(FindGroupBubbleTest, ExcludedLetteringDoesNotCountAgainstThePaper) {
  auto page = makePage(300, 200);
  paintRect(page, 100, 80, 100, 40, kBlack);  // solid "lettering" over the whole item
  const RenderItem item = blockItem({100, 80, 100, 40});
  EXPECT_FALSE(findGroupBubble(page, item, {}, kPage, 0.65).has_value());
  EXPECT_TRUE(findGroupBubble(page, item, {.rects = {{96, 76, 108, 48}}}, kPage, 0.65).has_value());
}

// A white bubble with a black outline and a line of black "letters" (3 x 7 bars).
platform::PageBitmap letteredBubble() {
  auto page = makePage(300, 200, grey(90));
  paintRect(page, 40, 30, 220, 140, kBlack);
  paintRect(page, 44, 34, 212, 132, kWhite);
  for (int i = 0; i < 10; ++i) paintRect(page, 110 + 8 * i, 95, 3, 7, kBlack);
  return page;
}

TEST(BubbleTextMaskTest, MarksLetteringGrownByTwo) {
  const auto page = letteredBubble();
  const auto mask = bubbleTextMask(page, {100, 85, 100, 30}, {60, 50, 180, 100});
  ASSERT_TRUE(mask.has_value());
  EXPECT_EQ(mask->rect, (Rect{100, 85, 100, 30}));
  // Each 3 x 7 bar grows into 7 x 11 cells.
  EXPECT_EQ(mask->pixels.count(), 10 * 7 * 11);
  EXPECT_TRUE(mask->pixels.contains((95 - 2 - 85) * 100 + (110 - 2 - 100)));
  EXPECT_FALSE(mask->pixels.contains((95 - 3 - 85) * 100 + (110 - 100)));
}

TEST(BubbleTextMaskTest, SpecksAndSaturatedInkAreNotLettering) {
  auto page = makePage(300, 200);
  paintRect(page, 120, 100, 2, 1, kBlack);            // a two-pixel speck
  paintRect(page, 150, 95, 4, 8, {160, 20, 20});      // dark red ink, saturation above 0.35
  EXPECT_FALSE(bubbleTextMask(page, {100, 85, 100, 30}, {60, 50, 180, 100}).has_value());
}

TEST(BubbleTextMaskTest, AreasThatOnlyTouchOrBarelyOverlapGiveNoMask) {
  const auto page = letteredBubble();
  EXPECT_FALSE(bubbleTextMask(page, {100, 85, 100, 30}, {200, 50, 40, 100}).has_value());
  EXPECT_FALSE(bubbleTextMask(page, {100, 85, 100, 30}, {198, 50, 40, 100}).has_value());
}

TEST(BubbleTextMaskTest, ScreentonePaperGivesNoMask) {
  auto page = letteredBubble();
  for (int y = 34; y < 166; y += 4) {
    for (int x = 44; x < 256; x += 4) paintRect(page, x, y, 2, 2, kBlack);
  }
  EXPECT_FALSE(bubbleTextMask(page, {100, 85, 100, 30}, {60, 50, 180, 100}).has_value());
}

struct PaperCase {
  const char* name;
  platform::Rgb8 paper;
  platform::Color expected;
};
class BubbleFillColorTest : public ::testing::TestWithParam<PaperCase> {};

TEST_P(BubbleFillColorTest, KeepsTintedPaperAndWhitensNearGrey) {
  const PaperCase& c = GetParam();
  const auto page = makePage(100, 100, c.paper);
  EXPECT_EQ(bubbleFillColor(page, TextMask{}, {10, 10, 80, 80}), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, BubbleFillColorTest, ::testing::Values(
    PaperCase{"PaleYellowTooSaturatedToKeep", {255, 245, 191}, platform::kWhite},
    PaperCase{"LightGreyKept", {191, 191, 191}, {191 / 255.0, 191 / 255.0, 191 / 255.0, 1}},
    PaperCase{"GreyBlueKept", {180, 190, 200}, {180 / 255.0, 190 / 255.0, 200 / 255.0, 1}},
    PaperCase{"NearWhiteIsWhite", {250, 250, 246}, platform::kWhite},
    PaperCase{"DarkPaperNotSampled", {100, 100, 100}, platform::kWhite}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BubbleFillColorTest, MaskedLetteringIsNotSampled) {
  auto page = makePage(20, 20, {180, 190, 200});
  paintRect(page, 0, 0, 20, 15, {200, 200, 200});  // most of the page: a lighter grey
  TextMask mask{.rect = {0, 0, 20, 15}, .width = 20, .height = 15};
  for (std::int64_t i = 0; i < 300; ++i) mask.pixels.insert(i);
  EXPECT_EQ(bubbleFillColor(page, mask, {0, 0, 20, 20}),
            (platform::Color{180 / 255.0, 190 / 255.0, 200 / 255.0, 1}));
}

TEST(ItemTextAreaTest, OutsideBubbleCleaningTheAreaIsTheGrownRect) {
  const auto page = makePage(300, 200);
  const RenderItem item = blockItem({100, 80, 100, 40});  // margin 0.13 × 40 = 5.2
  for (const CleanupMode mode : {kWhiteFill, kTextInpaint, kNone}) {
    expectRectNear(itemTextArea(page, item, kPage, mode, {}), {94.8, 74.8, 110.4, 50.4});
  }
}

TEST(ItemTextAreaTest, SingleBlockInABubbleTakesTheBubbleShrunkByFive) {
  const auto page = makePage(300, 200);
  const RenderItem item = blockItem({100, 80, 100, 40});
  // The search may grow 32 sideways but only 12.8 up and down; 0.65 × 40 = 26 is cut to that.
  expectRectNear(itemTextArea(page, item, kPage, kBubbleClean, {}), {79, 72.2, 142, 55.6});
}

TEST(ItemTextAreaTest, FloatingSingleBlockKeepsTheGrownRect) {
  const auto page = makePage(300, 200);
  RenderItem item = blockItem({100, 80, 100, 40}, "hi");
  item.floating = true;  // margin 0.08 × 40 = 3.2, raised to 4
  EXPECT_EQ(itemTextArea(page, item, kPage, kBubbleClean, {}), (Rect{96, 76, 108, 48}));
}

TEST(ItemTextAreaTest, ShortPairKeepsTheGrownRect) {
  const auto page = makePage(300, 200);
  const RenderItem item{.ids = {"a", "b"}, .rect = {100, 80, 100, 40}, .text = "Eleven char"};
  expectRectNear(itemTextArea(page, item, kPage, kBubbleClean, {}), {94.8, 74.8, 110.4, 50.4});
}

TEST(ItemTextAreaTest, SmallGroupOnPlainPaperGrowsByItsClampedAmounts) {
  const auto page = makePage(400, 300);
  const RenderItem item{.ids = {"a", "b", "c"}, .rect = {150, 130, 100, 40}, .text = "short words"};
  // base grows by 5.2; then by 0.36 × 100 = 36 sideways and 16 (0.34 × 40 raised) up and down.
  const Rect area = itemTextArea(page, item, {0, 0, 400, 300}, kBubbleClean, {});
  EXPECT_DOUBLE_EQ(area.x, 150 - 5.2 - 36);
  EXPECT_DOUBLE_EQ(area.y, 130 - 5.2 - 16);
  EXPECT_DOUBLE_EQ(area.width, 100 + 2 * 5.2 + 72);
}

TEST(ItemTextAreaTest, SmallGroupWithLongTextSearchesTheWholeGroupBubble) {
  const auto page = makePage(400, 300);
  const RenderItem item{.ids = {"a", "b", "c"}, .rect = {150, 130, 100, 40},
                        .text = std::string(90, 'x')};
  // Bounds grow by 18 sideways and 12 up and down; 0.65 × 40 = 26 is cut to them, then shrunk by 4.
  EXPECT_EQ(itemTextArea(page, item, {0, 0, 400, 300}, kBubbleClean, {}), (Rect{136, 122, 128, 56}));
}

}  // namespace
}  // namespace letterforge
