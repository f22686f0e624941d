#include "letterforge/layout/rect_cells.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "letterforge/layout/rect_geometry.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

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

struct Query {
  Rect rect;
  std::vector<std::size_t> meeting;  // the filed rectangles it meets, by a look at each
};
struct CellsCase {
  const char* name;
  Rect area;
  std::vector<Rect> filed;
  std::vector<Query> queries;
};
class RectCellsTableTest : public ::testing::TestWithParam<CellsCase> {};

// Of what a query finds, those that meet it are exactly those a look at every rectangle
// gives; what it finds is ascending and each once.
TEST_P(RectCellsTableTest, FindsExactlyWhatALookAtEachRectangleFinds) {
  const CellsCase& c = GetParam();
  RectCells cells(c.area);
  for (std::size_t i = 0; i < c.filed.size(); ++i) cells.file(i, c.filed[i], nullRect());
  for (const Query& q : c.queries) {
    std::vector<std::size_t> scanned;
    for (std::size_t i = 0; i < c.filed.size(); ++i) {
      if (intersects(c.filed[i], q.rect)) scanned.push_back(i);
    }
    ASSERT_EQ(scanned, q.meeting) << "the table itself, query at " << q.rect.x << ", " << q.rect.y;
    const std::vector<std::size_t> found = cells.near(q.rect, kKeepAll);
    ASSERT_TRUE(std::is_sorted(found.begin(), found.end()));
    ASSERT_EQ(std::adjacent_find(found.begin(), found.end()), found.end());
    std::vector<std::size_t> meeting;
    for (const std::size_t i : found) {
      if (intersects(c.filed[i], q.rect)) meeting.push_back(i);
    }
    EXPECT_EQ(meeting, q.meeting) << "query at " << q.rect.x << ", " << q.rect.y;
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, RectCellsTableTest, ::testing::Values(
    CellsCase{"NothingFiled", {0, 0, 1000, 1000}, {}, {{{10, 10, 50, 50}, {}}, {{0, 0, 1000, 1000}, {}}}},
    // A strip over the page's width and a column down its height cross about 60 cells each.
    CellsCase{"RectanglesOverManyCells", {0, 0, 4000, 4000},
              {{0, 0, 4000, 10}, {100, 100, 5, 5}, {3990, 3990, 10, 10}, {2000, 0, 3, 4000}},
              {{{3000, 5, 1, 1}, {0}},
               {{1990, 1990, 20, 20}, {3}},
               {{0, 0, 4000, 4000}, {0, 1, 2, 3}},
               {{2003, 10, 0, 0}, {0, 3}},
               {{3995, 3995, 100, 100}, {2}}}},
    CellsCase{"NegativeCoordinates", {-2000, -1500, 1900, 1400},
              {{-1990, -1490, 30, 30}, {-190, -190, 90, 90}, {-164, -164, 64, 64}},
              {{{-150, -150, 0, 0}, {1, 2}},
               {{-1960, -1460, 5, 5}, {0}},
               {{-99, -99, 50, 50}, {}},
               {{-2100, -1600, 120, 120}, {0}}}},
    // Cells are 64 units: shared edges and corners lie on cell edges.
    CellsCase{"TouchingEdgesAndCornersOnCellEdges", {0, 0, 640, 640},
              {{0, 0, 64, 64}, {64, 64, 64, 64}, {128, 0, 64, 64}, {192, 192, 0, 0}},
              {{{64, 0, 0, 0}, {0}},
               {{64, 64, 0, 0}, {0, 1}},
               {{128, 64, 0, 0}, {1, 2}},
               {{192, 192, 0, 0}, {3}},
               {{192.5, 192, 1, 1}, {}},
               {{0, 63.999, 640, 0.001}, {0, 1, 2}}}},
    // Positions past the area fall in its edge cells.
    CellsCase{"RectanglesAndQueriesOutsideTheArea", {0, 0, 500, 500},
              {{-900, -900, 10, 10}, {1200, 250, 10, 10}, {-50, 200, 700, 20}, {250, 250, 1, 1}},
              {{{-895, -895, 1, 1}, {0}},
               {{1205, 255, 300, 1}, {1}},
               {{-10000, 210, 20000, 1}, {2}},
               {{600, 600, 5, 5}, {}}}},
    CellsCase{"NegativeSizes", {0, 0, 1000, 1000},
              {{100, 100, -50, -50}, {900, 900, -300, 50}, {500, 500, 10, -400}},
              {{{60, 60, 1, 1}, {0}},
               {{700, 920, 1, 1}, {1}},
               {{505, 150, 0, 0}, {2}},
               {{101, 101, 5, 5}, {}}}},
    // Over 512 cells of 64 a side would be needed: cells are wider instead.
    CellsCase{"CoarseCellsOverAHugeArea", {0, 0, 1e6, 1e6},
              {{1952, 0, 2, 2}, {1954, 0, 2, 2}, {999990, 999990, 10, 10}, {0, 500000, 1e6, 1}},
              {{{1953.5, 1, 0, 0}, {0}},
               {{1954, 1, 0, 0}, {0, 1}},
               {{999999, 999999, 10, 10}, {2}},
               {{123456, 500001, 0, 0}, {3}}}},
    CellsCase{"AreaOfOnePoint", {5, 5, 0, 0},
              {{5, 5, 0, 0}, {4, 4, 2, 2}, {100, 100, 1, 1}},
              {{{5, 5, 0, 0}, {0, 1}}, {{100.5, 100.5, 0, 0}, {2}}, {{50, 50, 1, 1}, {}}}},
    CellsCase{"FarFromTheOrigin", {1e12, 1e12, 5000, 5000},
              {{1e12, 1e12, 64, 64}, {1e12 + 4936, 1e12 + 4936, 64, 64}},
              {{{1e12 + 64, 1e12 + 64, 0, 0}, {0}},
               {{1e12 + 5000, 1e12 + 5000, 1, 1}, {1}},
               {{1e12 + 2000, 1e12 + 2000, 10, 10}, {}}}}),
    [](const auto& info) { return std::string(info.param.name); });

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
