#include "letterforge/cleanup/smooth_fill.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "letterforge/cleanup/text_mask.h"

namespace letterforge {
namespace {

constexpr int kRelaxationSweeps = 8;
constexpr std::int64_t kDetailRadius = 2;
constexpr std::int64_t kTile = 8;
constexpr int kOffsetTries = 12;
constexpr std::int64_t kOffsetReachMin = 6;
constexpr std::int64_t kOffsetReach = 24;

struct Level {
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::vector<std::array<float, 3>> value{};
  std::vector<float> weight{};
};

// The level above a fine one of fineWidth x fineHeight cells; weighted(i) is fine cell i's
// value times its weight, and its weight.
template <typename Weighted>
Level halve(std::int64_t fineWidth, std::int64_t fineHeight, Weighted weighted) {
  const struct {
    std::int64_t width, height;
  } fine{fineWidth, fineHeight};
  Level coarse{.width = (fine.width + 1) / 2, .height = (fine.height + 1) / 2};
  const auto n = static_cast<std::size_t>(coarse.width * coarse.height);
  // Every cell is written in order: nothing is cleared first.
  coarse.value.reserve(n);
  coarse.weight.reserve(n);
  for (std::int64_t r = 0; r < coarse.height; ++r) {
    for (std::int64_t c = 0; c < coarse.width; ++c) {
      // Sums of their own, not an array: they stay in registers.
      float red = 0, green = 0, blue = 0, w = 0;
      auto add = [&](std::size_t i) {
        const std::array<float, 4> p = weighted(i);
        red += p[0];
        green += p[1];
        blue += p[2];
        w += p[3];
      };
      if (2 * r + 1 < fine.height && 2 * c + 1 < fine.width) {
        // All four fine cells, in the order of the general case below.
        const auto i = static_cast<std::size_t>(2 * r * fine.width + 2 * c);
        const auto width = static_cast<std::size_t>(fine.width);
        add(i);
        add(i + 1);
        add(i + width);
        add(i + width + 1);
      } else {
        for (std::int64_t dr = 0; dr < 2; ++dr) {
          for (std::int64_t dc = 0; dc < 2; ++dc) {
            const std::int64_t fr = 2 * r + dr, fc = 2 * c + dc;
            if (fr >= fine.height || fc >= fine.width) continue;
            add(static_cast<std::size_t>(fr * fine.width + fc));
          }
        }
      }
      if (w == 4) {
        // Four whole weights, the common case: a quarter is exact, the same as dividing by 4.
        coarse.value.push_back({red * 0.25f, green * 0.25f, blue * 0.25f});
      } else {
        coarse.value.push_back(w > 0 ? std::array<float, 3>{red / w, green / w, blue / w} : std::array<float, 3>{0, 0, 0});
      }
      coarse.weight.push_back(std::min(w, 1.0f));
    }
  }
  return coarse;
}

Level halve(const Level& fine) {
  return halve(fine.width, fine.height, [&](std::size_t i) {
    const float fw = fine.weight[i];
    const auto& v = fine.value[i];
    return std::array<float, 4>{fw * v[0], fw * v[1], fw * v[2], fw};
  });
}

// Where a fine column (or row) falls between the coarse centres: the two coarse cells and the
// share of the second.
struct Between {
  std::int64_t first = 0;
  std::int64_t second = 0;
  float share = 0;
};

// Per fine index (column or row) below `fineSize`, its place between the coarse centres.
std::vector<Between> placesBetween(std::int64_t fineSize, std::int64_t coarseSize) {
  std::vector<Between> out(static_cast<std::size_t>(fineSize));
  for (std::int64_t i = 0; i < fineSize; ++i) {
    const double x = std::clamp((static_cast<double>(i) + 0.5) / 2.0 - 0.5, 0.0,
                                static_cast<double>(coarseSize - 1));
    const auto x0 = static_cast<std::int64_t>(x);
    out[static_cast<std::size_t>(i)] = {.first = x0, .second = std::min(x0 + 1, coarseSize - 1),
                                        .share = static_cast<float>(x - static_cast<double>(x0))};
  }
  return out;
}

// The coarse level's value under a fine cell, interpolated bilinearly between coarse centres.
std::array<float, 3> upsampled(const Level& coarse, const Between& col, const Between& row) {
  const float fx = col.share, fy = row.share;
  const auto& a = coarse.value[static_cast<std::size_t>(row.first * coarse.width + col.first)];
  const auto& b = coarse.value[static_cast<std::size_t>(row.first * coarse.width + col.second)];
  const auto& d = coarse.value[static_cast<std::size_t>(row.second * coarse.width + col.first)];
  const auto& e = coarse.value[static_cast<std::size_t>(row.second * coarse.width + col.second)];
  std::array<float, 3> out{};
  for (int ch = 0; ch < 3; ++ch) {
    out[ch] = (1 - fy) * ((1 - fx) * a[ch] + fx * b[ch]) + fy * ((1 - fx) * d[ch] + fx * e[ch]);
  }
  return out;
}

// Fills the cells of weight below 1 from the coarser levels, coarsest first.
void pull(std::vector<Level>& levels) {
  for (std::size_t k = levels.size() - 1; k-- > 0;) {
    Level& fine = levels[k];
    const Level& coarse = levels[k + 1];
    const std::vector<Between> columns = placesBetween(fine.width, coarse.width);
    const std::vector<Between> rows = placesBetween(fine.height, coarse.height);
    for (std::int64_t r = 0; r < fine.height; ++r) {
      for (std::int64_t c = 0; c < fine.width; ++c) {
        const auto i = static_cast<std::size_t>(r * fine.width + c);
        const float w = fine.weight[i];
        if (w >= 1) continue;
        const auto up = upsampled(coarse, columns[static_cast<std::size_t>(c)], rows[static_cast<std::size_t>(r)]);
        for (int ch = 0; ch < 3; ++ch) fine.value[i][ch] = w * fine.value[i][ch] + (1 - w) * up[ch];
        fine.weight[i] = 1;
      }
    }
  }
}

// Gauss-Seidel sweeps of the holes towards the mean of their 4 neighbours that are known or
// holes, the holes of even and of odd column + row taken in turn: no hole of one colour is a
// neighbour of another, so the updates of a half sweep do not wait on each other.
void relax(PixelWindow& window, const CellGrid& known, const CellGrid& holes,
           const std::vector<std::int64_t>& holeCells) {
  const std::int64_t w = window.width, h = window.height;
  auto usable = [&](std::int64_t cell) {
    return known.cells[static_cast<std::size_t>(cell)] != 0 ||
           holes.cells[static_cast<std::size_t>(cell)] != 0;
  };
  // Each hole with its usable neighbours, found once for all the sweeps: where their colours
  // lie in the window.
  struct Hole {
    float* cell;
    std::array<const float*, 4> around;
    int count;
    float share;  // 1 / count
  };
  std::array<std::vector<Hole>, 2> colours;
  for (auto& list : colours) list.reserve(holeCells.size() / 2 + 1);
  for (const std::int64_t i : holeCells) {
    const std::int64_t r = i / w, c = i % w;
    // Built where it is kept, not copied there: the copy of a struct just written a field at a
    // time waits on its stores.
    auto& list = colours[static_cast<std::size_t>((r + c) % 2)];
    Hole& hole = list.emplace_back();
    hole.cell = window.at(i);
    for (const std::int64_t j : {c > 0 ? i - 1 : -1, c + 1 < w ? i + 1 : -1, r > 0 ? i - w : -1,
                                 r + 1 < h ? i + w : -1}) {
      if (j >= 0 && usable(j)) hole.around[static_cast<std::size_t>(hole.count++)] = window.at(j);
    }
    if (hole.count == 0) {
      list.pop_back();
      continue;
    }
    hole.share = 1.0f / static_cast<float>(hole.count);
  }
  for (int sweep = 0; sweep < kRelaxationSweeps; ++sweep) {
    for (const auto& cells : colours) {
      for (const Hole& hole : cells) {
        // One sum a channel, each a variable of its own: held in registers, not memory.
        float red = 0, green = 0, blue = 0;
        auto add = [&](const float* v) {
          red += v[0];
          green += v[1];
          blue += v[2];
        };
        if (hole.count == 4) {
          // Most holes: all four neighbours, in the same order as the loop below.
          add(hole.around[0]);
          add(hole.around[1]);
          add(hole.around[2]);
          add(hole.around[3]);
        } else {
          for (int k = 0; k < hole.count; ++k) add(hole.around[static_cast<std::size_t>(k)]);
        }
        float* v = hole.cell;
        v[0] = red * hole.share;
        v[1] = green * hole.share;
        v[2] = blue * hole.share;
      }
    }
  }
}

// Prefix sums of the known cells' values and count, (width + 1) x (height + 1).
struct KnownSums {
  std::int64_t width = 0;
  std::unique_ptr<std::array<double, 4>[]> sums{};

  const std::array<double, 4>& at(std::int64_t c, std::int64_t r) const {
    return sums[static_cast<std::size_t>(r * (width + 1) + c)];
  }
};

KnownSums knownSums(const PixelWindow& window, const CellGrid& known) {
  const std::int64_t w = window.width, h = window.height;
  KnownSums out{.width = w, .sums = std::make_unique_for_overwrite<std::array<double, 4>[]>(
                                static_cast<std::size_t>((w + 1) * (h + 1)))};
  auto at = [&](std::int64_t c, std::int64_t r) -> std::array<double, 4>& {
    return out.sums[static_cast<std::size_t>(r * (w + 1) + c)];
  };
  // Only the first row and column are cleared: the loop below writes every other sum.
  for (std::int64_t c = 0; c <= w; ++c) at(c, 0) = {0, 0, 0, 0};
  for (std::int64_t r = 1; r <= h; ++r) at(0, r) = {0, 0, 0, 0};
  for (std::int64_t r = 0; r < h; ++r) {
    std::array<double, 4> row{0, 0, 0, 0};
    for (std::int64_t c = 0; c < w; ++c) {
      const std::int64_t i = r * w + c;
      if (known.cells[static_cast<std::size_t>(i)] != 0) {
        const float* v = window.at(i);
        row = {row[0] + v[0], row[1] + v[1], row[2] + v[2], row[3] + 1};
      }
      const auto& below = at(c + 1, r);
      at(c + 1, r + 1) = {below[0] + row[0], below[1] + row[1], below[2] + row[2], below[3] + row[3]};
    }
  }
  return out;
}

// A known cell's difference from the mean of the known cells within kDetailRadius. Asked only
// of the cells that lend their grain, not worked out for the whole window.
std::array<float, 3> knownDetail(const PixelWindow& window, const KnownSums& sums, std::int64_t cell) {
  const std::int64_t w = window.width, h = window.height;
  const std::int64_t c = cell % w, r = cell / w;
  const std::int64_t c0 = std::max<std::int64_t>(c - kDetailRadius, 0);
  const std::int64_t c1 = std::min(c + kDetailRadius + 1, w);
  const std::int64_t r0 = std::max<std::int64_t>(r - kDetailRadius, 0);
  const std::int64_t r1 = std::min(r + kDetailRadius + 1, h);
  const auto& a = sums.at(c1, r1);
  const auto& b = sums.at(c0, r1);
  const auto& d = sums.at(c1, r0);
  const auto& e = sums.at(c0, r0);
  const double n = a[3] - b[3] - d[3] + e[3];
  const float* v = window.at(cell);
  std::array<float, 3> detail{};
  for (int ch = 0; ch < 3; ++ch) {
    const double mean = (a[ch] - b[ch] - d[ch] + e[ch]) / n;
    detail[ch] = static_cast<float>(v[ch] - mean);
  }
  return detail;
}

}  // namespace

void interpolateHoles(PixelWindow& window, const CellGrid& known, const CellGrid& holes) {
  if (window.cells() == 0 || countSet(known) == 0) return;
  const CellSet holeSet = CellSet::ofMarks(holes.cells);
  std::vector<std::int64_t> holeCells;
  holeCells.reserve(static_cast<std::size_t>(holeSet.count()));
  holeCells.assign(holeSet.begin(), holeSet.end());
  // The finest level is the window itself, its known cells weighing 1 and the others 0 (their
  // value 0); it is never built: the level above is halved from the window, and of the finest
  // level only the holes are filled, straight into the window. A known hole keeps its value.
  auto isKnown = [&](std::size_t i) { return known.cells[i] != 0; };
  std::vector<Level> levels;
  if (window.width > 1 || window.height > 1) {
    // A known cell times its weight 1 is itself; any other weighs 0 and holds 0.
    levels.push_back(halve(window.width, window.height, [&](std::size_t i) {
      if (!isKnown(i)) return std::array<float, 4>{0, 0, 0, 0};
      const float* v = window.at(static_cast<std::int64_t>(i));
      return std::array<float, 4>{v[0], v[1], v[2], 1};
    }));
    while (levels.back().width > 1 || levels.back().height > 1) levels.push_back(halve(levels.back()));
    pull(levels);
  }
  const std::vector<Between> columns = placesBetween(window.width, levels.empty() ? 1 : levels[0].width);
  const std::vector<Between> rows = placesBetween(window.height, levels.empty() ? 1 : levels[0].height);
  for (const std::int64_t i : holeCells) {
    if (isKnown(static_cast<std::size_t>(i))) continue;
    float* out = window.at(i);
    if (levels.empty()) {
      for (int ch = 0; ch < 3; ++ch) out[ch] = 0;
      continue;
    }
    const auto up = upsampled(levels[0], columns[static_cast<std::size_t>(i % window.width)],
                              rows[static_cast<std::size_t>(i / window.width)]);
    // The coarser levels' blend, with the hole's own weight and value 0.
    constexpr float w = 0.0f, own = 0.0f;
    for (int ch = 0; ch < 3; ++ch) out[ch] = w * own + (1 - w) * up[ch];
  }
  relax(window, known, holes, holeCells);
}

void addGrain(PixelWindow& window, const CellGrid& known, const CellGrid& holes,
              std::uint64_t seed) {
  const std::int64_t w = window.width, h = window.height;
  if (w == 0 || h == 0) return;
  const KnownSums sums = knownSums(window, known);
  std::uint64_t state = seed;
  auto randomOffset = [&]() {
    const std::int64_t span = 2 * kOffsetReach + 1;
    for (;;) {
      const auto dc = static_cast<std::int64_t>(nextRandom(state) % span) - kOffsetReach;
      const auto dr = static_cast<std::int64_t>(nextRandom(state) % span) - kOffsetReach;
      if (std::max(std::abs(dc), std::abs(dr)) >= kOffsetReachMin) return std::array<std::int64_t, 2>{dc, dr};
    }
  };
  for (std::int64_t tr = 0; tr < h; tr += kTile) {
    for (std::int64_t tc = 0; tc < w; tc += kTile) {
      std::array<std::array<std::int64_t, 2>, kOffsetTries> offsets{};
      bool any = false;
      for (std::int64_t r = tr; r < std::min(tr + kTile, h) && !any; ++r) {
        for (std::int64_t c = tc; c < std::min(tc + kTile, w); ++c) {
          if (holes.cells[static_cast<std::size_t>(r * w + c)] != 0) any = true;
        }
      }
      if (!any) continue;
      for (auto& o : offsets) o = randomOffset();
      for (std::int64_t r = tr; r < std::min(tr + kTile, h); ++r) {
        for (std::int64_t c = tc; c < std::min(tc + kTile, w); ++c) {
          const std::int64_t i = r * w + c;
          if (holes.cells[static_cast<std::size_t>(i)] == 0) continue;
          for (const auto& o : offsets) {
            const std::int64_t sc = c + o[0], sr = r + o[1];
            if (sc < 0 || sr < 0 || sc >= w || sr >= h) continue;
            const std::int64_t s = sr * w + sc;
            if (known.cells[static_cast<std::size_t>(s)] == 0) continue;
            // Holes are never known: the cells read here keep the page's values.
            const auto detail = knownDetail(window, sums, s);
            float* v = window.at(i);
            for (int ch = 0; ch < 3; ++ch) v[ch] += detail[ch];
            break;
          }
        }
      }
    }
  }
}

}  // namespace letterforge
