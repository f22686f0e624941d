#include "letterforge/cleanup/texture_fill.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <queue>
#include <utility>

namespace letterforge {
namespace {

constexpr std::int64_t kPatchRadius = 3;
// The cells of a hole weigh this much in a patch's match (as against 1 for known cells): their
// colours are guesses, which steer the choice between sources only a little. At the coarser
// levels they are the smooth fill's or a coarser level's, and count less than at the finest.
constexpr double kHoleWeight = 0.1;
constexpr double kCoarseHoleWeight = 0.05;
// Searches and votes at the coarser levels and at the finest.
constexpr int kCoarsePasses = 2;
constexpr int kFinePasses = 1;
// A source patch needs this many of its cells to be sources.
constexpr std::int64_t kSourceCellsMin = 25;
// Levels are halved while the holes are deeper than this, at most kLevelsMax times.
constexpr int kCoarseDepth = 3;
constexpr int kLevelsMax = 3;
constexpr int kStartCandidates = 8;
// Random search looks this far (in cells of its level) around a patch's current source.
constexpr std::int64_t kSearchReach = 32;
// Offsets that jump across a stroke: a ring of directions at a few lengths.
constexpr std::int64_t kJumpLengths[] = {5, 9, 14};
// At the coarsest level every place within this many cells of a patch is tried, on a grid of
// this step, and the cells around the best of them after: the coarse solution, which the
// finer levels start from, takes the ground nearest the hole that matches best rather than the
// best of the few places a random search reaches.
constexpr std::int64_t kScanReach = 16;
constexpr std::int64_t kScanStep = 2;
// Below the coarsest level the jumps are tried again only for the targets whose match is worse
// than this share of the level's matches: the rest are settled by what they inherited.
constexpr double kSettledShare = 0.5;

// At the finest level each patch keeps a second source, at least this many cells from its best,
// and copies from both: the mean of two guesses misses a hidden line by less than either.
constexpr std::int64_t kSecondApart = 2;
// The second is copied only where it matches nearly as well as the best: within twice its mean
// squared difference plus (40 levels)^2. A second out of phase on a halftone the repeats missed
// is off by far more, and copied would put dots at the wrong places back into the mean.
constexpr double kSecondMatchMax = 2.0;
constexpr double kSecondMatchSlack = 1600.0;

// Patches are matched, and copied, in a space of lightness and two axes of hue (an orthonormal
// turn of RGB, the hue axes stretched so that their squared differences weigh this much more):
// a copy of the right lightness but the wrong hue (the grass's green for a face's shade, the
// sky's blue for a grey wall) is off in every channel and shows, where one a little lighter or
// darker than the hidden ground mostly does not. Grey differences weigh as in RGB.
constexpr double kHueWeight = 4.0;

// A coarser cell over a hole is known when at least this many of its four are: the ground
// between thin strokes would otherwise be lost there, and the coarse solution would ignore it.
constexpr int kKnownChildrenMin = 2;

enum : std::uint8_t { kUnread = 0, kSource = 1, kHole = 2 };

struct Level {
  std::int64_t w = 0, h = 0;
  std::vector<float> rgb{};
  std::vector<std::uint8_t> state{};
  std::vector<std::uint8_t> valid{};    // a source patch may be centred here
  std::vector<std::uint8_t> target{};   // a patch centred here covers a hole
  std::vector<std::int32_t> source{};   // per target, the centre of its source patch, or -1
  std::vector<float> match{};           // per target, its source's mean squared difference
  // Per target, when the level keeps two sources, the second best (at least kSecondApart cells
  // from the best) and its match; -1 and infinity when none is known.
  std::vector<std::int32_t> second{};
  std::vector<float> secondMatch{};
  // Per target, the most weight its cells can carry in a match: it bounds the match from below
  // as the sum grows.
  std::vector<double> most{};
  double holeWeight = kHoleWeight;
  FillWork* work = nullptr;

  const float* at(std::int64_t i) const { return &rgb[static_cast<std::size_t>(3 * i)]; }
  float* at(std::int64_t i) { return &rgb[static_cast<std::size_t>(3 * i)]; }
};

Level halved(const Level& fine) {
  Level c;
  c.w = (fine.w + 1) / 2;
  c.h = (fine.h + 1) / 2;
  c.rgb.assign(static_cast<std::size_t>(3 * c.w * c.h), 0.0F);
  c.state.assign(static_cast<std::size_t>(c.w * c.h), kUnread);
  for (std::int64_t r = 0; r < c.h; ++r) {
    for (std::int64_t col = 0; col < c.w; ++col) {
      float sum[3] = {0, 0, 0}, known[3] = {0, 0, 0};
      int read = 0, sources = 0, cells = 0;
      bool hole = false;
      for (std::int64_t dr = 0; dr < 2; ++dr) {
        for (std::int64_t dc = 0; dc < 2; ++dc) {
          const std::int64_t fr = 2 * r + dr, fc = 2 * col + dc;
          if (fr >= fine.h || fc >= fine.w) continue;
          ++cells;
          const std::int64_t f = fr * fine.w + fc;
          const std::uint8_t s = fine.state[static_cast<std::size_t>(f)];
          if (s == kUnread) continue;
          ++read;
          sources += s == kSource ? 1 : 0;
          hole = hole || s == kHole;
          for (int k = 0; k < 3; ++k) {
            sum[k] += fine.at(f)[k];
            known[k] += s == kSource ? fine.at(f)[k] : 0.0F;
          }
        }
      }
      const std::int64_t i = r * c.w + col;
      if (hole && sources >= kKnownChildrenMin) {
        // Known, in the colour of its known cells alone: the holes' guesses do not darken it.
        for (int k = 0; k < 3; ++k) c.at(i)[k] = known[k] / static_cast<float>(sources);
        c.state[static_cast<std::size_t>(i)] = kSource;
        continue;
      }
      if (read > 0) {
        for (int k = 0; k < 3; ++k) c.at(i)[k] = sum[k] / static_cast<float>(read);
      }
      c.state[static_cast<std::size_t>(i)] = hole ? kHole : (sources == cells ? kSource : kUnread);
    }
  }
  return c;
}

int depthOf(const Level& level) {
  CellGrid holes{.width = level.w, .height = level.h, .cells = {}};
  holes.cells.resize(level.state.size());
  for (std::size_t i = 0; i < level.state.size(); ++i) holes.cells[i] = level.state[i] == kHole ? 1 : 0;
  CellGrid solid = holes;
  for (auto& v : solid.cells) v = v != 0 ? 0 : 1;
  const auto depth = distanceTo(solid, 255);
  return depth.empty() ? 0 : *std::max_element(depth.begin(), depth.end());
}

// Visits the pairs of cells at the same place in the patches at `t` and `s` that both lie in
// the level, `cell(a, b)`, row by row; stops (false) when `rowDone()` says so after a row.
template <typename Cell, typename RowDone>
bool eachPatchPair(const Level& L, std::int64_t t, std::int64_t s, Cell cell, RowDone rowDone) {
  const std::int64_t w = L.w, h = L.h, R = kPatchRadius;
  const std::int64_t tr = t / w, tc = t % w, sr = s / w, sc = s % w;
  const auto inside = [&](std::int64_t r, std::int64_t c) { return r >= R && c >= R && r + R < h && c + R < w; };
  if (inside(tr, tc) && inside(sr, sc)) {
    // Both patches whole: no cell to check.
    for (std::int64_t dr = -R; dr <= R; ++dr) {
      const std::int64_t a0 = (tr + dr) * w + tc, b0 = (sr + dr) * w + sc;
      for (std::int64_t dc = -R; dc <= R; ++dc) cell(a0 + dc, b0 + dc);
      if (!rowDone()) return false;
    }
    return true;
  }
  for (std::int64_t dr = -R; dr <= R; ++dr) {
    const std::int64_t ar = tr + dr, br = sr + dr;
    if (ar < 0 || br < 0 || ar >= h || br >= h) continue;
    for (std::int64_t dc = -R; dc <= R; ++dc) {
      const std::int64_t ac = tc + dc, bc = sc + dc;
      if (ac < 0 || bc < 0 || ac >= w || bc >= w) continue;
      cell(ar * w + ac, br * w + bc);
    }
    if (!rowDone()) return false;
  }
  return true;
}

// Marks where source patches may be centred and which patches cover a hole; false when no
// source patch may be centred anywhere (then the weights of the targets are not worked out).
bool markCentres(Level& level) {
  const std::int64_t w = level.w, h = level.h, n = w * h;
  level.valid.assign(static_cast<std::size_t>(n), 0);
  level.target.assign(static_cast<std::size_t>(n), 0);
  const std::int64_t R = kPatchRadius;
  // How many cells of a state lie in each patch (clipped to the level), from a table of
  // running sums.
  std::vector<std::int32_t> sums(static_cast<std::size_t>((w + 1) * (h + 1)), 0);
  const auto countIn = [&](std::uint8_t state, auto mark) {
    for (std::int64_t r = 0; r < h; ++r) {
      std::int32_t row = 0;
      for (std::int64_t c = 0; c < w; ++c) {
        row += level.state[static_cast<std::size_t>(r * w + c)] == state ? 1 : 0;
        sums[static_cast<std::size_t>((r + 1) * (w + 1) + c + 1)] = sums[static_cast<std::size_t>(r * (w + 1) + c + 1)] + row;
      }
    }
    const auto at = [&](std::int64_t rr, std::int64_t cc) { return sums[static_cast<std::size_t>(rr * (w + 1) + cc)]; };
    for (std::int64_t r = 0; r < h; ++r) {
      const std::int64_t r0 = std::max<std::int64_t>(0, r - R), r1 = std::min(h, r + R + 1);
      for (std::int64_t c = 0; c < w; ++c) {
        const std::int64_t c0 = std::max<std::int64_t>(0, c - R), c1 = std::min(w, c + R + 1);
        mark(r * w + c, [&] { return at(r1, c1) - at(r0, c1) - at(r1, c0) + at(r0, c0); });
      }
    }
  };
  countIn(kSource, [&](std::int64_t i, auto count) {
    if (level.state[static_cast<std::size_t>(i)] == kSource && count() >= kSourceCellsMin) level.valid[static_cast<std::size_t>(i)] = 1;
  });
  countIn(kHole, [&](std::int64_t i, auto count) {
    if (count() > 0) level.target[static_cast<std::size_t>(i)] = 1;
  });
  level.source.assign(static_cast<std::size_t>(n), -1);
  level.match.assign(static_cast<std::size_t>(n), std::numeric_limits<float>::infinity());
  if (std::find(level.valid.begin(), level.valid.end(), 1) == level.valid.end()) return false;
  level.most.assign(static_cast<std::size_t>(n), 0.0);
  for (std::int64_t t = 0; t < n; ++t) {
    if (level.target[static_cast<std::size_t>(t)] == 0) continue;
    eachPatchPair(level, t, t, [&](std::int64_t a, std::int64_t) {
      const std::uint8_t sa = level.state[static_cast<std::size_t>(a)];
      level.most[static_cast<std::size_t>(t)] += sa == kHole ? level.holeWeight : (sa == kSource ? 1.0 : 0.0);
    }, [] { return true; });
  }
  return true;
}

// The mean squared colour difference of the patches at target `t` and source `s`, each target
// cell weighing `weightOf(cell)` (nothing when 0), over the cells read in both; infinity when
// their weight is under half of `most`, or when it exceeds `best`.
template <typename WeightOf>
double weightedPatchDistance(const Level& L, std::int64_t t, std::int64_t s, double most, double best,
                             WeightOf weightOf) {
  if (L.work != nullptr) ++L.work->comparisons;
  double sum = 0, weight = 0;
  const bool whole = eachPatchPair(L, t, s, [&](std::int64_t a, std::int64_t b) {
    const double k = weightOf(a);
    if (k <= 0 || L.state[static_cast<std::size_t>(b)] != kSource) return;
    sum += k * colourDistance(L.at(a), L.at(b));
    weight += k;
  }, [&] { return sum <= best * most; });
  if (!whole || weight < 0.5 * most || weight <= 0) return std::numeric_limits<double>::infinity();
  return sum / weight;
}

// The same, the holes' guesses weighing the level's hole weight and the ground fully.
double patchDistance(const Level& L, std::int64_t t, std::int64_t s, double best) {
  return weightedPatchDistance(L, t, s, L.most[static_cast<std::size_t>(t)], best, [&](std::int64_t a) {
    const std::uint8_t sa = L.state[static_cast<std::size_t>(a)];
    return sa == kUnread ? 0.0 : (sa == kHole ? L.holeWeight : 1.0);
  });
}

struct Search {
  const std::vector<CellOffset>* offsets = nullptr;
  std::int64_t scale = 1;
  std::uint64_t random = 0;
  bool scan = false;  // every place within kScanReach is tried (the coarsest level)
};

void tryCandidate(Level& L, std::int64_t t, std::int64_t c, std::int64_t r) {
  if (c < 0 || r < 0 || c >= L.w || r >= L.h) return;
  if (L.work != nullptr) ++L.work->candidates;
  const std::int64_t s = r * L.w + c;
  if (L.valid[static_cast<std::size_t>(s)] == 0 || s == L.source[static_cast<std::size_t>(t)]) return;
  const auto ti = static_cast<std::size_t>(t);
  const double best = L.match[ti];
  if (L.second.empty()) {
    const double d = patchDistance(L, t, s, best);
    if (d < best) {
      L.source[ti] = static_cast<std::int32_t>(s);
      L.match[ti] = static_cast<float>(d);
    }
    return;
  }
  if (s == L.second[ti]) return;
  const double d = patchDistance(L, t, s, std::max<double>(best, L.secondMatch[ti]));
  const auto apart = [&](std::int64_t a, std::int64_t b) {
    return a < 0 || b < 0 || std::max(std::abs(a % L.w - b % L.w), std::abs(a / L.w - b / L.w)) >= kSecondApart;
  };
  const std::int32_t own = L.source[ti];
  if (d < best) {
    // The best gives way to `s`; it becomes the second when far enough from it, and a second
    // too near `s` is dropped.
    if (apart(own, s)) {
      L.second[ti] = own;
      L.secondMatch[ti] = static_cast<float>(best);
    } else if (!apart(L.second[ti], s)) {
      L.second[ti] = -1;
      L.secondMatch[ti] = std::numeric_limits<float>::infinity();
    }
    L.source[ti] = static_cast<std::int32_t>(s);
    L.match[ti] = static_cast<float>(d);
  } else if (d < L.secondMatch[ti] && apart(own, s)) {
    L.second[ti] = static_cast<std::int32_t>(s);
    L.secondMatch[ti] = static_cast<float>(d);
  }
}

// The match below which a target counts as settled: the kSettledShare quantile of the level's
// finite matches, or -1 (none settled) when there are none.
float settledMatch(const Level& L) {
  std::vector<float> matches;
  for (std::size_t t = 0; t < L.target.size(); ++t) {
    if (L.target[t] != 0 && std::isfinite(L.match[t])) matches.push_back(L.match[t]);
  }
  if (matches.empty()) return -1.0F;
  const auto k = static_cast<std::ptrdiff_t>(kSettledShare * static_cast<double>(matches.size() - 1));
  std::nth_element(matches.begin(), matches.begin() + k, matches.end());
  return matches[static_cast<std::size_t>(k)];
}

// Matches every target again (its own source re-scored as the holes changed), then improves it
// from its neighbours' sources and at random around it. The offsets are tried for targets
// without a source or matched worse than `settled`.
void searchLevel(Level& L, Search& search, bool reverse, bool withOffsets, float settled) {
  const std::int64_t w = L.w, n = L.w * L.h;
  const std::int64_t step = reverse ? -1 : 1;
  for (std::int64_t k = 0; k < n; ++k) {
    const std::int64_t t = reverse ? n - 1 - k : k;
    if (L.target[static_cast<std::size_t>(t)] == 0) continue;
    const std::int64_t tr = t / w, tc = t % w;
    auto& own = L.source[static_cast<std::size_t>(t)];
    if (!L.second.empty() && L.second[static_cast<std::size_t>(t)] >= 0) {
      auto& next = L.second[static_cast<std::size_t>(t)];
      L.secondMatch[static_cast<std::size_t>(t)] = static_cast<float>(
          patchDistance(L, t, next, std::numeric_limits<double>::infinity()));
      if (!std::isfinite(L.secondMatch[static_cast<std::size_t>(t)])) next = -1;
    }
    if (own >= 0) {
      L.match[static_cast<std::size_t>(t)] = static_cast<float>(
          patchDistance(L, t, own, std::numeric_limits<double>::infinity()));
      if (!std::isfinite(L.match[static_cast<std::size_t>(t)])) own = -1;
    }
    if (own < 0) {
      L.match[static_cast<std::size_t>(t)] = std::numeric_limits<float>::infinity();
      for (int j = 0; j < kStartCandidates; ++j) {
        const std::int64_t span = 2 * kSearchReach + 1;
        tryCandidate(L, t, tc + static_cast<std::int64_t>(nextRandom(search.random) % span) - kSearchReach,
                     tr + static_cast<std::int64_t>(nextRandom(search.random) % span) - kSearchReach);
      }
    }
    if (withOffsets && (own < 0 || !(L.match[static_cast<std::size_t>(t)] <= settled))) {
      for (const CellOffset& o : *search.offsets) {
        tryCandidate(L, t, tc + o[0] / search.scale, tr + o[1] / search.scale);
      }
    }
    // Neighbours before this one in scan order: their sources shifted back by one.
    const std::int64_t nbs[2][2] = {{-step, 0}, {0, -step}};
    for (const auto& d : nbs) {
      const std::int64_t nc = tc + d[0], nr = tr + d[1];
      if (nc < 0 || nr < 0 || nc >= w || nr >= L.h) continue;
      const std::int32_t from = L.source[static_cast<std::size_t>(nr * w + nc)];
      if (from >= 0) tryCandidate(L, t, from % w - d[0], from / w - d[1]);
    }
    if (withOffsets && search.scan) {
      for (std::int64_t r = tr - kScanReach; r <= tr + kScanReach; r += kScanStep) {
        for (std::int64_t c = tc - kScanReach; c <= tc + kScanReach; c += kScanStep) tryCandidate(L, t, c, r);
      }
      if (own >= 0) {
        const std::int64_t bc = own % w, br = own / w;
        for (std::int64_t r = br - kScanStep + 1; r < br + kScanStep; ++r) {
          for (std::int64_t c = bc - kScanStep + 1; c < bc + kScanStep; ++c) tryCandidate(L, t, c, r);
        }
      }
    }
    if (own < 0) continue;
    for (std::int64_t reach = kSearchReach; reach >= 1; reach /= 2) {
      const std::int64_t span = 2 * reach + 1;
      const std::int64_t sc = own % w, sr = own / w;
      tryCandidate(L, t, sc + static_cast<std::int64_t>(nextRandom(search.random) % span) - reach,
                   sr + static_cast<std::int64_t>(nextRandom(search.random) % span) - reach);
    }
  }
}

// Every hole becomes the mean of what the patches covering it copy there (from both sources
// where the level keeps two): where single copies disagree (a tone or hatching out of phase),
// the mean keeps its average colour.
void voteLevel(Level& L) {
  const std::int64_t w = L.w, h = L.h, n = w * h;
  std::vector<double> acc(static_cast<std::size_t>(4 * n), 0.0);
  const auto copyFrom = [&](std::int64_t t, std::int32_t s) {
    if (s < 0) return;
    eachPatchPair(L, t, s, [&](std::int64_t a, std::int64_t b) {
      if (L.state[static_cast<std::size_t>(a)] != kHole || L.state[static_cast<std::size_t>(b)] != kSource) return;
      double* out = &acc[static_cast<std::size_t>(4 * a)];
      const float* from = L.at(b);
      out[0] += from[0];
      out[1] += from[1];
      out[2] += from[2];
      out[3] += 1.0;
    }, [] { return true; });
  };
  for (std::int64_t t = 0; t < n; ++t) {
    copyFrom(t, L.source[static_cast<std::size_t>(t)]);
    const auto ti = static_cast<std::size_t>(t);
    if (!L.second.empty() && L.secondMatch[ti] <= kSecondMatchMax * L.match[ti] + kSecondMatchSlack) {
      copyFrom(t, L.second[ti]);
    }
  }
  for (std::int64_t a = 0; a < n; ++a) {
    const double* v = &acc[static_cast<std::size_t>(4 * a)];
    if (v[3] <= 0) continue;
    for (int k = 0; k < 3; ++k) L.at(a)[k] = static_cast<float>(v[k] / v[3]);
  }
}

// A finer level's targets start from the sources of the coarser level, scaled up.
void inherit(Level& fine, const Level& coarse) {
  for (std::int64_t r = 0; r < fine.h; ++r) {
    for (std::int64_t c = 0; c < fine.w; ++c) {
      const std::int64_t t = r * fine.w + c;
      if (fine.target[static_cast<std::size_t>(t)] == 0) continue;
      const std::int32_t s = coarse.source[static_cast<std::size_t>((r / 2) * coarse.w + c / 2)];
      if (s < 0) continue;
      const std::int64_t sc = 2 * (s % coarse.w) + c % 2, sr = 2 * (s / coarse.w) + r % 2;
      if (sc >= fine.w || sr >= fine.h) continue;
      const std::int64_t f = sr * fine.w + sc;
      if (fine.valid[static_cast<std::size_t>(f)] == 0) continue;
      fine.source[static_cast<std::size_t>(t)] = static_cast<std::int32_t>(f);
      fine.match[static_cast<std::size_t>(t)] = static_cast<float>(
          patchDistance(fine, t, f, std::numeric_limits<double>::infinity()));
      if (!std::isfinite(fine.match[static_cast<std::size_t>(t)])) fine.source[static_cast<std::size_t>(t)] = -1;
    }
  }
}

// RGB into the space the patches are matched in, and back. Both are linear, so the means of the
// votes and of the coarser levels are the same in either.
const double kLight = 1.0 / std::sqrt(3.0);
const double kRedGreen = std::sqrt(kHueWeight / 2.0);
const double kYellowBlue = std::sqrt(kHueWeight / 6.0);

void toMatchSpace(const float* rgb, float* out) {
  const double r = rgb[0], g = rgb[1], b = rgb[2];
  out[0] = static_cast<float>(kLight * (r + g + b));
  out[1] = static_cast<float>(kRedGreen * (r - g));
  out[2] = static_cast<float>(kYellowBlue * (r + g - 2.0 * b));
}

void fromMatchSpace(const float* v, float* rgb) {
  const double light = kLight * v[0], redGreen = v[1] / (2.0 * kRedGreen),
               yellowBlue = v[2] / (6.0 * kYellowBlue);
  rgb[0] = static_cast<float>(light + redGreen + yellowBlue);
  rgb[1] = static_cast<float>(light - redGreen + yellowBlue);
  rgb[2] = static_cast<float>(light - 2.0 * yellowBlue);
}

// The finest level's holes are filled once in order before it is searched: patch by patch from
// the holes' border inwards, the patch first whose cells are the surest and where the strongest
// line or edge among its known cells meets the border most squarely, each step copying the
// source patch that best matches the patch's known cells (and a tenth of its holes' present
// colours, the coarser levels' solution) into its cells still empty. A line or an edge that
// runs into a hole is carried across it before the ground on either side closes over it; the
// search and the votes then start from that fill instead of the coarser levels' blur.
//
// A patch's priority is its confidence times how squarely a line or an edge crosses there (in
// levels over 255) plus this: where none crosses, the confidence alone orders the patches.
constexpr double kDataFloor = 0.01;
// The sources looked at per step: every place within this many cells on the scan's grid, the
// fixed offsets, and the sources of the patch and its neighbours continued.
constexpr std::int64_t kOrderedReach = 8;

class OrderedFill {
 public:
  OrderedFill(Level& level, const std::vector<CellOffset>& offsets) : level_(level), offsets_(offsets) {
    const auto n = static_cast<std::size_t>(level_.w * level_.h);
    known_.assign(n, 0);
    confidence_.assign(n, 0.0F);
    priority_.assign(n, -1.0);
    graded_.assign(n, 0);
    gradient_.assign(2 * n, 0.0F);
    for (std::size_t i = 0; i < n; ++i) {
      if (level_.state[i] == kSource) {
        known_[i] = 1;
        confidence_[i] = 1.0F;
      }
    }
  }

  void run() {
    const std::int64_t n = level_.w * level_.h;
    for (std::int64_t i = 0; i < n; ++i) {
      if (onFront(i)) push(i);
    }
    const std::int64_t reach = 2 * kPatchRadius;  // the cells whose patch or border a step moves
    while (!front_.empty()) {
      const auto [value, negated] = front_.top();
      front_.pop();
      const std::int64_t p = -negated;
      if (known_[static_cast<std::size_t>(p)] != 0 || value != priority_[static_cast<std::size_t>(p)]) continue;
      const auto sure = static_cast<float>(confidenceOf(p));
      const std::int64_t s = bestSource(p);
      // With no match the cell keeps its present colour, at no confidence.
      known_[static_cast<std::size_t>(p)] = 1;
      if (s >= 0) {
        eachPatchPair(level_, p, s, [&](std::int64_t a, std::int64_t b) {
          const auto ai = static_cast<std::size_t>(a);
          if (level_.state[ai] != kHole || (known_[ai] != 0 && a != p) || level_.state[static_cast<std::size_t>(b)] != kSource) return;
          std::copy_n(level_.at(b), 3, level_.at(a));
          known_[ai] = 1;
          confidence_[ai] = sure;
        }, [] { return true; });
      }
      const std::int64_t pc = p % level_.w, pr = p / level_.w;
      for (std::int64_t r = std::max<std::int64_t>(0, pr - reach); r <= std::min(level_.h - 1, pr + reach); ++r) {
        for (std::int64_t c = std::max<std::int64_t>(0, pc - reach); c <= std::min(level_.w - 1, pc + reach); ++c) {
          if (onFront(r * level_.w + c)) push(r * level_.w + c);
        }
      }
    }
  }

 private:
  bool knownAt(std::int64_t c, std::int64_t r) const {
    return c >= 0 && r >= 0 && c < level_.w && r < level_.h && known_[static_cast<std::size_t>(r * level_.w + c)] != 0;
  }
  // The mean of the cell's red, green and blue (the match space's lightness axis, rescaled).
  float lightness(std::int64_t i) const { return static_cast<float>(kLight * level_.at(i)[0]); }
  // A hole still empty beside a known cell.
  bool onFront(std::int64_t i) const {
    if (level_.state[static_cast<std::size_t>(i)] != kHole || known_[static_cast<std::size_t>(i)] != 0) return false;
    const std::int64_t c = i % level_.w, r = i / level_.w;
    for (std::int64_t dr = -1; dr <= 1; ++dr) {
      for (std::int64_t dc = -1; dc <= 1; ++dc) {
        if (knownAt(c + dc, r + dr)) return true;
      }
    }
    return false;
  }
  void push(std::int64_t i) {
    const double v = confidenceOf(i) * (dataOf(i) + kDataFloor);
    if (v == priority_[static_cast<std::size_t>(i)]) return;
    priority_[static_cast<std::size_t>(i)] = v;
    front_.emplace(v, -i);  // the earlier cell first among equals
  }
  double confidenceOf(std::int64_t p) const {
    double sum = 0;
    int cells = 0;
    eachPatchPair(level_, p, p, [&](std::int64_t a, std::int64_t) {
      sum += confidence_[static_cast<std::size_t>(a)];
      ++cells;
    }, [] { return true; });
    return sum / cells;
  }
  // How squarely the strongest line or edge among the patch's known cells crosses the border at
  // `p`: its lightness gradient turned along the line, against the border's normal (the
  // gradient of what is known around `p`), over 255.
  double dataOf(std::int64_t p) const {
    const std::int64_t pc = p % level_.w, pr = p / level_.w;
    double nx = 0, ny = 0;
    for (std::int64_t dr = -1; dr <= 1; ++dr) {
      for (std::int64_t dc = -1; dc <= 1; ++dc) {
        if (!knownAt(pc + dc, pr + dr)) continue;
        nx += static_cast<double>(dc) * (dr == 0 ? 2.0 : 1.0);
        ny += static_cast<double>(dr) * (dc == 0 ? 2.0 : 1.0);
      }
    }
    const double norm = std::hypot(nx, ny);
    if (norm <= 0) return 0.0;
    double most = 0;
    eachPatchPair(level_, p, p, [&](std::int64_t a, std::int64_t) {
      const auto ai = static_cast<std::size_t>(a);
      if (graded_[ai] == 0) {
        // Known cells keep their colours: a gradient, once its four neighbours are known, is kept.
        const std::int64_t c = a % level_.w, r = a / level_.w;
        if (!knownAt(c, r) || !knownAt(c - 1, r) || !knownAt(c + 1, r) || !knownAt(c, r - 1) || !knownAt(c, r + 1)) return;
        gradient_[2 * ai] = 0.5F * (lightness(a + 1) - lightness(a - 1));
        gradient_[2 * ai + 1] = 0.5F * (lightness(a + level_.w) - lightness(a - level_.w));
        graded_[ai] = 1;
      }
      const double gx = gradient_[2 * ai], gy = gradient_[2 * ai + 1];
      most = std::max(most, std::abs(gx * ny - gy * nx) / norm);
    }, [] { return true; });
    return most / 255.0;
  }
  // Known cells count fully, the holes' present colours a tenth.
  double weightOf(std::int64_t a) const {
    if (known_[static_cast<std::size_t>(a)] != 0) return 1.0;
    return level_.state[static_cast<std::size_t>(a)] == kHole ? kHoleWeight : 0.0;
  }
  double distance(std::int64_t p, std::int64_t s, double most, double best) const {
    return weightedPatchDistance(level_, p, s, most, best, [this](std::int64_t a) { return weightOf(a); });
  }
  std::int64_t bestSource(std::int64_t p) const {
    double most = 0;
    eachPatchPair(level_, p, p, [&](std::int64_t a, std::int64_t) { most += weightOf(a); }, [] { return true; });
    double best = std::numeric_limits<double>::infinity();
    std::int64_t chosen = -1;
    const auto tryAt = [&](std::int64_t c, std::int64_t r) {
      if (c < 0 || r < 0 || c >= level_.w || r >= level_.h) return;
      if (level_.work != nullptr) ++level_.work->candidates;
      const std::int64_t s = r * level_.w + c;
      if (level_.valid[static_cast<std::size_t>(s)] == 0 || s == chosen) return;
      const double d = distance(p, s, most, best);
      if (d < best) {
        best = d;
        chosen = s;
      }
    };
    const std::int64_t pc = p % level_.w, pr = p / level_.w;
    for (std::int64_t r = pr - kOrderedReach; r <= pr + kOrderedReach; r += kScanStep) {
      for (std::int64_t c = pc - kOrderedReach; c <= pc + kOrderedReach; c += kScanStep) tryAt(c, r);
    }
    for (const CellOffset& o : offsets_) tryAt(pc + o[0], pr + o[1]);
    for (std::int64_t dr = -1; dr <= 1; ++dr) {
      for (std::int64_t dc = -1; dc <= 1; ++dc) {
        if (pc + dc < 0 || pr + dr < 0 || pc + dc >= level_.w || pr + dr >= level_.h) continue;
        const std::int32_t f = level_.source[static_cast<std::size_t>((pr + dr) * level_.w + pc + dc)];
        if (f >= 0) tryAt(f % level_.w - dc, f / level_.w - dr);
      }
    }
    if (chosen >= 0) {
      const std::int64_t bc = chosen % level_.w, br = chosen / level_.w;
      for (std::int64_t r = br - kScanStep + 1; r < br + kScanStep; ++r) {
        for (std::int64_t c = bc - kScanStep + 1; c < bc + kScanStep; ++c) tryAt(c, r);
      }
    }
    return chosen;
  }

  Level& level_;
  const std::vector<CellOffset>& offsets_;
  std::vector<std::uint8_t> known_;  // a source, or a hole filled already
  std::vector<float> confidence_;    // 1 for a source; for a hole, that of the patch it came with
  std::vector<double> priority_;     // the latest pushed per cell
  // The lightness gradient of each known cell whose four neighbours are known, once worked out.
  mutable std::vector<std::uint8_t> graded_;
  mutable std::vector<float> gradient_;
  std::priority_queue<std::pair<double, std::int64_t>> front_;
};

}  // namespace

void fillFromTexture(PixelWindow& window, const CellGrid& holes, const CellGrid& sources,
                     const std::vector<CellOffset>& offsets, std::uint64_t seed, FillWork* work) {
  std::vector<CellOffset> fixed = offsets;
  for (const std::int64_t length : kJumpLengths) {
    for (std::int64_t dr = -1; dr <= 1; ++dr) {
      for (std::int64_t dc = -1; dc <= 1; ++dc) {
        if (dr != 0 || dc != 0) fixed.push_back({dc * length, dr * length});
      }
    }
  }
  Level finest{.w = window.width, .h = window.height, .rgb = window.rgb};
  for (std::int64_t i = 0; i < window.cells(); ++i) toMatchSpace(window.at(i), finest.at(i));
  finest.state.resize(holes.cells.size());
  for (std::size_t i = 0; i < finest.state.size(); ++i) {
    finest.state[i] = holes.cells[i] != 0 ? kHole : (sources.cells[i] != 0 ? kSource : kUnread);
  }
  std::vector<Level> levels{std::move(finest)};
  while (static_cast<int>(levels.size()) <= kLevelsMax && depthOf(levels.back()) > kCoarseDepth &&
         std::min(levels.back().w, levels.back().h) >= 8 * kPatchRadius) {
    levels.push_back(halved(levels.back()));
  }
  // A level with no place for a source patch has nothing to search (a hole over the whole
  // window, or one whose ground is too thin at that level): its holes take the coarser colours,
  // its targets none. A fill with no such place anywhere leaves the holes as they were.
  std::vector<std::uint8_t> searched(levels.size(), 0);
  for (std::size_t li = 0; li < levels.size(); ++li) {
    levels[li].holeWeight = li == 0 ? kHoleWeight : kCoarseHoleWeight;
    levels[li].work = work;
    searched[li] = markCentres(levels[li]) ? 1 : 0;
    if (li == 0 && searched[li] != 0) {
      levels[li].second.assign(levels[li].source.size(), -1);
      levels[li].secondMatch.assign(levels[li].source.size(), std::numeric_limits<float>::infinity());
    }
  }
  if (std::find(searched.begin(), searched.end(), 1) == searched.end()) return;
  Search search{.offsets = &fixed, .scale = 1, .random = seed};
  bool coarserSearched = false;
  for (std::size_t li = levels.size(); li-- > 0;) {
    Level& L = levels[li];
    search.scale = std::int64_t{1} << li;
    if (li + 1 < levels.size()) {
      const Level& coarse = levels[li + 1];
      // The holes start from the coarser level's colours before its sources are inherited.
      for (std::int64_t t = 0; t < L.w * L.h; ++t) {
        if (L.state[static_cast<std::size_t>(t)] != kHole) continue;
        const std::int64_t cc = (t % L.w) / 2, cr = (t / L.w) / 2;
        std::copy_n(coarse.at(cr * coarse.w + cc), 3, L.at(t));
      }
    }
    const int passes = li == 0 ? kFinePasses : kCoarsePasses;
    if (searched[li] == 0) {
      // The draws a search would have made for each target, so the next level draws the same.
      const auto targets = static_cast<std::uint64_t>(std::count(L.target.begin(), L.target.end(), 1));
      skipRandom(search.random, targets * static_cast<std::uint64_t>(passes * 2 * kStartCandidates));
      continue;
    }
    if (li + 1 < levels.size()) {
      inherit(L, levels[li + 1]);
      voteLevel(L);
    }
    // The fixed offsets seed every target of the coarsest level; finer levels inherit what it
    // found and try them again where the inherited match is among the worse.
    const float settled = li + 1 == levels.size() ? -1.0F : settledMatch(L);
    // The first level searched scans around each patch; the finer ones refine what it found.
    search.scan = !coarserSearched;
    if (li == 0) OrderedFill(L, fixed).run();
    coarserSearched = true;
    for (int pass = 0; pass < passes; ++pass) {
      searchLevel(L, search, pass % 2 == 1, pass == 0, settled);
      voteLevel(L);
    }
  }
  const Level& top = levels[0];
  for (std::int64_t i = 0; i < top.w * top.h; ++i) {
    if (top.state[static_cast<std::size_t>(i)] == kHole) fromMatchSpace(top.at(i), window.at(i));
  }
}

}  // namespace letterforge
