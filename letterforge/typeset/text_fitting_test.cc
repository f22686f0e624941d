#include "letterforge/typeset/text_fitting.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "letterforge/inputs/text_rules.h"
#include "letterforge/raster/test_pages.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

// ---- Tables ----

struct ConfigCase {
  const char* name;
  TypesettingMode mode;
  TextFitConfig expected;
};
class FitConfigForModeTest : public ::testing::TestWithParam<ConfigCase> {};

TEST_P(FitConfigForModeTest, PicksTheRowOfTheWord) {
  EXPECT_EQ(fitConfigForMode(GetParam().mode), GetParam().expected);
}

const TextFitConfig kReadable{1.0, 0.16, 0.12, 4.0, 3.0, true};
const TextFitConfig kStrict{0.72, 0.12, 0.1, 3.0, 2.0, true};
const TextFitConfig kBalanced{1.0, 0.14, 0.11, 4.0, 3.0, true};

INSTANTIATE_TEST_SUITE_P(Modes, FitConfigForModeTest, ::testing::Values(
    ConfigCase{"Readable", TypesettingMode::kReadable, kReadable},
    ConfigCase{"Strict", TypesettingMode::kStrict, kStrict},
    ConfigCase{"Balanced", TypesettingMode::kBalanced, kBalanced}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextFitConfigTest, BubbleRow) {
  EXPECT_EQ(bubbleFitConfig(), (TextFitConfig{0.5, 0.07, 0.06, 1.5, 1.0, true}));
}

struct RequiredCase {
  const char* name;
  TextFitConfig config;
  double size, textHeight, expected;
};
class RequiredHeightTest : public ::testing::TestWithParam<RequiredCase> {};

TEST_P(RequiredHeightTest, RoundsUpMarginsPlusText) {
  const RequiredCase& c = GetParam();
  EXPECT_EQ(requiredHeight(c.config, c.size, c.textHeight), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Margins, RequiredHeightTest, ::testing::Values(
    // 3 + 4 + 50: both margins at their minimum.
    RequiredCase{"BalancedMinimums", kBalanced, 20, 50, 57},
    // 4.4 + 5.6 + 50.3 = 60.3, rounded up.
    RequiredCase{"BalancedFactors", kBalanced, 40, 50.3, 61},
    // 1.0 + 1.5 + 12 = 14.5.
    RequiredCase{"BubbleMinimums", bubbleFitConfig(), 10, 12, 15},
    // 3 + 4 + 13 is already whole.
    RequiredCase{"WholeStaysWhole", kReadable, 25, 13, 20}),
    [](const auto& info) { return std::string(info.param.name); });

struct ScriptCase {
  const char* name;
  const char* text;
  bool expected;
};
class ContainsAsianScriptTest : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(ContainsAsianScriptTest, ChecksTheRanges) {
  EXPECT_EQ(containsAsianScript(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Ranges, ContainsAsianScriptTest, ::testing::Values(
    ScriptCase{"Empty", "", false},
    ScriptCase{"Latin", "Hello, été", false},
    ScriptCase{"BelowHiragana", "\u303F", false},
    ScriptCase{"FirstHiragana", "a\u3040", true},
    ScriptCase{"Katakana", "カタ", true},
    ScriptCase{"LastKatakanaBlock", "\u30FF", true},
    ScriptCase{"Bopomofo", "\u3105", false},
    ScriptCase{"ExtensionAStart", "\u3400", true},
    ScriptCase{"LastIdeograph", "\u9FFF", true},
    ScriptCase{"YiAfterIdeographs", "\uA000", false},
    ScriptCase{"Thai", "ok \u0E01", true},
    ScriptCase{"AfterThai", "\u0E80", false},
    ScriptCase{"HangulSyllable", "\uAC00", true},
    ScriptCase{"LastHangulSyllable", "\uD7AF", true},
    ScriptCase{"HangulCompatibilityJamo", "\u3131", false},
    ScriptCase{"Emoji", "\U0001F600", false},
    ScriptCase{"Arabic", "مرحبا", false}),
    [](const auto& info) { return std::string(info.param.name); });

struct LinesCase {
  const char* name;
  const char* text;
  LineAnalysis expected;
};
class AnalyseLinesTest : public ::testing::TestWithParam<LinesCase> {};

TEST_P(AnalyseLinesTest, CountsLinesWithContent) {
  EXPECT_EQ(analyseLines(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, AnalyseLinesTest, ::testing::Values(
    LinesCase{"BlankLinesSkipped", "a\n\n   \nbb", {2, 2}},
    LinesCase{"OnlySpaces", "   ", {1, 3}},
    LinesCase{"Empty", "", {1, 0}},
    LinesCase{"OneLine", "Hello", {1, 5}},
    LinesCase{"CarriageReturnLineFeed", "one\r\nthree", {2, 5}},
    LinesCase{"LineSeparator", "abc\u2028de", {2, 3}},
    LinesCase{"NextLine", "x\u0085yz", {2, 2}},
    LinesCase{"VerticalTabAndFormFeed", "ab\vc\fdef", {3, 3}},
    LinesCase{"KeptLinesStayUntrimmed", "  padded  \nx", {2, 10}},
    LinesCase{"IdeographicSpaceIsBlank", "\t\u3000\n", {1, 3}},
    LinesCase{"CombiningMarksAreOneCharacter", "e\u0301e\u0301", {1, 2}},
    LinesCase{"EmojiSequenceIsOneCharacter", "\U0001F468\u200D\U0001F469\u200D\U0001F467 hi", {1, 4}}),
    [](const auto& info) { return std::string(info.param.name); });

struct WidthCase {
  const char* name;
  const char* text;
  std::int64_t lineCount;
  bool bubble, shortGroup;
  double expected;
};
class CharWidthFactorTest : public ::testing::TestWithParam<WidthCase> {};

TEST_P(CharWidthFactorTest, MatchesTable) {
  const WidthCase& c = GetParam();
  EXPECT_EQ(charWidthFactor(c.text, c.lineCount, c.bubble, c.shortGroup), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, CharWidthFactorTest, ::testing::Values(
    WidthCase{"NotBubble", "かな", 1, false, true, 0.82},
    WidthCase{"LatinBubble", "word", 1, true, true, 0.82},
    WidthCase{"AsianThreeLines", "かな", 3, true, false, 0.78},
    WidthCase{"AsianFourLines", "かな", 4, true, false, 0.82},
    WidthCase{"ShortGroupThreeLines", "かな", 3, true, true, 0.36},
    WidthCase{"ShortGroupFourLines", "かな", 4, true, true, 0.62},
    WidthCase{"ShortGroupFiveLines", "かな", 5, true, true, 0.62},
    WidthCase{"ShortGroupSixLines", "かな", 6, true, true, 0.78}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Size arithmetic ----

TypesetOptions defaults() { return TypesetOptions{}; }

TEST(SizeRangeTest, ShortKanaGroupInABubble) {
  const SizeRange range = sizeRange(defaults(), "あいう\nえお", true, true, {0, 0, 200, 100});
  EXPECT_DOUBLE_EQ(range.floorSize, 18.9);
  EXPECT_DOUBLE_EQ(range.minimumSize, 15.48);
  // k = 0.36 over 3 characters: 200 / 1.08 = 185.2; height: 100 / 2.24 = 44.64.
  EXPECT_NEAR(range.estimate, 44.642857, 1e-6);
  EXPECT_EQ(range.startSize, 38.0);
  // With a narrow bubble the width term wins: 20 / 1.08 = 18.52.
  EXPECT_NEAR(sizeRange(defaults(), "あいう\nえお", true, true, {0, 0, 20, 100}).startSize,
              18.9, 1e-12);
  EXPECT_NEAR(sizeRange(defaults(), "あいう\nえお", true, true, {0, 0, 25, 100}).startSize,
              23.148148, 1e-6);
}

TEST(SizeRangeTest, OrdinaryTextFromTheRectangleHeight) {
  const SizeRange tall = sizeRange(defaults(), "text", false, false, {0, 0, 300, 100});
  EXPECT_EQ(tall.estimate, 38.0);
  EXPECT_EQ(tall.startSize, 38.0);
  const SizeRange low = sizeRange(defaults(), "text", false, false, {0, 0, 300, 30});
  EXPECT_NEAR(low.estimate, 12.6, 1e-12);
  EXPECT_EQ(low.startSize, 18.0);  // the floor wins
  EXPECT_EQ(low.floorSize, 18.0);
}

TEST(SizeRangeTest, ScaleIsAppliedBeforeFloorAndMaximum) {
  TypesetOptions options = defaults();
  options.fontScale = 2.0;
  EXPECT_NEAR(sizeRange(options, "text", false, false, {0, 0, 300, 30}).startSize, 25.2, 1e-12);
  EXPECT_EQ(sizeRange(options, "text", false, false, {0, 0, 300, 60}).startSize, 38.0);
  options.fontScale = 0.5;
  EXPECT_EQ(sizeRange(options, "text", false, false, {0, 0, 300, 100}).startSize, 19.0);
}

struct MinimumCase {
  const char* name;
  TypesettingMode mode;
  double base;
  bool bubble, shortGroup;
  double floorSize, minimumSize;
};
class MinimumSizeTest : public ::testing::TestWithParam<MinimumCase> {};

TEST_P(MinimumSizeTest, MatchesHandWorkedValue) {
  const MinimumCase& c = GetParam();
  TypesetOptions options = defaults();
  options.typesettingMode = c.mode;
  options.baseFontSize = c.base;
  const SizeRange range = sizeRange(options, "text", c.bubble, c.shortGroup, {0, 0, 100, 100});
  EXPECT_NEAR(range.floorSize, c.floorSize, 1e-12);
  EXPECT_NEAR(range.minimumSize, c.minimumSize, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Table, MinimumSizeTest, ::testing::Values(
    MinimumCase{"ReadableNeverBelowBase", TypesettingMode::kReadable, 18, false, false, 18, 18},
    MinimumCase{"BalancedNeverBelowBase", TypesettingMode::kBalanced, 18, false, false, 18, 18},
    MinimumCase{"StrictAllowsLess", TypesettingMode::kStrict, 18, false, false, 18, 12.96},
    MinimumCase{"StrictSmallBaseHitsFloor", TypesettingMode::kStrict, 10, false, false, 10, 8.0},
    MinimumCase{"Bubble", TypesettingMode::kReadable, 18, true, false, 16.2, 10.5},
    MinimumCase{"BubbleLargeBase", TypesettingMode::kReadable, 30, true, false, 27, 15},
    MinimumCase{"BubbleSmallBase", TypesettingMode::kBalanced, 10, true, false, 12.5, 10.5},
    MinimumCase{"ShortGroupSmallBase", TypesettingMode::kStrict, 10, true, true, 15, 12}),
    [](const auto& info) { return std::string(info.param.name); });

// A measurement that records what it was asked and answers from a rule.
struct FakeMeasure {
  std::vector<double> sizes{};
  std::vector<bool> compact{};
  std::function<double(double size, bool compact)> height{};
  MeasureHeight callable() {
    return [this](const TextAttributes& attributes) {
      sizes.push_back(attributes.size);
      compact.push_back(attributes.lineSpacing == 0.0);
      return height(attributes.size, attributes.lineSpacing == 0.0);
    };
  }
};

TEST(FitTextSizeTest, StartAboveMaximumMeasuresOnceAndKeepsIt) {
  TypesetOptions options = defaults();
  options.baseFontSize = 40;
  options.typesettingMode = TypesettingMode::kReadable;
  FakeMeasure fake{.height = [](double, bool) { return 1000.0; }};
  const FitResult fit = fitTextSize(options, "text", false, false, {0, 0, 300, 200}, fake.callable());
  EXPECT_EQ(fake.sizes, (std::vector<double>{38.0}));
  EXPECT_EQ(fit.size, 38.0);
  EXPECT_FALSE(fit.compact);
  EXPECT_EQ(fit.layoutCount, 1);
  EXPECT_EQ(fit.required, 1011.0);  // 4.56 + 6.08 + 1000, rounded up
}

TEST(FitTextSizeTest, FractionalStartStepsByWholePointsAndCompactRestartsAtTheTop) {
  TypesetOptions options = defaults();
  options.baseFontSize = 10;  // minimum 10
  options.maxFontSize = 16.4;
  FakeMeasure fake{.height = [](double, bool) { return 1000.0; }};
  const FitResult fit = fitTextSize(options, "text", false, false, {0, 0, 300, 200}, fake.callable());
  const std::vector<double> pass{16.4, 15.4, 14.4, 13.4, 12.4, 11.4, 10.4};
  ASSERT_EQ(fake.sizes.size(), 14u);
  for (std::size_t i = 0; i < pass.size(); ++i) {
    EXPECT_NEAR(fake.sizes[i], pass[i], 1e-12) << i;
    EXPECT_FALSE(fake.compact[i]) << i;
    EXPECT_NEAR(fake.sizes[i + 7], pass[i], 1e-12) << i;
    EXPECT_TRUE(fake.compact[i + 7]) << i;
  }
  // Nothing fitted: the smallest size tried, in compact spacing.
  EXPECT_NEAR(fit.size, 10.4, 1e-12);
  EXPECT_TRUE(fit.compact);
  EXPECT_EQ(fit.layoutCount, 14);
}

TEST(FitTextSizeTest, CompactPassFitsWhereNormalSpacingDidNot) {
  // Rectangle 50 high: start min(38, 21) = 21, minimum 18. Normal spacing needs
  // 3 + 4 + 3s (70, 67, 64, 61); compact needs 3 + 4 + 2s, 49 at 21.
  FakeMeasure fake{.height = [](double size, bool compact) { return (compact ? 2 : 3) * size; }};
  const FitResult fit = fitTextSize(defaults(), "text", false, false, {0, 0, 300, 50}, fake.callable());
  EXPECT_EQ(fake.sizes, (std::vector<double>{21, 20, 19, 18, 21}));
  EXPECT_EQ(fit.size, 21.0);
  EXPECT_TRUE(fit.compact);
  EXPECT_EQ(fit.required, 49.0);
  EXPECT_EQ(fit.layoutCount, 5);
}

TEST(FitTextSizeTest, StopsAtTheFirstSizeThatFitsExactly) {
  // Start 38 in a rectangle 100 high. At 38: 4.18 + 5.32 + 91.2 = 100.7, rounded up to 101,
  // too tall; at 37: 4.07 + 5.18 + 88.8 = 98.05, rounded up to 99, fits.
  FakeMeasure fake{.height = [](double size, bool) { return 2.4 * size; }};
  const FitResult fit = fitTextSize(defaults(), "text", false, false, {0, 0, 300, 100}, fake.callable());
  EXPECT_EQ(fake.sizes, (std::vector<double>{38, 37}));
  EXPECT_EQ(fit.size, 37.0);
  EXPECT_FALSE(fit.compact);
  EXPECT_EQ(fit.required, 99.0);
}

TEST(FitTextSizeTest, UnusableSizesMeasureNothing) {
  TypesetOptions options = defaults();
  options.baseFontSize = std::numeric_limits<double>::infinity();
  options.maxFontSize = options.baseFontSize;
  FakeMeasure fake{.height = [](double, bool) { return 10.0; }};
  EXPECT_EQ(fitTextSize(options, "text", false, false, {0, 0, 300, 100}, fake.callable()).layoutCount, 0);
  EXPECT_TRUE(fake.sizes.empty());
}

TEST(FitTextSizeTest, InfiniteBaseSizeMeasuresTheStartOnceLikeAHugeOne) {
  // The maximum stays 38 when it is not given: the minimum is above the start.
  for (const double base : {std::numeric_limits<double>::infinity(), 1e300}) {
    TypesetOptions options = defaults();
    options.baseFontSize = base;
    FakeMeasure fake{.height = [](double, bool) { return 500.0; }};
    const FitResult fit =
        fitTextSize(options, "text", false, false, {0, 0, 300, 100}, fake.callable());
    EXPECT_EQ(fake.sizes, (std::vector<double>{38.0})) << base;
    EXPECT_EQ(fit.size, 38.0) << base;
    EXPECT_EQ(fit.layoutCount, 1) << base;
  }
}

TEST(PlaceTextRectTest, CentresAndRaisesByAQuarterOfTheOffset) {
  // Slack 60, offset min(30, 3) = 3: y = 70 − 20 + 0.75.
  EXPECT_EQ(placeTextRect({10, 20, 200, 100}, 40, 3), (Rect{10, 50.75, 200, 40}));
  // Slack 2, offset 1: y = 70 − 49 + 0.25.
  EXPECT_EQ(placeTextRect({10, 20, 200, 100}, 98, 3), (Rect{10, 21.25, 200, 98}));
  // Too tall: the whole rectangle.
  EXPECT_EQ(placeTextRect({10, 20, 200, 100}, 150, 3), (Rect{10, 20, 200, 100}));
}

// ---- Drawing with the text engine ----

platform::PageBitmap grayPage(std::int64_t w, std::int64_t h) {
  auto page = platform::PageBitmap::create(w, h);
  EXPECT_TRUE(page.has_value());
  page->fillRect({0, 0, double(w), double(h)}, {0.5, 0.5, 0.5, 1.0});
  return std::move(*page);
}

const platform::Rgb8 kGray8{128, 128, 128};

std::int64_t countPixels(const platform::PageBitmap& page, const Rect& within, bool inside,
                         const std::function<bool(platform::Rgb8)>& test) {
  std::int64_t count = 0;
  for (std::int64_t y = 0; y < page.height(); ++y) {
    for (std::int64_t x = 0; x < page.width(); ++x) {
      const bool in = x >= within.x && x + 1 <= within.x + within.width && y >= within.y &&
                      y + 1 <= within.y + within.height;
      if (in == inside && test(page.pixel(x, y))) ++count;
    }
  }
  return count;
}

bool changed(platform::Rgb8 p) { return p != kGray8; }

class DrawFittedTextTest : public ::testing::Test {
 protected:
  platform::TextContext text_;
};
bool dark(platform::Rgb8 p) { return p.red < 40 && p.green < 40 && p.blue < 40; }
bool reddish(platform::Rgb8 p) { return p.red > 200 && p.green < 80 && p.blue < 80; }

TEST_F(DrawFittedTextTest, ThinRectanglesDrawNothing) {
  platform::PageBitmap page = grayPage(60, 60);
  drawFittedText(text_, page, defaults(), "", "text", false, false, {10, 10, 40, 1.0});
  drawFittedText(text_, page, defaults(), "", "text", true, false, {10, 10, 1.0, 40});
  EXPECT_EQ(countPixels(page, {0, 0, 60, 60}, true, changed), 0);
}

TEST_F(DrawFittedTextTest, OverflowIsClippedToTheRectangle) {
  platform::PageBitmap page = grayPage(200, 200);
  const Rect rect{60, 70, 50, 30};
  const std::string text(400, 'W');
  drawFittedText(text_, page, defaults(), "", text + " and many more words to overflow", false, false,
                 rect);
  EXPECT_GT(countPixels(page, rect, true, changed), 100);
  EXPECT_EQ(countPixels(page, rect, false, changed), 0);
}

TEST_F(DrawFittedTextTest, PositiveStrokeDrawsTheOutlineColourAroundTheGlyphs) {
  TypesetOptions options = defaults();
  options.strokeColor = {1, 0, 0, 1};
  const Rect rect{10, 10, 280, 100};
  platform::PageBitmap outlined = grayPage(300, 120);
  drawFittedText(text_, outlined, options, "", "Outline", false, false, rect);
  EXPECT_GT(countPixels(outlined, rect, true, reddish), 50);
  EXPECT_GT(countPixels(outlined, rect, true, dark), 50);  // the fill lies on top

  options.strokeWidth = 0.0;
  platform::PageBitmap plain = grayPage(300, 120);
  drawFittedText(text_, plain, options, "", "Outline", false, false, rect);
  EXPECT_EQ(countPixels(plain, rect, true, reddish), 0);
  EXPECT_GT(countPixels(plain, rect, true, dark), 50);
}

TEST_F(DrawFittedTextTest, FittingTextLandsInsideTheRectangleAboveItsBottom) {
  TypesetOptions options = defaults();
  options.strokeWidth = 0.0;
  platform::PageBitmap page = grayPage(300, 300);
  const Rect rect{20, 30, 260, 240};
  drawFittedText(text_, page, options, "", "Short line", true, false, rect);
  std::int64_t lowest = 300;
  std::int64_t highest = -1;
  for (std::int64_t y = 0; y < 300; ++y) {
    for (std::int64_t x = 0; x < 300; ++x) {
      if (!changed(page.pixel(x, y))) continue;
      lowest = std::min(lowest, y);
      highest = std::max(highest, y);
    }
  }
  ASSERT_GE(highest, 0);
  // Room to spare: the block sits near the middle, clear of both edges.
  EXPECT_GT(lowest, rect.y + 40);
  EXPECT_LT(highest, rect.y + rect.height - 40);
  EXPECT_NEAR((lowest + highest) / 2.0, rect.y + rect.height / 2.0, 30);
}

TEST_F(DrawFittedTextTest, MeasuredHeightHoldsTheDrawnInk) {
  TypesetOptions options = defaults();
  options.strokeWidth = 0.0;
  const std::string text = "Every gadget, quickly jumping: yes!";
  const Rect rect{0, 0, 150, 200};
  const FitResult fit =
      fitTextSize(options, text, false, false, rect, textEngineMeasure(text_, text, 150));
  const TextAttributes attributes =
      makeTextAttributes(options.lineSpacing, fit.compact, false, fit.size, FontWeight::bold);
  const double measured = textEngineMeasure(text_, text, 150)(attributes);
  const Rect placed = placeTextRect(rect, fit.required, bottomSafety(kBalanced, fit.size));
  platform::PageBitmap page = grayPage(150, 200);
  drawFittedText(text_, page, options, "", text, false, false, rect);
  const double top = placed.y + placed.height;
  EXPECT_EQ(countPixels(page, {0, top - measured - 1, 150, measured + 1}, false, changed), 0);
  // And the ink reaches into the last line: within a third of the size of the measured bottom.
  EXPECT_GT(countPixels(page, {0, top - measured, 150, fit.size / 3}, true, changed), 0);
}

struct GrowCase {
  const char* name;
  const char* text;
  bool bubble;
  double width, height;
};
class FitSizeGrowthTest : public ::testing::TestWithParam<GrowCase> {
 protected:
  platform::TextContext text_;
};

TEST_P(FitSizeGrowthTest, TwiceTheRectangleNeverGetsASmallerSize) {
  const GrowCase& c = GetParam();
  const Rect small{0, 0, c.width, c.height};
  const Rect large{0, 0, 2 * c.width, 2 * c.height};
  const FitResult a =
      fitTextSize(defaults(), c.text, c.bubble, false, small, textEngineMeasure(text_, c.text, c.width));
  const FitResult b = fitTextSize(defaults(), c.text, c.bubble, false, large,
                                  textEngineMeasure(text_, c.text, 2 * c.width));
  EXPECT_GE(b.size, a.size);
}

INSTANTIATE_TEST_SUITE_P(Rectangles, FitSizeGrowthTest, ::testing::Values(
    GrowCase{"ShortOrdinary", "Hi!", false, 60, 30},
    GrowCase{"LongOrdinary", "Where did everyone go after the storm last night?", false, 120, 60},
    GrowCase{"LongBubble", "Where did everyone go after the storm last night?", true, 100, 80},
    GrowCase{"TinyBubble", "No way!", true, 30, 20},
    GrowCase{"JapaneseBubble", "どこに行ったの？\nまさか…", true, 80, 120},
    GrowCase{"SquareBubble", "We have to leave right now, before they find us", true, 150, 150}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Measuring up to the rectangle ----

struct BoundedCase {
  const char* name;
  std::string text;
  bool bubble;
  double width, height;
};
class BoundedMeasureTest : public ::testing::TestWithParam<BoundedCase> {
 protected:
  platform::TextContext text_;
};

// Measured up to the rectangle's height, with the compact pass reusing the spaced layouts,
// the fit is the one that whole layouts of every size give.
TEST_P(BoundedMeasureTest, FitIsTheOneWholeLayoutsGive) {
  const BoundedCase& c = GetParam();
  const Rect rect{0, 0, c.width, c.height};
  const FitResult whole =
      fitTextSize(defaults(), c.text, c.bubble, false, rect, textEngineMeasure(text_, c.text, c.width));
  const FitResult bounded = fitTextSize(defaults(), c.text, c.bubble, false, rect,
                                        textEngineMeasureUpTo(text_, c.text, c.width, c.height));
  EXPECT_EQ(bounded.size, whole.size);
  EXPECT_EQ(bounded.compact, whole.compact);
  EXPECT_EQ(bounded.layoutCount, whole.layoutCount);
  if (whole.required <= c.height) {
    EXPECT_EQ(bounded.required, whole.required);
  } else {
    EXPECT_GT(bounded.required, c.height);  // placed alike: the whole rectangle
  }
}

std::string words(std::size_t bytes) {
  std::string text;
  while (text.size() < bytes) text += "quiet harbour before morning ";
  return text;
}

INSTANTIATE_TEST_SUITE_P(Texts, BoundedMeasureTest, ::testing::Values(
    BoundedCase{"FitsFirst", "Hi!", false, 200, 100},
    BoundedCase{"FitsAfterSteppingDown", "Where did everyone go?", false, 300, 100},  // at 35
    BoundedCase{"FitsOnlyCompact", "One\nTwo\nThree\nFour", false, 200, 96},  // at 18
    BoundedCase{"NeverFits", "Where did everyone go after the storm last night?", false, 40, 30},
    BoundedCase{"LongTextFits", words(1500), false, 600, 900},
    BoundedCase{"LongTextNeverFits", words(3000), true, 200, 120},
    BoundedCase{"LongWordNeverFits", std::string(400, 'W'), false, 150, 100}),
    [](const auto& info) { return std::string(info.param.name); });

struct FixedSizeCase {
  const char* name;
  double size;
  bool drawn, overflowed;
};
class FixedSizeTest : public ::testing::TestWithParam<std::tuple<FixedSizeCase, bool>> {
 protected:
  platform::TextContext text_;
};

// A fixed size is drawn as given, cut at the rectangle, up to the largest size text is drawn
// at; the page takes later drawings either way.
TEST_P(FixedSizeTest, DrawsAtTheSizeOrNothingAboveTheLargest) {
  const auto& [c, balloon] = GetParam();
  TypesetOptions options = defaults();
  options.fixedSize = c.size;
  const Rect rect{20, 20, 160, 60};
  platform::PageBitmap page = grayPage(200, 140);
  const TypesetOutcome outcome =
      balloon ? drawBalloonText(text_, page, options, "", "Fixed size", rect)
              : drawFittedText(text_, page, options, "", "Fixed size", true, false, rect);
  EXPECT_EQ(outcome.drawn, c.drawn);
  EXPECT_EQ(outcome.overflowed, c.overflowed);
  if (c.drawn) {
    EXPECT_EQ(outcome.size, c.size);
  }
  EXPECT_EQ(countPixels(page, rect, false, changed), 0);
  page.fillRect({0, 100, 200, 40}, {1, 0, 0, 1});
  EXPECT_EQ(countPixels(page, {0, 100, 200, 40}, true, reddish), 200 * 40);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FixedSizeTest, ::testing::Combine(::testing::Values(
    FixedSizeCase{"Fits", 12.0, true, false},
    FixedSizeCase{"TooLargeForTheRectangle", 200.0, true, true},
    FixedSizeCase{"LargestDrawn", platform::kLargestTextSize, true, true},
    FixedSizeCase{"AboveTheLargestDrawn", platform::kLargestTextSize + 1.0, false, false}),
    ::testing::Bool()),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "InABalloon" : "");
    });

struct HostileCase {
  const char* name;
  std::string text;
};
class HostileTextTest : public ::testing::TestWithParam<HostileCase> {
 protected:
  platform::TextContext text_;
};

// Texts whose every whole layout takes seconds to minutes: nothing fits, so the smallest
// size is drawn compact and cut to the rectangle.
TEST_P(HostileTextTest, NothingFitsAndTheOverflowIsCut) {
  const std::string& text = GetParam().text;
  const Rect rect{40, 40, 300, 150};
  const std::string shown = withMarkStacksCut(text);
  const FitResult fit = fitTextSize(defaults(), shown, false, false, rect,
                                    textEngineMeasureUpTo(text_, shown, rect.width, rect.height));
  EXPECT_EQ(fit.size, sizeRange(defaults(), shown, false, false, rect).minimumSize);
  EXPECT_TRUE(fit.compact);
  EXPECT_GT(fit.required, rect.height);
  platform::PageBitmap page = grayPage(380, 230);
  drawFittedText(text_, page, defaults(), "", text, false, false, rect);
  EXPECT_GT(countPixels(page, rect, true, dark), 200);
  EXPECT_EQ(countPixels(page, rect, false, changed), 0);
}

std::string numberedLines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "line " + std::to_string(i) + "\n";
  return text;
}

INSTANTIATE_TEST_SUITE_P(Texts, HostileTextTest, ::testing::Values(
    HostileCase{"WordOf100000Letters", std::string(100000, 'W')},
    HostileCase{"TenThousandLines", numberedLines(10000)},
    HostileCase{"LinesOfLettersUnderFiftyThousandAccents", [] {
      std::string text;
      for (int line = 0; line < 40; ++line) {
        text += "a";
        for (int i = 0; i < 1250; ++i) text += "\u0301";
        text += " lettering\n";
      }
      return text;
    }()}),
    [](const auto& info) { return std::string(info.param.name); });

// A letter under fifty thousand accents is drawn with the first 30, which already stack far
// past any line: the ink is that of the letter under fewer accents.
TEST(HostileTextTest, AccentsPastTheLimitAddNoInk) {
  platform::TextContext text_;
  const Rect rect{10, 10, 200, 100};
  const auto drawn = [&](int accents) {
    std::string text = "a";
    for (int i = 0; i < accents; ++i) text += "\u0301";
    platform::PageBitmap page = grayPage(220, 120);
    drawFittedText(text_, page, defaults(), "", text, false, false, rect);
    return page;
  };
  const platform::PageBitmap capped = drawn(30);
  const platform::PageBitmap hostile = drawn(50000);
  EXPECT_GT(countPixels(hostile, rect, true, dark), 20);
  EXPECT_EQ(test_pages::differingPixels(capped, hostile), 0);
}

}  // namespace
}  // namespace letterforge

namespace letterforge {
namespace {

struct ParagraphCase {
  const char* name;
  std::string text;
  std::string expected;
};
class OneParagraphTest : public ::testing::TestWithParam<ParagraphCase> {};

TEST_P(OneParagraphTest, LineBreaksBecomeOneSpace) {
  EXPECT_EQ(asOneParagraph(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, OneParagraphTest, ::testing::Values(
    ParagraphCase{"JoinedLines", "THAT SOUNDS\nLIKE A GOOD", "THAT SOUNDS LIKE A GOOD"},
    ParagraphCase{"RunOfBreaks", "a\r\n\n\u2028b", "a b"},
    ParagraphCase{"SpaceBeforeBreak", "a \nb", "a b"},
    ParagraphCase{"LeadingAndTrailingBreaks", "\na\n", "a"},
    ParagraphCase{"NoBreak", "déjà vu", "déjà vu"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BalloonSizeRangeTest, StartFromTheAreaEachCharacterNeeds) {
  const TypesetOptions options;
  // 100 characters in 400 x 155: sqrt(62000 / (100 × 0.775)) = 28.28…
  const SizeRange range = balloonSizeRange(options, std::string(100, 'a'), {0, 0, 400, 155});
  EXPECT_NEAR(range.startSize, std::sqrt(62000.0 / 77.5), 1e-9);
  EXPECT_EQ(range.minimumSize, 9.0);
  // The maximum caps the start; a tiny area starts at the minimum.
  EXPECT_EQ(balloonSizeRange(options, "a", {0, 0, 1000, 1000}).startSize, 38.0);
  EXPECT_EQ(balloonSizeRange(options, std::string(100, 'a'), {0, 0, 10, 10}).startSize, 9.0);
  TypesetOptions large;
  large.baseFontSize = 30.0;
  EXPECT_EQ(balloonSizeRange(large, "a", {0, 0, 10, 10}).minimumSize, 15.0);
}

}  // namespace
}  // namespace letterforge
