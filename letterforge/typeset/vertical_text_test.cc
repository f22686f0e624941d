#include "letterforge/typeset/vertical_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "letterforge/raster/test_pages.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

struct DirectionCase {
  const char* name;
  TextDirection direction;
  const char* text;
  Rect area;
  bool vertical;
};
class SetsVerticallyTest : public ::testing::TestWithParam<DirectionCase> {};

TEST_P(SetsVerticallyTest, FollowsTheDirectionAndForAutoTheScriptAndShape) {
  const DirectionCase& c = GetParam();
  EXPECT_EQ(setsVertically(c.direction, c.text, c.area), c.vertical);
}

const Rect kTall{0, 0, 40, 120};
const Rect kWide{0, 0, 120, 40};
const Rect kSquare{0, 0, 80, 80};

INSTANTIATE_TEST_SUITE_P(Cases, SetsVerticallyTest, ::testing::Values(
    DirectionCase{"VerticalWhateverTheText", TextDirection::kVertical, "Hello", kWide, true},
    DirectionCase{"HorizontalWhateverTheText", TextDirection::kHorizontal, "こんにちは", kTall, false},
    DirectionCase{"AutoKanaInATallArea", TextDirection::kAuto, "こんにちは", kTall, true},
    DirectionCase{"AutoKanaInAWideArea", TextDirection::kAuto, "こんにちは", kWide, false},
    DirectionCase{"AutoSquareAreaIsNotTaller", TextDirection::kAuto, "こんにちは", kSquare, false},
    DirectionCase{"AutoLatinInATallArea", TextDirection::kAuto, "Hello", kTall, false},
    DirectionCase{"AutoHangul", TextDirection::kAuto, "안녕하세요", kTall, true},
    DirectionCase{"AutoHanWithIdeographicMarks", TextDirection::kAuto, "你好。", kTall, true},
    // Two of four letters East Asian is not more than half; three of five is.
    DirectionCase{"AutoExactlyHalfStaysHorizontal", TextDirection::kAuto, "ab 漢字", kTall, false},
    DirectionCase{"AutoJustOverHalf", TextDirection::kAuto, "ab 漢字か", kTall, true},
    DirectionCase{"AutoEmptyText", TextDirection::kAuto, "", kTall, false},
    DirectionCase{"AutoWhiteSpaceOnly", TextDirection::kAuto, " \n\u3000", kTall, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct RunsCase {
  const char* name;
  const char* text;
  std::vector<platform::ByteRange> expected;
};
class AcrossRunsTest : public ::testing::TestWithParam<RunsCase> {};

TEST_P(AcrossRunsTest, FindsShortRunsOfDigitsOrMarks) {
  EXPECT_EQ(acrossRuns(GetParam().text), GetParam().expected);
}

// Kana take three bytes each: "あ12" is bytes 0-2 for あ, 3-4 for the digits.
INSTANTIATE_TEST_SUITE_P(Texts, AcrossRunsTest, ::testing::Values(
    RunsCase{"TwoDigits", "あ12あ", {{3, 5}}},
    RunsCase{"ThreeDigitsAtBothEnds", "123あ!?", {{0, 3}, {6, 8}}},
    RunsCase{"OneDigitStandsUpright", "第1話", {{3, 4}}},
    RunsCase{"FourDigitsLieOnTheirSide", "あ2024年", {}},
    RunsCase{"DigitsAndLettersTogetherLieOnTheirSide", "あA1あ", {}},
    RunsCase{"DigitsAndMarksMixedLieOnTheirSide", "あ1!あ", {}},
    RunsCase{"ThreeMarks", "えっ!!?", {{6, 9}}},
    RunsCase{"SpaceSeparatesRuns", "12 34", {{0, 2}, {3, 5}}},
    RunsCase{"FullWidthDigitsStandUprightAlready", "１２", {}},
    RunsCase{"InvalidUtf8HasNone", "12\xff", {}},
    RunsCase{"Empty", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });


// ---- Fitting and drawing in columns ----

bool inked(platform::Rgb8 p) { return p != test_pages::kWhite; }

struct InkBounds {
  std::int64_t count = 0, outside = 0;
  double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
};

// The ink of the page, and how much of it lies outside `area`.
InkBounds inkOf(const platform::PageBitmap& page, const Rect& area) {
  InkBounds ink;
  for (std::int64_t y = 0; y < page.height(); ++y) {
    for (std::int64_t x = 0; x < page.width(); ++x) {
      if (!inked(page.pixel(x, y))) continue;
      ++ink.count;
      const bool inside = x >= area.x && x + 1 <= area.x + area.width && y >= area.y &&
                          y + 1 <= area.y + area.height;
      ink.outside += inside ? 0 : 1;
      ink.minX = std::min(ink.minX, double(x));
      ink.maxX = std::max(ink.maxX, double(x + 1));
      ink.minY = std::min(ink.minY, double(y));
      ink.maxY = std::max(ink.maxY, double(y + 1));
    }
  }
  return ink;
}

TypesetOptions verticalOptions() {
  TypesetOptions options;
  options.direction = TextDirection::kVertical;
  options.strokeColor = {1, 0, 0, 1};
  return options;
}

platform::PageBitmap whitePage() { return test_pages::makePage(300, 300, test_pages::kWhite); }

struct ColumnsCase {
  const char* name;
  std::string text;
  Rect area;
  std::string font;  // empty: none chosen
  bool drawn, overflowed, noVerticalForms;
};
class DrawColumnsTest : public ::testing::TestWithParam<ColumnsCase> {
 protected:
  platform::TextContext text_;
};

TEST_P(DrawColumnsTest, GivesAResultAndInksOnlyTheArea) {
  const ColumnsCase& c = GetParam();
  platform::PageBitmap page = whitePage();
  std::string family;
  if (!c.font.empty()) {
    std::string failure;
    family = platform::fontFamily(text_, c.font, failure).value_or("");
    ASSERT_FALSE(family.empty()) << failure;
  }
  const TypesetOutcome outcome =
      drawFittedText(text_, page, verticalOptions(), family, c.text, true, false, c.area);
  EXPECT_EQ(outcome.drawn, c.drawn);
  EXPECT_EQ(outcome.vertical, c.drawn);
  EXPECT_EQ(outcome.overflowed, c.overflowed);
  EXPECT_EQ(outcome.noVerticalForms, c.noVerticalForms);
  EXPECT_EQ(outcome.unknownCharacters, 0);
  EXPECT_EQ(inkOf(page, c.area).outside, 0);
}

const Rect kBalloon{100, 40, 90, 220};
const std::string kManyWords = [] {
  std::string text;
  for (int i = 0; i < 400; ++i) text += "とても長い12翻訳";
  return text;
}();

INSTANTIATE_TEST_SUITE_P(Inputs, DrawColumnsTest, ::testing::Values(
    ColumnsCase{"Japanese", "こんにちは、元気？", kBalloon, "", true, false, false},
    ColumnsCase{"RightToLeftScripts", "שלום עולם مرحبا", kBalloon, "", true, false, false},
    ColumnsCase{"MixedScripts", "OK、ありがとう！ Danke 12!? שלום", kBalloon, "", true, false, false},
    ColumnsCase{"EmptyColumnBetweenTwo", "はい\n\nいいえ", kBalloon, "", true, false, false},
    ColumnsCase{"OnlyLineBreaks", "\n\n", kBalloon, "", true, false, false},
    ColumnsCase{"FarTooLongIsCut", kManyWords, kBalloon, "", true, true, false},
    ColumnsCase{"FontWithoutCjkGlyphsFallsBackFlagged", "こんにちは", kBalloon, "Inter", true, false, true},
    ColumnsCase{"ZeroWidthArea", "こんにちは", Rect{100, 40, 0, 220}, "", false, false, false},
    ColumnsCase{"OnePixelHighArea", "こんにちは", Rect{100, 40, 90, 1}, "", false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

class ColumnsPlacementTest : public ::testing::Test {
 protected:
  platform::TextContext text_;
};

TEST_F(ColumnsPlacementTest, BlockOfColumnsIsCentredInTheArea) {
  platform::PageBitmap page = whitePage();
  TypesetOptions options = verticalOptions();
  options.strokeWidth = 0.0;
  drawFittedText(text_, page, options, "", "すこし\nまって", true, false, kBalloon);
  const InkBounds ink = inkOf(page, kBalloon);
  ASSERT_GT(ink.count, 0);
  EXPECT_NEAR((ink.minX + ink.maxX) / 2.0, kBalloon.x + kBalloon.width / 2.0, 4.0);
  EXPECT_NEAR((ink.minY + ink.maxY) / 2.0, kBalloon.y + kBalloon.height / 2.0, 4.0);
  // Two columns side by side: wider than they are tall would be lines.
  EXPECT_GT(ink.maxY - ink.minY, ink.maxX - ink.minX);
}

TEST_F(ColumnsPlacementTest, TheAreaWidthBoundsTheSizeAsTheHeightBoundsLines) {
  // Four columns of four characters: a narrower area leaves less room across the columns.
  const std::string text = "あいうえ\nかきくけ\nさしすせ\nたちつて";
  platform::PageBitmap page = whitePage();
  const TypesetOutcome wide = drawFittedText(text_, page, verticalOptions(), "", text, true, false,
                                             Rect{20, 20, 260, 260});
  const TypesetOutcome narrow = drawFittedText(text_, page, verticalOptions(), "", text, true,
                                               false, Rect{20, 20, 130, 260});
  EXPECT_FALSE(wide.overflowed);
  EXPECT_FALSE(narrow.overflowed);
  EXPECT_LT(narrow.size, wide.size);
}

TEST_F(ColumnsPlacementTest, BalloonTextIsSetInColumnsToo) {
  platform::PageBitmap page = whitePage();
  const TypesetOutcome outcome =
      drawBalloonText(text_, page, verticalOptions(), "", "こんにちは\n元気？", kBalloon);
  EXPECT_TRUE(outcome.vertical);
  EXPECT_FALSE(outcome.overflowed);
  EXPECT_EQ(inkOf(page, kBalloon).outside, 0);
}

TEST_F(ColumnsPlacementTest, TheCjkFontOfTheScriptIsPreferred) {
  EXPECT_EQ(verticalFamily(text_, "", "こんにちは"), "Noto Sans CJK JP");
  EXPECT_EQ(verticalFamily(text_, "", "안녕"), "Noto Sans CJK KR");
  EXPECT_EQ(verticalFamily(text_, "", "你好"), "Noto Sans CJK SC");
  EXPECT_EQ(verticalFamily(text_, "", "漢字とかな"), "Noto Sans CJK JP");
  EXPECT_EQ(verticalFamily(text_, "Chosen", "你好"), "Chosen");
}

}  // namespace
}  // namespace letterforge
