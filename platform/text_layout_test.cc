#include "platform/text_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <string>
#include <tuple>
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

// --- The outline under the fill -----------------------------------------------------------

// On a white page with a green outline and a black fill every pixel is a mixture of the three:
// red gives the page's share and green what is not fill.
double pageShare(Rgb8 p) { return p.red / 255.0; }
double fillShare(Rgb8 p) { return 1.0 - p.green / 255.0; }

// Marks every pixel within `radius` pixels (a square) of a pixel that is mostly fill.
std::vector<bool> nearFill(const PageBitmap& page, std::int64_t radius) {
  const std::int64_t w = page.width(), h = page.height();
  std::vector<bool> rows(static_cast<std::size_t>(w * h)), near(rows.size());
  for (std::int64_t y = 0; y < h; ++y) {
    std::int64_t last = -1 - radius;  // last fill column seen
    std::vector<std::int64_t> next(static_cast<std::size_t>(w), w + radius);
    for (std::int64_t x = w - 1, seen = w + radius; x >= 0; --x) {
      if (fillShare(page.pixel(x, y)) > 0.5) seen = x;
      next[static_cast<std::size_t>(x)] = seen;
    }
    for (std::int64_t x = 0; x < w; ++x) {
      if (fillShare(page.pixel(x, y)) > 0.5) last = x;
      rows[static_cast<std::size_t>(y * w + x)] =
          x - last <= radius || next[static_cast<std::size_t>(x)] - x <= radius;
    }
  }
  for (std::int64_t x = 0; x < w; ++x) {
    for (std::int64_t y = 0; y < h; ++y) {
      bool any = false;
      for (std::int64_t k = std::max<std::int64_t>(y - radius, 0); k <= std::min(y + radius, h - 1) && !any; ++k)
        any = rows[static_cast<std::size_t>(k * w + x)];
      near[static_cast<std::size_t>(y * w + x)] = any;
    }
  }
  return near;
}

std::string weightName(FontWeight weight) {
  switch (weight) {
    case FontWeight::regular: return "Regular";
    case FontWeight::semibold: return "Semibold";
    case FontWeight::bold: break;
  }
  return "Bold";
}

struct OutlineCase {
  const char* name;
  const char* text;
};
class SolidOutlineTest
    : public ::testing::TestWithParam<std::tuple<OutlineCase, double, FontWeight>> {};

// The page never shows through the outline: no pixel mixes page and fill, and none near the
// fill shows the page. Holds wherever the outline is wide enough to cover a whole pixel
// beyond the glyph's antialiased edge.
TEST_P(SolidOutlineTest, PageNeverShowsThroughTheOutline) {
  const auto& [c, size, weight] = GetParam();
  for (const double percent : {10.0, 25.0, 32.0, 40.0}) {
    TextStyle style{.size = size, .weight = weight, .outlined = true,
                    .strokeColor = {0, 1, 0, 1}, .strokeLineWidth = percent / 100.0 * size};
    const double halfWidth = style.strokeLineWidth / 2;
    if (halfWidth < 1.5) continue;
    const double margin = std::ceil(halfWidth) + 4;
    PageBitmap page = whitePage(static_cast<std::int64_t>(size * 12 + 2 * margin),
                                static_cast<std::int64_t>(size * 1.4 + 2 * margin));
    // A fractional origin, so that glyphs land between pixels.
    drawText(page, c.text, {margin + 0.37, margin + 0.29, size * 12, size * 1.4}, style);
    const std::vector<bool> near =
        nearFill(page, static_cast<std::int64_t>(std::floor((halfWidth - 1.5) / std::sqrt(2.0))));
    std::int64_t mixed = 0, holes = 0, fill = 0;
    for (std::int64_t y = 0; y < page.height(); ++y) {
      for (std::int64_t x = 0; x < page.width(); ++x) {
        const Rgb8 p = page.pixel(x, y);
        fill += fillShare(p) > 0.5 ? 1 : 0;
        mixed += pageShare(p) > 0.02 && fillShare(p) > 0.02 ? 1 : 0;
        holes += pageShare(p) > 0.02 && near[static_cast<std::size_t>(y * page.width() + x)] ? 1 : 0;
      }
    }
    EXPECT_GT(fill, 10) << percent;
    EXPECT_EQ(mixed, 0) << "width " << percent << " %";
    EXPECT_EQ(holes, 0) << "width " << percent << " %";
  }
}

INSTANTIATE_TEST_SUITE_P(
    TextsSizesWeights, SolidOutlineTest,
    ::testing::Combine(
        ::testing::Values(OutlineCase{"LatinDotsAndBowls", "in a bubble, ijij? bébé; ¿qué?"},
                          OutlineCase{"GreekCyrillic", "Ωμέγα Привет"},
                          OutlineCase{"Arabic", "مرحبا بالعالم"},
                          OutlineCase{"Hebrew", "שלום עולם"},
                          OutlineCase{"Japanese", "こんにちは、漢字"},
                          OutlineCase{"Thai", "สวัสดีครับ"}),
        ::testing::Values(6.0, 9.5, 17.3, 38.0, 90.0),
        ::testing::Values(FontWeight::regular, FontWeight::semibold, FontWeight::bold)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + "_" +
             std::to_string(static_cast<int>(std::get<1>(info.param) * 10)) + "_" +
             weightName(std::get<2>(info.param));
    });

}  // namespace
}  // namespace platform
