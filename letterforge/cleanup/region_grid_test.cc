#include "letterforge/cleanup/region_grid.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace letterforge {
namespace {

// A grid from rows of '#' (set) and '.' (unset), the first row being row 0.
RegionGrid gridOf(const std::vector<std::string>& rows) {
  RegionGrid grid = emptyRegionGrid(static_cast<std::int64_t>(rows.front().size()),
                              static_cast<std::int64_t>(rows.size()));
  for (std::size_t y = 0; y < rows.size(); ++y) {
    for (std::size_t x = 0; x < rows[y].size(); ++x) grid.cells[y * rows[y].size() + x] = rows[y][x] == '#';
  }
  return grid;
}

TEST(RegionGridTest, SeededAreaIsTheOneHoldingMostSeeds) {
  const RegionGrid grid = gridOf({"##..#",
                                  "##..#",
                                  ".....",
                                  "#####"});
  // Seeds: one in the top-left square, two in the bottom row, one on an unset cell.
  EXPECT_EQ(largestSeededArea(grid, {0, 15, 16, 2}), gridOf({".....", ".....", ".....", "#####"}));
  EXPECT_EQ(setCellCount(largestSeededArea(grid, {2, 7})), 0);
  // Two seeds each: the area that reached two first, whatever the order the areas lie in.
  EXPECT_EQ(largestSeededArea(grid, {0, 15, 16, 1}), gridOf({".....", ".....", ".....", "#####"}));
  EXPECT_EQ(largestSeededArea(grid, {15, 0, 1, 16}), gridOf({"##...", "##...", ".....", "....."}));
}

TEST(RegionGridTest, OnlySmallEnclosedHolesAreFilled) {
  const RegionGrid grid = gridOf({"#######",
                                  "#.#...#",
                                  "###...#",
                                  "#.#...#",
                                  "#.#####",
                                  "#......"});
  // The one-row hole is filled; the three-row hole is not at limit 2; the hole reaching the
  // window's edge never is.
  EXPECT_EQ(withSmallHolesFilled(grid, 2), gridOf({"#######",
                                                  "###...#",
                                                  "###...#",
                                                  "#.#...#",
                                                  "#.#####",
                                                  "#......"}));
  EXPECT_EQ(withSmallHolesFilled(grid, 3), gridOf({"#######",
                                                  "#######",
                                                  "#######",
                                                  "#.#####",
                                                  "#.#####",
                                                  "#......"}));
}

TEST(RegionGridTest, ErosionCountsBeyondTheWindowAsUnset) {
  const RegionGrid full = gridOf({"#####", "#####", "#####", "#####", "#####"});
  EXPECT_EQ(eroded(full, 1.0), gridOf({".....", ".###.", ".###.", ".###.", "....."}));
  EXPECT_EQ(eroded(full, 2.0), gridOf({".....", ".....", "..#..", ".....", "....."}));
  EXPECT_EQ(setCellCount(eroded(full, 3.0)), 0);
  // One grid's distances serve every radius.
  const UnsetDistances distances = unsetDistances(full);
  EXPECT_EQ(eroded(distances, 1.0), gridOf({".....", ".###.", ".###.", ".###.", "....."}));
  EXPECT_EQ(eroded(distances, 2.0), gridOf({".....", ".....", "..#..", ".....", "....."}));
}

// A corner step goes up and down, left and right: both passes carry distances each way.
TEST(RegionGridTest, DistancesRunFromCornersBothWays) {
  const RegionGrid corners = gridOf({"#....", ".....", ".....", ".....", "....#"});
  EXPECT_EQ(dilated(corners, 2.0), gridOf({"###..", "##...", "#...#", "...##", "..###"}));
}

TEST(RegionGridTest, DilationGrowsByTheRadius) {
  const RegionGrid dot = gridOf({".....", ".....", "..#..", ".....", "....."});
  EXPECT_EQ(dilated(dot, 1.0), gridOf({".....", "..#..", ".###.", "..#..", "....."}));
  // A corner step counts 4/3 pixels.
  EXPECT_EQ(dilated(dot, 1.34), gridOf({".....", ".###.", ".###.", ".###.", "....."}));
}

TEST(RegionGridTest, LargestRectangleAndBounds) {
  const RegionGrid grid = gridOf({"..##....",
                                  ".#####..",
                                  ".######.",
                                  "..####..",
                                  "........"});
  EXPECT_EQ(largestRectangle(grid), (CellRect{2, 1, 4, 3}));
  // At least four rows high: the one column the grid has of that height.
  EXPECT_EQ(largestRectangle(grid, 4), (CellRect{2, 0, 2, 4}));
  EXPECT_EQ(largestRectangle(grid, 5), CellRect{});
  EXPECT_EQ(largestRectangles(grid, {5, 0, 4}),
            (std::vector<CellRect>{CellRect{}, CellRect{2, 1, 4, 3}, CellRect{2, 0, 2, 4}}));
  EXPECT_EQ(setBounds(grid), (CellRect{1, 0, 6, 4}));
  EXPECT_EQ(largestRectangle(emptyRegionGrid(3, 3)), CellRect{});
  EXPECT_EQ(setBounds(emptyRegionGrid(3, 3)), CellRect{});
}

}  // namespace
}  // namespace letterforge
