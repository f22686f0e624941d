#include "platform/text_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

#include "platform/page_bitmap_testing.h"
#include "platform/test_bitmaps.h"
#include "platform/test_case_names.h"

namespace platform {
namespace {

using test_cases::PrintTo;

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

class TextLayoutTest : public ::testing::Test {
 protected:
  TextContext text_;
};

TEST_F(TextLayoutTest, HeightGrowsSmoothlyWithFractionalSizes) {
  double previous = 0.0;
  for (double size = 16.0; size <= 16.55; size += 0.1) {
    const double height = measureTextHeight(text_, "Hello world", 500, styleOfSize(size));
    EXPECT_GT(height, previous) << size;
    previous = height;
  }
  // One line of a single font is a fixed multiple of the size, near 1.2 for this face.
  const double at10 = measureTextHeight(text_, "Hello", 500, styleOfSize(10));
  const double at30 = measureTextHeight(text_, "Hello", 500, styleOfSize(30));
  EXPECT_NEAR(at30 / at10, 3.0, 0.01);
  EXPECT_GT(at10, 10.0);
  EXPECT_LT(at10, 15.0);
}

TEST_F(TextLayoutTest, SpacingIsAddedBetweenLinesOnly) {
  TextStyle tight = styleOfSize(20);
  TextStyle spaced = tight;
  spaced.lineSpacing = 3.0;
  EXPECT_NEAR(measureTextHeight(text_, "One", 300, spaced), measureTextHeight(text_, "One", 300, tight), 0.01);
  // Three lines have two gaps.
  EXPECT_NEAR(measureTextHeight(text_, "One\nTwo\nThree", 300, spaced) -
                  measureTextHeight(text_, "One\nTwo\nThree", 300, tight),
              6.0, 0.01);
}

TEST_F(TextLayoutTest, WrapsAtWordsAndInsideAWordOnlyWhenItAloneIsTooWide) {
  const TextStyle style = styleOfSize(20);
  const double oneLine = measureTextHeight(text_, "word", 1000, style);
  EXPECT_NEAR(measureTextHeight(text_, "alpha beta gamma delta", 1000, style), oneLine, 0.01);
  EXPECT_NEAR(measureTextHeight(text_, "alpha beta gamma delta", 90, style) / oneLine, 4.0, 0.01);
  // "beta gamma" is about 110 pixels: wrapping at 150 keeps those words whole on one line.
  EXPECT_NEAR(measureTextHeight(text_, "beta gamma", 150, style), oneLine, 0.01);
  EXPECT_GE(measureTextHeight(text_, "Supercalifragilistic", 60, style) / oneLine, 3.0 - 0.01);
}

TEST_F(TextLayoutTest, DrawnInkStaysInsideTheMeasuredBoxBelowTheTopEdge) {
  PageBitmap page = whitePage(300, 200);
  const TextStyle style = styleOfSize(20);
  const std::string text = "Hag fly, quietly jumping over every dog";
  const Rect rect{50, 20, 160, 150};
  const double height = measureTextHeight(text_, text, rect.width, style);
  drawText(text_, page, text, rect, style);
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

TEST_F(TextLayoutTest, LinesAreCentredInTheLayoutWidth) {
  PageBitmap page = whitePage(300, 60);
  drawText(text_, page, "mid", {0, 0, 300, 60}, styleOfSize(20));
  const Ink ink = inkOf(page);
  ASSERT_GT(ink.count, 0);
  EXPECT_NEAR(ink.minX, 300 - (ink.maxX + 1), 2);
}

TEST_F(TextLayoutTest, TextIsUpright) {
  PageBitmap page = whitePage(60, 60);
  drawText(text_, page, "T", {0, 0, 60, 60}, styleOfSize(40));
  const Ink ink = inkOf(page);
  ASSERT_GT(ink.count, 0);
  // The bar of a T is at its top: in drawing coordinates, the higher rows are the wider.
  EXPECT_GT(inkInRow(page, ink.maxY - 1), 3 * inkInRow(page, ink.minY + 1));
}

TEST_F(TextLayoutTest, OutlineStrokesTheContoursInTheStrokeColour) {
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
  drawText(text_, withOutline, "Ox", {0, 0, 200, 80}, outlined);
  EXPECT_GT(redPixels(withOutline), 100);
  EXPECT_GT(blackPixels(withOutline), 20);  // the fill is still there

  TextStyle plain = outlined;
  plain.outlined = false;
  PageBitmap withoutOutline = whitePage(200, 80);
  drawText(text_, withoutOutline, "Ox", {0, 0, 200, 80}, plain);
  EXPECT_EQ(redPixels(withoutOutline), 0);
}

TEST_F(TextLayoutTest, LineIsDrawnWithItsLowerLeftCornerAtThePoint) {
  PageBitmap page = whitePage(200, 80);
  TextStyle style = styleOfSize(10);
  style.weight = FontWeight::semibold;
  drawTextLine(text_, page, "a label that is long, unwrapped", {20, 30}, style);
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
class TextLayoutScriptTest : public ::testing::TestWithParam<ScriptCase> {
 protected:
  TextContext text_;
};

TEST_P(TextLayoutScriptTest, HasGlyphsAndDrawsInk) {
  const ScriptCase& c = GetParam();
  const TextStyle style = styleOfSize(24);
  EXPECT_EQ(unknownGlyphCount(text_, c.text, style), 0);
  PageBitmap page = whitePage(400, 100);
  drawText(text_, page, c.text, {0, 0, 400, 100}, style);
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

TEST_F(TextLayoutTest, CountsCharactersNoFontCanShow) {
  // A private-use character of the last plane has no glyph in any installed font.
  EXPECT_GE(unknownGlyphCount(text_, "a\xF4\x8F\xBF\xBD" "b", styleOfSize(20)), 1);
}

TEST_F(TextLayoutTest, InvalidUtf8IsMeasuredAndDrawnWithoutHarm) {
  const std::string text = "ab\xFF\xFE" "cd";
  EXPECT_GT(measureTextHeight(text_, text, 200, styleOfSize(20)), 0.0);
  PageBitmap page = whitePage(200, 40);
  drawText(text_, page, text, {0, 0, 200, 40}, styleOfSize(20));
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

struct WeightCase {
  const char* name;
  FontWeight weight;
};

struct OutlineCase {
  const char* name;
  const char* text;
};
class SolidOutlineTest
    : public ::testing::TestWithParam<std::tuple<OutlineCase, double, WeightCase>> {
 protected:
  TextContext text_;
};

// The page never shows through the outline: no pixel mixes page and fill, and none near the
// fill shows the page. Holds wherever the outline is wide enough to cover a whole pixel
// beyond the glyph's antialiased edge.
TEST_P(SolidOutlineTest, PageNeverShowsThroughTheOutline) {
  const auto& [c, size, weightCase] = GetParam();
  const FontWeight weight = weightCase.weight;
  for (const double percent : {10.0, 25.0, 32.0, 40.0}) {
    TextStyle style{.size = size, .weight = weight, .outlined = true,
                    .strokeColor = {0, 1, 0, 1}, .strokeLineWidth = percent / 100.0 * size};
    const double halfWidth = style.strokeLineWidth / 2;
    if (halfWidth < 1.5) continue;
    const double margin = std::ceil(halfWidth) + 4;
    PageBitmap page = whitePage(static_cast<std::int64_t>(size * 12 + 2 * margin),
                                static_cast<std::int64_t>(size * 1.4 + 2 * margin));
    // A fractional origin, so that glyphs land between pixels.
    drawText(text_, page, c.text, {margin + 0.37, margin + 0.29, size * 12, size * 1.4}, style);
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
        ::testing::Values(WeightCase{"Regular", FontWeight::regular},
                          WeightCase{"Semibold", FontWeight::semibold},
                          WeightCase{"Bold", FontWeight::bold})),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + "_" +
             std::to_string(static_cast<int>(std::get<1>(info.param) * 10)) + "_" +
             std::get<2>(info.param).name;
    });

// --- Right-to-left and mixed text ----------------------------------------------------------

// Whether any pixel of the columns [first, last] is dark.
bool inkInColumns(const PageBitmap& page, std::int64_t first, std::int64_t last) {
  for (std::int64_t x = std::max<std::int64_t>(first, 0); x <= std::min(last, page.width() - 1); ++x) {
    for (std::int64_t y = 0; y < page.height(); ++y) {
      if (page.pixel(x, y).red < 128) return true;
    }
  }
  return false;
}

// Dark pieces that touch (8-neighbours), counted by flood fill.
std::int64_t inkPieces(const PageBitmap& page) {
  const std::int64_t w = page.width(), h = page.height();
  std::vector<bool> seen(static_cast<std::size_t>(w * h));
  const auto dark = [&](std::int64_t x, std::int64_t y) { return page.pixel(x, y).red < 128; };
  std::int64_t pieces = 0;
  for (std::int64_t start = 0; start < w * h; ++start) {
    if (seen[static_cast<std::size_t>(start)] || !dark(start % w, start / w)) continue;
    ++pieces;
    std::vector<std::int64_t> stack{start};
    seen[static_cast<std::size_t>(start)] = true;
    while (!stack.empty()) {
      const std::int64_t at = stack.back();
      stack.pop_back();
      for (std::int64_t dy = -1; dy <= 1; ++dy) {
        for (std::int64_t dx = -1; dx <= 1; ++dx) {
          const std::int64_t x = at % w + dx, y = at / w + dy;
          if (x < 0 || y < 0 || x >= w || y >= h) continue;
          const auto i = static_cast<std::size_t>(y * w + x);
          if (seen[i] || !dark(x, y)) continue;
          seen[i] = true;
          stack.push_back(y * w + x);
        }
      }
    }
  }
  return pieces;
}

// Where the layout engine itself puts each word of a one-line text: the left and right
// edges in pixels of the bytes [begin, end), laid out unwrapped at `size`.
std::pair<double, double> wordExtent(const std::string& text, std::size_t begin, std::size_t end,
                                     double size) {
  PangoFontMap* fontMap = pango_cairo_font_map_new();
  PangoContext* context = pango_font_map_create_context(fontMap);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  pango_cairo_context_set_font_options(context, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(context, FALSE);
  PangoLayout* layout = pango_layout_new(context);
  PangoFontDescription* font = pango_font_description_from_string("Inter Bold");
  pango_font_description_set_absolute_size(font, size * PANGO_SCALE);
  pango_layout_set_font_description(layout, font);
  pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
  double left = 1e9, right = -1e9;
  for (std::size_t i = begin; i < end; i = static_cast<std::size_t>(
           g_utf8_next_char(text.data() + i) - text.data())) {
    PangoRectangle pos{};
    pango_layout_index_to_pos(layout, static_cast<int>(i), &pos);
    const double a = static_cast<double>(pos.x) / PANGO_SCALE;
    const double b = static_cast<double>(pos.x + pos.width) / PANGO_SCALE;
    left = std::min({left, a, b});
    right = std::max({right, a, b});
  }
  pango_font_description_free(font);
  g_object_unref(layout);
  g_object_unref(context);
  g_object_unref(fontMap);
  return {left, right};
}

struct MixedCase {
  const char* name;
  std::string text;
  std::vector<std::string> words;  // the words, in their logical order
};
class MixedDirectionTest : public ::testing::TestWithParam<MixedCase> {
 protected:
  TextContext text_;
};

// Each word's ink lies where the layout engine puts the word, so the words come out in the
// engine's visual order; the block as a whole is centred like any other line.
TEST_P(MixedDirectionTest, WordsLieWhereTheLayoutEnginePutsThem) {
  const MixedCase& c = GetParam();
  const double size = 30;
  PageBitmap page = whitePage(700, 60);
  drawTextLine(text_, page, c.text, {20, 10}, {.size = size, .alignment = TextAlignment::left});
  std::vector<std::pair<double, double>> expected;
  std::size_t from = 0;
  for (const std::string& word : c.words) {
    const std::size_t begin = c.text.find(word, from);
    ASSERT_NE(begin, std::string::npos) << word;
    const auto [left, right] = wordExtent(c.text, begin, begin + word.size(), size);
    expected.push_back({20 + left, 20 + right});
    from = begin + word.size();
  }
  std::sort(expected.begin(), expected.end());
  // Ink inside every word's place, none in the spaces between them or beyond the ends.
  std::int64_t blankFrom = 0;
  for (const auto& [left, right] : expected) {
    const auto l = static_cast<std::int64_t>(std::ceil(left)), r = static_cast<std::int64_t>(right);
    EXPECT_TRUE(inkInColumns(page, l + 1, l + 4)) << left;
    EXPECT_TRUE(inkInColumns(page, r - 4, r - 1)) << right;
    EXPECT_FALSE(inkInColumns(page, blankFrom, l - 3)) << left;
    blankFrom = r + 3;
  }
  EXPECT_FALSE(inkInColumns(page, blankFrom, page.width() - 1));

  PageBitmap centred = whitePage(700, 60);
  drawText(text_, centred, c.text, {0, 0, 700, 60}, {.size = size});
  const Ink ink = inkOf(centred);
  EXPECT_NEAR(ink.minX, 700 - (ink.maxX + 1), 3);
}

INSTANTIATE_TEST_SUITE_P(Scripts, MixedDirectionTest, ::testing::Values(
    // A Latin start makes the line left to right; the Hebrew pair inside it reads right to
    // left, so its first word is the right one of the two.
    MixedCase{"LatinWithHebrew", "Hello שלום עולם 123", {"Hello", "שלום", "עולם", "123"}},
    MixedCase{"HebrewWithLatin", "שלום Hello עולם", {"שלום", "Hello", "עולם"}},
    MixedCase{"ArabicWithDigits", "مرحبا 2024 بالعالم", {"مرحبا", "2024", "بالعالم"}},
    MixedCase{"LatinWithArabic", "Salut مرحبا بالعالم ok", {"Salut", "مرحبا", "بالعالم", "ok"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TextLayoutTest, BidiPutsTheFirstHebrewWordRightOfTheSecond) {
  const std::string text = "Hello שלום עולם";
  const auto first = wordExtent(text, text.find("שלום"), text.find("שלום") + 8, 30);
  const auto second = wordExtent(text, text.find("עולם"), text.find("עולם") + 8, 30);
  EXPECT_GT(first.first, second.second - 1);
  // A Hebrew start makes the whole line right to left: the Latin word ends up left of it.
  const std::string rtl = "שלום Hello";
  EXPECT_LT(wordExtent(rtl, 9, 14, 30).second, wordExtent(rtl, 0, 8, 30).first + 1);
}

TEST_F(TextLayoutTest, ArabicLettersJoin) {
  // The same four letters, joined, and kept apart by zero-width non-joiners.
  const TextStyle style = styleOfSize(40);
  PageBitmap joined = whitePage(300, 80);
  drawText(text_, joined, "سلمي", {0, 0, 300, 80}, style);
  PageBitmap isolated = whitePage(300, 80);
  drawText(text_, isolated, "س\u200Cل\u200Cم\u200Cي", {0, 0, 300, 80}, style);
  EXPECT_LT(inkPieces(joined) + 2, inkPieces(isolated));
}

// --- Fonts given by callers -------------------------------------------------------------

// The file fontconfig holds for an installed family, found the library's own way.
std::string fileOfFamily(const char* family) {
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcChar8* file = nullptr;
  std::string path;
  if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
    path = reinterpret_cast<const char*>(file);
  }
  if (match != nullptr) FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  return path;
}

TEST_F(TextLayoutTest, InstalledFamiliesAreFoundAndOthersRefused) {
  std::string failure;
  EXPECT_EQ(fontFamily(text_, "Comic Neue", failure), "Comic Neue") << failure;
  EXPECT_EQ(fontFamily(text_, "comic neue", failure), "comic neue") << failure;
  EXPECT_FALSE(fontFamily(text_, "No Such Family 7", failure).has_value());
  EXPECT_EQ(failure, "no installed font has the family name 'No Such Family 7'");
}

TEST_F(TextLayoutTest, FontFilesNameTheirFamilyOrAreRefused) {
  const std::string file = fileOfFamily("Comic Neue:bold");
  ASSERT_FALSE(file.empty());
  std::string failure;
  EXPECT_EQ(fontFamily(text_, file, failure), "Comic Neue") << failure;
  EXPECT_FALSE(fontFamily(text_, "/no/such/font.ttf", failure).has_value());
  EXPECT_EQ(failure, "/no/such/font.ttf: No such file or directory");
  const std::string notAFont = std::string(LF_SOURCE_DIR) + "/examples/ocr.json";
  EXPECT_FALSE(fontFamily(text_, notAFont, failure).has_value());
  EXPECT_EQ(failure, notAFont + ": not a font file");
  EXPECT_FALSE(fontFamily(text_, "/tmp", failure).has_value());
  EXPECT_EQ(failure, "/tmp: not a font file");
}

TEST_F(TextLayoutTest, TheFamilyChangesTheLettersAndOtherScriptsStillDraw) {
  std::string failure;
  const auto comic = fontFamily(text_, "Comic Neue", failure);
  ASSERT_TRUE(comic.has_value()) << failure;
  TextStyle own = styleOfSize(30);
  own.family = *comic;
  PageBitmap inComic = whitePage(400, 60);
  PageBitmap inInter = whitePage(400, 60);
  drawText(text_, inComic, "Handwritten look", {0, 0, 400, 60}, own);
  drawText(text_, inInter, "Handwritten look", {0, 0, 400, 60}, styleOfSize(30));
  std::int64_t differing = 0;
  for (std::int64_t y = 0; y < 60; ++y) {
    for (std::int64_t x = 0; x < 400; ++x) differing += inComic.pixel(x, y) != inInter.pixel(x, y);
  }
  EXPECT_GT(differing, 100);
  // The family has no kana; other installed fonts stand in for them.
  EXPECT_EQ(unknownGlyphCount(text_, "Hi かな", own), 0);
  PageBitmap kana = whitePage(400, 60);
  EXPECT_EQ(drawText(text_, kana, "かな", {0, 0, 400, 60}, own), 0);
  EXPECT_GT(inkOf(kana).count, 30);
}

// --- Pages drawn through several surfaces --------------------------------------------------

class TextAcrossSurfacesTest : public ::testing::TestWithParam<std::int64_t> {
 protected:
  // Lettering and labels of every style at random fractional places: outlined or plain, in
  // several scripts, with a glyph no font has, clipped to their boxes or not, translucent.
  void letter(PageBitmap& page) {
    std::mt19937 random(4242);
    auto uniform = [&](double low, double high) {
      return low + (high - low) * (static_cast<double>(random()) / static_cast<double>(std::mt19937::max()));
    };
    const char* texts[] = {"QUELQUE CHOSE", "Où es-tu passé ?", "Later...", "こんにちは、世界",
                           "مرحبا بالعالم", "ok \uE000 ok", "😀 wow"};
    const double sizes[] = {7.3, 10.0, 12.5, 18.0, 27.75, 33.0};
    const double strokes[] = {1.5, 3.2, 6.0};
    for (int i = 0; i < 60; ++i) {
      const char* text = texts[random() % 7];
      TextStyle style{.size = sizes[random() % 6], .weight = FontWeight(random() % 3),
                      .color = {uniform(0, 0.5), uniform(0, 0.5), uniform(0, 0.5), i % 4 ? 1.0 : 0.7},
                      .alignment = random() % 2 == 0 ? TextAlignment::centre : TextAlignment::left,
                      .vertical = i % 5 == 0};
      if (random() % 3 != 0) {
        style.outlined = true;
        style.strokeColor = {1, 1, uniform(0.5, 1), 1};
        style.strokeLineWidth = strokes[random() % 3];
      }
      const Point at{uniform(-20, double(page.width())), uniform(-20, double(page.height()))};
      if (random() % 3 == 0) {
        drawTextLine(text_, page, text, at, style);
        continue;
      }
      const Rect box{at.x, at.y, uniform(30, 110), uniform(20, 60)};
      const bool clipped = random() % 2 == 0;
      if (clipped) {
        page.save();
        page.clipToRect(box);
      }
      drawText(text_, page, text, box, style);
      if (clipped) page.restore();
    }
  }

  TextContext text_;
};

// Every drawing fits one of the surfaces, which are placed around it.
TEST_P(TextAcrossSurfacesTest, ComesOutAsOnAPageSizedSurface) {
  PageBitmap whole = whitePage(400, 300);
  letter(whole);
  const ScopedSurfaceSide small(GetParam());
  PageBitmap parts = whitePage(400, 300);
  ASSERT_FALSE(fitsOneSurface(parts));
  letter(parts);
  EXPECT_TRUE(samePixels(whole, parts));
  EXPECT_GT(inkOf(parts).count, 2000);
}

INSTANTIATE_TEST_SUITE_P(Sides, TextAcrossSurfacesTest, ::testing::Values(150, 233, 399));

// Text larger than a surface is cut into surfaces. Where two glyphs' images overlap, the
// library blends them as one or one over the other depending on which glyphs a surface holds,
// so a few pixels differ; all the ink is there.
TEST_F(TextLayoutTest, TextLargerThanOneSurfaceKeepsAllItsInk) {
  TextStyle style{.size = 40, .outlined = true, .strokeColor = {1, 0, 0, 1}, .strokeLineWidth = 4};
  const char* text = "QUELQUE CHOSE À DIRE, مرحبا بالعالم";
  PageBitmap whole = whitePage(500, 300);
  drawText(text_, whole, text, {10.3, 10.6, 480, 280}, style);
  const ScopedSurfaceSide small(37);
  PageBitmap parts = whitePage(500, 300);
  drawText(text_, parts, text, {10.3, 10.6, 480, 280}, style);
  const Ink a = inkOf(whole), b = inkOf(parts);
  EXPECT_GT(a.count, 5000);
  EXPECT_NEAR(static_cast<double>(b.count), static_cast<double>(a.count), a.count / 200.0);
  EXPECT_EQ(std::tie(a.minX, a.maxX, a.minY, a.maxY), std::tie(b.minX, b.maxX, b.minY, b.maxY));
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
class TextHeightsTest : public ::testing::TestWithParam<HeightsCase> {
 protected:
  TextContext text_;
};

// Each height equals a layout of its own, spaced or not, bit for bit.
TEST_P(TextHeightsTest, BothHeightsAreThoseOfTheirOwnLayouts) {
  const HeightsCase& c = GetParam();
  const TextStyle spaced = spacedStyle(20, 2.4);
  const TextHeights heights = measureTextHeights(text_, c.text, c.width, spaced, kNoLimit);
  EXPECT_EQ(heights.spaced, measureTextHeight(text_, c.text, c.width, spaced));
  EXPECT_EQ(heights.unspaced, measureTextHeight(text_, c.text, c.width, styleOfSize(20)));
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
TEST_F(TextLayoutTest, LongTextsPastTheLimitAreNeverMeasuredTallerThanTheyAre) {
  std::mt19937 random(11);
  int pastTheLimit = 0;
  for (int i = 0; i < 40; ++i) {
    const std::string text = mixedText(random, 300 + random() % 1200);
    const double width = 20.0 + static_cast<double>(random() % 400);
    const TextStyle spaced = spacedStyle(8.0 + static_cast<double>(random() % 250) / 10.0, 2.0);
    const double limit = 10.0 + static_cast<double>(random() % 600);
    const double wholeSpaced = measureTextHeight(text_, text, width, spaced);
    const double wholeUnspaced = measureTextHeight(text_, text, width, styleOfSize(spaced.size));
    const TextHeights heights = measureTextHeights(text_, text, width, spaced, limit);
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
class HugeTextTest : public ::testing::TestWithParam<HugeTextCase> {
 protected:
  TextContext text_;
};

// Laid out whole, each of these takes minutes: its cost grows with the square of its length.
TEST_P(HugeTextTest, IsKnownToPassTheLimitFromItsFirstLines) {
  const TextHeights heights = measureTextHeights(text_, GetParam().text, 300, spacedStyle(12, 1.2), 2000);
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
TEST_F(TextLayoutTest, LongTextDrawnInPartsShowsWhatTheWholeShowsInItsRectangle) {
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
      drawText(text_, *page, text, rect, style);
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
