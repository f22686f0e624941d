#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "letterforge/cleanup/pixel_window.h"

namespace letterforge {

// A smooth model of the ground of a window: per channel a quadratic in the cell position,
// fitted so that lettering, outlines and other detail count as outliers and weigh nothing.
struct GroundFit {
  std::array<std::array<double, 6>, 3> terms{};  // per channel: 1, u, v, u², uv, v²
  double centreC = 0.0, centreR = 0.0;           // u = (column - centreC) / halfWidth
  double halfWidth = 1.0, halfHeight = 1.0;      // v = (row - centreR) / halfHeight
  // Spread of the ground around the fit, in levels: the median difference of a channel of
  // the cells that fit, as a Gaussian's deviation.
  double noise = 0.0;
  double closeShare = 0.0;  // of the samples within 14 levels of the fit
  bool operator==(const GroundFit&) const = default;
};

// Fits the ground to the cells set in `samples` (a sampled grid of them when there are many),
// by robust iterations from the constant colour `start`: a fit finds the ground nearest its
// start. Absent when fewer than 12 cells are given.
std::optional<GroundFit> fitGround(const PixelWindow& window, const CellGrid& samples,
                                   const std::array<double, 3>& start);

// Starts for fits: the per-channel median colour of the set cells, and the mean colour of
// their commonest 16-level colour box with the boxes around it. Absent without set cells.
std::optional<std::array<double, 3>> medianColour(const PixelWindow& window, const CellGrid& cells);
std::optional<std::array<double, 3>> commonestColour(const PixelWindow& window,
                                                     const CellGrid& cells);

// The fitted colour of a cell.
std::array<float, 3> groundAt(const GroundFit& fit, std::int64_t column, std::int64_t row);

// Per cell, how far the cell is from the fit: the largest difference of its channels.
std::vector<float> groundDistance(const PixelWindow& window, const GroundFit& fit);

}  // namespace letterforge
