#include "letterforge/debug/debug_overlay.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "letterforge/raster/test_pages.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

using platform::PageBitmap;
using platform::Rgb8;
using test_pages::kWhite;
using test_pages::makePage;

std::string repeated(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

// --- Label text -------------------------------------------------------------------------

struct LabelCase {
  const char* name;
  std::string text;
  std::string expected;
};
class DebugLabelTextTest : public ::testing::TestWithParam<LabelCase> {};

TEST_P(DebugLabelTextTest, KeepsUpTo28CharactersAndShortensLongerOnesTo26PlusDots) {
  EXPECT_EQ(debugLabelText(GetParam().text), GetParam().expected);
}

const std::string kAcuteE = "e\xCC\x81";                 // e + combining acute: one character
const std::string kFrenchFlag = "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";  // two code points, one character

INSTANTIATE_TEST_SUITE_P(
    Lengths, DebugLabelTextTest,
    ::testing::Values(
        LabelCase{"Empty", "", ""},
        LabelCase{"Exactly28IsWhole", "abcdefghijklmnopqrstuvwxyz12", "abcdefghijklmnopqrstuvwxyz12"},
        LabelCase{"Exactly29IsShortened", "abcdefghijklmnopqrstuvwxyz123",
                  "abcdefghijklmnopqrstuvwxyz.."},
        LabelCase{"FallbackLabel", "fallback_low_bubble_confidence:p3",
                  "fallback_low_bubble_confid.."},
        LabelCase{"TwentyEightAccentedClustersAreWhole", repeated(kAcuteE, 28),
                  repeated(kAcuteE, 28)},
        LabelCase{"TwentyNineAccentedClustersAreCutBetweenClusters", repeated(kAcuteE, 29),
                  repeated(kAcuteE, 26) + ".."},
        LabelCase{"TwentyEightFlagsAreWhole", repeated(kFrenchFlag, 28), repeated(kFrenchFlag, 28)},
        LabelCase{"TwentyNineFlagsAreCutBetweenFlags", repeated(kFrenchFlag, 29),
                  repeated(kFrenchFlag, 26) + ".."}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Pixel helpers ----------------------------------------------------------------------

enum class Family { green, orange, blue, purple };

// Whether a fully covered stroke pixel over white shows the named colour.
bool isOfFamily(Rgb8 c, Family family) {
  const int r = c.red, g = c.green, b = c.blue;
  switch (family) {
    case Family::green: return g > r + 60 && g > b + 60;
    case Family::orange: return r > g + 60 && g > b + 60;
    case Family::blue: return b > r + 60 && b > g + 40;
    case Family::purple: return r > g + 40 && b > g + 40;
  }
  return false;
}

// Number of non-white pixels in x0 <= x < x1, y0 <= y < y1.
std::int64_t inkIn(const PageBitmap& page, std::int64_t x0, std::int64_t y0, std::int64_t x1,
                   std::int64_t y1) {
  std::int64_t ink = 0;
  for (std::int64_t y = y0; y < y1; ++y) {
    for (std::int64_t x = x0; x < x1; ++x) ink += page.pixel(x, y) == kWhite ? 0 : 1;
  }
  return ink;
}

// The pixel with the lowest channel sum in the range: the heart of a glyph.
Rgb8 darkestIn(const PageBitmap& page, std::int64_t x0, std::int64_t y0, std::int64_t x1,
               std::int64_t y1) {
  Rgb8 darkest = kWhite;
  for (std::int64_t y = y0; y < y1; ++y) {
    for (std::int64_t x = x0; x < x1; ++x) {
      const Rgb8 c = page.pixel(x, y);
      if (c.red + c.green + c.blue < darkest.red + darkest.green + darkest.blue) darkest = c;
    }
  }
  return darkest;
}

// Pixels of the range that differ between two pages.
std::int64_t differingIn(const PageBitmap& a, const PageBitmap& b, std::int64_t x0, std::int64_t y0,
                         std::int64_t x1, std::int64_t y1) {
  std::int64_t differing = 0;
  for (std::int64_t y = y0; y < y1; ++y) {
    for (std::int64_t x = x0; x < x1; ++x) differing += a.pixel(x, y) == b.pixel(x, y) ? 0 : 1;
  }
  return differing;
}

// Drawing that lays out labels needs a text context of its own.
class OverlayTest : public ::testing::Test {
 protected:
  platform::TextContext text_;
};
class DrawDebugLabelTest : public OverlayTest {};
class ItemOverlayTest : public OverlayTest {};
class BubbleDebugRegionsTest : public OverlayTest {};

// --- Labels -----------------------------------------------------------------------------

TEST_F(DrawDebugLabelTest, DrawsInItsColourAboveAndRightOfThePoint) {
  PageBitmap page = makePage(200, 60);
  drawDebugLabel(text_, page, "patch_text:p1", {20.0, 20.0}, systemPurpleColor);
  EXPECT_GT(inkIn(page, 20, 20, 120, 34), 20);
  EXPECT_TRUE(isOfFamily(darkestIn(page, 20, 20, 120, 34), Family::purple));
  EXPECT_EQ(inkIn(page, 0, 0, 200, 19), 0);   // nothing below the line but edge blending
  EXPECT_EQ(inkIn(page, 0, 0, 19, 60), 0);    // nothing left of it
  EXPECT_EQ(inkIn(page, 0, 36, 200, 60), 0);  // one 10-point line high
}

TEST_F(DrawDebugLabelTest, LongLabelIsDrawnShortened) {
  const std::string longLabel = "fallback_low_bubble_confidence:p3";
  PageBitmap drawn = makePage(260, 30);
  drawDebugLabel(text_, drawn, longLabel, {2.0, 5.0}, systemOrangeColor);
  PageBitmap expected = makePage(260, 30);
  drawDebugLabel(text_, expected, "fallback_low_bubble_confid..", {2.0, 5.0}, systemOrangeColor);
  EXPECT_EQ(test_pages::differingPixels(drawn, expected), 0);
}

// --- Item overlay -----------------------------------------------------------------------

// Hand-worked outlines: a stroke centred on each edge of the grown and clamped rectangle.
// `full*` pixels lie wholly under the stroke, `clear*` pixels just outside and inside it.
struct OutlineCase {
  const char* name;
  std::int64_t pageSide;
  Rect rect;
  bool floating;
  Family family;
  std::int64_t fullLeft, clearOutLeft, clearInLeft;
  std::int64_t fullRight, clearOutRight, clearInRight;
  std::int64_t fullBottom, clearOutBottom, clearInBottom;
  std::int64_t fullTop, clearOutTop, clearInTop;
  std::int64_t probeX, probeY;  // a column and a row that no label reaches
};
class ItemOverlayOutlineTest : public ::testing::TestWithParam<OutlineCase> {
 protected:
  platform::TextContext text_;
};

TEST_P(ItemOverlayOutlineTest, StrokesTheGrownRectangle) {
  const OutlineCase& c = GetParam();
  PageBitmap page = makePage(c.pageSide, c.pageSide);
  const RenderItem item{.ids = {"7"}, .rect = c.rect, .floating = c.floating};
  const Rect pageRect{0, 0, static_cast<double>(c.pageSide), static_cast<double>(c.pageSide)};
  drawItemOverlay(text_, page, {}, {item}, pageRect);

  EXPECT_TRUE(isOfFamily(page.pixel(c.fullLeft, c.probeY), c.family));
  EXPECT_TRUE(isOfFamily(page.pixel(c.fullRight, c.probeY), c.family));
  EXPECT_TRUE(isOfFamily(page.pixel(c.probeX, c.fullBottom), c.family));
  EXPECT_TRUE(isOfFamily(page.pixel(c.probeX, c.fullTop), c.family));
  for (const std::int64_t x : {c.clearOutLeft, c.clearInLeft, c.clearInRight, c.clearOutRight}) {
    EXPECT_EQ(page.pixel(x, c.probeY), kWhite) << "column " << x;
  }
  for (const std::int64_t y : {c.clearOutBottom, c.clearInBottom, c.clearInTop, c.clearOutTop}) {
    EXPECT_EQ(page.pixel(c.probeX, y), kWhite) << "row " << y;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Margins, ItemOverlayOutlineTest,
    ::testing::Values(
        // 200 x 60: margin 0.13 x 60 = 7.8, outline 92.2..307.8 by 92.2..167.8, 2.4 wide.
        OutlineCase{"NonFloating200x60", 400, {100, 100, 200, 60}, false, Family::green,
                    91, 90, 94, 308, 309, 305, 91, 90, 94, 168, 169, 165, 200, 130},
        // 300 x 300: 0.13 x 300 = 39, capped at 20; outline 80..420, 2.4 wide.
        OutlineCase{"NonFloatingCappedAt20", 500, {100, 100, 300, 300}, false, Family::green,
                    79, 77, 82, 420, 422, 417, 79, 77, 82, 420, 422, 417, 250, 250},
        // Floating 300 x 300: 0.08 x 300 = 24, capped at 10; outline 90..410, 2.0 wide.
        OutlineCase{"FloatingCappedAt10", 500, {100, 100, 300, 300}, true, Family::orange,
                    89, 88, 91, 410, 411, 408, 89, 88, 91, 410, 411, 408, 250, 250},
        // Floating 100 x 40: 0.08 x 40 = 3.2, raised to 4; outline 96..204 by 96..144.
        OutlineCase{"FloatingRaisedTo4", 300, {100, 100, 100, 40}, true, Family::orange,
                    95, 94, 97, 204, 205, 202, 95, 94, 97, 144, 145, 142, 150, 120}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ItemOverlayTest, RenderItemLabelJoinsIdsBelowTheTopEdge) {
  PageBitmap page = makePage(400, 300);
  const RenderItem item{.ids = {"12", "13"}, .rect = {100, 100, 200, 60}};
  drawItemOverlay(text_, page, {}, {item}, {0, 0, 400, 300});
  // Outline top at 167.8, so the label's line starts at 153.8 and stays inside the outline.
  PageBitmap labelOnly = makePage(400, 300);
  drawDebugLabel(text_, labelOnly, "12+13", {92.2, 153.8}, systemGreenColor);
  EXPECT_GT(inkIn(labelOnly, 94, 150, 200, 166), 20);
  EXPECT_EQ(differingIn(page, labelOnly, 94, 140, 300, 166), 0);
}

TEST_F(ItemOverlayTest, BlockItemsAreOutlinedInTranslucentBlueWithTheirLabel) {
  PageBitmap page = makePage(400, 300);
  // Left edge at 100.6: the 1.2 wide stroke covers 100.0..101.2, so column 100 wholly.
  const RenderItem block{.ids = {"p1"}, .rect = {100.6, 100.6, 200, 60}};
  drawItemOverlay(text_, page, {block}, {}, {0, 0, 400, 300});
  const Rgb8 stroke = page.pixel(100, 130);
  EXPECT_TRUE(isOfFamily(stroke, Family::blue));
  // Blue at 0.78 over white lets a fifth of the white through: red 0.10 x 0.78 + 0.22 = 0.298.
  EXPECT_NEAR(stroke.red, 76, 3);
  EXPECT_NEAR(stroke.green, 146, 3);
  EXPECT_EQ(page.pixel(99, 130), kWhite);
  EXPECT_EQ(page.pixel(102, 130), kWhite);
  EXPECT_TRUE(isOfFamily(page.pixel(300, 130), Family::blue));
  EXPECT_EQ(page.pixel(302, 130), kWhite);

  // The label sits on the bottom edge, inside the box.
  PageBitmap labelOnly = makePage(400, 300);
  drawDebugLabel(text_, labelOnly, "p1", {100.6, 100.6}, systemBlueColor);
  EXPECT_GT(inkIn(page, 102, 102, 140, 116), 10);
  EXPECT_EQ(differingIn(page, labelOnly, 102, 102, 200, 150), 0);
  EXPECT_EQ(inkIn(page, 0, 0, 400, 99), 0);
}

TEST_F(ItemOverlayTest, BlocksAndRenderItemsAreBothDrawn) {
  PageBitmap page = makePage(400, 300);
  const RenderItem block{.ids = {"p1"}, .rect = {100.6, 100.6, 200, 60}};
  const RenderItem item{.ids = {"p1"}, .rect = {100.6, 100.6, 200, 60}};
  drawItemOverlay(text_, page, {block}, {item}, {0, 0, 400, 300});
  EXPECT_TRUE(isOfFamily(page.pixel(100, 130), Family::blue));
  EXPECT_TRUE(isOfFamily(page.pixel(92, 130), Family::green));
}

TEST_F(ItemOverlayTest, ItemAtThePageCornerIsClampedAndLabelledBelowTheClampedTop) {
  PageBitmap page = makePage(300, 200);
  // 100 x 30 at the top-left corner: margin 4, grown (-4, 166, 108, 38), clamped to
  // (0, 166, 104, 34): outline edges on the page's left and top edges.
  const RenderItem item{.ids = {"c1"}, .rect = {0, 170, 100, 30}};
  drawItemOverlay(text_, page, {}, {item}, {0, 0, 300, 200});
  EXPECT_TRUE(isOfFamily(page.pixel(0, 175), Family::green));
  EXPECT_EQ(page.pixel(2, 175), kWhite);
  EXPECT_TRUE(isOfFamily(page.pixel(60, 199), Family::green));
  EXPECT_EQ(page.pixel(60, 197), kWhite);
  EXPECT_TRUE(isOfFamily(page.pixel(104, 180), Family::green));
  EXPECT_TRUE(isOfFamily(page.pixel(60, 166), Family::green));

  PageBitmap labelOnly = makePage(300, 200);
  drawDebugLabel(text_, labelOnly, "c1", {0.0, 186.0}, systemGreenColor);
  EXPECT_GT(inkIn(labelOnly, 2, 186, 60, 198), 10);
  EXPECT_EQ(differingIn(page, labelOnly, 2, 168, 100, 198), 0);
}

// --- Decision regions -------------------------------------------------------------------

struct RegionLabelCase {
  const char* name;
  double minY;
  double labelY;  // max(minY - 13, 0), worked out by hand
};
class BubbleDebugRegionLabelTest : public ::testing::TestWithParam<RegionLabelCase> {
 protected:
  platform::TextContext text_;
};

TEST_P(BubbleDebugRegionLabelTest, LabelSitsThirteenBelowTheRegionButNotBelowThePage) {
  const RegionLabelCase& c = GetParam();
  PageBitmap page = makePage(300, 200);
  const BubbleDebugRegion region{{50.1, c.minY, 120, 40}, "bubble 0.74:p3", systemPurpleColor};
  drawBubbleDebugRegions(text_, page, {region});

  PageBitmap labelOnly = makePage(300, 200);
  drawDebugLabel(text_, labelOnly, region.label, {50.1, c.labelY}, systemPurpleColor);
  // Compared between the stroke's columns, below its bottom edge (minY - 0.9) and inside
  // the region above it (minY + 0.9), where a label near the page bottom reaches.
  const auto belowStroke = static_cast<std::int64_t>(c.minY - 0.9);
  const auto aboveStroke = static_cast<std::int64_t>(c.minY + 0.9) + 1;
  EXPECT_GT(inkIn(labelOnly, 52, 0, 168, belowStroke), 10);
  EXPECT_EQ(differingIn(page, labelOnly, 52, 0, 168, belowStroke), 0);
  EXPECT_EQ(differingIn(page, labelOnly, 52, aboveStroke, 168, aboveStroke + 30), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Heights, BubbleDebugRegionLabelTest,
    ::testing::Values(RegionLabelCase{"WellAboveTheBottom", 100.1, 87.1},
                      RegionLabelCase{"ExactlyThirteenUp", 13.0, 0.0},
                      RegionLabelCase{"NearTheBottomIsClampedToZero", 5.1, 0.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BubbleDebugRegionsTest, OutlineIsTheRegionColourAtNineTenths) {
  PageBitmap page = makePage(300, 200);
  // Left edge at 50.1: the 1.8 wide stroke covers 49.2..51.0, so column 50 wholly.
  drawBubbleDebugRegions(text_, page, {{{50.1, 100.1, 120, 40}, "patch_text:p1", systemYellowColor},
                                {{150.1, 20.1, 40, 40}, "bubble 0.99:p2", systemPurpleColor}});
  const Rgb8 yellow = page.pixel(50, 120);
  // 0.9 of (0.85, 0.64, 0.0) over white: (0.865, 0.676, 0.1), so 221, 172 and 26 of 255.
  EXPECT_NEAR(yellow.red, 221, 3);
  EXPECT_NEAR(yellow.green, 172, 3);
  EXPECT_NEAR(yellow.blue, 26, 3);
  EXPECT_TRUE(isOfFamily(page.pixel(150, 40), Family::purple));
  EXPECT_EQ(page.pixel(48, 120), kWhite);
  EXPECT_EQ(page.pixel(52, 120), kWhite);
}

TEST_F(BubbleDebugRegionsTest, LaterRegionsAreDrawnOverEarlierOnes) {
  // Two regions share their left edge; the one drawn last colours it.
  const BubbleDebugRegion yellow{{50.1, 100.1, 120, 40}, "patch_text:p1", systemYellowColor};
  const BubbleDebugRegion purple{{50.1, 90.1, 60, 60}, "bubble 0.80:p1", systemPurpleColor};
  PageBitmap purpleLast = makePage(300, 200);
  drawBubbleDebugRegions(text_, purpleLast, {yellow, purple});
  // Purple on top keeps much blue (about 198 of 255); yellow on top leaves little (about 22).
  EXPECT_TRUE(isOfFamily(purpleLast.pixel(50, 120), Family::purple));
  EXPECT_GT(purpleLast.pixel(50, 120).blue, 150);
  PageBitmap yellowLast = makePage(300, 200);
  drawBubbleDebugRegions(text_, yellowLast, {purple, yellow});
  EXPECT_LT(yellowLast.pixel(50, 120).blue, 60);
}

// --- Mask tint --------------------------------------------------------------------------

TextMask maskAt(Rect rect, std::int64_t width, CellSet pixels) {
  return TextMask{.rect = rect, .pixels = pixels, .width = width, .height = 5};
}

TEST(TextMaskOverlayTest, TintsExactlyTheMaskedPixelFromTheTruncatedOrigin) {
  PageBitmap page = makePage(200, 100);
  // Cell 23 of a 10-wide mask: row 2, column 3; origin (100.7, 50.2) truncates to (100, 50).
  drawTextMaskOverlay(page, {maskAt({100.7, 50.2, 10, 5}, 10, {23})});
  const Rgb8 tinted = page.pixel(103, 52);
  // Red at 0.45 over white: red 0.9 x 0.45 + 0.55 = 0.955, green and blue 0.6175.
  EXPECT_NEAR(tinted.red, 244, 2);
  EXPECT_NEAR(tinted.green, 157, 2);
  EXPECT_EQ(tinted.green, tinted.blue);
  page.setPixel(103, 52, kWhite);
  EXPECT_EQ(inkIn(page, 0, 0, 200, 100), 0);
}

TEST(TextMaskOverlayTest, BlendsOverWhatIsThere) {
  PageBitmap page = makePage(20, 20, test_pages::grey(50));
  drawTextMaskOverlay(page, {maskAt({0, 0, 5, 5}, 5, {0})});
  // 0.45 x 0.9 x 255 + 0.55 x 50 = 130.8; 0.45 x 0.15 x 255 + 0.55 x 50 = 44.7.
  EXPECT_NEAR(page.pixel(0, 0).red, 131, 2);
  EXPECT_NEAR(page.pixel(0, 0).green, 45, 2);
  EXPECT_EQ(page.pixel(1, 0), test_pages::grey(50));
}

TEST(TextMaskOverlayTest, NegativeOriginTruncatesTowardZero) {
  PageBitmap page = makePage(20, 20);
  // (-0.7, 10.2) gives origin (0, 10), not (-1, 10): cell 0 is pixel (0, 10), cell 6 (1, 11).
  drawTextMaskOverlay(page, {maskAt({-0.7, 10.2, 5, 5}, 5, {0, 6})});
  EXPECT_NE(page.pixel(0, 10), kWhite);
  EXPECT_NE(page.pixel(1, 11), kWhite);
  EXPECT_EQ(page.pixel(0, 11), kWhite);
  EXPECT_EQ(inkIn(page, 0, 0, 20, 20), 2);
}

TEST(TextMaskOverlayTest, EveryCellOfEveryMaskIsTintedAndCellsOffThePageAreSkipped) {
  PageBitmap page = makePage(30, 30);
  drawTextMaskOverlay(page, {maskAt({2, 2, 3, 3}, 3, {0, 1, 2, 3, 4, 5, 6, 7, 8}),
                             maskAt({27, 27, 5, 5}, 5, {2, 4, 24})});
  EXPECT_EQ(inkIn(page, 2, 2, 5, 5), 9);
  // Of the second mask only cell 2, pixel (29, 27), lies on the page.
  EXPECT_NE(page.pixel(29, 27), kWhite);
  EXPECT_EQ(inkIn(page, 0, 0, 30, 30), 10);
}

TEST(TextMaskOverlayTest, EmptyMasksDrawNothing) {
  PageBitmap page = makePage(20, 20);
  drawTextMaskOverlay(page, {TextMask{.rect = {3.5, 4.5, 6, 6}, .width = 6, .height = 6},
                             TextMask{}});
  drawTextMaskOverlay(page, {});
  EXPECT_EQ(inkIn(page, 0, 0, 20, 20), 0);
}

}  // namespace
}  // namespace letterforge
