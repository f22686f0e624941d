#include "letterforge/cleanup/background_classification.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "letterforge/raster/test_pages.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

using platform::Rgb8;
using namespace test_pages;

constexpr Rgb8 kYellow{255, 255, 0};  // bright (0.886) and fully saturated

// Luminance and saturation come in 8-bit steps. Exact hits of a limit were found by search over
// all sample triples; where the rows use greys they are the nearest levels on either side.
struct PlainCase {
  const char* name;
  std::int64_t side;  // the page and the tested area, side x side
  Rgb8 ring;
  Rgb8 inner;
  std::int64_t innerCount;  // inside pixels painted `inner` in row order, the rest white
  bool plain, strict;
};
class PlainBackgroundTest : public ::testing::TestWithParam<PlainCase> {};

TEST_P(PlainBackgroundTest, MatchesHandWorkedDecision) {
  const PlainCase& c = GetParam();
  platform::PageBitmap page = makePage(c.side, c.side);
  paintRing(page, 0, 0, c.side, c.side, c.ring);
  paintFirstPixels(page, 1, 1, c.side - 2, c.side - 2, c.innerCount, c.inner);
  const Rect area{0, 0, double(c.side), double(c.side)};
  EXPECT_EQ(isPlainBrightBackground(page, area), c.plain);
  EXPECT_EQ(isStrictPlainBackground(page, area), c.strict);
}

// Sides of 30 keep a tinted ring under 18 % of the 900 grid points (116 ring pixels); sides of
// 10 give 100 grid points, so counts are percentages and land exactly on the fraction limits.
INSTANTIATE_TEST_SUITE_P(
    Limits, PlainBackgroundTest,
    ::testing::Values(
        PlainCase{"RingJustUnderPlain", 30, grey(140), kWhite, 0, false, false},     // 0.549
        PlainCase{"RingExactlyPlain", 30, {159, 129, 149}, kWhite, 0, true, false},  // 0.55
        PlainCase{"RingJustOverPlain", 30, grey(141), kWhite, 0, true, false},       // 0.553
        PlainCase{"RingJustUnderStrict", 30, grey(209), kWhite, 0, true, false},     // 0.8196
        PlainCase{"RingExactlyStrict", 30, {221, 205, 199}, kWhite, 0, true, true},  // 0.82
        PlainCase{"RingJustOverStrict", 30, grey(210), kWhite, 0, true, true},       // 0.8235
        PlainCase{"Bright54Percent", 10, kWhite, grey(160), 46, false, false},
        PlainCase{"Bright55Percent", 10, kWhite, grey(160), 45, true, false},
        PlainCase{"Bright56Percent", 10, kWhite, grey(160), 44, true, false},
        PlainCase{"Bright73Percent", 10, kWhite, grey(160), 27, true, false},
        PlainCase{"Bright74Percent", 10, kWhite, grey(160), 26, true, true},
        PlainCase{"Bright75Percent", 10, kWhite, grey(160), 25, true, true},
        PlainCase{"Colourful19Percent", 10, kWhite, kYellow, 19, false, false},
        PlainCase{"Colourful18Percent", 10, kWhite, kYellow, 18, true, false},
        PlainCase{"Colourful17Percent", 10, kWhite, kYellow, 17, true, false},
        PlainCase{"Colourful9Percent", 10, kWhite, kYellow, 9, true, false},
        PlainCase{"Colourful8Percent", 10, kWhite, kYellow, 8, true, true},
        PlainCase{"Colourful7Percent", 10, kWhite, kYellow, 7, true, true},
        PlainCase{"InsideJustUnderBrightPixel", 10, kWhite, grey(183), 64, false, false},
        PlainCase{"InsideExactlyBrightPixel", 10, kWhite, {177, 183, 204}, 64, true, true},
        PlainCase{"InsideJustColourfulPixel", 10, kWhite, {255, 255, 209}, 64, false, false},
        PlainCase{"InsideJustUnsaturatedPixel", 10, kWhite, {255, 255, 210}, 64, true, true},
        PlainCase{"LightGreyEverywhere", 10, grey(178), grey(178), 64, false, false},  // 0.698
        PlainCase{"WhiteFramedInBlack", 10, kBlack, kWhite, 64, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BackgroundClassificationTest, AreasUnderThreePixelsCountAsPlain) {
  const platform::PageBitmap page = makePage(20, 20, kBlack);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const Rect& r : {Rect{5, 5, 2, 10}, Rect{5, 5, 10, 2}, Rect{5, 5, 0.3, 0.3},
                        Rect{-30, 5, 10, 10}, Rect{nan, 0, 5, 5}}) {
    EXPECT_TRUE(isPlainBrightBackground(page, r));
    EXPECT_TRUE(isStrictPlainBackground(page, r));
  }
  EXPECT_FALSE(isPlainBrightBackground(page, {5, 5, 3, 3}));
}

TEST(BackgroundClassificationTest, AreaReachingOffThePageIsJudgedOnItsPart) {
  platform::PageBitmap page = makePage(20, 20);
  EXPECT_TRUE(isStrictPlainBackground(page, {10, 10, 50, 50}));
  paintRing(page, 10, 10, 10, 10, kBlack);  // the ring of the part that is on the page
  EXPECT_FALSE(isPlainBrightBackground(page, {10, 10, 50, 50}));
}

// The area (8, 8, 4, 4) grows by the minimum pad of 8 to the whole 20 x 20 page: a ring of 76
// pixels and 400 grid points, so 136, 120 and 64 points are exactly 34 %, 30 % and 16 %.
struct SurroundCase {
  const char* name;
  Rgb8 ring;
  Rgb8 inner;
  std::int64_t innerCount;
  bool expected;
};
class BubbleSurroundTest : public ::testing::TestWithParam<SurroundCase> {};

TEST_P(BubbleSurroundTest, MatchesHandWorkedDecision) {
  const SurroundCase& c = GetParam();
  platform::PageBitmap page = makePage(20, 20);
  paintRing(page, 0, 0, 20, 20, c.ring);
  paintFirstPixels(page, 1, 1, 18, 18, c.innerCount, c.inner);
  EXPECT_EQ(isBubbleSurround(page, {8, 8, 4, 4}, {}), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, BubbleSurroundTest,
    ::testing::Values(
        SurroundCase{"RingJustUnder", grey(142), kWhite, 0, false},           // 0.5569
        SurroundCase{"RingExactly", {160, 134, 143}, kWhite, 0, true},        // 0.56, sat 0.16
        SurroundCase{"RingJustOver", grey(143), kWhite, 0, true},             // 0.5608
        SurroundCase{"BrightUnder34Percent", kWhite, grey(128), 265, false},  // 135 bright
        SurroundCase{"BrightAt34Percent", kWhite, grey(128), 264, true},
        SurroundCase{"BrightOver34Percent", kWhite, grey(128), 263, true},
        SurroundCase{"DarkOver30Percent", kWhite, kBlack, 121, false},
        SurroundCase{"DarkAt30Percent", kWhite, kBlack, 120, true},
        SurroundCase{"DarkUnder30Percent", kWhite, kBlack, 119, true},
        SurroundCase{"DarkPixelJustUnderLimit", kWhite, grey(86), 121, false},  // 0.3373
        SurroundCase{"GreyJustOverDarkPixel", kWhite, grey(87), 121, true},     // 0.3412
        SurroundCase{"ColourfulOver16Percent", kWhite, kYellow, 65, false},
        SurroundCase{"ColourfulAt16Percent", kWhite, kYellow, 64, true},
        SurroundCase{"ColourfulUnder16Percent", kWhite, kYellow, 63, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct PadCase {
  const char* name;
  double side;
  std::int64_t pad;
};
class SurroundPadTest : public ::testing::TestWithParam<PadCase> {};

// A black frame on the grown range's ring fails the ring median; one pixel further in it is
// only a few dark grid points.
TEST_P(SurroundPadTest, RingLiesAtThePad) {
  const PadCase& c = GetParam();
  const std::int64_t p = c.pad, s = std::int64_t(c.side);
  const Rect area{100, 100, c.side, c.side};
  platform::PageBitmap onRing = makePage(300, 300);
  paintRing(onRing, 100 - p, 100 - p, s + 2 * p, s + 2 * p, kBlack);
  EXPECT_FALSE(isBubbleSurround(onRing, area, {}));
  platform::PageBitmap inside = makePage(300, 300);
  paintRing(inside, 101 - p, 101 - p, s + 2 * p - 2, s + 2 * p - 2, kBlack);
  EXPECT_TRUE(isBubbleSurround(inside, area, {}));
}

INSTANTIATE_TEST_SUITE_P(Pads, SurroundPadTest,
                         ::testing::Values(PadCase{"RaisedToEight", 10, 8},
                                           PadCase{"ShorterSideTimes045", 20, 9},
                                           PadCase{"CappedAt24", 60, 24}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BackgroundClassificationTest, SurroundCutUnderFourPixelsByThePageIsRefused) {
  EXPECT_FALSE(isBubbleSurround(makePage(3, 30), {0, 10, 10, 10}, {}));
  EXPECT_TRUE(isBubbleSurround(makePage(4, 30), {0, 10, 10, 10}, {}));
  EXPECT_FALSE(isBubbleSurround(makePage(30, 30), {-50, -50, 10, 10}, {}));
}

TEST(BackgroundClassificationTest, SurroundLeavesExcludedTextAreasOut) {
  platform::PageBitmap page = makePage(60, 60);
  // Red lettering filling its text area: 400 of the 1444 points of the surround grown by 9.
  paintRect(page, 20, 20, 20, 20, kRed);
  const Rect text{20, 20, 20, 20};
  EXPECT_FALSE(isBubbleSurround(page, text, {}));
  EXPECT_TRUE(isBubbleSurround(page, text, {.rects = {text}}));
}

// The area (20, 20, 20, 20) has probe margin 7: probes at x 13, 47, 30 and y 13, 47.
struct ProbeColourCase {
  const char* name;
  Rgb8 color;
  bool expected;
};
class SurroundProbeColourTest : public ::testing::TestWithParam<ProbeColourCase> {};

TEST_P(SurroundProbeColourTest, AllSixProbesOfOneColour) {
  platform::PageBitmap page = makePage(60, 60, kBlack);
  for (int x : {13, 47, 30}) {
    for (int y : {13, 47}) page.setPixel(x, y, GetParam().color);
  }
  EXPECT_EQ(surroundProbe(page, {20, 20, 20, 20}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, SurroundProbeColourTest,
    ::testing::Values(ProbeColourCase{"LuminanceJustUnder", grey(193), false},         // 0.7569
                      ProbeColourCase{"LuminanceExactly", {181, 203, 180}, true},      // 0.76
                      ProbeColourCase{"LuminanceJustOver", grey(194), true},           // 0.7608
                      ProbeColourCase{"SaturationJustUnder", {255, 255, 220}, true},   // 0.1373
                      ProbeColourCase{"SaturationJustOver", {255, 255, 219}, false}),  // 0.1412
    [](const auto& info) { return std::string(info.param.name); });

struct ProbeCountCase {
  const char* name;
  Rect area;
  std::vector<std::pair<int, int>> white;  // probe pixels painted white on a black page
  bool expected;
};
class SurroundProbeCountTest : public ::testing::TestWithParam<ProbeCountCase> {};

TEST_P(SurroundProbeCountTest, NeedsAMajorityOfTheProbesOnThePage) {
  platform::PageBitmap page = makePage(60, 60, kBlack);
  for (const auto& [x, y] : GetParam().white) page.setPixel(x, y, kWhite);
  EXPECT_EQ(surroundProbe(page, GetParam().area), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Majority, SurroundProbeCountTest,
    ::testing::Values(
        ProbeCountCase{"TwoOfSix", {20, 20, 20, 20}, {{13, 13}, {47, 47}}, false},
        ProbeCountCase{"ThreeOfSix", {20, 20, 20, 20}, {{13, 13}, {47, 47}, {30, 13}}, true},
        // Left column off the page: probes (27, 13), (27, 47), (10, 13), (10, 47).
        ProbeCountCase{"OneOfFour", {0, 20, 20, 20}, {{27, 13}}, false},
        ProbeCountCase{"TwoOfFour", {0, 20, 20, 20}, {{27, 13}, {10, 47}}, true},
        // Bottom row off the page: probes (13, 27), (47, 27), (30, 27).
        ProbeCountCase{"OneOfThree", {20, 0, 20, 20}, {{30, 27}}, false},
        ProbeCountCase{"TwoOfThree", {20, 0, 20, 20}, {{13, 27}, {47, 27}}, true},
        // At the page corner only (27, 27) and (10, 27) remain.
        ProbeCountCase{"TwoOfTwoAtCorner", {0, 0, 20, 20}, {{27, 27}, {10, 27}}, false},
        // midX 30.5 rounds away from zero to 31.
        ProbeCountCase{"HalfRoundsUp", {20, 20, 21, 20}, {{13, 13}, {31, 13}, {31, 47}}, true},
        // minX - margin = -0.5 rounds to -1, off the page: four probes, one bright.
        ProbeCountCase{
            "MinusHalfIsOffThePage", {6.5, 20, 20, 20}, {{0, 13}, {0, 47}, {34, 13}}, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct MarginCase {
  const char* name;
  double side;
  int margin;
};
class SurroundProbeMarginTest : public ::testing::TestWithParam<MarginCase> {};

TEST_P(SurroundProbeMarginTest, ProbesSitAtTheMargin) {
  const MarginCase& c = GetParam();
  platform::PageBitmap page = makePage(150, 150, kBlack);
  const int lo = 50 - c.margin, hi = 50 + int(c.side) + c.margin, mid = 50 + int(c.side) / 2;
  for (int x : {lo, hi, mid}) {
    for (int y : {lo, hi}) page.setPixel(x, y, kWhite);
  }
  EXPECT_TRUE(surroundProbe(page, {50, 50, c.side, c.side}));
}

INSTANTIATE_TEST_SUITE_P(Margins, SurroundProbeMarginTest,
                         ::testing::Values(MarginCase{"RaisedToFour", 10, 4},
                                           MarginCase{"ShorterSideTimes035", 20, 7},
                                           MarginCase{"CappedAtTwelve", 40, 12}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace letterforge
