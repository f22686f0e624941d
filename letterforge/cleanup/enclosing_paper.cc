#include "letterforge/cleanup/enclosing_paper.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace letterforge {
namespace {

// Text recognition boxes, grown a little, may cut into a tight box's outline.
constexpr double kCoreHeldMin = 0.9;
// A box's paper told by lightness is one group, and the box may run past its edge.
constexpr double kCoreHeldByOnePaperMin = 0.6;
// The outline: the cells within kOutlineWidth outside the paper, this share of them within
// kOutlineTolerance of their median colour; of the cells kOutsideFrom to kOutsideTo cells
// out, at most kOutsideShareMax as near that colour (the ground beyond the outline).
constexpr std::int64_t kOutlineWidth = 2;
constexpr double kOutlineShareMin = 0.7;
constexpr float kOutlineTolerance = 40.0f;
constexpr std::int64_t kOutsideFrom = 5, kOutsideTo = 8;
constexpr double kOutsideShareMax = 0.5;
// Grain and antialiased edges leave chains of cells off the paper between lines and
// strokes; the paper is closed over gaps this narrow before what it encloses is taken.
constexpr std::int64_t kGapClosing = 2;
// The widest band of colour a JPEG's blur leaves between the paper and its outline.
constexpr std::int64_t kBlurredEdge = 2;
// Of the paper around the core (other lettering left out), at least this share is near the
// ground: not the gaps between a tone's dots closed over.
constexpr double kNearShareMin = 0.8;

// The cells near the ground joined to the near cells of the core; with `onePaper`, those of
// the group that holds most of the core's near cells only (a box that runs past its balloon's
// edge takes in light ground beyond the outline, which is no paper of the balloon).
CellGrid paperJoinedToCore(const std::vector<float>& distance, float near, std::int64_t w,
                           std::int64_t h, const CellRange& core, bool onePaper) {
  CellGrid nearCells = emptyGrid(w, h);
  for (std::size_t i = 0; i < nearCells.cells.size(); ++i) nearCells.cells[i] = distance[i] < near ? 1 : 0;
  std::int32_t count = 0;
  const std::vector<std::int32_t> label = labelGroups(nearCells, count);
  std::vector<std::int64_t> inCore(static_cast<std::size_t>(count) + 1, 0);
  for (std::int64_t r = core.r0; r < core.r1; ++r) {
    for (std::int64_t c = core.c0; c < core.c1; ++c) ++inCore[static_cast<std::size_t>(label[static_cast<std::size_t>(r * w + c)])];
  }
  inCore[0] = 0;
  const std::int64_t most = *std::max_element(inCore.begin(), inCore.end());
  std::vector<std::uint8_t> meetsCore(inCore.size(), 0);
  for (std::size_t g = 1; g < inCore.size(); ++g) meetsCore[g] = inCore[g] > 0 && (!onePaper || inCore[g] == most) ? 1 : 0;
  CellGrid joined = emptyGrid(w, h);
  for (std::size_t i = 0; i < label.size(); ++i) joined.cells[i] = meetsCore[static_cast<std::size_t>(label[i])];
  return joined;
}

float largestDifference(const float* a, const std::array<float, 3>& b) {
  return std::max({std::abs(a[0] - b[0]), std::abs(a[1] - b[1]), std::abs(a[2] - b[2])});
}

// The cells set in `outer` and not in `inner`, other lettering's neighbourhoods left out.
std::vector<std::int64_t> ringBetween(const CellGrid& inner, const CellGrid& outer,
                                      const CellGrid& otherText) {
  std::vector<std::int64_t> ring;
  for (std::size_t i = 0; i < outer.cells.size(); ++i) {
    if (outer.cells[i] != 0 && inner.cells[i] == 0 && otherText.cells[i] == 0) {
      ring.push_back(static_cast<std::int64_t>(i));
    }
  }
  return ring;
}

// Whether a thin line of one colour runs around the paper, another ground beyond it: a halo
// on art, tone or shading has the same ground on both sides of where an outline would be.
bool outlined(const PixelWindow& window, const CellGrid& paper, const std::array<float, 3>& paperColour,
              const CellGrid& otherText, PaperEdge edge) {
  const CellRange all{0, 0, window.width, window.height};
  const auto line = ringBetween(paper, growCells(paper, kOutlineWidth, all), otherText);
  const auto beyond = ringBetween(growCells(paper, kOutsideFrom - 1, all),
                                  growCells(paper, kOutsideTo, all), otherText);
  if (line.empty() || beyond.empty()) return false;
  const std::array<float, 3> colour = medianOfCells(window, line);
  // Boxes and balloons are outlined in a darker ink than their paper; the light ground around
  // a dark rim is no outline.
  const auto mean = [](const std::array<float, 3>& v) { return (v[0] + v[1] + v[2]) / 3.0f; };
  if (mean(paperColour) - mean(colour) < kOutlineTolerance) return false;
  if (edge == PaperEdge::kDarker) return true;
  const auto shareNear = [&](const std::vector<std::int64_t>& cells) {
    const auto n = std::count_if(cells.begin(), cells.end(), [&](std::int64_t i) {
      return largestDifference(window.at(i), colour) <= kOutlineTolerance;
    });
    return static_cast<double>(n) / static_cast<double>(cells.size());
  };
  // A line of its own: the ground beyond does not run on in the line's colour.
  if (edge == PaperEdge::kLine) return shareNear(beyond) <= kOutsideShareMax;
  // A flat ground: one colour next to the paper and farther out.
  if (edge == PaperEdge::kGround) return shareNear(line) >= kOutlineShareMin && shareNear(beyond) >= kOutlineShareMin;
  // Beside a halo or rim on a tone, the cells just outside it are the tone's paper as much as
  // those farther out, and the ground farther out is often the rim's colour.
  const std::array<float, 3> outside = medianOfCells(window, beyond);
  if (largestDifference(outside.data(), paperColour) <= kOutlineTolerance) return false;
  return shareNear(line) >= kOutlineShareMin && shareNear(beyond) <= kOutsideShareMax &&
         largestDifference(outside.data(), colour) > kOutlineTolerance;
}

// The joined cells closed over narrow gaps (grown, what they enclose added, shrunk back).
CellGrid closedOver(const CellGrid& joined) {
  const CellRange all{0, 0, joined.width, joined.height};
  CellGrid open = growCells(joined, kGapClosing, all);
  addEnclosed(open);
  for (auto& v : open.cells) v = v != 0 ? 0 : 1;
  CellGrid paper = growCells(open, kGapClosing, all);
  for (std::size_t i = 0; i < paper.cells.size(); ++i) {
    paper.cells[i] = paper.cells[i] == 0 || joined.cells[i] != 0 ? 1 : 0;
  }
  return paper;
}

// A loose box may run past a caption's or balloon's outline (a rectangle over a round balloon
// does at its corners) into a band of the ground beyond, which the paper does not hold. The
// paper is still the box's when it is one group and the core's cells past its outline are the
// ground there: no lettering lies outside the paper.
bool holdsTheLettering(const PixelWindow& window, const CellGrid& paper, const CellRange& core) {
  const std::int64_t w = paper.width;
  std::int32_t groups = 0;
  labelGroups(paper, groups);
  if (groups != 1) return false;
  const CellRange all{0, 0, w, paper.height};
  const CellGrid pastTheOutline = growCells(paper, kOutsideFrom - 1, all);
  const auto beyond = ringBetween(pastTheOutline, growCells(paper, kOutsideTo, all), emptyGrid(w, paper.height));
  if (beyond.empty()) return false;
  const std::array<float, 3> ground = medianOfCells(window, beyond);
  std::int64_t cells = 0, onTheGround = 0;
  for (std::int64_t r = core.r0; r < core.r1; ++r) {
    for (std::int64_t c = core.c0; c < core.c1; ++c) {
      const std::int64_t i = r * w + c;
      if (pastTheOutline.cells[static_cast<std::size_t>(i)] != 0) continue;
      ++cells;
      onTheGround += largestDifference(window.at(i), ground) <= kOutlineTolerance ? 1 : 0;
    }
  }
  return static_cast<double>(onTheGround) >= kCoreHeldMin * static_cast<double>(cells);
}

// A page saved as JPEG keeps its lightness sharp but blurs its colour: a band a cell or two wide,
// of the paper's lightness and off its colour, may lie between the paper and its outline. The
// paper with that band, for the outline to be looked for past it (a halo's soft edge, a blend
// of lightnesses, is not taken).
CellGrid withBlurredEdge(const PixelWindow& window, const CellGrid& paper, const std::array<float, 3>& colour,
                         float near) {
  const auto lightness = [](const float* v) { return (v[0] + v[1] + v[2]) / 3.0f; };
  const float paperLightness = lightness(colour.data());
  CellGrid grown = growCells(paper, kBlurredEdge, CellRange{0, 0, paper.width, paper.height});
  for (std::size_t i = 0; i < grown.cells.size(); ++i) {
    if (grown.cells[i] != 0 && paper.cells[i] == 0 &&
        std::abs(lightness(window.at(static_cast<std::int64_t>(i))) - paperLightness) >= near) {
      grown.cells[i] = 0;
    }
  }
  return grown;
}

}  // namespace

std::optional<CellGrid> enclosingPaper(const PixelWindow& window, const std::vector<float>& distance,
                                       float near, const LetteringArea& area, PaperEdge edge) {
  const CellRange& core = area.core;
  const std::int64_t w = window.width, h = window.height;
  const bool onePaper = edge != PaperEdge::kOutlined;
  const CellGrid joined = paperJoinedToCore(distance, near, w, h, core, onePaper);
  const CellGrid paper = closedOver(joined);
  std::int64_t coreCells = 0, held = 0;
  for (std::int64_t r = core.r0; r < core.r1; ++r) {
    for (std::int64_t c = core.c0; c < core.c1; ++c) {
      ++coreCells;
      held += paper.cells[static_cast<std::size_t>(r * w + c)] != 0 ? 1 : 0;
    }
  }
  if (coreCells == 0) return std::nullopt;
  if (static_cast<double>(held) < (onePaper ? kCoreHeldByOnePaperMin : kCoreHeldMin) * static_cast<double>(coreCells) &&
      !holdsTheLettering(window, paper, core)) {
    return std::nullopt;
  }
  // Paper is near its ground throughout; the gaps of a tone closed over are not.
  std::int64_t around = 0, nearAround = 0;
  for (std::int64_t i = 0; i < window.cells(); ++i) {
    const auto k = static_cast<std::size_t>(i);
    if (paper.cells[k] == 0 || area.otherText.cells[k] != 0 || core.contains(i % w, i / w)) continue;
    ++around;
    nearAround += joined.cells[k] != 0 ? 1 : 0;
  }
  if (static_cast<double>(nearAround) < kNearShareMin * static_cast<double>(around)) return std::nullopt;
  std::vector<std::int64_t> nearCells;
  for (std::size_t i = 0; i < joined.cells.size(); ++i) {
    if (joined.cells[i] != 0) nearCells.push_back(static_cast<std::int64_t>(i));
  }
  const std::array<float, 3> paperColour = medianOfCells(window, nearCells);
  if (!outlined(window, paper, paperColour, area.otherText, edge) &&
      (edge != PaperEdge::kOutlined ||
       !outlined(window, withBlurredEdge(window, paper, paperColour, near), paperColour, area.otherText, edge))) {
    return std::nullopt;
  }
  return paper;
}

CellGrid marksOnTheOutline(const CellGrid& ink, const CellGrid& paper, const LetteringArea& area) {
  const std::int64_t w = paper.width;
  CellGrid covered = emptyGrid(w, paper.height);
  for (std::int64_t r = area.reach.r0; r < area.reach.r1; ++r) {
    for (std::int64_t c = area.reach.c0; c < area.reach.c1; ++c) {
      const auto i = static_cast<std::size_t>(r * w + c);
      covered.cells[i] = ink.cells[i] != 0 && paper.cells[i] != 0 ? 1 : 0;
    }
  }
  std::int32_t count = 0;
  const std::vector<std::int32_t> label = labelGroups(covered, count);
  std::vector<std::uint8_t> meets(static_cast<std::size_t>(count) + 1, 0);
  for (std::int64_t r = area.core.r0; r < area.core.r1; ++r) {
    for (std::int64_t c = area.core.c0; c < area.core.c1; ++c) meets[static_cast<std::size_t>(label[static_cast<std::size_t>(r * w + c)])] = 1;
  }
  for (std::size_t i = 0; i < label.size(); ++i) covered.cells[i] = label[i] != 0 && meets[static_cast<std::size_t>(label[i])] != 0 ? 1 : 0;
  return covered;
}

}  // namespace letterforge
