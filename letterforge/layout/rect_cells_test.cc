#include "letterforge/layout/rect_cells.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "letterforge/layout/rect_geometry.h"

namespace letterforge {
namespace {

const auto kKeepAll = [](std::size_t) { return false; };

// Against a look at every rectangle: each one that meets the query is found, the found are
// ascending and each appears once.
TEST(RectCellsTest, FindsEveryFiledRectangleThatMeetsTheQuery) {
  std::mt19937 random(3);
  std::uniform_real_distribution<double> position(-200.0, 3000.0);
  std::uniform_real_distribution<double> side(0.0, 150.0);
  std::vector<Rect> rects;
  for (int i = 0; i < 500; ++i) {
    // Whole positions make shared edges and corners common.
    rects.push_back({std::round(position(random)), std::round(position(random)),
                     std::round(side(random)) * (i % 9 == 0 ? 8 : 1), std::round(side(random))});
  }
  RectCells cells({0, 0, 2800, 2800});  // some rectangles reach past the area
  for (std::size_t i = 0; i < rects.size(); ++i) cells.file(i, rects[i], nullRect());
  for (int q = 0; q < 300; ++q) {
    const Rect query{std::round(position(random)), std::round(position(random)),
                     std::round(side(random)), std::round(side(random))};
    const std::vector<std::size_t> found = cells.near(query, kKeepAll);
    ASSERT_TRUE(std::is_sorted(found.begin(), found.end()));
    ASSERT_EQ(std::adjacent_find(found.begin(), found.end()), found.end());
    for (std::size_t i = 0; i < rects.size(); ++i) {
      if (intersects(rects[i], query)) {
        EXPECT_TRUE(std::binary_search(found.begin(), found.end(), i)) << q << " misses " << i;
      }
    }
    EXPECT_LT(found.size(), rects.size() / 4);  // neighbours, not everything
  }
}

TEST(RectCellsTest, GrownRectangleIsFoundWhereItGrewTo) {
  RectCells cells({0, 0, 1000, 1000});
  cells.file(0, {10, 10, 20, 20}, nullRect());
  EXPECT_TRUE(cells.near({900, 900, 10, 10}, kKeepAll).empty());
  cells.file(0, {10, 10, 950, 950}, {10, 10, 20, 20});
  EXPECT_EQ(cells.near({900, 900, 10, 10}, kKeepAll), (std::vector<std::size_t>{0}));
  EXPECT_EQ(cells.near({15, 15, 1, 1}, kKeepAll), (std::vector<std::size_t>{0}));
}

TEST(RectCellsTest, DroppedIndicesAreGoneForGood) {
  RectCells cells({0, 0, 500, 500});
  for (std::size_t i = 0; i < 5; ++i) cells.file(i, {100, 100, 50, 50}, nullRect());
  const auto odd = [](std::size_t i) { return i % 2 == 1; };
  EXPECT_EQ(cells.near({120, 120, 5, 5}, odd), (std::vector<std::size_t>{0, 2, 4}));
  EXPECT_EQ(cells.near({120, 120, 5, 5}, kKeepAll), (std::vector<std::size_t>{0, 2, 4}));
}

TEST(RectCellsTest, AreaThatIsNotFiniteIsOneCell) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  RectCells cells({0, 0, kInf, 10});
  cells.file(0, {0, 0, 1, 1}, nullRect());
  cells.file(1, {1e300, 5, 1, 1}, nullRect());
  EXPECT_EQ(cells.near({-1e300, -1e300, 1, 1}, kKeepAll), (std::vector<std::size_t>{0, 1}));
}

}  // namespace
}  // namespace letterforge
