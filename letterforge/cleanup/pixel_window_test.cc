#include "letterforge/cleanup/pixel_window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "letterforge/raster/test_pages.h"

namespace letterforge {
namespace {

using namespace test_pages;

// A grid drawn as rows of '#' (set) and '.' (clear), top row first.
CellGrid gridOf(const std::vector<std::string>& rows) {
  CellGrid grid = emptyGrid(static_cast<std::int64_t>(rows[0].size()), static_cast<std::int64_t>(rows.size()));
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < rows[r].size(); ++c) grid.cells[r * rows[0].size() + c] = rows[r][c] == '#';
  }
  return grid;
}

struct GrowCase {
  const char* name;
  std::vector<std::string> in;
  std::int64_t radius;
  CellRange limit;
  std::vector<std::string> expected;
};
class GrowCellsTest : public ::testing::TestWithParam<GrowCase> {};

TEST_P(GrowCellsTest, GrowsIntoTheSquareAroundEachCell) {
  const GrowCase& c = GetParam();
  EXPECT_EQ(growCells(gridOf(c.in), c.radius, c.limit), gridOf(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GrowCellsTest,
    ::testing::Values(
        GrowCase{"OneCellByOne", {".....", ".....", "..#..", ".....", "....."}, 1, {0, 0, 5, 5},
                 {".....", ".###.", ".###.", ".###.", "....."}},
        GrowCase{"CutAtTheWindowEdge", {"#....", ".....", "....."}, 2, {0, 0, 5, 3},
                 {"###..", "###..", "###.."}},
        GrowCase{"KeptInsideTheLimit", {".....", "..#..", "....."}, 2, {1, 0, 4, 2},
                 {".###.", ".###.", "....."}},
        GrowCase{"RadiusBeyondTheWindow", {"....#"}, 9, {0, 0, 5, 1}, {"#####"}},
        GrowCase{"TwoApartJoinDownAColumn", {"..#..", ".....", ".....", ".....", "..#.."}, 2,
                 {0, 0, 5, 5}, {"#####", "#####", "#####", "#####", "#####"}},
        GrowCase{"ThreeApartLeaveAGap", {"#", ".", ".", ".", ".", ".", "#"}, 2, {0, 0, 1, 7},
                 {"#", "#", "#", ".", "#", "#", "#"}},
        GrowCase{"LimitBeyondTheWindow", {"...", ".#.", "..."}, 1, {-4, -4, 9, 9},
                 {"###", "###", "###"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Grids of a single row, long enough for a run of eight cells and a few after it; labels
// other than 1 count as set as well.
struct CellMaskCase {
  const char* name;
  std::vector<std::uint8_t> cells;
  std::vector<std::uint8_t> by;
  std::int64_t set;
  std::vector<std::uint8_t> within;
  std::vector<std::uint8_t> without;
};
class CellMaskTest : public ::testing::TestWithParam<CellMaskCase> {};

CellGrid rowOf(const std::vector<std::uint8_t>& cells) {
  return CellGrid{.width = static_cast<std::int64_t>(cells.size()), .height = 1, .cells = cells};
}

TEST_P(CellMaskTest, CountsKeepsAndClearsEveryLabelAlike) {
  const CellMaskCase& c = GetParam();
  EXPECT_EQ(countSet(rowOf(c.cells)), c.set);
  std::vector<std::int64_t> visited, expectedVisits;
  forEachSetCell(rowOf(c.cells), [&](std::int64_t cell) { visited.push_back(cell); });
  for (std::size_t i = 0; i < c.cells.size(); ++i) {
    if (c.cells[i] != 0) expectedVisits.push_back(static_cast<std::int64_t>(i));
  }
  EXPECT_EQ(visited, expectedVisits);
  EXPECT_EQ(within(rowOf(c.cells), rowOf(c.by)).cells, c.within);
  EXPECT_EQ(without(rowOf(c.cells), rowOf(c.by)).cells, c.without);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CellMaskTest,
    ::testing::Values(
        CellMaskCase{"Empty", {}, {}, 0, {}, {}},
        CellMaskCase{"ShorterThanARun", {1, 0, 2}, {0, 0, 255}, 2, {0, 0, 2}, {1, 0, 0}},
        CellMaskCase{"HighAndLowLabelsInARun",
                     {0x80, 0x7f, 0xff, 0x01, 0, 0x40, 0, 2, 9, 0, 1},
                     {1, 0x80, 0, 0x10, 1, 0, 0xff, 0x7f, 0, 3, 1},
                     8,
                     {0x80, 0x7f, 0, 0x01, 0, 0, 0, 2, 0, 0, 1},
                     {0, 0, 0xff, 0, 0, 0x40, 0, 0, 9, 0, 0}},
        CellMaskCase{"AllSetOverAllClear",
                     std::vector<std::uint8_t>(17, 1), std::vector<std::uint8_t>(17, 0), 17,
                     std::vector<std::uint8_t>(17, 0), std::vector<std::uint8_t>(17, 1)}),
    [](const auto& info) { return std::string(info.param.name); });

struct OpeningCase {
  const char* name;
  std::vector<std::string> in;
  std::int64_t size;
  std::vector<std::string> expected;
};
class OpenedTest : public ::testing::TestWithParam<OpeningCase> {};

TEST_P(OpenedTest, KeepsWhatTheSquareFitsIn) {
  const OpeningCase& c = GetParam();
  EXPECT_EQ(opened(gridOf(c.in), c.size), gridOf(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenedTest,
    ::testing::Values(
        OpeningCase{"SizeOneKeepsAll", {"#..", ".#.", "..#"}, 1, {"#..", ".#.", "..#"}},
        OpeningCase{"SpecksGoAtTwo", {"#...", "..##", "..##"}, 2, {"....", "..##", "..##"}},
        OpeningCase{"TwoByTwoDotGoesAtThree", {"##..", "##..", "...."}, 3, {"....", "....", "...."}},
        // A bar 3 wide stays whole, the one-cell spur on it goes.
        OpeningCase{"BarStaysItsSpurGoes", {"###.", "####", "###.", "###."}, 3,
                    {"###.", "###.", "###.", "###."}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LabelGroupsTest, NumbersEightConnectedGroupsAndEnclosedCellsAreFound) {
  std::int32_t count = 0;
  const std::vector<std::int32_t> labels = labelGroups(gridOf({"#..#", ".#..", "...#"}), count);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(labels, (std::vector<std::int32_t>{1, 0, 0, 2, 0, 1, 0, 0, 0, 0, 0, 3}));
  CellGrid ring = gridOf({"#####", "#...#", "#.#.#", "#####", "....."});
  addEnclosed(ring);
  EXPECT_EQ(ring, gridOf({"#####", "#####", "#####", "#####", "....."}));
}

TEST(DistanceToTest, CountsChessboardStepsAndCapsThem) {
  const CellGrid from = gridOf({"#....", ".....", "....."});
  const std::vector<std::uint8_t> expected{0, 1, 2, 3, 3,  //
                                           1, 1, 2, 3, 3,  //
                                           2, 2, 2, 3, 3};
  EXPECT_EQ(distanceTo(from, 3), expected);
  EXPECT_EQ(distanceTo(gridOf({"..", ".."}), 7), std::vector<std::uint8_t>(4, 7));
}

TEST(CellsByDepthTest, OuterCellsOfAHoleComeFirst) {
  const CellGrid holes = gridOf({".....", ".###.", ".###.", ".###.", "....."});
  const std::vector<std::int64_t> expected{6, 7, 8, 11, 13, 16, 17, 18, 12};
  EXPECT_EQ(cellsByDepth(holes), expected);
}

TEST(PixelWindowTest, CopiesOutAndWritesBackOnlyMaskedCells) {
  auto page = makePage(6, 5, grey(100));
  paintRect(page, 2, 1, 1, 1, kRed);
  PixelWindow window = copyWindow(page, PixelBounds{.minX = 1, .maxX = 4, .minY = 1, .maxY = 3,
                                                    .width = 3, .height = 2});
  EXPECT_EQ(window.at(1)[0], 255.0f);  // (2, 1)
  EXPECT_EQ(window.at(1)[1], 0.0f);
  CellGrid mask = emptyGrid(3, 2);
  mask.cells[1] = 1;  // (2, 1)
  mask.cells[5] = 1;  // (3, 2)
  for (float& v : window.rgb) v = 7.4f;
  EXPECT_EQ(writeMaskedCells(page, window, mask), (std::vector<platform::Rgb8>{kRed, grey(100)}));
  EXPECT_EQ(page.pixel(3, 2), grey(7));
  EXPECT_EQ(page.pixel(2, 1), grey(7));
  EXPECT_EQ(page.pixel(1, 1), grey(100));
}

// Written back, a cell is rounded half away from zero and held to 0..255.
TEST(PixelWindowTest, WritesBackRoundedAndClamped) {
  const struct {
    const char* name;
    float value;
    std::uint8_t level;
  } cases[] = {{"Negative", -3.0f, 0},          {"NotANumber", std::nanf(""), 0},
               {"JustBelowAHalf", 0.49999997f, 0}, {"AHalf", 0.5f, 1},
               {"OneAndAHalf", 1.5f, 2},          {"TwoAndAHalf", 2.5f, 3},
               {"JustBelowTheTop", 254.49998f, 254}, {"TopHalf", 254.5f, 255},
               {"Above", 300.0f, 255},            {"Infinite", HUGE_VALF, 255}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto page = makePage(1, 1, grey(100));
    PixelWindow window = copyWindow(page, PixelBounds{.minX = 0, .maxX = 1, .minY = 0, .maxY = 1,
                                                      .width = 1, .height = 1});
    window.rgb = {c.value, c.value, c.value};
    writeMaskedCells(page, window, CellGrid{.width = 1, .height = 1, .cells = {1}});
    EXPECT_EQ(page.pixel(0, 0), grey(c.level));
  }
}

}  // namespace
}  // namespace letterforge
