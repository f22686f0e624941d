#include "letterforge/cleanup/lettering_mask.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;
using Colour = std::array<float, 3>;
using Paint = std::function<Colour(std::int64_t c, std::int64_t r)>;

constexpr std::int64_t kSide = 60;

PixelWindow windowOf(const Paint& paint) {
  PixelWindow w{.width = kSide, .height = kSide, .rgb = std::vector<float>(3 * kSide * kSide)};
  for (std::int64_t i = 0; i < w.cells(); ++i) {
    const Colour v = paint(i % kSide, i / kSide);
    std::copy(v.begin(), v.end(), w.at(i));
  }
  return w;
}

// A fixed texture in -amplitude..amplitude, as drawn art has.
float grain(std::int64_t c, std::int64_t r, int amplitude) {
  std::uint64_t h = static_cast<std::uint64_t>(c) * 0x9E3779B97F4A7C15u ^ static_cast<std::uint64_t>(r) * 0xC2B2AE3D27D4EB4Fu;
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9u;
  h ^= h >> 32;
  return static_cast<float>(static_cast<int>(h % static_cast<std::uint64_t>(2 * amplitude + 1)) - amplitude);
}

Colour flat(float v) { return {v, v, v}; }

// Letters in a halo or rim, over a ground of two halves, with a drawing's line running down
// the window through the reach. The strokes are bars 3 cells wide every 8 across the core;
// each has a ring of `rimWidth` cells of the rim's colour.
struct HaloCase {
  const char* name;
  Colour left, right;  // the ground's halves
  Colour ink, rim;
  std::int64_t rimWidth;
  bool found;  // the strokes are found (else nothing is)
};

constexpr CellRange kCore{18, 24, 42, 36};
constexpr std::int64_t kLineColumn = 47;  // inside the reach, running out of the window

bool inStroke(std::int64_t c, std::int64_t r) {
  return kCore.contains(c, r) && (c - kCore.c0) % 8 < 3 && c + 3 - (c - kCore.c0) % 8 <= kCore.c1;
}

bool nearStroke(std::int64_t c, std::int64_t r, std::int64_t by) {
  for (std::int64_t dr = -by; dr <= by; ++dr) {
    for (std::int64_t dc = -by; dc <= by; ++dc) {
      if (inStroke(c + dc, r + dr)) return true;
    }
  }
  return false;
}

class HaloLetteringTest : public ::testing::TestWithParam<HaloCase> {};

TEST_P(HaloLetteringTest, FindsTheStrokesInsideTheirHaloAndLeavesTheDrawing) {
  const HaloCase& k = GetParam();
  const PixelWindow window = windowOf([&](std::int64_t c, std::int64_t r) {
    if (inStroke(c, r)) return k.ink;
    if (nearStroke(c, r, k.rimWidth)) return k.rim;
    if (c == kLineColumn || c == kLineColumn + 1) return flat(20);
    const Colour g = c < kSide / 2 ? k.left : k.right;
    return Colour{g[0] + grain(c, r, 4), g[1] + grain(c, r, 4), g[2]};
  });
  LetteringArea area{.core = kCore, .reach = {8, 14, 52, 46}, .otherText = emptyGrid(kSide, kSide)};
  CellGrid usable = emptyGrid(kSide, kSide);
  fillRange(usable, {0, 0, kSide, kSide});
  const CellGrid found = haloLettering(window, area, usable);
  std::int64_t strokes = 0, strokesFound = 0, beyondLettering = 0, line = 0;
  for (std::int64_t i = 0; i < window.cells(); ++i) {
    const std::int64_t c = i % kSide, r = i / kSide;
    const bool set = found.cells[static_cast<std::size_t>(i)] != 0;
    strokes += inStroke(c, r) ? 1 : 0;
    strokesFound += inStroke(c, r) && set ? 1 : 0;
    beyondLettering += set && !nearStroke(c, r, k.rimWidth) ? 1 : 0;
    line += set && (c == kLineColumn || c == kLineColumn + 1) ? 1 : 0;
  }
  EXPECT_EQ(strokesFound, k.found ? strokes : 0);
  EXPECT_EQ(beyondLettering, 0);
  EXPECT_EQ(line, 0);
}

INSTANTIATE_TEST_SUITE_P(
    LetteringMaskTest, HaloLetteringTest,
    ::testing::Values(
        // Dark letters as dark as the shading on one side, a white halo as light as the paper
        // on the other: neither stands out of the ground on both.
        HaloCase{"DarkLettersInAWhiteHaloAcrossPaperAndShading", flat(30), flat(235), flat(35), flat(255), 3, true},
        HaloCase{"DarkLettersInACreamHaloOnPaper", flat(220), flat(215), flat(50), {250, 245, 200}, 2, true},
        // White letters in a black rim on white paper beside the drawing's black line.
        HaloCase{"WhiteLettersInABlackRimOnPaper", flat(240), flat(240), flat(255), flat(0), 2, true},
        // Grey strokes on paper a little lighter: no dark and light class 80 levels apart.
        HaloCase{"LowContrastFindsNothing", flat(200), flat(205), flat(150), flat(200), 0, false}),
    [](const ::testing::TestParamInfo<HaloCase>& info) { return std::string(info.param.name); });

// A square of lettering's fill in the middle of the window, its antialiased edge, a rim around
// it, then the ground.
enum class SoftEdge { kNone, kEven, kMixed };  // kMixed: the edge's cells of two mixes

struct RimCase {
  const char* name;
  Colour fill;
  SoftEdge edge;
  std::int64_t rimWidth;  // 0: no rim
  Colour rim;
  int groundGrain;        // 0: flat ground
  std::int64_t expected;  // layers taken around the fill
};

constexpr std::int64_t kFill0 = 24, kFill1 = 36;
constexpr Colour kMagenta{210, 40, 200};

std::int64_t layerOf(std::int64_t c, std::int64_t r) {
  const std::int64_t dc = c < kFill0 ? kFill0 - c : (c >= kFill1 ? c - kFill1 + 1 : 0);
  const std::int64_t dr = r < kFill0 ? kFill0 - r : (r >= kFill1 ? r - kFill1 + 1 : 0);
  return std::max(dc, dr);
}

class GrowRimTest : public ::testing::TestWithParam<RimCase> {};

TEST_P(GrowRimTest, TakesTheLayersOfOneColourAndNoMore) {
  const RimCase& k = GetParam();
  const Colour& fill = k.fill;
  const std::int64_t edge = k.edge == SoftEdge::kNone ? 0 : 1;
  const PixelWindow window = windowOf([&](std::int64_t c, std::int64_t r) {
    const std::int64_t layer = layerOf(c, r);
    if (layer == 0) return fill;
    if (layer == edge) {
      const float t = k.edge == SoftEdge::kEven ? 0.5f : ((c + r) % 2 == 0 ? 0.8f : 0.2f);
      return Colour{t * fill[0] + (1 - t) * k.rim[0], t * fill[1] + (1 - t) * k.rim[1], t * fill[2] + (1 - t) * k.rim[2]};
    }
    if (layer <= edge + k.rimWidth) return k.rim;
    // Art: patches of two colours with grain, or flat paper.
    if (k.groundGrain == 0) return flat(230);
    const bool dark = ((c / 3) + (r / 4)) % 2 == 0;
    return Colour{(dark ? 60.0f : 200.0f) + grain(c, r, k.groundGrain), dark ? 120.0f : 170.0f, 90.0f};
  });
  CellGrid cells = emptyGrid(kSide, kSide);
  fillRange(cells, {kFill0, kFill0, kFill1, kFill1});
  const LetteringArea area{.core = {kFill0, kFill0, kFill1, kFill1}, .reach = {6, 6, 54, 54}};
  CellGrid usable = emptyGrid(kSide, kSide);
  fillRange(usable, {0, 0, kSide, kSide});
  growLetteringRim(cells, window, area, usable);
  std::int64_t wrong = 0;
  for (std::int64_t i = 0; i < window.cells(); ++i) {
    const bool expected = layerOf(i % kSide, i / kSide) <= k.expected;
    wrong += (cells.cells[static_cast<std::size_t>(i)] != 0) != expected ? 1 : 0;
  }
  EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(
    LetteringMaskTest, GrowRimTest,
    ::testing::Values(RimCase{"BlackRimOnArt", kMagenta, SoftEdge::kNone, 3, flat(0), 30, 3},
                      RimCase{"WhiteHaloOnArt", kMagenta, SoftEdge::kNone, 4, flat(255), 30, 4},
                      RimCase{"NoRimOnArt", kMagenta, SoftEdge::kNone, 0, flat(0), 30, 0},
                      // A halo of the paper's colour runs on into the paper, up to 6 layers.
                      RimCase{"HaloOnPaperStopsAtSixLayers", kMagenta, SoftEdge::kNone, 3, flat(250), 0, 6},
                      // The rim is read past an edge that agrees on no colour, or on its own.
                      RimCase{"BlackRimBehindAMixedEdgeOnArt", kMagenta, SoftEdge::kMixed, 2, flat(0), 30, 3},
                      RimCase{"BlackRimBehindAnEvenEdgeOnArt", kMagenta, SoftEdge::kEven, 2, flat(0), 30, 3},
                      RimCase{"CreamHaloBehindAMixedEdgeOnArt", flat(50), SoftEdge::kMixed, 3, {250, 245, 200}, 30, 4},
                      // A ring as light as the art beyond is the art's, not a rim.
                      RimCase{"MidToneRingBehindAMixedEdgeIsArt", kMagenta, SoftEdge::kMixed, 2, flat(150), 30, 0}),
    [](const ::testing::TestParamInfo<RimCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace letterforge
