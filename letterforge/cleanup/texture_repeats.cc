#include "letterforge/cleanup/texture_repeats.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>

namespace letterforge {
namespace {

constexpr std::int64_t kSampleBudget = 600;
// A grid's step matches at least this much better than the offsets of 2 cells.
constexpr double kPeriodicRatio = 0.35;
constexpr std::int64_t kPeriodicStepMin = 3;
constexpr double kHalfStepRatio = 3.0, kHalfStepFloor = 0.25;
constexpr double kGridStepMin = 3.5;

std::int64_t length(std::int64_t dc, std::int64_t dr) { return std::max(std::abs(dc), std::abs(dr)); }

std::int64_t floorHalf(std::int64_t v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); }

}  // namespace

TextureRepeats findRepeats(const PixelWindow& window, const CellGrid& ground, std::int64_t reach,
                           std::size_t count) {
  const std::int64_t w = window.width, h = window.height;
  const std::int64_t set = countSet(ground);
  if (set == 0 || reach < 2) return {};
  // Samples scattered by a hash of their place: a regular grid of samples would see a
  // screentone of the same pitch always at one phase.
  const auto keepOne = static_cast<std::uint64_t>(std::max<std::int64_t>(1, set / kSampleBudget));
  std::vector<std::int64_t> samples;
  for (std::int64_t i = 0; i < w * h; ++i) {
    if (ground.cells[static_cast<std::size_t>(i)] == 0) continue;
    std::uint64_t z = static_cast<std::uint64_t>(i) * 0x9E3779B97F4A7C15u;
    z ^= z >> 31;
    if (z % keepOne == 0) samples.push_back(i);
  }
  const std::int64_t side = 2 * reach + 1;
  auto slot = [&](std::int64_t dc, std::int64_t dr) {
    return static_cast<std::size_t>((dr + reach) * side + dc + reach);
  };
  std::vector<double> cost(static_cast<std::size_t>(side * side), std::numeric_limits<double>::infinity());
  for (std::int64_t dr = -reach; dr <= reach; ++dr) {
    for (std::int64_t dc = -reach; dc <= reach; ++dc) {
      if (length(dc, dr) < 2) continue;
      double sum = 0;
      std::int64_t n = 0;
      for (const std::int64_t cell : samples) {
        const std::int64_t r = cell / w + dr, c = cell % w + dc;
        if (r < 0 || c < 0 || r >= h || c >= w || ground.cells[static_cast<std::size_t>(r * w + c)] == 0) continue;
        sum += colourDistance(window.at(cell), window.at(r * w + c));
        ++n;
      }
      // Offsets that few samples see are not trusted.
      if (n * 4 >= static_cast<std::int64_t>(samples.size())) cost[slot(dc, dr)] = sum / static_cast<double>(n);
    }
  }
  std::vector<std::pair<double, CellOffset>> minima;
  for (std::int64_t dr = -reach; dr <= reach; ++dr) {
    for (std::int64_t dc = -reach; dc <= reach; ++dc) {
      const double v = cost[slot(dc, dr)];
      // Next to the offsets too short to measure every offset looks like a minimum.
      if (!std::isfinite(v) || length(dc, dr) < kPeriodicStepMin) continue;
      bool lowest = true;
      for (std::int64_t er = -1; er <= 1 && lowest; ++er) {
        for (std::int64_t ec = -1; ec <= 1; ++ec) {
          const std::int64_t r = dr + er, c = dc + ec;
          if ((er == 0 && ec == 0) || r < -reach || c < -reach || r > reach || c > reach) continue;
          if (cost[slot(c, r)] < v) {
            lowest = false;
            break;
          }
        }
      }
      if (lowest) minima.push_back({v, {dc, dr}});
    }
  }
  // Equally good repeats (a perfect grid) come shortest first.
  std::stable_sort(minima.begin(), minima.end(), [](const auto& a, const auto& b) {
    const auto l = [](const CellOffset& o) { return o[0] * o[0] + o[1] * o[1]; };
    return a.first < b.first || (a.first == b.first && l(a.second) < l(b.second));
  });
  TextureRepeats repeats;
  // A parabola through the differences on either side places a minimum between cells.
  auto shift = [&](double before, double at, double after) {
    const double curve = before - 2 * at + after;
    if (!std::isfinite(curve) || curve <= 0) return 0.0;
    return std::clamp(0.5 * (before - after) / curve, -0.5, 0.5);
  };
  for (const auto& m : minima) {
    if (repeats.offsets.size() == count) break;
    const std::int64_t dc = m.second[0], dr = m.second[1];
    repeats.offsets.push_back(m.second);
    const bool inside = std::abs(dc) < reach && std::abs(dr) < reach;
    repeats.exact.push_back(
        {static_cast<double>(dc) + (inside ? shift(cost[slot(dc - 1, dr)], m.first, cost[slot(dc + 1, dr)]) : 0.0),
         static_cast<double>(dr) + (inside ? shift(cost[slot(dc, dr - 1)], m.first, cost[slot(dc, dr + 1)]) : 0.0)});
  }
  double near = 0;
  std::int64_t nearCount = 0;
  for (std::int64_t dr = -2; dr <= 2; ++dr) {
    for (std::int64_t dc = -2; dc <= 2; ++dc) {
      if (length(dc, dr) != 2 || !std::isfinite(cost[slot(dc, dr)])) continue;
      near += cost[slot(dc, dr)];
      ++nearCount;
    }
  }
  // A grid's step matches far better than the offsets of 2 cells and than half of itself;
  // a smooth ground matches best along its contours, halfway as well.
  if (nearCount > 0) {
    const double nearMean = near / static_cast<double>(nearCount);
    for (const auto& m : minima) {
      if (m.first > kPeriodicRatio * nearMean) break;
      if (std::hypot(static_cast<double>(m.second[0]), static_cast<double>(m.second[1])) < kGridStepMin) continue;
      // The half step between cells: the best of the cells around it.
      double half = std::numeric_limits<double>::infinity();
      for (const std::int64_t hc : {floorHalf(m.second[0]), floorHalf(m.second[0] + 1)}) {
        for (const std::int64_t hr : {floorHalf(m.second[1]), floorHalf(m.second[1] + 1)}) {
          if (length(hc, hr) >= 2) half = std::min(half, cost[slot(hc, hr)]);
        }
      }
      if (std::isfinite(half) && half >= kHalfStepRatio * m.first + kHalfStepFloor * nearMean) {
        repeats.periodic = true;
        break;
      }
    }
  }
  return repeats;
}

namespace {

constexpr std::size_t kTranslates = 9;
constexpr std::int64_t kGridMultiples = 10;
constexpr double kRoundingMax = 0.25;
constexpr std::size_t kBasisCandidates = 8;

// The per-channel median of the nearest kTranslates translates of `cell` whose cells are set
// in `valid`; false when there is none.
bool medianOfTranslates(const PixelWindow& window, const CellGrid& valid,
                        const std::vector<CellOffset>& steps, std::int64_t cell, float* out) {
  const std::int64_t w = window.width, h = window.height;
  const std::int64_t r = cell / w, c = cell % w;
  std::array<std::array<float, kTranslates>, 3> values{};
  std::size_t n = 0;
  for (const CellOffset& o : steps) {
    const std::int64_t sr = r + o[1], sc = c + o[0];
    if (sr < 0 || sc < 0 || sr >= h || sc >= w) continue;
    const std::int64_t s = sr * w + sc;
    if (valid.cells[static_cast<std::size_t>(s)] == 0) continue;
    for (int ch = 0; ch < 3; ++ch) values[ch][n] = window.at(s)[ch];
    if (++n == kTranslates) break;
  }
  if (n == 0) return false;
  for (int ch = 0; ch < 3; ++ch) {
    auto* v = values[ch].data();
    std::sort(v, v + n);
    out[ch] = n % 2 == 1 ? v[n / 2] : 0.5f * (v[n / 2 - 1] + v[n / 2]);
  }
  return true;
}

double cross(const std::array<double, 2>& a, const std::array<double, 2>& b) {
  return a[0] * b[1] - a[1] * b[0];
}

}  // namespace

std::vector<CellOffset> gridSteps(const TextureRepeats& repeats, std::int64_t reach) {
  if (repeats.offsets.empty()) return {};
  auto real = [](const CellOffset& o) {
    return std::array<double, 2>{static_cast<double>(o[0]), static_cast<double>(o[1])};
  };
  auto len = [](const std::array<double, 2>& v) { return std::hypot(v[0], v[1]); };
  // The two shortest independent repeats among the best ones span the grid.
  std::vector<std::array<double, 2>> best = repeats.exact;
  if (best.size() != repeats.offsets.size()) {
    best.clear();
    for (const CellOffset& o : repeats.offsets) best.push_back(real(o));
  }
  // The steps are the shortest of the repeats that match about as well as the best.
  const std::size_t strong = std::min<std::size_t>(best.size(), kBasisCandidates);
  std::array<double, 2> v1 = best[0];
  for (std::size_t k = 0; k < strong; ++k) {
    if (len(best[k]) < len(v1)) v1 = best[k];
  }
  std::optional<std::array<double, 2>> v2;
  for (std::size_t k = 0; k < strong; ++k) {
    const auto& v = best[k];
    if (std::abs(cross(v1, v)) < 0.5 * len(v1) * len(v)) continue;  // within 30 degrees
    if (!v2 || len(v) < len(*v2)) v2 = v;
  }
  std::vector<std::array<double, 2>> basis{v1};
  if (v2) basis.push_back(*v2);
  // Every repeat is a whole combination of the grid's steps: fitting them all measures the
  // steps to a fraction of a cell.
  if (v2) {
    double saa = 0, sab = 0, sbb = 0;
    std::array<double, 2> sam{}, sbm{};
    const double det = cross(v1, *v2);
    for (const auto& m : best) {
      const double a = std::round(cross(m, *v2) / det), b = std::round(cross(v1, m) / det);
      const std::array<double, 2> back{a * v1[0] + b * (*v2)[0], a * v1[1] + b * (*v2)[1]};
      if (std::hypot(back[0] - m[0], back[1] - m[1]) > 1.0) continue;
      saa += a * a;
      sab += a * b;
      sbb += b * b;
      for (int k = 0; k < 2; ++k) {
        sam[k] += a * m[k];
        sbm[k] += b * m[k];
      }
    }
    const double d = saa * sbb - sab * sab;
    if (std::abs(d) > 1e-9) {
      for (int k = 0; k < 2; ++k) {
        basis[0][k] = (sbb * sam[k] - sab * sbm[k]) / d;
        basis[1][k] = (saa * sbm[k] - sab * sam[k]) / d;
      }
    }
  }
  std::vector<CellOffset> steps;
  auto add = [&](double x, double y) {
    // Steps that land between cells would shift the tone's phase.
    if (std::max(std::abs(x - std::round(x)), std::abs(y - std::round(y))) > kRoundingMax) return;
    const CellOffset o{static_cast<std::int64_t>(std::lround(x)), static_cast<std::int64_t>(std::lround(y))};
    if (std::max(std::abs(o[0]), std::abs(o[1])) < 2 || std::max(std::abs(o[0]), std::abs(o[1])) > reach) return;
    if (std::find(steps.begin(), steps.end(), o) == steps.end()) steps.push_back(o);
  };
  const std::int64_t bMax = basis.size() > 1 ? kGridMultiples : 0;
  for (std::int64_t a = -kGridMultiples; a <= kGridMultiples; ++a) {
    for (std::int64_t b = -bMax; b <= bMax; ++b) {
      double x = static_cast<double>(a) * basis[0][0], y = static_cast<double>(a) * basis[0][1];
      if (basis.size() > 1) {
        x += static_cast<double>(b) * basis[1][0];
        y += static_cast<double>(b) * basis[1][1];
      }
      add(x, y);
    }
  }
  // A line tone repeats all along its lines too.
  for (const CellOffset& o : repeats.offsets) {
    add(static_cast<double>(o[0]), static_cast<double>(o[1]));
    add(-static_cast<double>(o[0]), -static_cast<double>(o[1]));
  }
  std::stable_sort(steps.begin(), steps.end(), [](const CellOffset& p, const CellOffset& q) {
    return p[0] * p[0] + p[1] * p[1] < q[0] * q[0] + q[1] * q[1];
  });
  return steps;
}

PixelWindow predictFromSteps(const PixelWindow& window, const CellGrid& valid,
                             const std::vector<CellOffset>& steps, const CellRange& range) {
  PixelWindow predicted = window;
  for (std::int64_t r = range.r0; r < range.r1; ++r) {
    for (std::int64_t c = range.c0; c < range.c1; ++c) {
      const std::int64_t cell = r * window.width + c;
      medianOfTranslates(window, valid, steps, cell, predicted.at(cell));
    }
  }
  return predicted;
}

void fillFromSteps(PixelWindow& window, const CellGrid& holes, const CellGrid& sources,
                   const std::vector<CellOffset>& steps) {
  CellGrid valid = sources;
  for (std::size_t i = 0; i < valid.cells.size(); ++i) {
    if (holes.cells[i] != 0) valid.cells[i] = 0;
  }
  for (const std::int64_t cell : cellsByDepth(holes)) {
    if (medianOfTranslates(window, valid, steps, cell, window.at(cell))) {
      valid.cells[static_cast<std::size_t>(cell)] = 1;
    }
  }
}

}  // namespace letterforge
