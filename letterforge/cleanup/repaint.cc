#include "letterforge/cleanup/repaint.h"

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include "letterforge/cleanup/ground_model.h"
#include "letterforge/cleanup/box_paper.h"
#include "letterforge/cleanup/enclosing_paper.h"
#include "letterforge/cleanup/lettering_mask.h"
#include "letterforge/cleanup/line_end_marks.h"
#include "letterforge/cleanup/pixel_window.h"
#include "letterforge/cleanup/smooth_fill.h"
#include "letterforge/cleanup/texture_fill.h"
#include "letterforge/cleanup/texture_repeats.h"
#include "letterforge/layout/rect_geometry.h"
#include "letterforge/raster/pixel_sampling.h"

namespace letterforge {
namespace {

// Text recognition boxes cut strokes by a pixel or two.
constexpr double kCoreSlack = 2.0;
// How far outlines and halos may reach beyond the box.
constexpr double kReach = 10.0;
// Ground around the reach that the models are fitted to.
constexpr double kContext = 16.0;
// How texture repeats is looked for up to this far, and this many of its best offsets kept;
// a tone's grid steps reach this far.
constexpr std::int64_t kRepeatReach = 20;
constexpr std::size_t kRepeatOffsets = 12;
constexpr std::int64_t kGridReach = 48;

PixelBounds grownBounds(const platform::PageBitmap& page, const Rect& rect, double by) {
  return pixelBounds(page, inset(rect, -by, -by));
}

// Lettering is the smaller part of its box. Where what would be masked takes more than half
// of a box that is a sizeable part of the page (a box over a panel or the whole page: a
// sixteenth of the page or more, and larger than a line of lettering), the ground has been
// taken for lettering: the block is left as it is and said not cleaned. A line's tight box,
// which its mask fills, is a small part of the page at any resolution.
constexpr std::int64_t kLargeBoxSide = 128;
constexpr double kLargeBoxPageShare = 1.0 / 16.0;
constexpr double kMaskShareMax = 0.5;

bool takesTheGround(const CellGrid& mask, const CellRange& core, const platform::PageBitmap& page) {
  const std::int64_t width = core.c1 - core.c0, height = core.r1 - core.r0;
  if (std::min(width, height) < kLargeBoxSide) return false;
  const auto area = static_cast<double>(width * height);
  if (area < kLargeBoxPageShare * static_cast<double>(page.width() * page.height())) return false;
  std::int64_t masked = 0;
  for (std::int64_t r = core.r0; r < core.r1; ++r) {
    const auto row = mask.cells.begin() + r * mask.width;
    masked += std::count_if(row + core.c0, row + core.c1, [](std::uint8_t cell) { return cell != 0; });
  }
  return static_cast<double>(masked) > kMaskShareMax * area;
}

TextMask textMaskOf(const PixelWindow& window, const CellGrid& mask) {
  TextMask out{.rect = {static_cast<double>(window.x0), static_cast<double>(window.y0),
                        static_cast<double>(window.width), static_cast<double>(window.height)},
               .width = window.width,
               .height = window.height};
  out.pixels = CellSet::ofMarks(mask.cells);
  return out;
}

// What the fill starts from: the ground it may read and, where the lettering was found on the
// page as printed (see readAsPrinted), the window's colours as the page has them now.
struct FillStart {
  const CellGrid& usable;
  const std::vector<float>* now = nullptr;
};

void startFill(PixelWindow& window, const FillStart& start) {
  if (start.now != nullptr) window.rgb = *start.now;
}

RepaintOutcome repainted(platform::PageBitmap& page, const PixelWindow& window, const CellGrid& mask,
                         GroundKind ground) {
  RepaintOutcome outcome{.cleaned = true, .ground = ground, .mask = textMaskOf(window, mask)};
  outcome.replaced = writeMaskedCells(page, window, mask);
  return outcome;
}

// Paints the cells beyond a box's paper in the paper's fitted colour, so that the outline and
// the ground beyond it count for nothing in the models that follow.
void paintBeyond(PixelWindow& window, const CellGrid& paper, const GroundFit& fit) {
  for (std::int64_t i = 0; i < window.cells(); ++i) {
    if (paper.cells[static_cast<std::size_t>(i)] != 0) continue;
    const auto g = groundAt(fit, i % window.width, i / window.width);
    std::copy(g.begin(), g.end(), window.at(i));
  }
}

// Soft lettering (a blurred scan, a JPEG's ringing) fades into its paper over a few pixels
// too faint for the lettering's groups; left on the page, that fade is a grey ghost of the
// words. The mask takes it, a step at a time from the strokes, while the cells stand out of
// the ground more than its grain.
constexpr double kFadeMin = 4.0, kFadeNoise = 2.5;
constexpr std::int64_t kFadeSteps = 3;

CellGrid withFade(CellGrid mask, const GroundModel& model, const CellRange& reach) {
  const double fade = std::max(kFadeMin, kFadeNoise * model.fit.noise);
  auto fades = [&](std::size_t k) {
    return mask.cells[k] == 0 && model.groups.structure.cells[k] == 0 && model.distance[k] >= fade;
  };
  // The first step grows the whole mask; each later one can only reach on from the cells the
  // step before took (the others' neighbours were looked at already).
  std::vector<std::int64_t> taken;
  const CellGrid grown = growCells(mask, 1, reach);
  forEachSetCell(grown, [&](std::int64_t k) {
    if (fades(static_cast<std::size_t>(k))) taken.push_back(k);
  });
  for (const std::int64_t k : taken) mask.cells[static_cast<std::size_t>(k)] = 1;
  const std::int64_t w = mask.width;
  for (std::int64_t step = 1; step < kFadeSteps && !taken.empty(); ++step) {
    std::vector<std::int64_t> next;
    for (const std::int64_t k : taken) {
      const std::int64_t c = k % w, r = k / w;
      for (std::int64_t nr = std::max(r - 1, reach.r0); nr <= std::min(r + 1, reach.r1 - 1); ++nr) {
        for (std::int64_t nc = std::max(c - 1, reach.c0); nc <= std::min(c + 1, reach.c1 - 1); ++nc) {
          const auto n = static_cast<std::size_t>(nr * w + nc);
          if (!fades(n)) continue;
          mask.cells[n] = 1;
          next.push_back(nr * w + nc);
        }
      }
    }
    taken = std::move(next);
  }
  return mask;
}

// On paper and shading the lettering is what stands out of the ground's fit; it is filled
// smoothly from the ground cells around it, and paper gets its grain back.
// A word or mark of the lettering joined to its balloon's line runs out of the window with it
// and is taken for the ground's structure; the paper around it, closed over its gaps, covers
// it and not the line.
// The mask grown around such a mark stops at the line.
CellGrid withMarksOnTheOutline(CellGrid mask, const PixelWindow& window, const LetteringArea& area,
                               const GroundModel& model) {
  CellGrid inCore = emptyGrid(window.width, window.height);
  fillRange(inCore, area.core);
  if (countSet(within(model.groups.structure, inCore)) == 0) return mask;
  const auto paper = enclosingPaper(window, model.distance, static_cast<float>(model.weak), area, PaperEdge::kDarker);
  if (!paper) return mask;
  const CellGrid marks = marksOnTheOutline(model.groups.structure, *paper, area);
  if (countSet(marks) == 0) return mask;
  const CellGrid grown = growCells(marks, 1, area.reach);
  for (std::size_t k = 0; k < mask.cells.size(); ++k) {
    const bool line = model.groups.structure.cells[k] != 0 && marks.cells[k] == 0;
    mask.cells[k] = (mask.cells[k] != 0 || grown.cells[k] != 0) && !line ? 1 : 0;
  }
  return mask;
}

// The mask with punctuation past the box's end added, grown by a cell: marks that stand out of
// the ground as the letters do, clear of the ground's structure.
// `ink`: the cells that stand out of the ground (the ground's structure too: a mark joined to it
// is one group with it, too large).
CellGrid withMarksPastTheEnd(CellGrid mask, const GroundModel& model, const CellGrid& ink, const CellGrid& usable,
                             const CellGrid& allowed, const LetteringArea& area) {
  const CellGrid marks = marksPastTheEnd(ink, model.groups.lettering, model.distance, allowed, usable, area);
  if (countSet(marks) == 0) return mask;
  const CellGrid grown = growCells(marks, 1, CellRange{0, 0, mask.width, mask.height});
  for (std::size_t k = 0; k < mask.cells.size(); ++k) mask.cells[k] |= grown.cells[k];
  return mask;
}

RepaintOutcome repaintSmooth(platform::PageBitmap& page, PixelWindow& window,
                             const LetteringArea& area, const CellGrid& usable,
                             const CellGrid& allowed, const GroundModel& model, std::uint64_t seed,
                             const FillStart& fill) {
  CellGrid ink = emptyGrid(window.width, window.height);
  for (std::size_t k = 0; k < ink.cells.size(); ++k) ink.cells[k] = model.distance[k] >= model.weak ? 1 : 0;
  const CellGrid mask = within(
      withMarksPastTheEnd(withMarksOnTheOutline(withFade(growCells(model.groups.lettering, 1, area.reach), model,
                                                         area.reach),
                                                window, area, model),
                          model, ink, usable, allowed, area),
      allowed);
  if (takesTheGround(mask, area.core, page)) return {};
  // The ground's structure and what stands out of it are never known ground.
  const CellGrid known = without(without(within(without(fill.usable, mask), allowed), model.groups.structure), ink);
  startFill(window, fill);
  interpolateHoles(window, known, mask);
  addGrain(window, known, mask, seed);
  return repainted(page, window, mask, isFlatGround(model, area.reach) ? GroundKind::kPaper : GroundKind::kSmooth);
}

// Dark lettering on a box's paper is filled smoothly from the paper around it, then given
// the paper's dots (its own tiles copied over) or its grain.
RepaintOutcome repaintBoxPaper(platform::PageBitmap& page, PixelWindow& window, const BoxPaper& paper,
                               std::uint64_t seed, const FillStart& fill) {
  startFill(window, fill);
  interpolateHoles(window, paper.ground, paper.lettering);
  if (paper.dotted) {
    copyPaperTiles(window, paper.lettering, paper.ground, seed);
  } else {
    addGrain(window, paper.ground, paper.lettering, seed);
  }
  return repainted(page, window, paper.lettering, GroundKind::kPaper);
}

// Over art each hole takes this share of the texture fill's colour and the rest of the smooth
// fill's. The copies of the drawing put its lines and edges a pixel or two off the hidden ones
// as often as not; the smooth fill misses every line under the letters but none by much, and
// the mix is nearer the drawing than either. The texture fill already means two copies at
// each hole, so the smooth fill's share is small. A tone is copied in phase at its own repeat
// and is not mixed.
constexpr float kTextureShare = 0.95F;

// Each hole becomes `share` of its colour in `window` and the rest of its colour in `smooth`.
void blendHoles(PixelWindow& window, const std::vector<float>& smooth, const CellGrid& holes, float share) {
  forEachSetCell(holes, [&](std::int64_t k) {
    float* v = window.at(k);
    const float* s = &smooth[static_cast<std::size_t>(3 * k)];
    for (int ch = 0; ch < 3; ++ch) v[ch] = share * v[ch] + (1.0F - share) * s[ch];
  });
}

// What stands out of the ground model joins the letters found by colour where, in the core,
// they are fewer than half as many cells as it (their colours found in part: a rim, one letter
// of several). Otherwise it adds the drawing's own specks and lines around the letters, and
// every hole made of them is drawing the fill has to guess: only its cells next to the letters
// (a soft edge, a JPEG's ringing) join them.
constexpr double kFoundByColourMin = 0.5;

bool foundMostOf(const CellGrid& byColour, const CellGrid& standingOut, const CellRange& core) {
  std::int64_t found = 0, standing = 0;
  for (std::int64_t r = core.r0; r < core.r1; ++r) {
    for (std::int64_t c = core.c0; c < core.c1; ++c) {
      const auto k = static_cast<std::size_t>(r * byColour.width + c);
      found += byColour.cells[k];
      standing += standingOut.cells[k];
    }
  }
  return static_cast<double>(found) >= kFoundByColourMin * static_cast<double>(standing);
}

// On screentone and art the lettering is found by how the ground repeats (tone) or by its
// colours (art), and filled from the texture around it.
RepaintOutcome repaintTexture(platform::PageBitmap& page, PixelWindow& window,
                              const LetteringArea& area, const CellGrid& usable,
                              const CellGrid& allowed, const GroundModel& model, std::uint64_t seed,
                              const FillStart& fill) {
  const CellRange all{0, 0, window.width, window.height};
  CellGrid ground = without(usable, growCells(model.groups.lettering, 2, all));
  fillRange(ground, area.reach, 0);
  const TextureRepeats repeats = findRepeats(window, ground, kRepeatReach, kRepeatOffsets);
  const std::vector<CellOffset> steps = gridSteps(repeats, kGridReach);
  CellGrid mask;
  if (repeats.periodic) {
    mask = toneLettering(window, area, usable, steps);
  } else {
    const auto centre = groundAt(model.fit, (area.core.c0 + area.core.c1) / 2,
                                 (area.core.r0 + area.core.r1) / 2);
    mask = paletteLettering(window, area, usable, centre);
    const bool byColour = countSet(mask) > 0;
    const bool foundMost = byColour && foundMostOf(mask, model.groups.lettering, area.core);
    const CellGrid fringe = foundMost ? growCells(mask, 1, all) : mask;
    for (std::size_t k = 0; k < mask.cells.size(); ++k) {
      mask.cells[k] |= model.groups.lettering.cells[k] & (foundMost ? fringe.cells[k] : 1);
    }
    // Letters whose colours the drawing has too are found as what stands out of the ground
    // or as groups inside their halo or rim; the halo, a colour near the ground's (white on
    // pale paper), goes with them.
    if (!byColour) {
      const CellGrid halo = haloLettering(window, area, usable);
      for (std::size_t k = 0; k < mask.cells.size(); ++k) mask.cells[k] |= halo.cells[k];
      growRim(mask, window, area.reach);
    }
  }
  if (countSet(mask) == 0) return {};
  mask = within(growCells(mask, 1, area.reach), allowed);
  if (takesTheGround(mask, area.core, page)) return {};
  const CellGrid sources = within(without(fill.usable, mask), allowed);
  if (countSet(sources) == 0) return {};
  startFill(window, fill);
  interpolateHoles(window, sources, mask);
  if (repeats.periodic) {
    fillFromSteps(window, mask, sources, steps);
  } else {
    const std::vector<float> smooth = window.rgb;
    fillFromTexture(window, mask, sources, repeats.offsets, seed);
    blendHoles(window, smooth, mask, kTextureShare);
  }
  return repainted(page, window, mask, GroundKind::kTexture);
}

// Letters joined to a shape of the drawing (a word whose halo touches a bright object) run out
// of the window with it and are taken for the ground's structure, which the smooth fill keeps.
// Where that structure holds more than a fifth of what stands out in the box, the lettering is
// looked for by colour, as on a texture.
constexpr double kJoinedShareMax = 0.2;

// A loose box takes in its balloon's line, which runs out of the window too. Of the structure
// in the core, what lies beyond the paper around the lettering (closed over its gaps, a darker
// edge around it) and is thin (no square of 7 x 7 cells fits in it) is that paper's edge, and
// does not count; letters joined to a shape of the drawing, with their rims, are thicker.
constexpr std::int64_t kThickHalfSide = 3;

// The cells of `cells` that squares of 2 r + 1 cells lying wholly in them cover.
CellGrid thickPart(const CellGrid& cells, std::int64_t r) {
  const CellRange all{0, 0, cells.width, cells.height};
  CellGrid outside = cells;
  for (auto& v : outside.cells) v = v != 0 ? 0 : 1;
  CellGrid centres = growCells(outside, r, all);
  for (auto& v : centres.cells) v = v != 0 ? 0 : 1;
  return within(growCells(centres, r, all), cells);
}

bool joinsStructure(const PixelWindow& window, const GroundModel& model, const LetteringArea& area) {
  CellGrid inCore = emptyGrid(model.groups.structure.width, model.groups.structure.height);
  fillRange(inCore, area.core);
  const CellGrid structureInCore = within(model.groups.structure, inCore);
  const auto lettering = static_cast<double>(countSet(within(model.groups.lettering, inCore)));
  const auto joined = [&](double structure) { return structure > kJoinedShareMax * (structure + lettering); };
  if (!joined(static_cast<double>(countSet(structureInCore)))) return false;
  const auto paper = enclosingPaper(window, model.distance, static_cast<float>(model.weak), area, PaperEdge::kDarker);
  if (!paper) return true;
  const CellGrid beyond = without(structureInCore, *paper);
  const CellGrid edge = without(beyond, thickPart(beyond, kThickHalfSide));
  return joined(static_cast<double>(countSet(without(structureInCore, edge))));
}

// Lettering is found on the page as it was printed. Blocks cleaned before this one may have
// repainted cells within its reach: the halo it shares with the line above, the tops of its
// letters. Those cells are read in the colours they had before (the first block's to repaint
// them) and, like the boxes of blocks still to be cleaned, are other lettering and no ground in
// finding this block's: half of a halo gone, the other half no longer encloses the letters
// inside it. Returns the window's colours as the page has them now, when any cell was read so.
std::optional<std::vector<float>> readAsPrinted(PixelWindow& window, LetteringArea& area,
                                                std::span<const RepaintOutcome* const> before,
                                                CellGrid& usable) {
  const CellRange& reach = area.reach;
  std::optional<std::vector<float>> now;
  // The latest first, so that the colour a cell had before any of them is the one left.
  for (auto it = before.rbegin(); it != before.rend(); ++it) {
    const RepaintOutcome& outcome = **it;
    const TextMask& mask = outcome.mask;
    if (static_cast<std::int64_t>(outcome.replaced.size()) != mask.pixels.count()) continue;
    const std::int64_t dc = static_cast<std::int64_t>(mask.rect.x) - window.x0;
    const std::int64_t dr = static_cast<std::int64_t>(mask.rect.y) - window.y0;
    if (dc >= reach.c1 || dr >= reach.r1 || dc + mask.width <= reach.c0 || dr + mask.height <= reach.r0) continue;
    auto colour = outcome.replaced.begin();
    for (const std::int64_t cell : mask.pixels) {
      const platform::Rgb8 was = *colour++;
      const std::int64_t c = dc + cell % mask.width, r = dr + cell / mask.width;
      if (!reach.contains(c, r)) continue;
      if (!now) now = window.rgb;
      const std::int64_t k = r * window.width + c;
      float* v = window.at(k);
      v[0] = was.red;
      v[1] = was.green;
      v[2] = was.blue;
      usable.cells[static_cast<std::size_t>(k)] = 0;
      area.otherText.cells[static_cast<std::size_t>(k)] = 1;
    }
  }
  return now;
}

}  // namespace

RepaintOutcome repaintLettering(platform::PageBitmap& page, const Rect& block,
                                const std::vector<Rect>& pendingText, std::uint64_t seed,
                                std::span<const RepaintOutcome* const> cleanedBefore) {
  const PixelBounds core = grownBounds(page, block, kCoreSlack);
  if (core.width == 0 || core.height == 0) return {};
  PixelWindow window = copyWindow(page, grownBounds(page, block, kCoreSlack + kReach + kContext));
  LetteringArea area{.core = rangeOf(window, core),
                     .reach = rangeOf(window, grownBounds(page, block, kCoreSlack + kReach)),
                     .otherText = emptyGrid(window.width, window.height)};
  // Other blocks' pending lettering is never ground.
  CellGrid usable = emptyGrid(window.width, window.height);
  fillRange(usable, CellRange{0, 0, window.width, window.height});
  for (const Rect& other : pendingText) {
    fillRange(area.otherText, rangeOf(window, grownBounds(page, other, kCoreSlack + kReach)));
    fillRange(usable, rangeOf(window, grownBounds(page, other, kCoreSlack)), 0);
  }
  // Where a loose box takes in the next line's box, what lies in this block's own box is its
  // lettering, whichever other box holds it too.
  const CellRange ownBox = rangeOf(window, pixelBounds(page, block));
  fillRange(usable, ownBox);
  // The fill reads the ground as the page has it now; the lettering is found as printed.
  const CellGrid fillUsable = usable;
  const auto now = readAsPrinted(window, area, cleanedBefore, usable);
  fillRange(usable, ownBox);
  const FillStart fill{.usable = fillUsable, .now = now ? &*now : nullptr};
  auto model = modelGround(window, area, usable);
  if (!model) return {};
  // Where no smooth fit explains the ground (paper printed in coarse dots, or a balloon
  // beside such paper or art), dark lettering is told from its box's paper by lightness.
  if (!isSmoothGround(*model, area)) {
    if (const auto paper = findBoxPaper(window, area, usable)) {
      if (takesTheGround(paper->lettering, area.core, page)) return {};
      return repaintBoxPaper(page, window, *paper, seed, fill);
    }
  }
  // Lettering in a caption box or balloon whose outline lies within its reach: the box's
  // paper is its only ground, and nothing beyond the paper is repainted.
  CellGrid allowed = emptyGrid(window.width, window.height);
  fillRange(allowed, CellRange{0, 0, window.width, window.height});
  if (model->paper && !isSmoothGround(*model, area)) {
    allowed = *model->paper;
    paintBeyond(window, allowed, model->fit);
    model = modelGround(window, area, usable);
    if (!model) return {};
  }
  // Lettering that runs into the detail of a drawing, or is joined to one of its shapes, is no
  // group of its own: it is looked for by colour, as on a texture.
  if (isSmoothGround(*model, area) && countSet(model->groups.lettering) > 0 && !joinsStructure(window, *model, area)) {
    return repaintSmooth(page, window, area, usable, allowed, *model, seed, fill);
  }
  return repaintTexture(page, window, area, usable, allowed, *model, seed, fill);
}

}  // namespace letterforge
