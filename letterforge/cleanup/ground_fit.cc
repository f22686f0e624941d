#include "letterforge/cleanup/ground_fit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

namespace letterforge {
namespace {

constexpr std::int64_t kSampleBudget = 2500;
constexpr std::size_t kSamplesMin = 12;
constexpr int kIterations = 12;
constexpr double kTukey = 4.685;
// White paper fits exactly; a floor on the scale keeps the weights defined.
constexpr double kScaleFloor = 2.0;
// A robust fit from a constant start looks first at the cells within a few times this of it.
constexpr double kScaleStart = 10.0;
// Samples this close to a fit, in levels, count for it.
constexpr double kClose = 14.0;
// A fit whose terms and scale move less than this in a step (levels) has settled: a hundredth
// of a level rounds to the same pixel.
constexpr double kSettled = 1e-2;

struct Sample {
  std::array<double, 6> basis{};
  std::array<double, 3> colour{};
};

std::array<double, 6> basisAt(const GroundFit& fit, double c, double r) {
  const double u = (c - fit.centreC) / fit.halfWidth, v = (r - fit.centreR) / fit.halfHeight;
  return {1.0, u, v, u * u, u * v, v * v};
}

// The terms summed in order from zero, written out: the loop left its counter in the way.
double predict(const std::array<double, 6>& terms, const std::array<double, 6>& basis) {
  double sum = 0.0;
  sum += terms[0] * basis[0];
  sum += terms[1] * basis[1];
  sum += terms[2] * basis[2];
  sum += terms[3] * basis[3];
  sum += terms[4] * basis[4];
  sum += terms[5] * basis[5];
  return sum;
}

// Solves the 6 x 6 system a x = b by elimination with partial pivoting; terms whose pivot
// vanishes (samples on one line, say) are left at zero.
std::array<double, 6> solve(std::array<std::array<double, 7>, 6> a) {
  for (int col = 0; col < 6; ++col) {
    int best = col;
    for (int row = col + 1; row < 6; ++row) {
      if (std::abs(a[row][col]) > std::abs(a[best][col])) best = row;
    }
    std::swap(a[col], a[best]);
    if (std::abs(a[col][col]) < 1e-9) continue;
    for (int row = 0; row < 6; ++row) {
      if (row == col) continue;
      const double f = a[row][col] / a[col][col];
      for (int k = col; k < 7; ++k) a[row][k] -= f * a[col][k];
    }
  }
  std::array<double, 6> x{};
  for (int k = 0; k < 6; ++k) x[k] = std::abs(a[k][k]) < 1e-9 ? 0.0 : a[k][6] / a[k][k];
  return x;
}

// Per sample, the differences of its channels from the fit (`channels`) and the largest of
// them (`out`).
void residualsOf(const GroundFit& fit, const std::vector<Sample>& points, std::vector<double>& out,
                 std::vector<std::array<double, 3>>& channels) {
  for (std::size_t i = 0; i < points.size(); ++i) {
    const Sample& s = points[i];
    double worst = 0.0;
    for (int ch = 0; ch < 3; ++ch) {
      // The prediction summed from its first term (whose basis is 1) rather than from 0: the
      // sums differ at most in the sign of a zero, which no difference's size keeps.
      const auto& t = fit.terms[ch];
      double sum = t[0];
      sum += t[1] * s.basis[1];
      sum += t[2] * s.basis[2];
      sum += t[3] * s.basis[3];
      sum += t[4] * s.basis[4];
      sum += t[5] * s.basis[5];
      channels[i][ch] = std::abs(s.colour[ch] - sum);
      worst = std::max(worst, channels[i][ch]);
    }
    out[i] = worst;
  }
}

double quantile(std::vector<double> values, double q) {
  const auto k = static_cast<std::size_t>(q * static_cast<double>(values.size() - 1));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
  return values[k];
}

// One weighted least-squares step for every channel, the weights shared by the channels: the
// channels share the normal matrix and differ only in its right-hand column.
void refit(GroundFit& fit, const std::vector<Sample>& samples, const std::vector<double>& weights) {
  std::array<std::array<double, 7>, 6> normal{};  // column 6: a channel's right-hand side
  std::array<std::array<double, 6>, 3> right{};
  // A row of the matrix at a time: its nine sums stay in registers over all the samples.
  for (int j = 0; j < 6; ++j) {
    double n0 = 0, n1 = 0, n2 = 0, n3 = 0, n4 = 0, n5 = 0, red = 0, green = 0, blue = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
      if (weights[i] <= 0.0) continue;
      const auto& b = samples[i].basis;
      const double wb = weights[i] * b[j];
      n0 += wb * b[0];
      n1 += wb * b[1];
      n2 += wb * b[2];
      n3 += wb * b[3];
      n4 += wb * b[4];
      n5 += wb * b[5];
      red += wb * samples[i].colour[0];
      green += wb * samples[i].colour[1];
      blue += wb * samples[i].colour[2];
    }
    normal[j] = {n0, n1, n2, n3, n4, n5, 0};
    right[0][j] = red;
    right[1][j] = green;
    right[2][j] = blue;
  }
  for (int ch = 0; ch < 3; ++ch) {
    std::array<std::array<double, 7>, 6> system = normal;
    for (int j = 0; j < 6; ++j) system[j][6] = right[ch][j];
    fit.terms[ch] = solve(system);
  }
}

std::vector<Sample> samplesOf(const PixelWindow& window, const CellGrid& samples,
                              const GroundFit& frame) {
  const std::int64_t set = countSet(samples);
  const std::int64_t step = std::max<std::int64_t>(
      1, static_cast<std::int64_t>(std::sqrt(static_cast<double>(set) / kSampleBudget)));
  std::vector<Sample> points;
  for (std::int64_t r = 0; r < window.height; r += step) {
    for (std::int64_t c = 0; c < window.width; c += step) {
      const std::int64_t cell = r * window.width + c;
      if (samples.cells[static_cast<std::size_t>(cell)] == 0) continue;
      const float* v = window.at(cell);
      points.push_back({basisAt(frame, static_cast<double>(c), static_cast<double>(r)),
                        {v[0], v[1], v[2]}});
    }
  }
  return points;
}

// Robust iterations from a constant start; the scale starts narrow around the start and
// follows the samples that fit. `residuals` are left those of the fit returned.
GroundFit refined(const GroundFit& frame, const std::array<double, 3>& start,
                  const std::vector<Sample>& points, std::vector<double>& residuals) {
  GroundFit fit = frame;
  for (int ch = 0; ch < 3; ++ch) fit.terms[ch] = {start[ch], 0, 0, 0, 0, 0};
  residuals.assign(points.size(), 0.0);
  std::vector<double> weights(points.size());
  std::vector<std::array<double, 3>> channels(points.size());
  double scale = kScaleStart;
  // The constant start predicts its own colour everywhere (its other terms add zeros).
  for (std::size_t i = 0; i < points.size(); ++i) {
    double worst = 0.0;
    for (int ch = 0; ch < 3; ++ch) worst = std::max(worst, std::abs(points[i].colour[ch] - start[ch]));
    residuals[i] = worst;
  }
  for (int iteration = 0; iteration < kIterations; ++iteration) {
    for (std::size_t i = 0; i < points.size(); ++i) {
      const double t = residuals[i] / (kTukey * scale);
      weights[i] = t < 1.0 ? (1 - t * t) * (1 - t * t) : 0.0;
    }
    const auto before = fit.terms;
    refit(fit, points, weights);
    // The residuals of the new fit serve its scale now and the next step's weights.
    residualsOf(fit, points, residuals, channels);
    std::vector<double> fitting;
    fitting.reserve(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
      if (weights[i] > 0.0) fitting.push_back(residuals[i]);
    }
    if (fitting.empty()) break;
    const double previousScale = scale;
    scale = std::max(1.4826 * quantile(std::move(fitting), 0.5), kScaleFloor);
    // Neither the fit nor the scale moved: the next step would give the same weights.
    double moved = std::abs(scale - previousScale);
    for (int ch = 0; ch < 3; ++ch) {
      for (int k = 0; k < 6; ++k) moved = std::max(moved, std::abs(fit.terms[ch][k] - before[ch][k]));
    }
    if (moved < kSettled) break;
  }
  // The median per-channel difference of the cells that still weigh, as a Gaussian's
  // deviation (the median of |N(0, s)| is 0.6745 s).
  std::vector<double> spread;
  spread.reserve(3 * points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (weights[i] <= 0.0) continue;
    for (int ch = 0; ch < 3; ++ch) spread.push_back(channels[i][ch]);
  }
  fit.noise = spread.empty() ? 0.0 : quantile(std::move(spread), 0.5) / 0.6745;
  return fit;
}

std::optional<std::array<double, 3>> sortedMedianColour(const PixelWindow& window,
                                                        const CellGrid& cells) {
  std::array<std::vector<double>, 3> channels;
  for (std::int64_t i = 0; i < window.cells(); ++i) {
    if (cells.cells[static_cast<std::size_t>(i)] == 0) continue;
    for (int ch = 0; ch < 3; ++ch) channels[ch].push_back(window.at(i)[ch]);
  }
  if (channels[0].empty()) return std::nullopt;
  return std::array<double, 3>{quantile(std::move(channels[0]), 0.5),
                               quantile(std::move(channels[1]), 0.5),
                               quantile(std::move(channels[2]), 0.5)};
}

}  // namespace

std::optional<GroundFit> fitGround(const PixelWindow& window, const CellGrid& samples,
                                   const std::array<double, 3>& start) {
  GroundFit frame{.centreC = 0.5 * static_cast<double>(window.width - 1),
                  .centreR = 0.5 * static_cast<double>(window.height - 1),
                  .halfWidth = std::max(0.5 * static_cast<double>(window.width), 1.0),
                  .halfHeight = std::max(0.5 * static_cast<double>(window.height), 1.0)};
  const std::vector<Sample> points = samplesOf(window, samples, frame);
  if (points.size() < kSamplesMin) return std::nullopt;
  std::vector<double> residuals;
  GroundFit fit = refined(frame, start, points, residuals);
  const auto close = std::count_if(residuals.begin(), residuals.end(), [](double r) { return r <= kClose; });
  fit.closeShare = static_cast<double>(close) / static_cast<double>(points.size());
  return fit;
}

std::optional<std::array<double, 3>> commonestColour(const PixelWindow& window,
                                                     const CellGrid& cells) {
  // Two tables taken in turn, added up after: a run of cells in one box does not wait on one
  // counter.
  constexpr std::size_t kBoxes = 16 * 16 * 16;
  std::vector<std::int64_t> counts(2 * kBoxes, 0);
  std::size_t turn = 0;
  auto box = [](const float* v) {
    // Levels below 16, negative ones too, fall in the first box.
    auto level = [](float x) {
      const int whole = static_cast<int>(x);
      return whole < 16 ? 0 : std::min(whole >> 4, 15);
    };
    return (level(v[0]) * 16 + level(v[1])) * 16 + level(v[2]);
  };
  // Each set cell's box, found once for both passes (only set cells' boxes are read).
  const auto boxes = std::make_unique_for_overwrite<std::uint16_t[]>(static_cast<std::size_t>(window.cells()));
  forEachSetCell(cells, [&](std::int64_t i) {
    const auto b = static_cast<std::uint16_t>(box(window.at(i)));
    boxes[static_cast<std::size_t>(i)] = b;
    ++counts[turn + b];
    turn ^= kBoxes;
  });
  for (std::size_t b = 0; b < kBoxes; ++b) counts[b] += counts[kBoxes + b];
  counts.resize(kBoxes);
  const auto top = std::max_element(counts.begin(), counts.end()) - counts.begin();
  if (counts[static_cast<std::size_t>(top)] == 0) return std::nullopt;
  const int tr = static_cast<int>(top) / 256, tg = static_cast<int>(top) / 16 % 16, tb = static_cast<int>(top) % 16;
  std::vector<std::uint8_t> nearTop(counts.size(), 0);
  for (int r = std::max(tr - 1, 0); r <= std::min(tr + 1, 15); ++r) {
    for (int g = std::max(tg - 1, 0); g <= std::min(tg + 1, 15); ++g) {
      for (int b = std::max(tb - 1, 0); b <= std::min(tb + 1, 15); ++b) {
        nearTop[static_cast<std::size_t>((r * 16 + g) * 16 + b)] = 1;
      }
    }
  }
  std::array<double, 4> sum{};
  forEachSetCell(cells, [&](std::int64_t i) {
    if (nearTop[boxes[static_cast<std::size_t>(i)]] == 0) return;
    const float* v = window.at(i);
    sum = {sum[0] + v[0], sum[1] + v[1], sum[2] + v[2], sum[3] + 1};
  });
  return std::array<double, 3>{sum[0] / sum[3], sum[1] / sum[3], sum[2] / sum[3]};
}


std::optional<std::array<double, 3>> medianColour(const PixelWindow& window, const CellGrid& cells) {
  // The page's own pixels are whole levels: counted a level at a time, their median needs no
  // sorting. Cells painted in a fitted colour are not, and are sorted.
  // Four tables taken in turn, added up after: a run of cells of one level (white paper) does
  // not wait on one counter.
  std::array<std::array<std::array<std::int64_t, 256>, 3>, 4> tables{};
  std::int64_t n = 0;
  bool whole = true;
  for (std::int64_t i = 0; i < window.cells(); ++i) {
    if (cells.cells[static_cast<std::size_t>(i)] == 0) continue;
    const float* v = window.at(i);
    if (!(v[0] >= 0.0f && v[0] <= 255.0f && v[1] >= 0.0f && v[1] <= 255.0f && v[2] >= 0.0f &&
          v[2] <= 255.0f)) {
      whole = false;
      break;
    }
    const int red = static_cast<int>(v[0]), green = static_cast<int>(v[1]), blue = static_cast<int>(v[2]);
    if (static_cast<float>(red) != v[0] || static_cast<float>(green) != v[1] ||
        static_cast<float>(blue) != v[2]) {
      whole = false;
      break;
    }
    auto& counts = tables[static_cast<std::size_t>(n & 3)];
    ++counts[0][static_cast<std::size_t>(red)];
    ++counts[1][static_cast<std::size_t>(green)];
    ++counts[2][static_cast<std::size_t>(blue)];
    ++n;
  }
  if (!whole) return sortedMedianColour(window, cells);
  if (n == 0) return std::nullopt;
  auto& counts = tables[0];
  for (std::size_t t = 1; t < tables.size(); ++t) {
    for (std::size_t ch = 0; ch < 3; ++ch) {
      for (std::size_t level = 0; level < 256; ++level) counts[ch][level] += tables[t][ch][level];
    }
  }
  // The same rank as quantile(values, 0.5).
  const auto rank = static_cast<std::int64_t>(0.5 * static_cast<double>(n - 1));
  std::array<double, 3> median{};
  for (int ch = 0; ch < 3; ++ch) {
    std::int64_t below = 0;
    std::size_t level = 0;
    while (below + counts[ch][level] <= rank) below += counts[ch][level++];
    median[ch] = static_cast<double>(level);
  }
  return median;
}

std::array<float, 3> groundAt(const GroundFit& fit, std::int64_t column, std::int64_t row) {
  const auto b = basisAt(fit, static_cast<double>(column), static_cast<double>(row));
  return {static_cast<float>(predict(fit.terms[0], b)), static_cast<float>(predict(fit.terms[1], b)),
          static_cast<float>(predict(fit.terms[2], b))};
}

std::vector<float> groundDistance(const PixelWindow& window, const GroundFit& fit) {
  std::vector<float> distance(static_cast<std::size_t>(window.cells()));
  // Along a row v is fixed: each channel is a quadratic in u alone, its terms found once a row;
  // u, the same for every row, is found once a column.
  std::vector<double> columnU(static_cast<std::size_t>(window.width));
  for (std::int64_t c = 0; c < window.width; ++c) {
    columnU[static_cast<std::size_t>(c)] = (static_cast<double>(c) - fit.centreC) / fit.halfWidth;
  }
  for (std::int64_t r = 0; r < window.height; ++r) {
    const double v = (static_cast<double>(r) - fit.centreR) / fit.halfHeight;
    std::array<std::array<double, 3>, 3> row{};
    for (int ch = 0; ch < 3; ++ch) {
      const auto& t = fit.terms[ch];
      row[ch] = {t[0] + t[2] * v + t[5] * v * v, t[1] + t[4] * v, t[3]};
    }
    for (std::int64_t c = 0; c < window.width; ++c) {
      const double u = columnU[static_cast<std::size_t>(c)];
      const float* cell = window.at(r * window.width + c);
      float worst = 0.0f;
      for (int ch = 0; ch < 3; ++ch) {
        const auto g = static_cast<float>(row[ch][0] + (row[ch][1] + row[ch][2] * u) * u);
        worst = std::max(worst, std::abs(cell[ch] - g));
      }
      distance[static_cast<std::size_t>(r * window.width + c)] = worst;
    }
  }
  return distance;
}

}  // namespace letterforge
