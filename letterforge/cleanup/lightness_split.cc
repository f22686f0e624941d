#include "letterforge/cleanup/lightness_split.h"

#include <algorithm>
#include <array>

namespace letterforge {

std::vector<int> lightnessOf(const PixelWindow& window) {
  std::vector<int> v(static_cast<std::size_t>(window.cells()));
  for (std::int64_t i = 0; i < window.cells(); ++i) {
    const float* p = window.at(i);
    v[static_cast<std::size_t>(i)] = std::clamp(static_cast<int>(std::max({p[0], p[1], p[2]})), 0, 255);
  }
  return v;
}

std::optional<LightnessSplit> splitCore(const std::vector<int>& lightness, const LetteringArea& area,
                                        const CellGrid& usable) {
  std::array<double, 256> count{};
  double n = 0, sum = 0;
  for (std::int64_t r = area.core.r0; r < area.core.r1; ++r) {
    for (std::int64_t c = area.core.c0; c < area.core.c1; ++c) {
      const auto i = static_cast<std::size_t>(r * usable.width + c);
      if (usable.cells[i] == 0) continue;
      count[static_cast<std::size_t>(lightness[i])] += 1;
      n += 1;
      sum += lightness[i];
    }
  }
  if (n == 0) return std::nullopt;
  LightnessSplit best;
  double bestSpread = -1, below = 0, belowSum = 0;
  for (int t = 1; t < 256; ++t) {
    below += count[static_cast<std::size_t>(t - 1)];
    belowSum += (t - 1) * count[static_cast<std::size_t>(t - 1)];
    if (below == 0 || below == n) continue;
    const double inkMean = belowSum / below, lightMean = (sum - belowSum) / (n - below);
    const double spread = below * (n - below) * (lightMean - inkMean) * (lightMean - inkMean);
    if (spread > bestSpread) {
      bestSpread = spread;
      best = LightnessSplit{.threshold = t, .ink = inkMean, .light = lightMean, .inkShare = below / n};
    }
  }
  if (bestSpread < 0) return std::nullopt;
  return best;
}

}  // namespace letterforge
