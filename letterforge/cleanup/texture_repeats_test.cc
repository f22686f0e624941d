#include "letterforge/cleanup/texture_repeats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace letterforge {
namespace {

// A window painted cell by cell.
template <typename Paint>
PixelWindow windowOf(std::int64_t w, std::int64_t h, Paint paint) {
  PixelWindow window{.width = w, .height = h};
  window.rgb.resize(static_cast<std::size_t>(3 * w * h));
  for (std::int64_t r = 0; r < h; ++r) {
    for (std::int64_t c = 0; c < w; ++c) std::fill_n(window.at(r * w + c), 3, paint(c, r));
  }
  return window;
}

CellGrid allCells(std::int64_t w, std::int64_t h) {
  CellGrid grid = emptyGrid(w, h);
  fillRange(grid, CellRange{0, 0, w, h});
  return grid;
}

bool holds(const std::vector<CellOffset>& offsets, CellOffset o) {
  return std::find(offsets.begin(), offsets.end(), o) != offsets.end();
}

// Dots of 2 x 2 on a grid of `pitch` cells.
float dots(std::int64_t c, std::int64_t r, std::int64_t pitch) {
  return c % pitch < 2 && r % pitch < 2 ? 0.0f : 255.0f;
}

TEST(TextureRepeatsTest, AToneRepeatsAtTheStepsOfItsGrid) {
  const PixelWindow tone = windowOf(80, 60, [](auto c, auto r) { return dots(c, r, 7); });
  const TextureRepeats repeats = findRepeats(tone, allCells(80, 60), 20, 12);
  EXPECT_TRUE(repeats.periodic);
  ASSERT_GE(repeats.offsets.size(), 4u);
  for (const CellOffset o : {CellOffset{7, 0}, CellOffset{-7, 0}, CellOffset{0, 7}, CellOffset{0, -7}}) {
    EXPECT_TRUE(holds(repeats.offsets, o)) << o[0] << "," << o[1];
  }
  const auto steps = gridSteps(repeats, 21);
  EXPECT_TRUE(holds(steps, {14, 7}));
  EXPECT_TRUE(holds(steps, {-21, 0}));
  EXPECT_FALSE(holds(steps, {28, 0}));  // beyond the reach
  EXPECT_FALSE(holds(steps, {3, 0}));   // off the grid
}

TEST(TextureRepeatsTest, ARampAndNoiseHaveNoGrid) {
  const PixelWindow ramp = windowOf(80, 60, [](auto c, auto r) { return static_cast<float>(2 * c + r); });
  EXPECT_FALSE(findRepeats(ramp, allCells(80, 60), 20, 12).periodic);
  const PixelWindow noise = windowOf(80, 60, [](auto c, auto r) {
    return static_cast<float>((c * 7919 + r * 104729 + c * r * 31) % 251);
  });
  EXPECT_FALSE(findRepeats(noise, allCells(80, 60), 20, 12).periodic);
}

TEST(TextureRepeatsTest, AToneAtAnAngleIsMeasuredBetweenCells) {
  // A grid turned by atan(1/5) with a step of 5.1 cells: its steps are no whole cells, and
  // only far combinations that land near whole cells are kept.
  const double a = std::atan(0.2), pitch = 5.1;
  const PixelWindow tone = windowOf(120, 90, [&](auto c, auto r) {
    const double u = (c * std::cos(a) + r * std::sin(a)) / pitch, v = (-c * std::sin(a) + r * std::cos(a)) / pitch;
    const double d = std::hypot(u - std::round(u), v - std::round(v)) * pitch;
    return static_cast<float>(255.0 * std::clamp(d - 1.0, 0.0, 1.0));
  });
  const TextureRepeats repeats = findRepeats(tone, allCells(120, 90), 20, 12);
  ASSERT_TRUE(repeats.periodic);
  for (const CellOffset& s : gridSteps(repeats, 40)) {
    // Every kept step is a whole combination of the true grid steps, to a quarter cell.
    const double x = static_cast<double>(s[0]), y = static_cast<double>(s[1]);
    const double u = (x * std::cos(a) + y * std::sin(a)) / pitch, v = (-x * std::sin(a) + y * std::cos(a)) / pitch;
    EXPECT_LT(std::hypot(u - std::round(u), v - std::round(v)) * pitch, 0.45) << x << "," << y;
  }
}

TEST(TextureRepeatsTest, HolesInAToneAreFilledInPhase) {
  PixelWindow tone = windowOf(80, 60, [](auto c, auto r) { return dots(c, r, 6); });
  const PixelWindow clean = tone;
  CellGrid holes = emptyGrid(80, 60);
  fillRange(holes, CellRange{20, 20, 60, 38});
  for (std::int64_t r = 20; r < 38; ++r) {
    for (std::int64_t c = 20; c < 60; ++c) std::fill_n(tone.at(r * 80 + c), 3, 128.0f);
  }
  const auto steps = gridSteps(findRepeats(clean, allCells(80, 60), 20, 12), 30);
  fillFromSteps(tone, holes, allCells(80, 60), steps);
  EXPECT_EQ(tone.rgb, clean.rgb);
}

}  // namespace
}  // namespace letterforge
