#include "letterforge/cleanup/box_paper.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "letterforge/cleanup/enclosing_paper.h"
#include "letterforge/cleanup/line_end_marks.h"
#include "letterforge/cleanup/lightness_split.h"

namespace letterforge {
namespace {

// Lettering and paper are told apart by this much at least (the means of the two classes).
constexpr double kContrastMin = 80.0;
// The share of the core's cells that are ink: lettering covers some of its box, never most.
constexpr double kInkShareMin = 0.02, kInkShareMax = 0.6;
constexpr std::int64_t kDotSizeMax = 3;
// Of the paper around the core, at most this share may be left dark by the opening (the
// strokes of neighbouring lines that poke out of their boxes), and at least this many cells
// are needed to judge.
constexpr double kSpeckShareMax = 0.02;
constexpr std::int64_t kAroundMin = 40;
constexpr std::int64_t kEdgeGrowth = 1;
// Plain paper shows a scan's or a JPEG's fringe around the strokes, paler or greyer than the
// paper, a pixel farther out: the lettering takes it, and the ground starts beyond it.
constexpr std::int64_t kPlainEdgeGrowth = 2;
// The paper is printed in dots: at least this share of its cells clear of ink (2 cells or
// more from any) lie this far from their median colour, or dark dots are found that the
// opening clears. Newsprint's grain and a flat halo have neither. The dots run up to the
// strokes: of the cells 2 or 3 from ink, at least half as large a share as of those farther
// are dots; a halo on art or tone is flat beside the strokes and the art lies beyond it.
constexpr double kDotShareMin = 0.05;
constexpr float kDotContrast = 40.0f;
constexpr std::uint8_t kClearOfInk = 2, kBesideInk = 4;
constexpr double kDotsBesideInkMin = 0.5, kDotShareSlack = 0.005;
// Dots are specks: of the cells far from the paper's colour, at most this share lie in
// squares of 3 x 3 such cells (a drawing's areas of other colours do).
constexpr double kDotBlobShareMax = 0.25;
constexpr std::int64_t kBlobSize = 3;
// A box's paper is light: its median colour's largest channel at least this.
constexpr float kPaperLightMin = 160.0f;
// A halo: of the cells within 3 of the ink, a share larger by this than of those farther are
// lighter than the paper's median colour by this much (the mean of the channels).
constexpr float kHaloLift = 24.0f;
constexpr double kHaloShareMin = 0.25;
// Letters filled with a colour inside their rims: most of what their ink encloses is off the
// paper's colour (the counters of letters on paper hold paper, and dots).
constexpr double kEnclosedOffMax = 0.75;
// Lettering that runs into a drawing's lines this much (a share of the core's wide ink) is
// left to the texture fill, which continues the lines; on a box's paper a letter or two may
// touch the outline.
constexpr double kJoinedShareMax = 0.2;
// Paper looks the same beside the strokes as beyond them: the median colours of the two
// bands agree within this (a halo differs from the art or tone beyond it).
constexpr float kBandsAgree = 24.0f;
// Paper printed in dots darkens towards a box's border (the ink spreads), and the paper around
// the lettering is judged against the paper among it within this; a halo is flat, and on flat
// paper the bands' bound holds. More ink of the paper's own moves its colour along the line
// from white to that colour: by up to kDottedInkDrift levels along it, the rest of the
// difference within kDottedAroundAgree.
constexpr float kDottedAroundAgree = 32.0f;
constexpr float kDottedInkDrift = 64.0f;
// The ground that is copied has the colours of the core's paper and dots (colour boxes 32
// levels wide holding a few of its cells): no misregistered ink, no ground beyond a gap in the
// outline.
constexpr int kBoxLevels = 32;
constexpr std::int64_t kBoxCountMin = 3;
constexpr double kBoxShareMin = 0.002;
constexpr std::int64_t kTile = 4, kCopyReach = 16;
// The paper is judged this far inside its edge: an outline lighter than the split (red, say)
// joins the light class, and a loose box takes it in.
constexpr std::int64_t kPaperEdgeSkip = 4;
constexpr int kCopyTries = 24;

// The groups of ink holding a cell of `wide`: every such group (`strokes`), and those that
// meet the core without running out of the window (an outline, a drawing's line) other than
// through other blocks' lettering (`lettering`). A loose box takes in the edge of the next
// line's letters: a group lying mostly in another block's box (outside this one's, where
// `usable` is clear) is that block's lettering (`others`), left for it to clean.
struct InkGroups {
  CellGrid strokes{};
  CellGrid lettering{};
  CellGrid others{};
};

InkGroups groupsOf(const CellGrid& ink, const CellGrid& wide, const LetteringArea& area, const CellGrid& usable) {
  const std::int64_t w = ink.width, h = ink.height;
  std::int32_t count = 0;
  const std::vector<std::int32_t> label = labelGroups(ink, count);
  std::vector<std::uint8_t> isWide(static_cast<std::size_t>(count) + 1, 0), meets(isWide), leaves(isWide);
  std::vector<std::int64_t> cells(isWide.size(), 0), elsewhere(isWide.size(), 0);
  for (std::int64_t i = 0; i < w * h; ++i) {
    const auto g = static_cast<std::size_t>(label[static_cast<std::size_t>(i)]);
    if (g == 0) continue;
    const std::int64_t r = i / w, c = i % w;
    isWide[g] |= wide.cells[static_cast<std::size_t>(i)];
    meets[g] |= area.core.contains(c, r) ? 1 : 0;
    leaves[g] |= (r == 0 || c == 0 || r == h - 1 || c == w - 1) &&
                         area.otherText.cells[static_cast<std::size_t>(i)] == 0
                     ? 1
                     : 0;
    ++cells[g];
    elsewhere[g] += usable.cells[static_cast<std::size_t>(i)] == 0 ? 1 : 0;
  }
  InkGroups out{.strokes = emptyGrid(w, h), .lettering = emptyGrid(w, h), .others = emptyGrid(w, h)};
  for (std::size_t i = 0; i < label.size(); ++i) {
    const auto g = static_cast<std::size_t>(label[i]);
    if (g == 0 || isWide[g] == 0) continue;
    out.strokes.cells[i] = 1;
    const bool another = 2 * elsewhere[g] > cells[g];
    out.lettering.cells[i] = meets[g] != 0 && leaves[g] == 0 && !another ? 1 : 0;
    out.others.cells[i] = another ? 1 : 0;
  }
  return out;
}

// Of the wide ink in the core on the paper, the share in groups that run out of the window:
// strokes joined to an outline or to the lines of a drawing. The outline itself, which a loose
// box takes in, edges the paper and is none of it.
double joinedToDrawing(const InkGroups& groups, const CellGrid& paper, const LetteringArea& area) {
  std::int64_t wide = 0, joined = 0;
  for (std::int64_t r = area.core.r0; r < area.core.r1; ++r) {
    for (std::int64_t c = area.core.c0; c < area.core.c1; ++c) {
      const auto i = static_cast<std::size_t>(r * groups.strokes.width + c);
      if (paper.cells[i] == 0) continue;
      if (groups.others.cells[i] != 0) continue;
      wide += groups.strokes.cells[i];
      joined += groups.strokes.cells[i] != 0 && groups.lettering.cells[i] == 0 ? 1 : 0;
    }
  }
  return wide == 0 ? 0.0 : static_cast<double>(joined) / static_cast<double>(wide);
}

// The smallest opening that leaves the paper around the core clear of dark dots. Only ink
// lying wholly in that paper counts: not the strokes of other blocks poking out of their boxes.
std::optional<std::int64_t> dotSizeOf(const CellGrid& ink, const CellGrid& paper, const LetteringArea& area,
                                      const CellGrid& usable) {
  const std::int64_t w = ink.width;
  CellGrid around = emptyGrid(w, ink.height);
  std::int64_t aroundCells = 0;
  for (std::int64_t i = 0; i < w * ink.height; ++i) {
    const auto k = static_cast<std::size_t>(i);
    around.cells[k] = paper.cells[k] != 0 && usable.cells[k] != 0 && !area.core.contains(i % w, i / w) ? 1 : 0;
    aroundCells += around.cells[k];
  }
  if (aroundCells < kAroundMin) return std::nullopt;
  std::int32_t count = 0;
  const std::vector<std::int32_t> label = labelGroups(ink, count);
  std::vector<std::uint8_t> inside(static_cast<std::size_t>(count) + 1, 1);
  for (std::size_t k = 0; k < label.size(); ++k) {
    if (around.cells[k] == 0) inside[static_cast<std::size_t>(label[k])] = 0;
  }
  for (std::int64_t size = 1; size <= kDotSizeMax; ++size) {
    const CellGrid wide = opened(ink, size);
    std::int64_t dark = 0;
    for (std::size_t k = 0; k < label.size(); ++k) {
      dark += label[k] != 0 && inside[static_cast<std::size_t>(label[k])] != 0 && wide.cells[k] != 0 ? 1 : 0;
    }
    if (static_cast<double>(dark) <= kSpeckShareMax * static_cast<double>(aroundCells)) return size;
  }
  return std::nullopt;
}

// The cells of `cells` at least kPaperEdgeSkip cells inside the paper.
CellGrid awayFromEdge(CellGrid cells, const CellGrid& paper) {
  CellGrid beyond = paper;
  for (auto& v : beyond.cells) v = v != 0 ? 0 : 1;
  const CellGrid edge = growCells(beyond, kPaperEdgeSkip, CellRange{0, 0, paper.width, paper.height});
  for (std::size_t i = 0; i < cells.cells.size(); ++i) cells.cells[i] &= edge.cells[i] == 0 ? 1 : 0;
  return cells;
}

int colourBox(const float* v) {
  auto level = [](float x) { return std::clamp(static_cast<int>(x) / kBoxLevels, 0, 255 / kBoxLevels); };
  constexpr int kSide = 256 / kBoxLevels;
  return (level(v[0]) * kSide + level(v[1])) * kSide + level(v[2]);
}

// The colours of the paper and its dots: the colour boxes of the core's cells clear of ink, and
// the shares of those cells that are dots (far from their median colour), beside the ink and
// farther from it.
struct Palette {
  std::vector<std::uint8_t> boxes{};
  double dotShare = 0.0;
  double dotShareBeside = 0.0, dotShareBeyond = 0.0;
  bool bandsAgree = true;  // the median colours beside the ink and beyond it
  double blobShare = 0.0;  // of the dots, those in squares of 3 x 3 dots
  float lightness = 0.0f;  // the median colour's largest channel
  bool halo = false;
  std::array<float, 3> median{};  // of the cells clear of ink
};

std::optional<Palette> corePalette(const PixelWindow& window, const CellGrid& ink, const LetteringArea& area,
                                   const CellGrid& usable) {
  const std::vector<std::uint8_t> fromInk = distanceTo(ink, kBesideInk);
  std::vector<std::int64_t> clear, edge;
  for (std::int64_t r = area.core.r0; r < area.core.r1; ++r) {
    for (std::int64_t c = area.core.c0; c < area.core.c1; ++c) {
      const auto i = static_cast<std::size_t>(r * window.width + c);
      if (usable.cells[i] == 0 || fromInk[i] == 0) continue;
      (fromInk[i] >= kClearOfInk ? clear : edge).push_back(r * window.width + c);
    }
  }
  if (clear.empty()) return std::nullopt;
  constexpr int kSide = 256 / kBoxLevels;
  std::vector<std::int64_t> counts(kSide * kSide * kSide, 0);
  const std::array<float, 3> median = medianOfCells(window, clear);
  std::array<std::int64_t, 2> dots{}, cells{};  // beside the ink, beyond
  std::array<std::vector<std::int64_t>, 2> bands;
  for (const std::int64_t i : clear) bands[fromInk[static_cast<std::size_t>(i)] >= kBesideInk ? 1 : 0].push_back(i);
  CellGrid far = emptyGrid(window.width, window.height);
  for (const std::int64_t i : clear) {
    const float* v = window.at(i);
    ++counts[static_cast<std::size_t>(colourBox(v))];
    const std::size_t band = fromInk[static_cast<std::size_t>(i)] >= kBesideInk ? 1 : 0;
    ++cells[band];
    const bool dot = std::max({std::abs(v[0] - median[0]), std::abs(v[1] - median[1]), std::abs(v[2] - median[2])}) >
                     kDotContrast;
    dots[band] += dot ? 1 : 0;
    far.cells[static_cast<std::size_t>(i)] = dot ? 1 : 0;
  }
  const auto share = [](std::int64_t part, std::int64_t whole) {
    return whole == 0 ? 0.0 : static_cast<double>(part) / static_cast<double>(whole);
  };
  Palette p{.boxes = std::vector<std::uint8_t>(counts.size(), 0),
            .dotShare = share(dots[0] + dots[1], cells[0] + cells[1]),
            .dotShareBeside = share(dots[0], cells[0]),
            .dotShareBeyond = share(dots[1], cells[1]),
            .blobShare = share(countSet(opened(far, kBlobSize)), dots[0] + dots[1]),
            .lightness = std::max({median[0], median[1], median[2]}),
            .median = median};
  // A halo: the cells next to the ink and beside it are lighter than the paper beyond.
  const auto mean = [](const float* v) { return (v[0] + v[1] + v[2]) / 3.0f; };
  const float paperMean = mean(median.data());
  const auto lighterShare = [&](const std::vector<std::int64_t>& cells) {
    const auto n = std::count_if(cells.begin(), cells.end(),
                                 [&](std::int64_t i) { return mean(window.at(i)) > paperMean + kHaloLift; });
    return cells.empty() ? 0.0 : static_cast<double>(n) / static_cast<double>(cells.size());
  };
  std::vector<std::int64_t> near = edge;
  near.insert(near.end(), bands[0].begin(), bands[0].end());
  p.halo = lighterShare(near) > lighterShare(bands[1]) + kHaloShareMin;
  if (!bands[0].empty() && !bands[1].empty()) {
    const auto beside = medianOfCells(window, bands[0]), beyond = medianOfCells(window, bands[1]);
    p.bandsAgree = std::max({std::abs(beside[0] - beyond[0]), std::abs(beside[1] - beyond[1]),
                             std::abs(beside[2] - beyond[2])}) <= kBandsAgree;
  }
  const auto least = std::max<std::int64_t>(kBoxCountMin, static_cast<std::int64_t>(kBoxShareMin * static_cast<double>(clear.size())));
  for (std::size_t b = 0; b < counts.size(); ++b) p.boxes[b] = counts[b] >= least ? 1 : 0;
  return p;
}

// Whether the paper beside the strokes is the paper beyond them: the same median colour, and
// dots (if any) up to the strokes.
bool sameBesideInk(const Palette& p) {
  return p.bandsAgree && p.dotShareBeside >= kDotsBesideInkMin * p.dotShareBeyond - kDotShareSlack;
}

// Whether the paper is light, the same up to the strokes, and its colours other than its own
// lie in specks.
bool paperLike(const Palette& p) {
  return p.lightness >= kPaperLightMin && !p.halo && sameBesideInk(p) && p.blobShare <= kDotBlobShareMax;
}

// Of the core's cells that ink encloses (those the window's edge cannot reach 4-wise without
// crossing ink: the counters of letters, a fill inside their rims), the share far from the
// paper's colour; 0 when none are enclosed.
double enclosedOffPaper(const PixelWindow& window, const CellGrid& ink, const LetteringArea& area,
                        const std::array<float, 3>& paperColour) {
  CellGrid closed = ink;
  addEnclosed(closed);
  const std::int64_t w = window.width;
  std::int64_t enclosed = 0, off = 0;
  for (std::int64_t r = area.core.r0; r < area.core.r1; ++r) {
    for (std::int64_t c = area.core.c0; c < area.core.c1; ++c) {
      const auto i = static_cast<std::size_t>(r * w + c);
      if (closed.cells[i] == 0 || ink.cells[i] != 0) continue;
      ++enclosed;
      const float* v = window.at(r * w + c);
      off += std::max({std::abs(v[0] - paperColour[0]), std::abs(v[1] - paperColour[1]),
                       std::abs(v[2] - paperColour[2])}) > kDotContrast
                 ? 1
                 : 0;
    }
  }
  return enclosed == 0 ? 0.0 : static_cast<double>(off) / static_cast<double>(enclosed);
}

bool agree(const float* a, const std::array<float, 3>& b, float within) {
  return std::max({std::abs(a[0] - b[0]), std::abs(a[1] - b[1]), std::abs(a[2] - b[2])}) <= within;
}

// Whether `colour` is the dotted paper of colour `paper` with more or less of its ink: off it
// by at most kDottedInkDrift levels along the line from white to `paper`, and by at most
// kDottedAroundAgree in any channel across that line.
bool agreeAlongInk(const std::array<float, 3>& colour, const std::array<float, 3>& paper) {
  std::array<float, 3> toWhite{}, diff{};
  float length = 0.0f, along = 0.0f;
  for (std::size_t c = 0; c < 3; ++c) {
    toWhite[c] = 255.0f - paper[c];
    diff[c] = colour[c] - paper[c];
    length += toWhite[c] * toWhite[c];
  }
  length = std::sqrt(length);
  if (length < 1.0f) return agree(colour.data(), paper, kDottedAroundAgree);
  for (std::size_t c = 0; c < 3; ++c) along += diff[c] * toWhite[c] / length;
  if (std::abs(along) > kDottedInkDrift) return false;
  for (std::size_t c = 0; c < 3; ++c) {
    if (std::abs(diff[c] - along * toWhite[c] / length) > kDottedAroundAgree) return false;
  }
  return true;
}

// Whether the paper goes on around the core in the colour it has among the lettering: a halo
// is the lighter ground of the core alone, whatever light ground it joins beyond.
bool continuesAround(const PixelWindow& window, const CellGrid& ink, const CellGrid& paper,
                     const LetteringArea& area, const CellGrid& usable, const Palette& inCore) {
  std::vector<std::int64_t> around;
  for (std::int64_t i = 0; i < window.cells(); ++i) {
    const auto k = static_cast<std::size_t>(i);
    if (paper.cells[k] != 0 && usable.cells[k] != 0 && ink.cells[k] == 0 &&
        !area.core.contains(i % window.width, i / window.width)) {
      around.push_back(i);
    }
  }
  if (static_cast<std::int64_t>(around.size()) < kAroundMin) return false;
  const std::array<float, 3> aroundColour = medianOfCells(window, around);
  if (inCore.dotShare < kDotShareMin) return agree(aroundColour.data(), inCore.median, kBandsAgree);
  return agreeAlongInk(aroundColour, inCore.median);
}

// The palette of the core's cells on the paper, clear of its edge: a loose box takes in its
// balloon's outline and what lies beyond, and an outline of a light colour joins the light
// class. A halo is judged by the whole core (the ground around a halo is no paper).
std::optional<Palette> paperPalette(const PixelWindow& window, const CellGrid& ink, const CellGrid& paper,
                                    const LetteringArea& area, const CellGrid& usable) {
  auto palette = corePalette(window, ink, area, awayFromEdge(within(usable, paper), paper));
  const auto whole = corePalette(window, ink, area, usable);
  if (!palette || !whole) return std::nullopt;
  palette->halo = whole->halo;
  return palette;
}

// The palette of a paper that is light, the same up to the strokes, has its colours other than
// its own in specks, and goes on around the core in its colour; absent otherwise.
std::optional<Palette> judgedPalette(const PixelWindow& window, const CellGrid& ink, const CellGrid& paper,
                                     const LetteringArea& area, const CellGrid& usable) {
  auto palette = paperPalette(window, ink, paper, area, usable);
  if (!palette || !paperLike(*palette) || !continuesAround(window, ink, paper, area, usable, *palette)) {
    return std::nullopt;
  }
  return palette;
}

// A drawing's area of another colour: cells far from the paper's colour (clear of ink) that
// fill squares of 3 x 3 such cells, in a group of at least this many. The dots of a paper
// printed in dots are specks, and a few of them run together at most.
constexpr std::int64_t kAreaCellsMin = 100;
constexpr double kTrimmedCoreHeldMin = 0.6;

// The paper less the areas of other colours on it (and the cell around them): the group of
// what remains that holds the most of the core, when it holds at least 60 % of it.
std::optional<CellGrid> withoutAreasOfOtherColours(const PixelWindow& window, const CellGrid& ink,
                                                   const CellGrid& paper, const LetteringArea& area,
                                                   const std::array<float, 3>& colour) {
  CellGrid far = emptyGrid(window.width, window.height);
  for (std::size_t i = 0; i < far.cells.size(); ++i) {
    far.cells[i] = paper.cells[i] != 0 && ink.cells[i] == 0 &&
                           !agree(window.at(static_cast<std::int64_t>(i)), colour, kDotContrast)
                       ? 1
                       : 0;
  }
  CellGrid solid = opened(far, kBlobSize);
  std::int32_t count = 0;
  std::vector<std::int32_t> label = labelGroups(solid, count);
  std::vector<std::int64_t> size(static_cast<std::size_t>(count) + 1, 0);
  for (const std::int32_t g : label) ++size[static_cast<std::size_t>(g)];
  for (std::size_t i = 0; i < label.size(); ++i) {
    solid.cells[i] = label[i] != 0 && size[static_cast<std::size_t>(label[i])] >= kAreaCellsMin ? 1 : 0;
  }
  if (countSet(solid) == 0) return std::nullopt;
  const CellGrid areas = growCells(solid, kEdgeGrowth, CellRange{0, 0, window.width, window.height});
  CellGrid rest = without(paper, areas);
  label = labelGroups(rest, count);
  std::vector<std::int64_t> inCore(static_cast<std::size_t>(count) + 1, 0);
  std::int64_t coreCells = 0;
  for (std::int64_t r = area.core.r0; r < area.core.r1; ++r) {
    for (std::int64_t c = area.core.c0; c < area.core.c1; ++c) {
      ++coreCells;
      ++inCore[static_cast<std::size_t>(label[static_cast<std::size_t>(r * window.width + c)])];
    }
  }
  inCore[0] = 0;
  const auto most = std::max_element(inCore.begin(), inCore.end());
  if (static_cast<double>(*most) < kTrimmedCoreHeldMin * static_cast<double>(coreCells)) return std::nullopt;
  const auto kept = static_cast<std::int32_t>(most - inCore.begin());
  for (std::size_t i = 0; i < label.size(); ++i) rest.cells[i] = label[i] == kept ? 1 : 0;
  return rest;
}

std::optional<LightnessSplit> lightnessSplit(const std::vector<int>& lightness, const LetteringArea& area,
                                             const CellGrid& usable) {
  auto split = splitCore(lightness, area, usable);
  if (!split || split->light - split->ink < kContrastMin || split->inkShare < kInkShareMin ||
      split->inkShare > kInkShareMax) {
    return std::nullopt;
  }
  return split;
}

// A halo hugs its strokes; a balloon's or a box's paper does not: at least this share of it
// lies this many cells or more from any ink.
constexpr std::uint8_t kWideFromInk = 8;
constexpr double kWideShareMin = 0.25;

bool wideOfInk(const CellGrid& ink, const CellGrid& paper) {
  const std::vector<std::uint8_t> fromInk = distanceTo(ink, kWideFromInk);
  std::int64_t cells = 0, wide = 0;
  for (std::size_t i = 0; i < fromInk.size(); ++i) {
    if (paper.cells[i] == 0 || ink.cells[i] != 0) continue;
    ++cells;
    wide += fromInk[i] >= kWideFromInk ? 1 : 0;
  }
  return static_cast<double>(wide) >= kWideShareMin * static_cast<double>(cells);
}

// A line of lettering over two grounds, the paper under part of it: of the strokes that meet
// the core, more than this share lies off the paper. The paper is not the lettering's ground.
constexpr double kOffPaperShareMax = 0.1;

double offPaperShare(const CellGrid& lettering, const CellGrid& paper) {
  std::int64_t on = 0, off = 0;
  forEachSetCell(lettering, [&](std::int64_t i) { (paper.cells[static_cast<std::size_t>(i)] != 0 ? on : off) += 1; });
  return on + off == 0 ? 0.0 : static_cast<double>(off) / static_cast<double>(on + off);
}

// A balloon drawn without an outline on a flat tint: the cells of the core's light colour
// (within 40 levels of its median) joined to the core, what they enclose added, bounded by
// a flat ground of another, darker colour, lighter than the ink (the median lightness of the
// 2 cells beyond the paper nearer the paper's than the ink's), and wide of the ink (no halo).
constexpr std::int64_t kGroundEdge = 3, kTintRing = 2;

std::optional<CellGrid> paperOnAFlatGround(const PixelWindow& window, const std::vector<int>& lightness,
                                           const LetteringArea& area, const CellGrid& usable) {
  const auto split = lightnessSplit(lightness, area, usable);
  if (!split) return std::nullopt;
  std::vector<std::int64_t> light;
  for (std::int64_t r = area.core.r0; r < area.core.r1; ++r) {
    for (std::int64_t c = area.core.c0; c < area.core.c1; ++c) {
      const auto i = static_cast<std::size_t>(r * window.width + c);
      if (usable.cells[i] != 0 && lightness[i] >= split->threshold) light.push_back(r * window.width + c);
    }
  }
  const std::array<float, 3> colour = medianOfCells(window, light);
  CellGrid ink = emptyGrid(window.width, window.height);
  std::vector<float> distance(ink.cells.size(), 0.0f);
  for (std::size_t i = 0; i < ink.cells.size(); ++i) {
    ink.cells[i] = lightness[i] < split->threshold ? 1 : 0;
    distance[i] = ink.cells[i] != 0 || !agree(window.at(static_cast<std::int64_t>(i)), colour, kDotContrast) ? 1.0f : 0.0f;
  }
  auto paper = enclosingPaper(window, distance, 1.0f, area, PaperEdge::kGround);
  if (!paper) return std::nullopt;
  // The tint next to the paper is nearer the paper's lightness than the ink's: a drawing's dark
  // shading around pale paper is no tint.
  const CellGrid ring = growCells(*paper, kTintRing, CellRange{0, 0, window.width, window.height});
  std::vector<int> beyond;
  for (std::size_t i = 0; i < lightness.size(); ++i) {
    if (ring.cells[i] != 0 && paper->cells[i] == 0 && usable.cells[i] != 0) beyond.push_back(lightness[i]);
  }
  if (beyond.empty()) return std::nullopt;
  const auto middle = beyond.begin() + static_cast<std::ptrdiff_t>(beyond.size() / 2);
  std::nth_element(beyond.begin(), middle, beyond.end());
  if (*middle < (split->ink + split->light) / 2.0) return std::nullopt;
  if (!wideOfInk(ink, *paper)) return std::nullopt;
  return paper;
}

// The box's paper told by lightness; with `bounded`, the paper found on a flat ground, only
// the cells it holds are paper. `notOthers` marks the cells outside other blocks' boxes.
std::optional<BoxPaper> boxPaperByLightness(const PixelWindow& window, const std::vector<int>& lightness,
                                            const LetteringArea& area, const CellGrid& usable,
                                            const CellGrid& notOthers, const CellGrid* bounded) {
  const auto split = lightnessSplit(lightness, area, usable);
  if (!split) return std::nullopt;
  CellGrid ink = emptyGrid(window.width, window.height);
  std::vector<float> distance(ink.cells.size(), 0.0f);
  for (std::size_t i = 0; i < ink.cells.size(); ++i) {
    if (bounded != nullptr && bounded->cells[i] == 0) distance[i] = 255.0f;
    if (lightness[i] >= split->threshold) continue;
    ink.cells[i] = 1;
    distance[i] = static_cast<float>(split->threshold - lightness[i]);
  }
  // Dots of any ink lighter than the split are paper, however far their colour is from it.
  auto paper = enclosingPaper(window, distance, 1.0f, area, PaperEdge::kDarker);
  if (!paper) return std::nullopt;
  auto palette = judgedPalette(window, ink, *paper, area, usable);
  if (!palette) {
    // A loose box takes in a drawing's areas of other colours beside the paper, as light as it
    // and joined to it where the border is thin or missing: the paper without them, when it is
    // the same up to the strokes (a halo is not) and printed in dots.
    const auto centre = paperPalette(window, ink, *paper, area, usable);
    if (!centre || centre->halo || !sameBesideInk(*centre)) return std::nullopt;
    paper = withoutAreasOfOtherColours(window, ink, *paper, area, centre->median);
    if (!paper) return std::nullopt;
    palette = judgedPalette(window, ink, *paper, area, usable);
    if (!palette || palette->dotShare < kDotShareMin) return std::nullopt;
  }
  // Letters filled with a colour inside their rims enclose that colour, not the paper.
  const double enclosedOff = enclosedOffPaper(window, ink, area, palette->median);
  if (enclosedOff > kEnclosedOffMax) return std::nullopt;
  const auto dotSize = dotSizeOf(ink, *paper, area, usable);
  if (!dotSize) return std::nullopt;
  // A balloon on a flat ground is plain paper: what looks like dots there is its letters' fringe.
  const bool dotted = bounded == nullptr && (*dotSize > 1 || palette->dotShare >= kDotShareMin);
  // Plain paper has no dots to tell it from a halo: a line must part it from the ground beyond,
  // which may be of the paper's own colour (a gutter) but does not run on as the line; or the
  // paper reaches far from the strokes in the core, as no halo does (a narrow balloon whose
  // outline has a drawing in the line's colour beyond it, as a halo on that drawing would).
  // The strokes are those of the core and of other blocks' boxes: a halo around this line and
  // the next reaches far from this line's strokes only.
  if (!dotted && bounded == nullptr && !enclosingPaper(window, distance, 1.0f, area, PaperEdge::kLine)) {
    CellGrid strokes = emptyGrid(window.width, window.height);
    for (std::size_t i = 0; i < strokes.cells.size(); ++i) strokes.cells[i] = notOthers.cells[i] == 0 ? 1 : 0;
    fillRange(strokes, area.core);
    if (!wideOfInk(within(ink, strokes), *paper)) return std::nullopt;
  }
  const InkGroups groups = groupsOf(ink, opened(ink, *dotSize), area, notOthers);
  if (offPaperShare(groups.lettering, *paper) > kOffPaperShareMax) return std::nullopt;
  const CellRange all{0, 0, window.width, window.height};
  BoxPaper out{.paper = *paper,
                .lettering = within(growCells(groups.lettering, dotted ? kEdgeGrowth : kPlainEdgeGrowth, area.reach), *paper),
                .ground = within(usable, *paper),
                .dotSize = *dotSize,
                .dotted = dotted};
  // A mark touching the box's outline: the pieces of ink running out of the window that the
  // paper covers.
  CellGrid joined = groups.strokes;
  for (std::size_t i = 0; i < joined.cells.size(); ++i) {
    joined.cells[i] &= groups.lettering.cells[i] == 0 && groups.others.cells[i] == 0 ? 1 : 0;
  }
  const CellGrid marks = growCells(marksOnTheOutline(joined, *paper, area), kEdgeGrowth, area.reach);
  for (std::size_t i = 0; i < marks.cells.size(); ++i) out.lettering.cells[i] |= marks.cells[i] & paper->cells[i];
  // Punctuation past the box's end, as dark as the letters: on dotted paper too thin to be
  // told from the dots by their size.
  const CellGrid pastTheEnd =
      growCells(marksPastTheEnd(ink, groups.lettering, distance, *paper, usable, area), kEdgeGrowth, all);
  for (std::size_t i = 0; i < pastTheEnd.cells.size(); ++i) out.lettering.cells[i] |= pastTheEnd.cells[i] & paper->cells[i];
  if (countSet(out.lettering) == 0) return std::nullopt;
  if (joinedToDrawing(groups, *paper, area) > kJoinedShareMax) return std::nullopt;
  CellGrid taken = growCells(groups.strokes, kEdgeGrowth, all);
  if (!dotted) {
    const CellGrid soft = growCells(groups.lettering, kPlainEdgeGrowth + 1, all);
    for (std::size_t i = 0; i < taken.cells.size(); ++i) taken.cells[i] |= soft.cells[i];
  }
  for (std::size_t i = 0; i < taken.cells.size(); ++i) {
    // Dark dots are ground too, though no colour of the paper's palette; plain paper lends only
    // cells near its own colour (no specks of an outline's colour).
    const float* v = window.at(static_cast<std::int64_t>(i));
    const bool paperColour = dotted ? ink.cells[i] != 0 || palette->boxes[static_cast<std::size_t>(colourBox(v))] != 0
                                    : agree(v, palette->median, kDotContrast);
    if (taken.cells[i] != 0 || out.lettering.cells[i] != 0 || !paperColour) out.ground.cells[i] = 0;
  }
  return out;
}

}  // namespace

std::optional<BoxPaper> findBoxPaper(const PixelWindow& window, const LetteringArea& area,
                                     const CellGrid& usable) {
  const std::vector<int> lightness = lightnessOf(window);
  if (auto found = boxPaperByLightness(window, lightness, area, usable, usable, nullptr)) return found;
  const auto bounded = paperOnAFlatGround(window, lightness, area, usable);
  if (!bounded) return std::nullopt;
  // The paper's edge, blended with the ground, lends nothing to the fill.
  CellGrid beyond = *bounded;
  for (auto& v : beyond.cells) v = v != 0 ? 0 : 1;
  const CellRange all{0, 0, window.width, window.height};
  CellGrid inner = within(usable, *bounded);
  const CellGrid edge = growCells(beyond, kGroundEdge, all);
  for (std::size_t i = 0; i < inner.cells.size(); ++i) inner.cells[i] &= edge.cells[i] == 0 ? 1 : 0;
  auto found = boxPaperByLightness(window, lightness, area, inner, usable, &*bounded);
  if (!found) return std::nullopt;
  found->lettering = within(found->lettering, *bounded);
  return found;
}

void copyPaperTiles(PixelWindow& window, const CellGrid& holes, const CellGrid& ground,
                    std::uint64_t seed) {
  const std::int64_t w = window.width, h = window.height;
  std::uint64_t random = seed;
  std::vector<std::int64_t> tile;
  for (std::int64_t r0 = 0; r0 < h; r0 += kTile) {
    for (std::int64_t c0 = 0; c0 < w; c0 += kTile) {
      tile.clear();
      for (std::int64_t r = r0; r < std::min(r0 + kTile, h); ++r) {
        for (std::int64_t c = c0; c < std::min(c0 + kTile, w); ++c) {
          if (holes.cells[static_cast<std::size_t>(r * w + c)] != 0) tile.push_back(r * w + c);
        }
      }
      if (tile.empty()) continue;
      // The offset that lands the most of the tile's holes on ground, the first of equals.
      std::int64_t bestHits = 0, bestDc = 0, bestDr = 0;
      for (int t = 0; t < kCopyTries && bestHits < static_cast<std::int64_t>(tile.size()); ++t) {
        const std::int64_t span = 2 * kCopyReach + 1;
        const std::int64_t dc = static_cast<std::int64_t>(nextRandom(random) % span) - kCopyReach;
        const std::int64_t dr = static_cast<std::int64_t>(nextRandom(random) % span) - kCopyReach;
        std::int64_t hits = 0;
        for (const std::int64_t i : tile) {
          const std::int64_t c = i % w + dc, r = i / w + dr;
          hits += c >= 0 && r >= 0 && c < w && r < h && ground.cells[static_cast<std::size_t>(r * w + c)] != 0 ? 1 : 0;
        }
        if (hits > bestHits) {
          bestHits = hits;
          bestDc = dc;
          bestDr = dr;
        }
      }
      if (bestHits == 0) continue;
      for (const std::int64_t i : tile) {
        const std::int64_t c = i % w + bestDc, r = i / w + bestDr;
        if (c < 0 || r < 0 || c >= w || r >= h || ground.cells[static_cast<std::size_t>(r * w + c)] == 0) continue;
        std::copy_n(window.at(r * w + c), 3, window.at(i));
      }
    }
  }
}

}  // namespace letterforge
