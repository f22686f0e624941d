#include "letterforge/cleanup/lettering_mask.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "letterforge/cleanup/lightness_split.h"

namespace letterforge {
namespace {

constexpr int kLevels = 8;  // colour boxes 32 levels wide
constexpr double kCoreShareMin = 0.02;
constexpr double kPaletteRatio = 4.0;
constexpr double kRingShareFloor = 0.005;
constexpr std::int64_t kRimWidthMax = 6;
constexpr double kRimAgreement = 0.6;
constexpr float kRimTolerance = 40.0f;
constexpr float kGroundTolerance = 32.0f;
// A rim seen past the letters' soft edge is this far in colour (by the largest channel's
// difference) from both the letters and the ground beyond the reach.
constexpr float kRimContrastMin = 48.0f;
// What differs from a screentone's prediction by this much (or 3 and 1.5 times the tone's own
// spread) is no tone; the spread is measured this far around the reach.
constexpr double kToneStrong = 48.0, kToneWeak = 24.0;
constexpr std::int64_t kToneRing = 8;
constexpr std::int64_t kHaloReach = 6;
// Letters in a halo or rim: the core's dark and light classes this far apart at least, and
// groups of this many cells (no specks of grain).
constexpr double kHaloContrastMin = 80.0;
constexpr std::int64_t kHaloGroupMin = 4;

int colourBox(const float* v) {
  auto level = [](float x) { return std::clamp(static_cast<int>(x) * kLevels / 256, 0, kLevels - 1); };
  return (level(v[0]) * kLevels + level(v[1])) * kLevels + level(v[2]);
}

// The cells of 8-connected groups of `cells` that meet the core, cut to the reach.
CellGrid groupsMeetingCore(const CellGrid& cells, const LetteringArea& area) {
  const std::int64_t w = cells.width, h = cells.height;
  CellGrid kept = emptyGrid(w, h);
  std::vector<std::uint8_t> seen(cells.cells.size(), 0);
  std::vector<std::int64_t> pending, members;
  for (std::int64_t seed = 0; seed < w * h; ++seed) {
    if (seen[static_cast<std::size_t>(seed)] != 0 || cells.cells[static_cast<std::size_t>(seed)] == 0) continue;
    members.clear();
    pending.assign(1, seed);
    seen[static_cast<std::size_t>(seed)] = 1;
    bool meets = false;
    while (!pending.empty()) {
      const std::int64_t cell = pending.back();
      pending.pop_back();
      members.push_back(cell);
      const std::int64_t r = cell / w, c = cell % w;
      meets = meets || area.core.contains(c, r);
      for (std::int64_t nr = std::max<std::int64_t>(r - 1, 0); nr <= std::min(r + 1, h - 1); ++nr) {
        for (std::int64_t nc = std::max<std::int64_t>(c - 1, 0); nc <= std::min(c + 1, w - 1); ++nc) {
          const auto next = static_cast<std::size_t>(nr * w + nc);
          if (seen[next] != 0 || cells.cells[next] == 0) continue;
          seen[next] = 1;
          pending.push_back(static_cast<std::int64_t>(next));
        }
      }
    }
    if (!meets) continue;
    for (const std::int64_t cell : members) {
      if (area.reach.contains(cell % w, cell / w)) kept.cells[static_cast<std::size_t>(cell)] = 1;
    }
  }
  return kept;
}

// Adds the cells of the reach that the set cells enclose: not joined to the reach's edge by
// 4-connected cells that are not set.
void fillEnclosed(CellGrid& cells, const CellRange& reach) {
  const std::int64_t w = cells.width;
  std::vector<std::uint8_t> open(cells.cells.size(), 0);
  std::vector<std::int64_t> pending;
  auto push = [&](std::int64_t c, std::int64_t r) {
    if (!reach.contains(c, r)) return;
    const auto i = static_cast<std::size_t>(r * w + c);
    if (open[i] != 0 || cells.cells[i] != 0) return;
    open[i] = 1;
    pending.push_back(static_cast<std::int64_t>(i));
  };
  for (std::int64_t c = reach.c0; c < reach.c1; ++c) {
    push(c, reach.r0);
    push(c, reach.r1 - 1);
  }
  for (std::int64_t r = reach.r0; r < reach.r1; ++r) {
    push(reach.c0, r);
    push(reach.c1 - 1, r);
  }
  while (!pending.empty()) {
    const std::int64_t i = pending.back();
    pending.pop_back();
    const std::int64_t r = i / w, c = i % w;
    push(c - 1, r);
    push(c + 1, r);
    push(c, r - 1);
    push(c, r + 1);
  }
  for (std::int64_t r = reach.r0; r < reach.r1; ++r) {
    for (std::int64_t c = reach.c0; c < reach.c1; ++c) {
      const auto i = static_cast<std::size_t>(r * w + c);
      if (open[i] == 0) cells.cells[i] = 1;
    }
  }
}

// The groups of `cells` (cut to the reach) that meet the core and stay inside the reach.
CellGrid groupsInsideReach(CellGrid cells, const LetteringArea& area) {
  const std::int64_t w = cells.width;
  std::int32_t count = 0;
  const std::vector<std::int32_t> label = labelGroups(cells, count);
  std::vector<std::int64_t> size(static_cast<std::size_t>(count) + 1, 0);
  std::vector<std::uint8_t> meets(size.size(), 0), leaves(size.size(), 0);
  for (std::int64_t i = 0; i < w * cells.height; ++i) {
    const auto g = static_cast<std::size_t>(label[static_cast<std::size_t>(i)]);
    if (g == 0) continue;
    const std::int64_t r = i / w, c = i % w;
    size[g] += 1;
    meets[g] |= area.core.contains(c, r) ? 1 : 0;
    leaves[g] |= r == area.reach.r0 || c == area.reach.c0 || r == area.reach.r1 - 1 || c == area.reach.c1 - 1 ? 1 : 0;
  }
  for (std::size_t i = 0; i < label.size(); ++i) {
    const auto g = static_cast<std::size_t>(label[i]);
    cells.cells[i] = g != 0 && meets[g] != 0 && leaves[g] == 0 && size[g] >= kHaloGroupMin ? 1 : 0;
  }
  return cells;
}

}  // namespace

void growRim(CellGrid& cells, const PixelWindow& window, const CellRange& reach) {
  std::optional<std::array<float, 3>> rim;
  for (std::int64_t layer = 0; layer < kRimWidthMax; ++layer) {
    const CellGrid grown = growCells(cells, 1, reach);
    std::vector<std::int64_t> ring;
    for (std::size_t i = 0; i < grown.cells.size(); ++i) {
      if (grown.cells[i] != 0 && cells.cells[i] == 0) ring.push_back(static_cast<std::int64_t>(i));
    }
    if (ring.empty()) return;
    if (!rim) rim = medianOfCells(window, ring);
    std::vector<std::int64_t> agreeing;
    for (const std::int64_t i : ring) {
      const float* v = window.at(i);
      if (std::max({std::abs(v[0] - (*rim)[0]), std::abs(v[1] - (*rim)[1]), std::abs(v[2] - (*rim)[2])}) <= kRimTolerance) {
        agreeing.push_back(i);
      }
    }
    if (static_cast<double>(agreeing.size()) < kRimAgreement * static_cast<double>(ring.size())) return;
    for (const std::int64_t i : agreeing) cells.cells[static_cast<std::size_t>(i)] = 1;
  }
}

namespace {

float lightnessOfColour(const std::array<float, 3>& v) { return std::max({v[0], v[1], v[2]}); }

float colourDistance(const std::array<float, 3>& a, const std::array<float, 3>& b) {
  return std::max({std::abs(a[0] - b[0]), std::abs(a[1] - b[1]), std::abs(a[2] - b[2])});
}

// The quarter-th quantile of the values (1: the lower quartile, 3: the upper); reorders them.
float quantileOf(std::vector<float>& values, std::size_t quarter) {
  const auto at = values.begin() + static_cast<std::ptrdiff_t>(values.size() * quarter / 4);
  std::nth_element(values.begin(), at, values.end());
  return *at;
}

std::vector<std::int64_t> setCells(const CellGrid& cells) {
  std::vector<std::int64_t> out;
  forEachSetCell(cells, [&](std::int64_t i) { out.push_back(i); });
  return out;
}

// A rim behind the letters' soft edge: where the cells one layer past that edge mostly share one
// colour, far from both the letters' and the ground's beyond the reach and darker or lighter
// than both, the edge and that rim are added, the rim grown as by growRim. Returns whether it
// was.
bool growRimPastEdge(CellGrid& cells, const PixelWindow& window, const LetteringArea& area, const CellGrid& usable) {
  const std::vector<std::int64_t> letterCells = setCells(cells);
  if (letterCells.empty()) return false;
  const CellGrid edge = growCells(cells, 1, area.reach);
  const CellGrid past = growCells(edge, 1, area.reach);
  std::vector<std::int64_t> ring, beyond;
  for (std::size_t i = 0; i < past.cells.size(); ++i) {
    if (past.cells[i] != 0 && edge.cells[i] == 0) ring.push_back(static_cast<std::int64_t>(i));
  }
  for (std::int64_t i = 0; i < window.cells(); ++i) {
    if (!area.reach.contains(i % window.width, i / window.width) && usable.cells[static_cast<std::size_t>(i)] != 0) {
      beyond.push_back(i);
    }
  }
  if (ring.empty() || beyond.empty()) return false;
  const auto rim = medianOfCells(window, ring);
  std::int64_t agreeing = 0;
  for (const std::int64_t i : ring) {
    const float* v = window.at(i);
    agreeing += colourDistance({v[0], v[1], v[2]}, rim) <= kRimTolerance ? 1 : 0;
  }
  if (static_cast<double>(agreeing) < kRimAgreement * static_cast<double>(ring.size())) return false;
  // The rim is of another colour than both the letters and the ground beyond, and darker or
  // lighter than both (than three quarters of the ground: a ring within its range is its own
  // shading).
  const auto letters = medianOfCells(window, letterCells);
  if (colourDistance(rim, letters) < kRimContrastMin || colourDistance(rim, medianOfCells(window, beyond)) < kRimContrastMin) {
    return false;
  }
  std::vector<float> ground;
  ground.reserve(beyond.size());
  for (const std::int64_t i : beyond) {
    const float* v = window.at(i);
    ground.push_back(lightnessOfColour({v[0], v[1], v[2]}));
  }
  const float r = lightnessOfColour(rim), l = lightnessOfColour(letters);
  const float lower = quantileOf(ground, 1), upper = quantileOf(ground, 3);
  if (r >= std::min(l, lower) && r <= std::max(l, upper)) return false;
  cells = edge;
  growRim(cells, window, area.reach);
  return true;
}

}  // namespace

void growLetteringRim(CellGrid& cells, const PixelWindow& window, const LetteringArea& area, const CellGrid& usable) {
  // A soft edge of one colour would be taken for the rim and stop the growth a layer out.
  if (!growRimPastEdge(cells, window, area, usable)) growRim(cells, window, area.reach);
}

CellGrid haloLettering(const PixelWindow& window, const LetteringArea& area, const CellGrid& usable) {
  CellGrid dark = emptyGrid(window.width, window.height);
  const std::vector<int> lightness = lightnessOf(window);
  const auto split = splitCore(lightness, area, usable);
  if (!split || split->light - split->ink < kHaloContrastMin) return dark;
  CellGrid light = dark;
  for (std::int64_t r = area.reach.r0; r < area.reach.r1; ++r) {
    for (std::int64_t c = area.reach.c0; c < area.reach.c1; ++c) {
      const auto i = static_cast<std::size_t>(r * window.width + c);
      if (usable.cells[i] == 0) continue;
      (lightness[i] < split->threshold ? dark : light).cells[i] = 1;
    }
  }
  // Ground as dark (or as light) as the letters runs on past their halo (or rim), out of the
  // reach.
  dark = groupsInsideReach(std::move(dark), area);
  light = groupsInsideReach(std::move(light), area);
  for (std::size_t i = 0; i < dark.cells.size(); ++i) dark.cells[i] |= light.cells[i];
  return dark;
}

namespace {

// Per cell, how far it is from a prediction: the largest difference of its channels.
std::vector<float> distanceFrom(const PixelWindow& window, const PixelWindow& predicted) {
  std::vector<float> distance(static_cast<std::size_t>(window.cells()));
  for (std::int64_t i = 0; i < window.cells(); ++i) {
    const float* a = window.at(i);
    const float* b = predicted.at(i);
    distance[static_cast<std::size_t>(i)] =
        std::max({std::abs(a[0] - b[0]), std::abs(a[1] - b[1]), std::abs(a[2] - b[2])});
  }
  return distance;
}

}  // namespace

OutlierGroups groupOutliers(const std::vector<float>& distance, std::int64_t width,
                            std::int64_t height, double strong, double weak,
                            const LetteringArea& area) {
  OutlierGroups groups{.lettering = emptyGrid(width, height), .structure = emptyGrid(width, height)};
  std::vector<std::uint8_t> seen(static_cast<std::size_t>(width * height), 0);
  std::vector<std::int64_t> pending, members;
  for (std::int64_t seed = 0; seed < width * height; ++seed) {
    if (seen[static_cast<std::size_t>(seed)] != 0 || distance[static_cast<std::size_t>(seed)] < weak) {
      continue;
    }
    members.clear();
    pending.assign(1, seed);
    seen[static_cast<std::size_t>(seed)] = 1;
    bool hasStrong = false, meetsCore = false, leaves = false;
    while (!pending.empty()) {
      const std::int64_t cell = pending.back();
      pending.pop_back();
      members.push_back(cell);
      const std::int64_t r = cell / width, c = cell % width;
      hasStrong = hasStrong || distance[static_cast<std::size_t>(cell)] >= strong;
      meetsCore = meetsCore || area.core.contains(c, r);
      leaves = leaves || ((r == 0 || c == 0 || r == height - 1 || c == width - 1) &&
                          area.otherText.cells[static_cast<std::size_t>(cell)] == 0);
      for (std::int64_t nr = std::max<std::int64_t>(r - 1, 0); nr <= std::min(r + 1, height - 1); ++nr) {
        for (std::int64_t nc = std::max<std::int64_t>(c - 1, 0); nc <= std::min(c + 1, width - 1); ++nc) {
          const std::int64_t next = nr * width + nc;
          if (seen[static_cast<std::size_t>(next)] != 0 || distance[static_cast<std::size_t>(next)] < weak) {
            continue;
          }
          seen[static_cast<std::size_t>(next)] = 1;
          pending.push_back(next);
        }
      }
    }
    if (!hasStrong) continue;
    if (leaves || !meetsCore) {
      // Other blocks' lettering is no detail of the ground.
      std::int64_t inBand = 0;
      for (const std::int64_t cell : members) {
        const std::int64_t c = cell % width, r = cell / width;
        inBand += area.reach.contains(c, r) && !area.core.contains(c, r) &&
                          area.otherText.cells[static_cast<std::size_t>(cell)] == 0
                      ? 1
                      : 0;
      }
      groups.bandCells += inBand;
      groups.bandGroups += inBand > 0 ? 1 : 0;
    }
    if (leaves) {
      for (const std::int64_t cell : members) groups.structure.cells[static_cast<std::size_t>(cell)] = 1;
    } else if (meetsCore) {
      for (const std::int64_t cell : members) {
        if (area.reach.contains(cell % width, cell / width)) {
          groups.lettering.cells[static_cast<std::size_t>(cell)] = 1;
        }
      }
    } else {
      groups.speckCells += static_cast<std::int64_t>(members.size());
      groups.speckGroups += 1;
    }
  }
  return groups;
}

CellGrid paletteLettering(const PixelWindow& window, const LetteringArea& area,
                          const CellGrid& usable, const std::array<float, 3>& ground) {
  constexpr int kBoxes = kLevels * kLevels * kLevels;
  std::vector<double> core(kBoxes, 0.0), ring(kBoxes, 0.0);
  double coreCount = 0, ringCount = 0;
  for (std::int64_t i = 0; i < window.cells(); ++i) {
    const std::int64_t c = i % window.width, r = i / window.width;
    const int box = colourBox(window.at(i));
    if (area.core.contains(c, r)) {
      core[static_cast<std::size_t>(box)] += 1;
      coreCount += 1;
    } else if (!area.reach.contains(c, r) && usable.cells[static_cast<std::size_t>(i)] != 0) {
      ring[static_cast<std::size_t>(box)] += 1;
      ringCount += 1;
    }
  }
  std::vector<std::uint8_t> text(kBoxes, 0);
  for (int b = 0; b < kBoxes; ++b) {
    const double coreShare = core[static_cast<std::size_t>(b)] / std::max(coreCount, 1.0);
    if (coreShare < kCoreShareMin) continue;
    // The ring counts a colour's neighbouring boxes too: a colour the ground has nearly is
    // not the lettering's.
    double near = 0;
    const int r0 = b / (kLevels * kLevels), g0 = b / kLevels % kLevels, b0 = b % kLevels;
    for (int dr = -1; dr <= 1; ++dr) {
      for (int dg = -1; dg <= 1; ++dg) {
        for (int db = -1; db <= 1; ++db) {
          const int rr = r0 + dr, gg = g0 + dg, bb = b0 + db;
          if (rr < 0 || gg < 0 || bb < 0 || rr >= kLevels || gg >= kLevels || bb >= kLevels) continue;
          near = std::max(near, ring[static_cast<std::size_t>((rr * kLevels + gg) * kLevels + bb)]);
        }
      }
    }
    const double ringShare = near / std::max(ringCount, 1.0);
    if (coreShare >= kPaletteRatio * std::max(ringShare, kRingShareFloor)) text[static_cast<std::size_t>(b)] = 1;
  }
  CellGrid cells = emptyGrid(window.width, window.height);
  for (std::int64_t r = area.reach.r0; r < area.reach.r1; ++r) {
    for (std::int64_t c = area.reach.c0; c < area.reach.c1; ++c) {
      const std::int64_t i = r * window.width + c;
      const float* v = window.at(i);
      if (text[static_cast<std::size_t>(colourBox(v))] == 0) continue;
      if (std::max({std::abs(v[0] - ground[0]), std::abs(v[1] - ground[1]), std::abs(v[2] - ground[2])}) < kGroundTolerance) continue;
      cells.cells[static_cast<std::size_t>(i)] = 1;
    }
  }
  cells = groupsMeetingCore(cells, area);
  if (countSet(cells) == 0) return cells;
  fillEnclosed(cells, area.reach);
  growLetteringRim(cells, window, area, usable);
  return cells;
}

// A first prediction finds what stands out; a second one leaves it out of the translates, so
// that thick strokes and halos do not predict themselves.
CellGrid toneLettering(const PixelWindow& window, const LetteringArea& area, const CellGrid& usable,
                       const std::vector<CellOffset>& steps) {
  const CellRange all{0, 0, window.width, window.height};
  // Other lettering's rims reach past its box: translates there are no ground.
  CellGrid valid = usable;
  for (std::size_t i = 0; i < valid.cells.size(); ++i) {
    if (area.otherText.cells[i] != 0) valid.cells[i] = 0;
  }
  // The first prediction takes the tone outside the reach only: a halo wider than the grid's
  // step would otherwise predict itself.
  CellGrid outside = valid;
  fillRange(outside, area.reach, 0);
  std::vector<float> distance = distanceFrom(window, predictFromSteps(window, outside, steps, area.reach));
  CellGrid standing = emptyGrid(window.width, window.height);
  for (std::size_t i = 0; i < standing.cells.size(); ++i) standing.cells[i] = distance[i] >= kToneStrong ? 1 : 0;
  standing = growCells(standing, 1, all);
  for (std::size_t i = 0; i < valid.cells.size(); ++i) {
    if (standing.cells[i] != 0) valid.cells[i] = 0;
  }
  // The tone's own spread: how far ground cells are from their prediction, around the reach.
  const CellRange around{std::max<std::int64_t>(area.reach.c0 - kToneRing, 0),
                         std::max<std::int64_t>(area.reach.r0 - kToneRing, 0),
                         std::min(area.reach.c1 + kToneRing, window.width),
                         std::min(area.reach.r1 + kToneRing, window.height)};
  distance = distanceFrom(window, predictFromSteps(window, valid, steps, around));
  std::vector<float> ring;
  for (std::int64_t r = around.r0; r < around.r1; ++r) {
    for (std::int64_t c = around.c0; c < around.c1; ++c) {
      const auto i = static_cast<std::size_t>(r * window.width + c);
      if (!area.reach.contains(c, r) && valid.cells[i] != 0) ring.push_back(distance[i]);
    }
  }
  double spread = 0;
  if (!ring.empty()) {
    std::nth_element(ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(ring.size() * 3 / 4), ring.end());
    spread = ring[ring.size() * 3 / 4];
  }
  const double strong = std::max(kToneStrong, 3.0 * spread), weak = std::max(kToneWeak, 1.5 * spread);
  // A halo wipes whole dots beside the letters: groups that only come near the core count.
  LetteringArea nearCore = area;
  nearCore.core = CellRange{std::max(area.core.c0 - kHaloReach, area.reach.c0),
                            std::max(area.core.r0 - kHaloReach, area.reach.r0),
                            std::min(area.core.c1 + kHaloReach, area.reach.c1),
                            std::min(area.core.r1 + kHaloReach, area.reach.r1)};
  return groupOutliers(distance, window.width, window.height, strong, weak, nearCore).lettering;
}

}  // namespace letterforge
