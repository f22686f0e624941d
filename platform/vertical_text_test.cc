// Vertical text as the layout engine sets it in columns: where each character lands in its
// cell and which way it faces. The fonts are Noto Sans CJK, a dependency, with vertical forms.
#include "platform/text_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/test_bitmaps.h"
#include "platform/test_case_names.h"

namespace platform {
namespace {

using test_cases::PrintTo;

constexpr double kSize = 40.0;
constexpr std::int64_t kPageWidth = 240;
constexpr std::int64_t kPageHeight = 320;
constexpr const char* kCjkFamily = "Noto Sans CJK JP";

// A box of page pixels in drawing coordinates, [x0, x1) × [y0, y1).
struct Box {
  std::int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// The ink in a box: its bounds, and how many runs of inked rows and of inked columns it has.
struct Ink {
  std::int64_t count = 0;
  std::int64_t minX = 0, maxX = -1, minY = 0, maxY = -1;
  int rowRuns = 0;
  int columnRuns = 0;
  std::int64_t width() const { return maxX - minX + 1; }
  std::int64_t height() const { return maxY - minY + 1; }
};

bool inked(Rgb8 p) { return std::min({p.red, p.green, p.blue}) < 128; }
bool reddish(Rgb8 p) { return p.red > 200 && p.green < 80; }

// Runs of true values, as in a profile of inked rows.
int runsOf(const std::vector<bool>& marks) {
  int runs = 0;
  for (std::size_t i = 0; i < marks.size(); ++i) runs += marks[i] && (i == 0 || !marks[i - 1]);
  return runs;
}

Ink inkIn(const PageBitmap& page, Box box, bool (*is)(Rgb8) = inked) {
  Ink ink{.minX = box.x1, .minY = box.y1};
  std::vector<bool> rows(static_cast<std::size_t>(box.y1 - box.y0));
  std::vector<bool> columns(static_cast<std::size_t>(box.x1 - box.x0));
  for (std::int64_t y = box.y0; y < box.y1; ++y) {
    for (std::int64_t x = box.x0; x < box.x1; ++x) {
      if (!is(page.pixel(x, y))) continue;
      ++ink.count;
      ink.minX = std::min(ink.minX, x);
      ink.maxX = std::max(ink.maxX, x);
      ink.minY = std::min(ink.minY, y);
      ink.maxY = std::max(ink.maxY, y);
      rows[static_cast<std::size_t>(y - box.y0)] = true;
      columns[static_cast<std::size_t>(x - box.x0)] = true;
    }
  }
  ink.rowRuns = runsOf(rows);
  ink.columnRuns = runsOf(columns);
  return ink;
}

class VerticalTextTest : public ::testing::Test {
 protected:
  TextStyle style() const {
    return TextStyle{.family = kCjkFamily, .size = kSize, .alignment = TextAlignment::left,
                     .vertical = true};
  }
  // Draws the text in columns from the page's top-right corner, each starting at the top.
  PageBitmap drawn(const std::string& text, const TextStyle& style) {
    PageBitmap page = whitePage(kPageWidth, kPageHeight);
    drawText(text_, page, text, {0, 0, double(kPageWidth), double(kPageHeight)}, style);
    return page;
  }
  PageBitmap drawn(const std::string& text) { return drawn(text, style()); }
  // The width of one column: the height of one line of the layout.
  double columnWidth() { return measureTextHeight(text_, "口", kPageHeight, style()); }
  // Cell `cell` (0 at the top) of column `column` (0 at the right).
  Box cell(int column, int cell) {
    const double w = columnWidth();
    return Box{kPageWidth - static_cast<std::int64_t>((column + 1) * w), kPageHeight - static_cast<std::int64_t>((cell + 1) * kSize),
               kPageWidth - static_cast<std::int64_t>(column * w), kPageHeight - static_cast<std::int64_t>(cell * kSize)};
  }
  TextContext text_;
};

TEST_F(VerticalTextTest, ColumnsAreLaidOutRightToLeftWithCharactersTopToBottom) {
  // 一, 二 and 三 have one, two and three horizontal strokes: each counts its cell's row runs,
  // and upright, its strokes are rows, not columns.
  const PageBitmap page = drawn("一二三\n三");
  for (int i = 0; i < 3; ++i) {
    const Ink ink = inkIn(page, cell(0, i));
    EXPECT_EQ(ink.rowRuns, i + 1) << "cell " << i;
    EXPECT_EQ(ink.columnRuns, 1) << "cell " << i;
  }
  EXPECT_EQ(inkIn(page, cell(1, 0)).rowRuns, 3);
  EXPECT_EQ(inkIn(page, cell(1, 1)).count, 0);
  EXPECT_EQ(inkIn(page, cell(2, 0)).count, 0);
}

TEST_F(VerticalTextTest, ColumnsWrapAtTheLayoutLength) {
  const double oneColumn = columnWidth();
  const TextHeights twoColumns = measureTextHeights(text_, "口口口口口", 3.5 * kSize, style(), 1e9);
  EXPECT_NEAR(twoColumns.unspaced, 2.0 * oneColumn, 0.01);
  EXPECT_NEAR(twoColumns.longestLine, 3.0 * kSize, 0.5);
  // Columns are wider than a character is tall, by the font's line height.
  EXPECT_GT(oneColumn, kSize);
  EXPECT_LT(oneColumn, 1.8 * kSize);
}

struct FacingCase {
  const char* name;
  const char* text;
  int column, cell;  // where the mark lands
  bool taller;       // its ink is taller than wide: horizontal forms wider than tall are turned
};
class VerticalFormsTest : public VerticalTextTest, public ::testing::WithParamInterface<FacingCase> {};

TEST_P(VerticalFormsTest, MarksAreTurnedAQuarterTurnInTheirCell) {
  const FacingCase& c = GetParam();
  const Ink ink = inkIn(drawn(c.text), cell(c.column, c.cell));
  ASSERT_GT(ink.count, 0);
  if (c.taller) {
    EXPECT_GT(ink.height(), 2 * ink.width());
  } else {
    EXPECT_GT(ink.width(), ink.height());
  }
}

INSTANTIATE_TEST_SUITE_P(Marks, VerticalFormsTest, ::testing::Values(
    FacingCase{"CornerBracketOpen", "口「口", 0, 1, false},
    FacingCase{"CornerBracketClose", "口」口", 0, 1, false},
    FacingCase{"WhiteCornerBracketOpen", "口『口", 0, 1, false},
    FacingCase{"WhiteCornerBracketClose", "口』口", 0, 1, false},
    FacingCase{"FullWidthParenthesisOpen", "口（口", 0, 1, false},
    FacingCase{"FullWidthParenthesisClose", "口）口", 0, 1, false},
    FacingCase{"LongVowelMark", "口ー口", 0, 1, true},
    FacingCase{"Ellipsis", "口…口", 0, 1, true},
    FacingCase{"WaveDash", "口〜口", 0, 1, true},
    FacingCase{"HorizontalBarInAColumn", "口―口", 0, 1, true},
    FacingCase{"HorizontalBarStartingTheText", "―口", 0, 0, true},
    FacingCase{"HorizontalBarStartingAParagraph", "口\n―口", 1, 0, true},
    FacingCase{"HorizontalBarStartingAWrappedColumn", "口口口口口口口口―口", 1, 0, true},
    FacingCase{"EmDashStartingAParagraph", "口\n—口", 1, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct CommaCase {
  const char* name;
  const char* text;
};
class IdeographicCommaTest : public VerticalTextTest, public ::testing::WithParamInterface<CommaCase> {};

TEST_P(IdeographicCommaTest, SitsInTheUpperRightQuarterOfItsCell) {
  const PageBitmap page = drawn(GetParam().text);
  // The square 口 fills the middle of the cell above: its centre is the cells' centre across.
  const Ink square = inkIn(page, cell(0, 0));
  const Ink mark = inkIn(page, cell(0, 1));
  ASSERT_GT(mark.count, 0);
  const double centreX = (square.minX + square.maxX + 1) / 2.0;
  const double centreY = kPageHeight - 1.5 * kSize;
  EXPECT_GE(mark.minX, centreX - 1);
  EXPECT_GE(mark.minY, centreY - 1);
}

INSTANTIATE_TEST_SUITE_P(Marks, IdeographicCommaTest, ::testing::Values(
    CommaCase{"Comma", "口、"}, CommaCase{"FullStop", "口。"}),
    [](const auto& info) { return std::string(info.param.name); });

struct AcrossCase {
  const char* name;
  const char* text;  // a run at bytes 3 to `runEnd`, between two 口
  std::size_t runEnd;
  int columnRuns, rowRuns;  // of the run's ink upright: "!" and "?" end in dots below stems
  bool longerOnItsSide;     // the run on its side is longer than one em
};
class AcrossCellTest : public VerticalTextTest, public ::testing::WithParamInterface<AcrossCase> {};

TEST_P(AcrossCellTest, RunStandsSideBySideInOneCell) {
  const AcrossCase& c = GetParam();
  TextStyle across = style();
  across.acrossRuns = {{3, c.runEnd}};
  const PageBitmap page = drawn(c.text, across);
  const Ink run = inkIn(page, cell(0, 1));
  EXPECT_EQ(run.columnRuns, c.columnRuns);
  EXPECT_EQ(run.rowRuns, c.rowRuns);
  EXPECT_LE(run.width(), kSize + 1);
  EXPECT_LT(run.height(), kSize);
  // The run takes one cell: the 口 after it fills the next, and nothing follows.
  EXPECT_EQ(inkIn(page, cell(0, 2)).columnRuns, 1);
  EXPECT_EQ(inkIn(page, cell(0, 3)).count, 0);
  // On their side, the characters lie one after the other down the column; digits, longer
  // than one em, push the 口 after them into the cell below.
  const PageBitmap onItsSide = drawn(c.text);
  EXPECT_FALSE(samePixels(page, onItsSide));
  EXPECT_EQ(inkIn(onItsSide, cell(0, 3)).count > 0, c.longerOnItsSide);
}

INSTANTIATE_TEST_SUITE_P(Runs, AcrossCellTest, ::testing::Values(
    AcrossCase{"TwoDigits", "口12口", 5, 2, 1, true},
    AcrossCase{"ThreeDigitsNarrowed", "口888口", 6, 3, 1, true},
    AcrossCase{"Marks", "口!?口", 5, 2, 2, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadRunsCase {
  const char* name;
  std::vector<ByteRange> runs;
};
class UnusableRunsTest : public VerticalTextTest, public ::testing::WithParamInterface<BadRunsCase> {};

TEST_P(UnusableRunsTest, AreIgnored) {
  TextStyle across = style();
  across.acrossRuns = GetParam().runs;
  EXPECT_TRUE(samePixels(drawn("口12口", across), drawn("口12口")));
}

INSTANTIATE_TEST_SUITE_P(Runs, UnusableRunsTest, ::testing::Values(
    BadRunsCase{"Empty", {{3, 3}}},
    BadRunsCase{"Reversed", {{5, 3}}},
    BadRunsCase{"PastTheEnd", {{9, 40}}},
    BadRunsCase{"InsideACharacter", {{1, 4}}}),
    [](const auto& info) { return std::string(info.param.name); });

// Whether some pixel within `reach` of (x, y), either way, is dark fill.
bool fillNear(const PageBitmap& page, std::int64_t x, std::int64_t y, std::int64_t reach) {
  for (std::int64_t v = std::max<std::int64_t>(y - reach, 0); v <= std::min(y + reach, kPageHeight - 1); ++v) {
    for (std::int64_t u = std::max<std::int64_t>(x - reach, 0); u <= std::min(x + reach, kPageWidth - 1); ++u) {
      if (inked(page.pixel(u, v)) && !reddish(page.pixel(u, v))) return true;
    }
  }
  return false;
}

TEST_F(VerticalTextTest, OutlineLiesRoundTheFillUprightOnItsSideAndAcross) {
  TextStyle outlined = style();
  outlined.outlined = true;
  outlined.strokeColor = Color{1, 0, 0, 1};
  outlined.strokeLineWidth = 6;
  outlined.acrossRuns = {{3, 5}};
  const PageBitmap page = drawn("口12「Tokyo」…", outlined);
  EXPECT_GT(inkIn(page, cell(0, 1), reddish).count, 100);
  std::int64_t red = 0, astray = 0;
  for (std::int64_t y = 0; y < kPageHeight; ++y) {
    for (std::int64_t x = 0; x < kPageWidth; ++x) {
      if (!reddish(page.pixel(x, y))) continue;
      ++red;
      astray += fillNear(page, x, y, 4) ? 0 : 1;  // half the line width and a pixel
    }
  }
  EXPECT_GT(red, 1000);
  EXPECT_EQ(astray, 0);
}

TEST_F(VerticalTextTest, VerticalFormsAreKnownPerFont) {
  EXPECT_TRUE(hasVerticalForms(text_, kCjkFamily));
  EXPECT_FALSE(hasVerticalForms(text_, ""));  // the user-interface font sets Latin only
}

}  // namespace
}  // namespace platform
