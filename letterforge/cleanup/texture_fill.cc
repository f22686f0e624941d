#include "letterforge/cleanup/texture_fill.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace letterforge {
namespace {

constexpr std::int64_t kPatchRadius = 3;
constexpr double kFilledWeight = 0.5;
constexpr double kWeightMin = 6.0;
constexpr int kRandomCandidates = 4;
constexpr std::int64_t kRandomReach = 20;
// Offsets that jump across a stroke: a ring of directions at a few lengths.
constexpr std::int64_t kJumpLengths[] = {5, 9, 14};

}  // namespace

void fillFromTexture(PixelWindow& window, const CellGrid& holes, const CellGrid& sources,
                     const std::vector<CellOffset>& offsets, std::uint64_t seed) {
  const std::int64_t w = window.width, h = window.height;
  std::vector<CellOffset> fixed = offsets;
  for (const std::int64_t length : kJumpLengths) {
    for (std::int64_t dr = -1; dr <= 1; ++dr) {
      for (std::int64_t dc = -1; dc <= 1; ++dc) {
        if (dr != 0 || dc != 0) fixed.push_back({dc * length, dr * length});
      }
    }
  }
  // 0: a hole not filled yet, 1: known or filled, 2: filled (weighs less).
  std::vector<std::uint8_t> state(holes.cells.size());
  for (std::size_t i = 0; i < state.size(); ++i) state[i] = holes.cells[i] != 0 ? 0 : 1;
  std::vector<std::int64_t> source(holes.cells.size(), -1);
  std::uint64_t random = seed;
  std::vector<std::int64_t> candidates;
  for (const std::int64_t target : cellsByDepth(holes)) {
    const std::int64_t tr = target / w, tc = target % w;
    candidates.clear();
    auto consider = [&](std::int64_t c, std::int64_t r) {
      if (c < 0 || r < 0 || c >= w || r >= h) return;
      const std::int64_t s = r * w + c;
      if (sources.cells[static_cast<std::size_t>(s)] != 0) candidates.push_back(s);
    };
    for (const CellOffset& o : fixed) consider(tc + o[0], tr + o[1]);
    for (std::int64_t dr = -1; dr <= 1; ++dr) {
      for (std::int64_t dc = -1; dc <= 1; ++dc) {
        const std::int64_t nr = tr + dr, nc = tc + dc;
        if (nr < 0 || nc < 0 || nr >= h || nc >= w) continue;
        const std::int64_t from = source[static_cast<std::size_t>(nr * w + nc)];
        if (from >= 0) consider(from % w - dc, from / w - dr);
      }
    }
    for (int k = 0; k < kRandomCandidates; ++k) {
      const std::int64_t span = 2 * kRandomReach + 1;
      consider(tc + static_cast<std::int64_t>(nextRandom(random) % span) - kRandomReach,
               tr + static_cast<std::int64_t>(nextRandom(random) % span) - kRandomReach);
    }
    double best = std::numeric_limits<double>::infinity();
    std::int64_t chosen = -1;
    for (const std::int64_t s : candidates) {
      const std::int64_t sr = s / w, sc = s % w;
      double sum = 0, weight = 0;
      for (std::int64_t dr = -kPatchRadius; dr <= kPatchRadius; ++dr) {
        const std::int64_t ar = tr + dr, br = sr + dr;
        if (ar < 0 || br < 0 || ar >= h || br >= h) continue;
        for (std::int64_t dc = -kPatchRadius; dc <= kPatchRadius; ++dc) {
          const std::int64_t ac = tc + dc, bc = sc + dc;
          if (ac < 0 || bc < 0 || ac >= w || bc >= w) continue;
          const auto a = static_cast<std::size_t>(ar * w + ac), b = static_cast<std::size_t>(br * w + bc);
          if (state[a] == 0 || state[b] == 0) continue;
          const double k = state[a] == 2 ? kFilledWeight : 1.0;
          sum += k * colourDistance(window.at(static_cast<std::int64_t>(a)), window.at(static_cast<std::int64_t>(b)));
          weight += k;
        }
      }
      if (weight < kWeightMin) continue;
      const double score = sum / weight;
      if (score < best) {
        best = score;
        chosen = s;
      }
    }
    if (chosen < 0) continue;
    std::copy_n(window.at(chosen), 3, window.at(target));
    source[static_cast<std::size_t>(target)] = chosen;
    state[static_cast<std::size_t>(target)] = 2;
  }
}

}  // namespace letterforge
