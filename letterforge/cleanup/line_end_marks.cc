#include "letterforge/cleanup/line_end_marks.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

namespace letterforge {
namespace {

// A mark's strongest cell stands out at least this share of the lettering's median strength;
// its cells, this share of that (a dot's faint edge, where it touches a line, is left to the
// growth around it).
constexpr float kStrengthShareMin = 0.6f, kCoreShare = 0.5f;
// A mark's rows may run past the line's by a quarter of a letter's height, at least a cell (a
// comma, an exclamation mark in italics taller than the capitals).
constexpr std::int64_t kRowSlackShare = 4;
constexpr std::int64_t kMarkCellsMin = 2;
// Marks are taken up to this many letters' heights past the core, in at most this many rounds
// of marks beside the line and those taken (the dots of an ellipsis, "!!!!").
constexpr std::int64_t kMarkReach = 2;
constexpr int kChainMax = 6;

struct Extent {
  std::int64_t r0 = std::numeric_limits<std::int64_t>::max(), c0 = r0, r1 = -1, c1 = -1;
  std::int64_t cells = 0;
  float strongest = 0.0f;
  bool onPaper = true;
  void add(std::int64_t r, std::int64_t c) {
    r0 = std::min(r0, r);
    r1 = std::max(r1, r);
    c0 = std::min(c0, c);
    c1 = std::max(c1, c);
    ++cells;
  }
  std::int64_t height() const { return r1 - r0 + 1; }
  std::int64_t width() const { return c1 - c0 + 1; }
};

std::vector<Extent> extentsOf(const std::vector<std::int32_t>& label, std::int32_t count, std::int64_t w) {
  std::vector<Extent> out(static_cast<std::size_t>(count) + 1);
  for (std::size_t i = 0; i < label.size(); ++i) {
    const auto cell = static_cast<std::int64_t>(i);
    if (label[i] != 0) out[static_cast<std::size_t>(label[i])].add(cell / w, cell % w);
  }
  return out;
}

// The rows of the lettering in the rows [r0, r1) and columns [c0, c1): empty (r0 > r1) when
// none.
Extent rowsOfLettering(const CellGrid& lettering, std::int64_t r0, std::int64_t r1, std::int64_t c0,
                       std::int64_t c1) {
  Extent rows;
  for (std::int64_t r = std::max<std::int64_t>(r0, 0); r < std::min(r1, lettering.height); ++r) {
    for (std::int64_t c = std::max<std::int64_t>(c0, 0); c < std::min(c1, lettering.width); ++c) {
      if (lettering.cells[static_cast<std::size_t>(r * lettering.width + c)] != 0) rows.add(r, c);
    }
  }
  return rows;
}

// Whether `mark` lies within a letter of the core's end (or start) or past it, on the rows of
// the lettering within `letter` (a letter's height) columns of it, and no larger than a letter.
bool besideTheLine(const Extent& mark, const CellGrid& lettering, const CellRange& core, std::int64_t letter) {
  const std::int64_t slack = std::max<std::int64_t>(1, letter / kRowSlackShare);
  if (mark.height() > letter + slack || mark.width() > letter) return false;
  const std::int64_t middle2 = core.c0 + core.c1;  // twice the middle column
  Extent line;
  // Only the rows within a letter of the mark: the line it stands on.
  const std::int64_t r0 = mark.r0 - letter, r1 = mark.r1 + letter + 1;
  if (mark.c1 >= core.c1 - letter && 2 * mark.c0 > middle2) {
    line = rowsOfLettering(lettering, r0, r1, mark.c0 - letter, mark.c0);
  } else if (mark.c0 < core.c0 + letter && 2 * mark.c1 < middle2) {
    line = rowsOfLettering(lettering, r0, r1, mark.c1 + 1, mark.c1 + 1 + letter);
  }
  return line.cells > 0 && mark.r0 >= line.r0 - slack && mark.r1 <= line.r1 + slack;
}

}  // namespace

CellGrid marksPastTheEnd(const CellGrid& ink, const CellGrid& lettering, const std::vector<float>& strength,
                         const CellGrid& paper, const CellGrid& usable, const LetteringArea& area) {
  const std::int64_t w = ink.width, h = ink.height;
  CellGrid out = emptyGrid(w, h);
  // Most blocks have no ink of their own beside the ends of their box: a letter is no taller
  // than the core, so nothing is looked for unless such ink lies within columns of the ends.
  const std::int64_t tallest = area.core.r1 - area.core.r0;
  const std::array<CellRange, 2> ends{
      CellRange{area.core.c1 - tallest, 0, area.core.c1 + (kMarkReach + 1) * tallest, h},
      CellRange{area.core.c0 - (kMarkReach + 1) * tallest, 0, area.core.c0 + tallest, h}};
  bool anyInk = false;
  for (const CellRange& end : ends) {
    const std::int64_t c0 = std::max<std::int64_t>(end.c0, 0), c1 = std::min(end.c1, w);
    for (std::int64_t r = 0; r < h && !anyInk; ++r) {
      for (std::int64_t c = c0; c < c1 && !anyInk; ++c) {
        const auto k = static_cast<std::size_t>(r * w + c);
        anyInk = ink.cells[k] != 0 && lettering.cells[k] == 0 && usable.cells[k] != 0;
      }
    }
  }
  if (!anyInk) return out;
  std::vector<float> letterStrength;
  for (std::size_t i = 0; i < lettering.cells.size(); ++i) {
    if (lettering.cells[i] != 0) letterStrength.push_back(strength[i]);
  }
  if (letterStrength.empty()) return out;
  const auto mid = letterStrength.begin() + static_cast<std::ptrdiff_t>(letterStrength.size() / 2);
  std::nth_element(letterStrength.begin(), mid, letterStrength.end());
  const float strongEnough = kStrengthShareMin * *mid;

  CellGrid candidates = emptyGrid(w, h);
  for (std::size_t i = 0; i < candidates.cells.size(); ++i) {
    candidates.cells[i] = ink.cells[i] != 0 && lettering.cells[i] == 0 && strength[i] >= kCoreShare * strongEnough ? 1 : 0;
  }
  std::int32_t markCount = 0, letterCount = 0;
  const std::vector<std::int32_t> markLabel = labelGroups(candidates, markCount);
  const std::vector<std::int32_t> letterLabel = labelGroups(lettering, letterCount);
  std::vector<Extent> marks = extentsOf(markLabel, markCount, w);
  const std::vector<Extent> letters = extentsOf(letterLabel, letterCount, w);
  // A mark and the cell around it lie on paper, clear of other blocks' lettering.
  const CellGrid offPaper = [&] {
    CellGrid g = emptyGrid(w, h);
    for (std::size_t i = 0; i < g.cells.size(); ++i) g.cells[i] = paper.cells[i] == 0 || usable.cells[i] == 0 ? 1 : 0;
    return growCells(g, 1, CellRange{0, 0, w, h});
  }();
  for (std::size_t i = 0; i < markLabel.size(); ++i) {
    const auto g = static_cast<std::size_t>(markLabel[i]);
    if (g == 0) continue;
    marks[g].strongest = std::max(marks[g].strongest, strength[i]);
    if (offPaper.cells[i] != 0) marks[g].onPaper = false;
  }
  // A letter's height: the median height of the lettering's groups.
  std::vector<std::int64_t> heights;
  for (std::size_t g = 1; g < letters.size(); ++g) heights.push_back(letters[g].height());
  if (heights.empty()) return out;
  const auto midHeight = heights.begin() + static_cast<std::ptrdiff_t>(heights.size() / 2);
  std::nth_element(heights.begin(), midHeight, heights.end());
  const std::int64_t letter = *midHeight;
  // Each mark taken joins the line, so the dots of an ellipsis are taken one after another,
  // up to two letters' heights past the core.
  CellGrid line = lettering;
  std::vector<std::uint8_t> taken(marks.size(), 0);
  // The cells of each mark, by its number: a mark taken joins the line at the cost of its cells.
  std::vector<std::int64_t> firstOf(marks.size() + 1, 0), cellsOf(markLabel.size());
  for (std::size_t g = 1; g < marks.size(); ++g) firstOf[g + 1] = firstOf[g] + marks[g].cells;
  std::vector<std::int64_t> next(firstOf.begin(), firstOf.end() - 1);
  for (std::size_t i = 0; i < markLabel.size(); ++i) {
    const auto g = static_cast<std::size_t>(markLabel[i]);
    if (g != 0) cellsOf[static_cast<std::size_t>(next[g]++)] = static_cast<std::int64_t>(i);
  }
  for (int round = 0, more = 1; more != 0 && round < kChainMax; ++round) {
    more = 0;
    for (std::size_t g = 1; g < marks.size(); ++g) {
      const Extent& m = marks[g];
      if (taken[g] != 0 || !m.onPaper || m.cells < kMarkCellsMin || m.strongest < strongEnough) continue;
      if (m.c0 - area.core.c1 >= kMarkReach * letter || area.core.c0 - m.c1 > kMarkReach * letter) continue;
      if (!besideTheLine(m, line, area.core, letter)) continue;
      taken[g] = 1;
      more = 1;
      for (std::int64_t k = firstOf[g]; k < firstOf[g + 1]; ++k) line.cells[static_cast<std::size_t>(cellsOf[static_cast<std::size_t>(k)])] = 1;
    }
  }
  for (std::size_t i = 0; i < markLabel.size(); ++i) out.cells[i] = taken[static_cast<std::size_t>(markLabel[i])];
  return out;
}

}  // namespace letterforge
