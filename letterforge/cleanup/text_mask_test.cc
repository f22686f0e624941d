#include "letterforge/cleanup/text_mask.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "letterforge/raster/test_pages.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

using platform::Rgb8;
using namespace test_pages;

// The cells of a width x height window within `reach` rows and columns of (column, row).
CellSet squareAround(std::int64_t width, std::int64_t height, std::int64_t column, std::int64_t row,
                     std::int64_t reach) {
  CellSet cells;
  for (std::int64_t r = 0; r < height; ++r) {
    for (std::int64_t c = 0; c < width; ++c) {
      if (std::llabs(r - row) <= reach && std::llabs(c - column) <= reach)
        cells.insert(r * width + c);
    }
  }
  return cells;
}

// One 3 x 3 growth step at a time, as the mask builders describe it.
CellSet dilateStepByStep(const CellSet& cells, std::int64_t width, std::int64_t height,
                         std::int64_t passes) {
  CellSet current = cells;
  for (std::int64_t pass = 0; pass < std::max<std::int64_t>(passes, 1); ++pass) {
    CellSet next = current;
    for (std::int64_t i : current) {
      const std::int64_t row = i / width, column = i - row * width;
      for (std::int64_t r = std::max<std::int64_t>(row - 1, 0); r <= std::min(row + 1, height - 1);
           ++r) {
        for (std::int64_t c = std::max<std::int64_t>(column - 1, 0);
             c <= std::min(column + 1, width - 1); ++c) {
          next.insert(r * width + c);
        }
      }
    }
    current = next;
  }
  return current;
}

std::vector<std::int64_t> members(const CellSet& cells) { return {cells.begin(), cells.end()}; }

TEST(CellSetTest, KeepsMembersInAscendingOrderAcrossWords) {
  CellSet cells{1000, 64, 0, 63, 130, 64, -5};
  EXPECT_EQ(cells.count(), 5);
  EXPECT_EQ(members(cells), (std::vector<std::int64_t>{0, 63, 64, 130, 1000}));
  EXPECT_TRUE(cells.contains(63));
  EXPECT_FALSE(cells.contains(62));
  EXPECT_FALSE(cells.contains(-5));
  EXPECT_FALSE(cells.contains(5000));
  cells.erase(64);
  cells.erase(65);
  EXPECT_EQ(members(cells), (std::vector<std::int64_t>{0, 63, 130, 1000}));
  EXPECT_EQ(cells.count(), 4);
}

TEST(CellSetTest, EqualityIgnoresRoom) {
  CellSet wide{3, 7};
  wide.insert(5000);
  wide.erase(5000);
  CellSet reserved;
  reserved.reserve(100000);
  reserved.insert(7);
  reserved.insert(3);
  EXPECT_EQ(wide, (CellSet{3, 7}));
  EXPECT_EQ(reserved, (CellSet{3, 7}));
  EXPECT_NE(wide, (CellSet{3, 8}));
  EXPECT_NE(wide, (CellSet{3}));
  EXPECT_EQ(CellSet{}, CellSet{});
  EXPECT_TRUE(CellSet{}.empty());
  EXPECT_EQ(CellSet{}.begin(), CellSet{}.end());
}

TEST(TextMaskTest, DilationInACornerIsCut) {
  EXPECT_EQ(dilateCells(CellSet{0}, 10, 10, 2), (CellSet{0, 1, 2, 10, 11, 12, 20, 21, 22}));
  // No pass asked for still makes one.
  EXPECT_EQ(dilateCells(CellSet{0}, 10, 10, 0), (CellSet{0, 1, 10, 11}));
  EXPECT_EQ(dilateCells(CellSet{99}, 10, 10, 1), (CellSet{88, 89, 98, 99}));
}

TEST(TextMaskTest, DilationGrowsEachCellIntoItsSquare) {
  EXPECT_EQ(dilateCells(CellSet{15 * 30 + 15}, 30, 30, 7), squareAround(30, 30, 15, 15, 7));
  EXPECT_EQ(dilateCells(CellSet{15 * 30 + 15}, 30, 30, 7).count(), 225);
  // A window one row high grows along the row only.
  EXPECT_EQ(dilateCells(CellSet{5}, 12, 1, 3), (CellSet{2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(dilateCells(CellSet{0}, 3, 3, 1000).count(), 9);
}

TEST(TextMaskTest, DilationMatchesStepByStepGrowth) {
  std::mt19937 random(7);
  for (const auto& [width, height] : {std::pair{17, 9}, {1, 20}, {25, 1}, {40, 33}, {131, 70}}) {
    // Reaches up to 8 and beyond are grown two ways.
    for (std::int64_t passes : {1, 2, 7, 8, 9, 12}) {
      CellSet cells;
      for (int i = 0; i < 6; ++i) cells.insert(std::int64_t(random() % (width * height)));
      EXPECT_EQ(dilateCells(cells, width, height, passes),
                dilateStepByStep(cells, width, height, passes))
          << width << "x" << height << " passes " << passes;
    }
  }
}

TEST(TextMaskTest, DilationOfCellsOutsideTheWindowOrOfNoWindowIsEmpty) {
  EXPECT_EQ(dilateCells(CellSet{100, 250}, 10, 10, 2), CellSet{});
  EXPECT_EQ(dilateCells(CellSet{0}, 0, 10, 2), CellSet{});
  EXPECT_EQ(dilateCells(CellSet{0}, 10, -1, 2), CellSet{});
  const auto huge = std::numeric_limits<std::int64_t>::max();
  EXPECT_EQ(dilateCells(CellSet{0}, huge, huge, 2), CellSet{});
}

TEST(TextMaskTest, SpecksOfOneOrTwoCellsAreDropped) {
  // 10 x 10: a diagonal of three, a pair touching only each other, a lone cell.
  const CellSet diagonal{0, 11, 22};
  CellSet cells = diagonal;
  for (std::int64_t i : {18, 29, 95}) cells.insert(i);
  EXPECT_EQ(dropSpecks(cells, 10, 10), diagonal);
}

TEST(TextMaskTest, SpeckGroupsDoNotWrapAroundRowEnds) {
  // Width 5: cell 4 ends row 0 and cell 5 starts row 1; they are not neighbours.
  EXPECT_EQ(dropSpecks(CellSet{4, 5, 10}, 5, 5), CellSet{});
  EXPECT_EQ(dropSpecks(CellSet{4, 8, 5, 10}, 5, 5), CellSet{});
  EXPECT_EQ(dropSpecks(CellSet{3, 8, 9, 5, 10}, 5, 5), (CellSet{3, 8, 9}));
}

TEST(TextMaskTest, LargeGroupsAreKeptWhole) {
  CellSet full;
  for (std::int64_t i = 0; i < 300 * 300; ++i) full.insert(i);
  EXPECT_EQ(dropSpecks(full, 300, 300), full);
  EXPECT_EQ(dropSpecks(full, 0, 300), CellSet{});
}

struct MarksCase {
  const char* name;
  std::size_t length, every;  // every this many bytes is marked, from the first
  std::uint8_t value;         // the mark; 0 takes each single bit in turn
};
class CellsOfMarksTest : public testing::TestWithParam<MarksCase> {};

// Any byte that is not 0 is a cell, whatever its bits, at any length around whole words.
TEST_P(CellsOfMarksTest, EveryByteThatIsNotZeroIsACell) {
  const auto [name, length, every, value] = GetParam();
  std::vector<std::uint8_t> marks(length, 0);
  CellSet expected;
  for (std::size_t i = 0; i < length; i += every) {
    marks[i] = value != 0 ? value : static_cast<std::uint8_t>(1u << (i / every % 8));
    expected.insert(static_cast<std::int64_t>(i));
  }
  EXPECT_EQ(CellSet::ofMarks(marks), expected);
  EXPECT_EQ(CellSet::ofMarks(marks).count(), expected.count());
}

INSTANTIATE_TEST_SUITE_P(
    Marks, CellsOfMarksTest,
    testing::Values(MarksCase{"Empty", 0, 1, 1}, MarksCase{"SevenBytes", 7, 2, 0xFF},
                    MarksCase{"AllOfOneWordAndOneMore", 65, 1, 1}, MarksCase{"EachBitInTurn", 203, 3, 0},
                    MarksCase{"HighBitEveryNinth", 500, 9, 0x80}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextMaskTest, CoverageIsCellsOverTheRectArea) {
  CellSet fifty;
  for (std::int64_t i = 0; i < 50; ++i) fifty.insert(i * 2);
  EXPECT_EQ(
      maskCoverage(TextMask{.rect = {0, 0, 10, 10}, .pixels = fifty, .width = 10, .height = 10}),
      0.5);
  EXPECT_EQ(maskCoverage(TextMask{.rect = {3.2, 4.1, 0.5, 0.5}}), 0.0);
  EXPECT_EQ(maskCoverage(TextMask{.rect = {3.2, 4.1, 0.5, 0.5}, .pixels = {0, 1, 2}}), 3.0);
}

TEST(TextMaskTest, BlackTextOnWhiteGrowsSevenPixels) {
  platform::PageBitmap page = makePage(40, 40);
  page.setPixel(20, 20, kBlack);
  page.setPixel(5, 38, kBlack);
  const auto mask = buildTextMask(page, {0, 0, 40, 40});
  ASSERT_TRUE(mask);
  EXPECT_EQ(mask->rect, (Rect{0, 0, 40, 40}));
  EXPECT_EQ(mask->width, 40);
  EXPECT_EQ(mask->height, 40);
  CellSet expected = squareAround(40, 40, 20, 20, 7);
  for (std::int64_t i : squareAround(40, 40, 5, 38, 7)) expected.insert(i);
  EXPECT_EQ(mask->pixels, expected);
}

struct StrokeCase {
  const char* name;
  Rgb8 paper;
  Rgb8 stroke;
  std::int64_t expectedCells;  // 0: no mask
};
class StrokeThresholdTest : public ::testing::TestWithParam<StrokeCase> {};

// White paper: limit 0.82 (0.97 is capped), 15 x 15 squares. Grey 153 paper (0.6, not clean):
// limit 0.44 (0.43999999999999995), 5 x 5 squares.
TEST_P(StrokeThresholdTest, MarksPixelsDarkerThanTheLimit) {
  const StrokeCase& c = GetParam();
  platform::PageBitmap page = makePage(30, 30, c.paper);
  page.setPixel(15, 15, c.stroke);
  const auto mask = buildTextMask(page, {0, 0, 30, 30});
  EXPECT_EQ(mask ? mask->pixels.count() : 0, c.expectedCells);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, StrokeThresholdTest,
    ::testing::Values(StrokeCase{"WhitePaperJustDarker", kWhite, grey(209), 225},          // 0.8196
                      StrokeCase{"WhitePaperExactlyAtLimit", kWhite, {221, 205, 199}, 0},  // 0.82
                      StrokeCase{"WhitePaperJustLighter", kWhite, grey(210), 0},
                      StrokeCase{"GreyPaperJustDarker", grey(153), grey(112), 25},  // 0.4392
                      StrokeCase{"GreyPaperJustLighter", grey(153), grey(113), 0},  // 0.4431
                      StrokeCase{"NothingDark", kWhite, kWhite, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct PaperCase {
  const char* name;
  std::int64_t side;
  Rgb8 ring;
  Rgb8 inner;
  std::int64_t innerCount;  // inside pixels painted `inner` in row order
  std::int64_t expectedCells;
};
class CleanPaperTest : public ::testing::TestWithParam<PaperCase> {};

// A black pixel in the middle grows into 15 x 15 on clean paper and 5 x 5 otherwise;
// on a 10 x 10 window 15 x 15 covers all 100 cells.
TEST_P(CleanPaperTest, GrowthFollowsThePaper) {
  const PaperCase& c = GetParam();
  platform::PageBitmap page = makePage(c.side, c.side);
  paintRing(page, 0, 0, c.side, c.side, c.ring);
  paintFirstPixels(page, 1, 1, c.side - 2, c.side - 2, c.innerCount, c.inner);
  page.setPixel(c.side / 2, c.side / 2, kBlack);
  const auto mask = buildTextMask(page, {0, 0, double(c.side), double(c.side)});
  ASSERT_TRUE(mask);
  EXPECT_EQ(mask->pixels.count(), c.expectedCells);
}

// The black pixel is one of the non-bright grid points. Grey 160 (0.627) is neither bright nor
// darker than the 0.58 limit of unclean paper, but it is darker than 0.82, so on clean paper the
// grey rows are marked as well.
INSTANTIATE_TEST_SUITE_P(
    Limits, CleanPaperTest,
    ::testing::Values(PaperCase{"RingJustUnderClean", 30, grey(173), kWhite, 0, 25},       // 0.678
                      PaperCase{"RingExactlyClean", 30, {169, 173, 187}, kWhite, 0, 225},  // 0.68
                      PaperCase{"RingJustOverClean", 30, grey(174), kWhite, 0, 225},       // 0.682
                      PaperCase{"Bright67Percent", 10, kWhite, grey(160), 32, 25},
                      PaperCase{"Bright68Percent", 10, kWhite, grey(160), 31, 100},
                      PaperCase{"Bright69Percent", 10, kWhite, grey(160), 30, 100},
                      PaperCase{"Colourful9Percent", 10, kWhite, {255, 255, 0}, 9, 25},
                      PaperCase{"Colourful8Percent", 10, kWhite, {255, 255, 0}, 8, 100},
                      PaperCase{"Colourful7Percent", 10, kWhite, {255, 255, 0}, 7, 100}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextMaskTest, DarkPaperKeepsTheLowestLimit) {
  // Black ring: limit 0.1. The ring is marked and grows 2 into a band 3 wide (900 - 576 cells).
  platform::PageBitmap page = makePage(30, 30, grey(26));  // 0.102
  paintRing(page, 0, 0, 30, 30, kBlack);
  EXPECT_EQ(buildTextMask(page, {0, 0, 30, 30})->pixels.count(), 324);
  page.setPixel(15, 15, grey(25));  // 0.098
  EXPECT_EQ(buildTextMask(page, {0, 0, 30, 30})->pixels.count(), 324 + 25);
}

TEST(TextMaskTest, WindowThreeHighCutsTheGrowth) {
  platform::PageBitmap page = makePage(20, 5);
  page.setPixel(10, 2, kBlack);
  const auto mask = buildTextMask(page, {0, 1, 20, 3});
  ASSERT_TRUE(mask);
  EXPECT_EQ(mask->pixels, squareAround(20, 3, 10, 1, 7));
  EXPECT_EQ(mask->pixels.count(), 45);
  EXPECT_FALSE(buildTextMask(page, {0, 1, 20, 2}));
  EXPECT_FALSE(buildTextMask(page, {9, 0, 2, 5}));
}

TEST(TextMaskTest, WindowIsTheRectsPixelRange) {
  platform::PageBitmap page = makePage(40, 40);
  page.setPixel(12, 21, kBlack);
  const auto mask = buildTextMask(page, {10.2, 20.7, 5.1, 3.0});
  ASSERT_TRUE(mask);
  EXPECT_EQ(mask->rect, (Rect{10, 20, 6, 4}));
  EXPECT_EQ(mask->width, 6);
  EXPECT_EQ(mask->height, 4);
  EXPECT_EQ(mask->pixels.count(), 24);
}

TEST(TextMaskTest, WindowReachingOffThePageIsCut) {
  platform::PageBitmap page = makePage(20, 20);
  page.setPixel(0, 0, kBlack);
  const auto mask = buildTextMask(page, {-5, -5, 15, 15});
  ASSERT_TRUE(mask);
  EXPECT_EQ(mask->rect, (Rect{0, 0, 10, 10}));
  EXPECT_EQ(mask->pixels, squareAround(10, 10, 0, 0, 7));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(buildTextMask(page, {nan, 0, 10, 10}));
  EXPECT_FALSE(buildTextMask(page, {30, 30, 10, 10}));
}

}  // namespace
}  // namespace letterforge
