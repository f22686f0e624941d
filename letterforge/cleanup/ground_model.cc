#include "letterforge/cleanup/ground_model.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace letterforge {
namespace {

constexpr double kStrongMin = 28.0, kStrongNoise = 5.0;
constexpr double kWeakMin = 12.0, kWeakNoise = 3.0;
// Cells this close to a fit, in levels, count for it.
constexpr float kClose = 14.0f;
// The ground goes on beyond the lettering's reach: a fit that explains less of the ring
// around the reach than this has taken a halo or a rim for the ground.
constexpr double kRingShareMin = 0.15;
// Starts of fits closer than this (levels, every channel) are one start.
constexpr double kSameStart = 8.0;
constexpr double kSmoothNoiseMax = 8.0;
constexpr double kSmoothRingShareMin = 0.7;
// A ground with this many groups of detail around the box, covering this share of the band,
// is a texture.
constexpr std::int64_t kTextureGroupsMin = 6;
constexpr double kTextureShareMin = 0.03;
constexpr double kFlatRangeMax = 12.0;

GroundModel modelFor(const PixelWindow& window, const GroundFit& fit, const LetteringArea& area) {
  GroundModel m{.fit = fit, .distance = groundDistance(window, fit),
                .weak = std::max(kWeakMin, kWeakNoise * fit.noise)};
  const double strong = std::max(kStrongMin, kStrongNoise * fit.noise);
  m.groups = groupOutliers(m.distance, window.width, window.height, strong, m.weak, area);
  std::int64_t band = 0, bandClose = 0, ring = 0, ringClose = 0;
  // A row at a time, in runs of columns: the ring (beyond the reach), the band (the reach
  // beyond the core) and the core, which counts for neither.
  auto countRun = [&](std::int64_t r, std::int64_t c0, std::int64_t c1, bool inBand) {
    for (std::int64_t c = c0; c < c1; ++c) {
      const auto k = static_cast<std::size_t>(r * window.width + c);
      const std::int64_t close = m.distance[k] < kClose ? 1 : 0;
      if (inBand) {
        ++band;
        bandClose += close;
      } else if (area.otherText.cells[k] == 0) {
        ++ring;
        ringClose += close;
      }
    }
  };
  const std::int64_t w = window.width;
  const std::int64_t rc0 = std::clamp<std::int64_t>(area.reach.c0, 0, w), rc1 = std::clamp(area.reach.c1, rc0, w);
  for (std::int64_t r = 0; r < window.height; ++r) {
    if (r < area.reach.r0 || r >= area.reach.r1) {
      countRun(r, 0, w, false);
      continue;
    }
    // The core's columns cut to the reach's (none on a row the core does not take).
    const bool coreRow = r >= area.core.r0 && r < area.core.r1;
    const std::int64_t cc0 = coreRow ? std::clamp(area.core.c0, rc0, rc1) : rc1;
    const std::int64_t cc1 = coreRow ? std::clamp(area.core.c1, cc0, rc1) : rc1;
    countRun(r, 0, rc0, false);
    countRun(r, rc0, cc0, true);
    countRun(r, cc1, rc1, true);
    countRun(r, rc1, w, false);
  }
  m.bandShare = band == 0 ? 0.0 : static_cast<double>(bandClose) / static_cast<double>(band);
  m.ringShare = ring == 0 ? 1.0 : static_cast<double>(ringClose) / static_cast<double>(ring);
  // A fit that explains most of the ring sees its ground go on around the block: no box's
  // outline parts it from what lies beyond, and the search for one is spared.
  if (m.ringShare < kSmoothRingShareMin) {
    m.paper = enclosingPaper(window, m.distance, static_cast<float>(m.weak), area);
  }
  return m;
}

// Whether `m` explains the ground better than `best`.
bool better(const GroundModel& m, const GroundModel& best) {
  if (m.paper.has_value() != best.paper.has_value()) return m.paper.has_value();
  const bool halo = m.ringShare < kRingShareMin, bestHalo = best.ringShare < kRingShareMin;
  if (halo != bestHalo) return bestHalo;
  return halo ? m.ringShare > best.ringShare : m.bandShare > best.bandShare;
}

}  // namespace

std::optional<GroundModel> modelGround(const PixelWindow& window, const LetteringArea& area,
                                       const CellGrid& usable) {
  CellGrid coreCells = emptyGrid(window.width, window.height);
  fillRange(coreCells, area.core);
  CellGrid ringCells = usable;
  fillRange(ringCells, area.reach, 0);
  std::vector<std::array<double, 3>> starts;
  for (const auto& start : {medianColour(window, usable), commonestColour(window, coreCells),
                            commonestColour(window, ringCells)}) {
    if (!start) continue;
    const bool seen = std::any_of(starts.begin(), starts.end(), [&](const auto& other) {
      return std::max({std::abs(other[0] - (*start)[0]), std::abs(other[1] - (*start)[1]),
                       std::abs(other[2] - (*start)[2])}) < kSameStart;
    });
    if (!seen) starts.push_back(*start);
  }
  std::optional<GroundModel> best;
  for (const auto& start : starts) {
    const auto fit = fitGround(window, usable, start);
    if (!fit) continue;
    GroundModel m = modelFor(window, *fit, area);
    if (!best || better(m, *best)) best = std::move(m);
  }
  return best;
}

bool isSmoothGround(const GroundModel& model, const LetteringArea& area) {
  const auto cells = [](const CellRange& r) { return (r.c1 - r.c0) * (r.r1 - r.r0); };
  const double band = static_cast<double>(cells(area.reach) - cells(area.core));
  const bool detailed = model.groups.bandGroups >= kTextureGroupsMin &&
                        static_cast<double>(model.groups.bandCells) >= kTextureShareMin * band;
  return model.fit.noise <= kSmoothNoiseMax && model.ringShare >= kSmoothRingShareMin && !detailed;
}

bool isFlatGround(const GroundModel& model, const CellRange& range) {
  const std::array<std::array<std::int64_t, 2>, 5> points{{{range.c0, range.r0},
                                                           {range.c1 - 1, range.r0},
                                                           {range.c0, range.r1 - 1},
                                                           {range.c1 - 1, range.r1 - 1},
                                                           {(range.c0 + range.c1) / 2,
                                                            (range.r0 + range.r1) / 2}}};
  for (int ch = 0; ch < 3; ++ch) {
    float lo = 1e9f, hi = -1e9f;
    for (const auto& p : points) {
      const float v = groundAt(model.fit, p[0], p[1])[ch];
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
    if (hi - lo > kFlatRangeMax) return false;
  }
  return true;
}

}  // namespace letterforge
