#include "letterforge/cleanup/ground_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "letterforge/cleanup/smooth_fill.h"

namespace letterforge {
namespace {

using Paint = std::function<std::array<float, 3>(std::int64_t c, std::int64_t r)>;

PixelWindow windowOf(std::int64_t w, std::int64_t h, const Paint& paint) {
  PixelWindow window{.width = w, .height = h};
  window.rgb.resize(static_cast<std::size_t>(3 * w * h));
  for (std::int64_t r = 0; r < h; ++r) {
    for (std::int64_t c = 0; c < w; ++c) {
      const auto v = paint(c, r);
      std::copy(v.begin(), v.end(), window.at(r * w + c));
    }
  }
  return window;
}

CellGrid allCells(std::int64_t w, std::int64_t h) {
  CellGrid grid = emptyGrid(w, h);
  fillRange(grid, CellRange{0, 0, w, h});
  return grid;
}

// A ramp across the window with dark bars over a third of it: the fit follows the ramp.
std::array<float, 3> rampWithBars(std::int64_t c, std::int64_t r) {
  if (r >= 10 && r < 30 && c % 6 < 3 && c > 6 && c < 52) return {10, 10, 10};
  const auto v = static_cast<float>(100 + 2 * c);
  return {v, v, 200};
}

TEST(GroundFitTest, FollowsAGradientAndTakesDarkBarsForOutliers) {
  const PixelWindow window = windowOf(60, 40, rampWithBars);
  const auto fit = fitGround(window, allCells(60, 40), {150, 150, 200});
  ASSERT_TRUE(fit);
  for (const auto& [c, r] : {std::pair{0L, 0L}, {59L, 39L}, {30L, 20L}, {9L, 15L}}) {
    const auto g = groundAt(*fit, c, r);
    EXPECT_NEAR(g[0], 100 + 2 * c, 0.5) << c << "," << r;
    EXPECT_NEAR(g[2], 200, 0.5);
  }
  EXPECT_LT(fit->noise, 0.5);
  const auto distance = groundDistance(window, *fit);
  EXPECT_GT(distance[20 * 60 + 12], 100.0f);  // a bar
  EXPECT_LT(distance[5 * 60 + 12], 0.5f);
}

TEST(GroundFitTest, FindsTheGroundNearestItsStart) {
  // Left half white paper, right half a grey panel: each start keeps its own ground.
  const PixelWindow window = windowOf(40, 20, [](std::int64_t c, std::int64_t) {
    return c < 20 ? std::array<float, 3>{250, 250, 250} : std::array<float, 3>{90, 90, 90};
  });
  const auto white = fitGround(window, allCells(40, 20), {240, 240, 240});
  const auto grey = fitGround(window, allCells(40, 20), {100, 100, 100});
  ASSERT_TRUE(white && grey);
  EXPECT_NEAR(groundAt(*white, 5, 5)[0], 250, 1.0);
  EXPECT_NEAR(groundAt(*grey, 35, 5)[0], 90, 1.0);
}

TEST(GroundFitTest, NeedsTwelveCells) {
  const PixelWindow window = windowOf(4, 3, [](auto, auto) { return std::array<float, 3>{1, 2, 3}; });
  CellGrid eleven = allCells(4, 3);
  eleven.cells[0] = 0;
  EXPECT_FALSE(fitGround(window, eleven, {0, 0, 0}));
  EXPECT_TRUE(fitGround(window, allCells(4, 3), {0, 0, 0}));
}

TEST(GroundFitTest, CommonestColourIsThePaperAmongLetters) {
  const PixelWindow window = windowOf(20, 10, [](std::int64_t c, std::int64_t) {
    return c % 3 == 0 ? std::array<float, 3>{0, 0, 0} : std::array<float, 3>{240, 220, 180};
  });
  const auto colour = commonestColour(window, allCells(20, 10));
  ASSERT_TRUE(colour);
  EXPECT_NEAR((*colour)[0], 240, 0.01);
  EXPECT_NEAR((*colour)[2], 180, 0.01);
  const auto median = medianColour(window, allCells(20, 10));
  EXPECT_EQ((*median)[1], 220);
  EXPECT_FALSE(commonestColour(window, emptyGrid(20, 10)));
}

// The median is the lower middle of an even count, whether the values are whole levels
// (counted) or not (sorted); cells not set are not read.
struct MedianCase {
  const char* name;
  std::vector<float> values;  // one cell each, grey; a negative value marks a cell not set
  std::optional<double> expected;
};
class MedianColourTest : public ::testing::TestWithParam<MedianCase> {};

TEST_P(MedianColourTest, TakesTheMiddleOfTheSetCells) {
  const MedianCase& c = GetParam();
  const auto w = static_cast<std::int64_t>(c.values.size());
  const PixelWindow window = windowOf(w, 1, [&](std::int64_t col, std::int64_t) {
    const float v = c.values[static_cast<std::size_t>(col)];
    return std::array<float, 3>{v, v, v};
  });
  CellGrid set = emptyGrid(w, 1);
  for (std::int64_t i = 0; i < w; ++i) set.cells[static_cast<std::size_t>(i)] = c.values[static_cast<std::size_t>(i)] >= 0;
  const auto median = medianColour(window, set);
  ASSERT_EQ(median.has_value(), c.expected.has_value());
  if (!median) return;
  EXPECT_EQ((*median)[0], *c.expected);
  EXPECT_EQ((*median)[2], *c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MedianColourTest,
    ::testing::Values(MedianCase{"OddCountOfLevels", {30, 10, 20}, 20.0},
                      MedianCase{"EvenCountTakesTheLowerMiddle", {40, 10, 30, 20}, 20.0},
                      MedianCase{"EvenCountOfFittedValues", {40.5f, 10, 30, 20.25f}, 20.25},
                      MedianCase{"RepeatedLevels", {7, 7, 7, 9, 0}, 7.0},
                      MedianCase{"TheExtremeLevels", {0, 255, 255}, 255.0},
                      MedianCase{"CellsNotSetAreNotRead", {-1, 50, -1, 60, 70}, 60.0},
                      MedianCase{"NoCellSet", {-1, -1}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SmoothFillTest, HolesInARampTakeTheRampAndIgnoreCellsOfNeitherSet) {
  PixelWindow window = windowOf(40, 30, [](std::int64_t c, std::int64_t r) {
    const auto v = static_cast<float>(50 + 3 * c + r);
    return std::array<float, 3>{v, v, v};
  });
  CellGrid holes = emptyGrid(40, 30), known = allCells(40, 30);
  fillRange(holes, CellRange{10, 10, 30, 18});
  fillRange(known, CellRange{10, 10, 30, 18}, 0);
  // An outline beside the hole, neither known nor a hole: its black never reaches the fill.
  fillRange(known, CellRange{10, 18, 30, 19}, 0);
  for (std::int64_t c = 10; c < 30; ++c) std::fill_n(window.at(18 * 40 + c), 3, 0.0f);
  for (std::int64_t r = 10; r < 18; ++r) std::fill_n(window.at(r * 40 + 20), 3, 255.0f);
  interpolateHoles(window, known, holes);
  for (std::int64_t r = 10; r < 18; ++r) {
    for (std::int64_t c = 10; c < 30; ++c) EXPECT_NEAR(window.at(r * 40 + c)[0], 50 + 3 * c + r, 4.0) << c << "," << r;
  }
  EXPECT_EQ(window.at(18 * 40 + 15)[0], 0.0f);
}

TEST(SmoothFillTest, GrainComesBackFromThePaperAndFollowsTheSeed) {
  // Paper of 200 with a fine chequer of +-6: the grain copied into a flat hole has its spread.
  auto paper = [](std::int64_t c, std::int64_t r) {
    const float v = (c + r) % 2 == 0 ? 206.0f : 194.0f;
    return std::array<float, 3>{v, v, v};
  };
  PixelWindow window = windowOf(48, 48, paper);
  CellGrid holes = emptyGrid(48, 48), known = allCells(48, 48);
  fillRange(holes, CellRange{16, 16, 32, 32});
  fillRange(known, CellRange{16, 16, 32, 32}, 0);
  for (std::int64_t r = 16; r < 32; ++r) {
    for (std::int64_t c = 16; c < 32; ++c) std::fill_n(window.at(r * 48 + c), 3, 200.0f);
  }
  PixelWindow again = window;
  addGrain(window, known, holes, 42);
  addGrain(again, known, holes, 42);
  EXPECT_EQ(window.rgb, again.rgb);
  double sum = 0, squares = 0;
  for (std::int64_t r = 16; r < 32; ++r) {
    for (std::int64_t c = 16; c < 32; ++c) {
      const double v = window.at(r * 48 + c)[0] - 200.0;
      sum += v;
      squares += v * v;
    }
  }
  EXPECT_NEAR(sum / 256, 0.0, 1.0);
  EXPECT_GT(std::sqrt(squares / 256), 3.0);  // not a flat slab
}

}  // namespace
}  // namespace letterforge
