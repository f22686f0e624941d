#include "platform/text_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/test_bitmaps.h"

namespace platform {
namespace {

// Drawing-coordinate bounds of the pixels that are no longer white.
struct Ink {
  std::int64_t count = 0;
  std::int64_t minX = 0, maxX = -1, minY = 0, maxY = -1;
};

Ink inkOf(const PageBitmap& page) {
  Ink ink;
  ink.minX = page.width();
  ink.minY = page.height();
  for (std::int64_t y = 0; y < page.height(); ++y) {
    for (std::int64_t x = 0; x < page.width(); ++x) {
      const Rgb8 p = page.pixel(x, y);
      if (std::min({p.red, p.green, p.blue}) > 240) continue;
      ++ink.count;
      ink.minX = std::min(ink.minX, x);
      ink.maxX = std::max(ink.maxX, x);
      ink.minY = std::min(ink.minY, y);
      ink.maxY = std::max(ink.maxY, y);
    }
  }
  return ink;
}

std::int64_t inkInRow(const PageBitmap& page, std::int64_t y) {
  std::int64_t count = 0;
  for (std::int64_t x = 0; x < page.width(); ++x) {
    if (page.pixel(x, y).red < 128) ++count;
  }
  return count;
}

TextStyle styleOfSize(double size) { return TextStyle{.size = size}; }

TEST(TextLayoutTest, HeightGrowsSmoothlyWithFractionalSizes) {
  double previous = 0.0;
  for (double size = 16.0; size <= 16.55; size += 0.1) {
    const double height = measureTextHeight("Hello world", 500, styleOfSize(size));
    EXPECT_GT(height, previous) << size;
    previous = height;
  }
  // One line of a single font is a fixed multiple of the size, near 1.2 for this face.
  const double at10 = measureTextHeight("Hello", 500, styleOfSize(10));
  const double at30 = measureTextHeight("Hello", 500, styleOfSize(30));
  EXPECT_NEAR(at30 / at10, 3.0, 0.01);
  EXPECT_GT(at10, 10.0);
  EXPECT_LT(at10, 15.0);
}

TEST(TextLayoutTest, SpacingIsAddedBetweenLinesOnly) {
  TextStyle tight = styleOfSize(20);
  TextStyle spaced = tight;
  spaced.lineSpacing = 3.0;
  EXPECT_NEAR(measureTextHeight("One", 300, spaced), measureTextHeight("One", 300, tight), 0.01);
  // Three lines have two gaps.
  EXPECT_NEAR(measureTextHeight("One\nTwo\nThree", 300, spaced) -
                  measureTextHeight("One\nTwo\nThree", 300, tight),
              6.0, 0.01);
}

TEST(TextLayoutTest, WrapsAtWordsAndInsideAWordOnlyWhenItAloneIsTooWide) {
  const TextStyle style = styleOfSize(20);
  const double oneLine = measureTextHeight("word", 1000, style);
  EXPECT_NEAR(measureTextHeight("alpha beta gamma delta", 1000, style), oneLine, 0.01);
  EXPECT_NEAR(measureTextHeight("alpha beta gamma delta", 90, style) / oneLine, 4.0, 0.01);
  // "beta gamma" is about 110 pixels: wrapping at 150 keeps those words whole on one line.
  EXPECT_NEAR(measureTextHeight("beta gamma", 150, style), oneLine, 0.01);
  EXPECT_GE(measureTextHeight("Supercalifragilistic", 60, style) / oneLine, 3.0 - 0.01);
}

TEST(TextLayoutTest, DrawnInkStaysInsideTheMeasuredBoxBelowTheTopEdge) {
  PageBitmap page = whitePage(300, 200);
  const TextStyle style = styleOfSize(20);
  const std::string text = "Hag fly, quietly jumping over every dog";
  const Rect rect{50, 20, 160, 150};
  const double height = measureTextHeight(text, rect.width, style);
  drawText(page, text, rect, style);
  const Ink ink = inkOf(page);
  ASSERT_GT(ink.count, 0);
  const double top = rect.y + rect.height;
  EXPECT_LE(ink.maxY + 1, top);
  EXPECT_GE(ink.minY, top - height - 0.5);
  // Capitals start below the line's ascent and descenders end above its bottom, both by a
  // small part of the size.
  EXPECT_GT(ink.maxY + 1, top - 0.5 * style.size);
  EXPECT_LT(ink.minY, top - height + 0.4 * style.size);
  EXPECT_GE(ink.minX, rect.x);
  EXPECT_LE(ink.maxX + 1, rect.x + rect.width);
}

TEST(TextLayoutTest, LinesAreCentredInTheLayoutWidth) {
  PageBitmap page = whitePage(300, 60);
  drawText(page, "mid", {0, 0, 300, 60}, styleOfSize(20));
  const Ink ink = inkOf(page);
  ASSERT_GT(ink.count, 0);
  EXPECT_NEAR(ink.minX, 300 - (ink.maxX + 1), 2);
}

TEST(TextLayoutTest, TextIsUpright) {
  PageBitmap page = whitePage(60, 60);
  drawText(page, "T", {0, 0, 60, 60}, styleOfSize(40));
  const Ink ink = inkOf(page);
  ASSERT_GT(ink.count, 0);
  // The bar of a T is at its top: in drawing coordinates, the higher rows are the wider.
  EXPECT_GT(inkInRow(page, ink.maxY - 1), 3 * inkInRow(page, ink.minY + 1));
}

TEST(TextLayoutTest, OutlineStrokesTheContoursInTheStrokeColour) {
  const auto redPixels = [](const PageBitmap& page) {
    std::int64_t count = 0;
    for (std::int64_t y = 0; y < page.height(); ++y) {
      for (std::int64_t x = 0; x < page.width(); ++x) {
        const Rgb8 p = page.pixel(x, y);
        if (p.red > 200 && p.green < 60 && p.blue < 60) ++count;
      }
    }
    return count;
  };
  const auto blackPixels = [](const PageBitmap& page) {
    std::int64_t count = 0;
    for (std::int64_t y = 0; y < page.height(); ++y) {
      for (std::int64_t x = 0; x < page.width(); ++x) {
        if (page.pixel(x, y).red < 30) ++count;
      }
    }
    return count;
  };
  TextStyle outlined = styleOfSize(60);
  outlined.outlined = true;
  outlined.strokeColor = {1, 0, 0, 1};
  outlined.strokeLineWidth = 3.0;
  PageBitmap withOutline = whitePage(200, 80);
  drawText(withOutline, "Ox", {0, 0, 200, 80}, outlined);
  EXPECT_GT(redPixels(withOutline), 100);
  EXPECT_GT(blackPixels(withOutline), 20);  // the fill is still there

  TextStyle plain = outlined;
  plain.outlined = false;
  PageBitmap withoutOutline = whitePage(200, 80);
  drawText(withoutOutline, "Ox", {0, 0, 200, 80}, plain);
  EXPECT_EQ(redPixels(withoutOutline), 0);
}

TEST(TextLayoutTest, LineIsDrawnWithItsLowerLeftCornerAtThePoint) {
  PageBitmap page = whitePage(200, 80);
  TextStyle style = styleOfSize(10);
  style.weight = FontWeight::semibold;
  drawTextLine(page, "a label that is long, unwrapped", {20, 30}, style);
  const Ink ink = inkOf(page);
  ASSERT_GT(ink.count, 0);
  EXPECT_GE(ink.minX, 20);
  EXPECT_LE(ink.minX, 22);
  // Descenders reach the bottom of the line box; antialiasing may tint the pixel below it.
  EXPECT_GE(ink.minY, 29);
  EXPECT_LE(ink.minY, 31);
  EXPECT_LE(ink.maxY, 30 + 13);
  EXPECT_GT(ink.maxX, 150);  // one line, not wrapped
}

struct ScriptCase {
  const char* name;
  const char* text;
};
class TextLayoutScriptTest : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(TextLayoutScriptTest, HasGlyphsAndDrawsInk) {
  const ScriptCase& c = GetParam();
  const TextStyle style = styleOfSize(24);
  EXPECT_EQ(unknownGlyphCount(c.text, style), 0);
  PageBitmap page = whitePage(400, 100);
  drawText(page, c.text, {0, 0, 400, 100}, style);
  EXPECT_GT(inkOf(page).count, 30);
}

INSTANTIATE_TEST_SUITE_P(Scripts, TextLayoutScriptTest, ::testing::Values(
    ScriptCase{"LatinWithAccents", "Ça déjà été, señor Øresund"},
    ScriptCase{"Japanese", "こんにちは、世界。カタカナ"},
    ScriptCase{"Chinese", "你好世界，漢字"},
    ScriptCase{"Hangul", "안녕하세요 세계"},
    ScriptCase{"Thai", "สวัสดีครับ ทุกคน"},
    ScriptCase{"Arabic", "مرحبا بالعالم"},
    ScriptCase{"Hebrew", "שלום עולם"},
    ScriptCase{"Emoji", "😀 👍 🎉"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextLayoutTest, CountsCharactersNoFontCanShow) {
  // A private-use character of the last plane has no glyph in any installed font.
  EXPECT_GE(unknownGlyphCount("a\xF4\x8F\xBF\xBD" "b", styleOfSize(20)), 1);
}

TEST(TextLayoutTest, InvalidUtf8IsMeasuredAndDrawnWithoutHarm) {
  const std::string text = "ab\xFF\xFE" "cd";
  EXPECT_GT(measureTextHeight(text, 200, styleOfSize(20)), 0.0);
  PageBitmap page = whitePage(200, 40);
  drawText(page, text, {0, 0, 200, 40}, styleOfSize(20));
  EXPECT_GT(inkOf(page).count, 0);
}

// --- Heights with and without spacing, and long texts ----------------------------------------

constexpr double kNoLimit = 1e9;

TextStyle spacedStyle(double size, double spacing) {
  TextStyle style = styleOfSize(size);
  style.lineSpacing = spacing;
  return style;
}

// Words, long words, lines, blank lines and several scripts, about `bytes` long.
std::string mixedText(std::mt19937& random, std::size_t bytes) {
  static const std::vector<std::string> atoms = {
      "word", "the", "Wirklichkeitsverlust", "a", "!", "...", "42", "\u6f22\u5b57",
      "\u30ab\u30bf\u30ab\u30ca", "\ud55c\uad6d\uc5b4", "\u05e9\u05dc\u05d5\u05dd",
      "\u0645\u0631\u062d\u0628\u0627", "\U0001F600", "e\u0301", "(", ")", "AV", "\u200B"};
  std::string text;
  while (text.size() < bytes) {
    const std::string& atom = atoms[random() % atoms.size()];
    const int repeats = random() % 8 == 0 ? 1 + static_cast<int>(random() % 30) : 1;
    for (int i = 0; i < repeats; ++i) text += atom;
    const int separator = static_cast<int>(random() % 10);
    text += separator == 0 ? "\n" : separator == 1 ? "\r\n" : separator == 2 ? "" : " ";
  }
  return text;
}

struct HeightsCase {
  const char* name;
  std::string text;
  double width;
};
class TextHeightsTest : public ::testing::TestWithParam<HeightsCase> {};

// Each height equals a layout of its own, spaced or not, bit for bit.
TEST_P(TextHeightsTest, BothHeightsAreThoseOfTheirOwnLayouts) {
  const HeightsCase& c = GetParam();
  const TextStyle spaced = spacedStyle(20, 2.4);
  const TextHeights heights = measureTextHeights(c.text, c.width, spaced, kNoLimit);
  EXPECT_EQ(heights.spaced, measureTextHeight(c.text, c.width, spaced));
  EXPECT_EQ(heights.unspaced, measureTextHeight(c.text, c.width, styleOfSize(20)));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextHeightsTest,
    ::testing::Values(
        HeightsCase{"OneLine", "One", 300},
        HeightsCase{"LinesAndABlankLine", "One\nTwo\n\nThree", 300},
        HeightsCase{"WrappedWords", "alpha beta gamma delta epsilon", 90},
        HeightsCase{"CarriageReturnLineFeed", "a\r\nb\rc", 300},
        HeightsCase{"MixedScripts", "\U0001F600 two\n\u05e9\u05dc\u05d5\u05dd \u6f22\u5b57", 120},
        HeightsCase{"LongTextLaidOutInParts", std::string(40, 'x') + " " + std::string(600, 'y'), 150}),
    [](const auto& info) { return std::string(info.param.name); });

// A long text is laid out only until its settled lines pass the limit. Against whole layouts
// of random texts: below the limit the heights are exact; past it both are above the limit
// and never above the whole text's.
TEST(TextHeightsTest, LongTextsPastTheLimitAreNeverMeasuredTallerThanTheyAre) {
  std::mt19937 random(11);
  int pastTheLimit = 0;
  for (int i = 0; i < 40; ++i) {
    const std::string text = mixedText(random, 300 + random() % 1200);
    const double width = 20.0 + static_cast<double>(random() % 400);
    const TextStyle spaced = spacedStyle(8.0 + static_cast<double>(random() % 250) / 10.0, 2.0);
    const double limit = 10.0 + static_cast<double>(random() % 600);
    const double wholeSpaced = measureTextHeight(text, width, spaced);
    const double wholeUnspaced = measureTextHeight(text, width, styleOfSize(spaced.size));
    const TextHeights heights = measureTextHeights(text, width, spaced, limit);
    if (wholeUnspaced <= limit) {
      EXPECT_EQ(heights.spaced, wholeSpaced) << i;
      EXPECT_EQ(heights.unspaced, wholeUnspaced) << i;
    } else {
      ++pastTheLimit;
      EXPECT_GT(heights.unspaced, limit) << i;
      EXPECT_LE(heights.unspaced, wholeUnspaced) << i;
      EXPECT_LE(heights.spaced, wholeSpaced) << i;
      EXPECT_GE(heights.spaced, heights.unspaced) << i;
    }
  }
  EXPECT_GT(pastTheLimit, 10);
}

struct HugeTextCase {
  const char* name;
  std::string text;
};
class HugeTextTest : public ::testing::TestWithParam<HugeTextCase> {};

// Laid out whole, each of these takes minutes: its cost grows with the square of its length.
TEST_P(HugeTextTest, IsKnownToPassTheLimitFromItsFirstLines) {
  const TextHeights heights = measureTextHeights(GetParam().text, 300, spacedStyle(12, 1.2), 2000);
  EXPECT_GT(heights.unspaced, 2000);
  EXPECT_GE(heights.spaced, heights.unspaced);
  // Each text is over 3,000 lines of about 14.5 pixels; the settled lines are far fewer.
  EXPECT_LT(heights.unspaced, 20000);
}

std::string manyLines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "line " + std::to_string(i) + "\n";
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HugeTextTest,
    ::testing::Values(HugeTextCase{"OneWordOf100000Letters", std::string(100000, 'W')},
                      HugeTextCase{"TenThousandLines", manyLines(10000)},
                      HugeTextCase{"OnlyLineBreaks", std::string(100000, '\n')},
                      HugeTextCase{"WordsWithoutEnd", [] {
                        std::string words;
                        while (words.size() < 200000) words += "word ";
                        return words;
                      }()}),
    [](const auto& info) { return std::string(info.param.name); });

// Drawn through a short rectangle, a long text shows exactly what it shows drawn whole.
TEST(TextLayoutTest, LongTextDrawnInPartsShowsWhatTheWholeShowsInItsRectangle) {
  std::mt19937 random(5);
  const std::string text = mixedText(random, 3000);
  TextStyle outlined = styleOfSize(16);
  outlined.outlined = true;
  outlined.strokeLineWidth = 4.0;
  for (const TextStyle& style : {styleOfSize(16), outlined}) {
    const Rect shown{10, 40, 180, 120};
    const Rect tall{10, 160 - 1e5, 180, 1e5};  // same top edge, room for every line
    PageBitmap parts = whitePage(200, 200);
    PageBitmap whole = whitePage(200, 200);
    for (auto [page, rect] : {std::pair{&parts, shown}, std::pair{&whole, tall}}) {
      page->save();
      page->clipToRect(shown);
      drawText(*page, text, rect, style);
      page->restore();
    }
    ASSERT_GT(inkOf(parts).count, 500);
    std::int64_t differing = 0;
    for (std::int64_t y = 0; y < 200; ++y) {
      for (std::int64_t x = 0; x < 200; ++x) differing += parts.pixel(x, y) == whole.pixel(x, y) ? 0 : 1;
    }
    EXPECT_EQ(differing, 0) << style.outlined;
  }
}

}  // namespace
}  // namespace platform
