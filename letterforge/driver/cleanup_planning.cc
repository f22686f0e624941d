#include "letterforge/driver/cleanup_planning.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "letterforge/cleanup/background_classification.h"
#include "letterforge/cleanup/fill_inpaint.h"
#include "letterforge/driver/repaint_pass.h"
#include "letterforge/driver/run_report.h"
#include "letterforge/inputs/text_rules.h"
#include "letterforge/inputs/translation_lookup.h"
#include "letterforge/layout/rect_cells.h"
#include "letterforge/layout/rect_geometry.h"

namespace letterforge {
namespace {

constexpr double kBubbleDensityLimit = 0.42;
constexpr double kEmptyMaskConfidence = 0.68;
constexpr std::int64_t kLargeGroup = 4;

std::optional<BubbleRegion> groupBubbleAround(const platform::PageBitmap& page,
                                              const RenderItem& item,
                                              const Exclusions& blockCleanRects,
                                              const Rect& pageRect) {
  const double e = std::max(0.75 * textMargin(item), 10.0);
  const Rect bounds = clampRect(inset(item.rect, -e, -e), pageRect);
  return searchBubble(page, item, blockCleanRects, bounds);
}

// A block with no bubble of its own is still patched white when its group says it sits in
// one: all its ids grouped, and plain surroundings or a group of four or more.
bool hasGroupEvidence(const platform::PageBitmap& page, const RenderItem& item, const Rect& r,
                      const CleanupPlan& plan) {
  const bool allGrouped = std::all_of(item.ids.begin(), item.ids.end(), [&](const std::string& id) {
    return plan.groupedIds.contains(canonicalText(id));
  });
  if (!allGrouped) return false;
  if (isBubbleSurround(page, r, plan.blockCleanRects) || surroundProbe(page, r)) return true;
  if (plan.groupSizes.empty()) return false;
  return std::all_of(item.ids.begin(), item.ids.end(), [&](const std::string& id) {
    const auto size = plan.groupSizes.find(canonicalText(id));
    return size != plan.groupSizes.end() && size->second >= kLargeGroup;
  });
}

// The mask the driver makes when there is none: no cells, the size of R in whole pixels.
TextMask emptyMaskOver(const Rect& r) {
  auto whole = [](double v) {
    return std::isfinite(v) && std::abs(v) < 9.0e18 ? static_cast<std::int64_t>(v) : 0;
  };
  return TextMask{.rect = r, .width = whole(width(r)), .height = whole(height(r))};
}

// The group bubbles filed by the cells they reach: a block without a bubble of its own looks
// among its neighbours for the first one, in list order, that meets its area.
RectCells groupBubbleCells(const std::vector<BubbleRegion>& bubbles) {
  Rect area = nullRect();
  for (const BubbleRegion& bubble : bubbles) area = unionRect(area, bubble.rect);
  RectCells cells(area);
  for (std::size_t i = 0; i < bubbles.size(); ++i) cells.file(i, bubbles[i].rect, nullRect());
  return cells;
}

std::optional<BubbleRegion> firstGroupBubbleMeeting(const std::vector<BubbleRegion>& bubbles,
                                                    RectCells& cells, const Rect& r) {
  for (const std::size_t i : cells.near(r, [](std::size_t) { return false; })) {
    if (intersects(bubbles[i].rect, r)) return bubbles[i];
  }
  return std::nullopt;
}

CleanupAction plainAreaAction(PlainAreaVerdict verdict) {
  switch (verdict) {
    case PlainAreaVerdict::kNotPlain: return CleanupAction::kRefused;
    case PlainAreaVerdict::kCleanPaper: return CleanupAction::kWhiteFill;
    case PlainAreaVerdict::kLettering: return CleanupAction::kInpainted;
    case PlainAreaVerdict::kNoMask:
    case PlainAreaVerdict::kDenseMask: break;
  }
  return CleanupAction::kLeftAlone;
}

BlockCleanup fallBack(platform::PageBitmap& page, const std::string& reason,
                      const std::string& label, const Rect& r, CleanupRecord& record) {
  const std::string note = "fallback_" + reason + ":" + label;
  record.debugRegions.push_back({r, note, systemOrangeColor});
  record.cleanupNotes.push_back(note);
  const PlainAreaVerdict verdict = cleanPlainArea(page, r, record.cleanedMasks);
  return BlockCleanup{.action = CleanupAction::kFallback,
                      .fallbackReason = reason,
                      .fallbackAction = plainAreaAction(verdict)};
}

}  // namespace

const char* cleanupActionWord(CleanupAction action) {
  switch (action) {
    case CleanupAction::kLeftAlone: return "left_alone";
    case CleanupAction::kWhiteFill: return "white_fill";
    case CleanupAction::kInpainted: return "inpainted";
    case CleanupAction::kRefused: return "refused";
    case CleanupAction::kPatched: return "patched";
    case CleanupAction::kPatchedDense: return "patched_dense";
    case CleanupAction::kPatchedEmpty: return "patched_empty";
    case CleanupAction::kPatchedGrouped: return "patched_grouped";
    case CleanupAction::kFallback: return "fallback";
    case CleanupAction::kRepaintedPaper: return "repainted_paper";
    case CleanupAction::kInpaintedSmooth: return "inpainted_smooth";
    case CleanupAction::kInpaintedTexture: return "inpainted_texture";
    case CleanupAction::kNotCleaned: break;
  }
  return "not_cleaned";
}

std::optional<std::string> duplicateItemId(const std::vector<RenderItem>& renderItems) {
  std::unordered_set<std::string> seen;
  for (const RenderItem& item : renderItems) {
    for (const std::string& id : item.ids) {
      if (!seen.insert(canonicalText(id)).second) return id;
    }
  }
  return std::nullopt;
}

std::optional<CleanupPlan> prepareCleanup(const platform::PageBitmap& page,
                                          const std::vector<RenderItem>& blockItems,
                                          const std::vector<RenderItem>& renderItems,
                                          const Rect& pageRect, std::string& failure) {
  std::vector<Rect> cleanRects;
  cleanRects.reserve(blockItems.size());
  for (const RenderItem& item : blockItems) {
    const double margin = blockMargin(item);
    cleanRects.push_back(clampRect(inset(item.rect, -margin, -margin), pageRect));
  }
  CleanupPlan plan{.blockCleanRects = makeExclusions(page, std::move(cleanRects))};
  for (const RenderItem& item : renderItems) {
    if (item.ids.size() < 2) continue;
    if (auto bubble = groupBubbleAround(page, item, plan.blockCleanRects, pageRect)) {
      plan.groupBubbles.push_back(*bubble);
    }
    for (const std::string& id : item.ids) plan.groupedIds.insert(canonicalText(id));
  }
  if (const auto id = duplicateItemId(renderItems)) {
    failure = duplicateKeyFailure(*id);
    return std::nullopt;
  }
  for (const RenderItem& item : renderItems) {
    const auto size = static_cast<std::int64_t>(item.ids.size());
    for (const std::string& id : item.ids) plan.groupSizes.emplace(canonicalText(id), size);
  }
  return plan;
}

void runCleanupPass(platform::PageBitmap& page, CleanupMode cleanupMode,
                    const std::vector<RenderItem>& blockItems, const CleanupPlan& plan,
                    const Rect& pageRect, CleanupRecord& record, const ReportSink& sink) {
  // White fill is done with the text areas, as they are typeset.
  runCleanupPasses(page, std::vector<CleanupMode>(blockItems.size(), cleanupMode), blockItems,
                   plan, pageRect, record, sink);
}

void runCleanupPasses(platform::PageBitmap& page, const std::vector<CleanupMode>& blockModes,
                      const std::vector<RenderItem>& blockItems, const CleanupPlan& plan,
                      const Rect& pageRect, CleanupRecord& record, const ReportSink& sink) {
  for (const CleanupMode mode :
       {CleanupMode::kTextInpaint, CleanupMode::kBubbleClean, CleanupMode::kRepaint}) {
    ChosenBlocks chosen(blockItems.size(), false);
    bool any = false;
    for (std::size_t i = 0; i < blockItems.size() && i < blockModes.size(); ++i) {
      chosen[i] = blockModes[i] == mode;
      any = any || chosen[i];
    }
    if (!any) continue;
    if (mode == CleanupMode::kTextInpaint) {
      inpaintPass(page, blockItems, plan, record, sink, chosen);
    } else if (mode == CleanupMode::kBubbleClean) {
      bubbleCleanPass(page, blockItems, plan, pageRect, record, sink, chosen);
    } else {
      repaintPass(page, blockItems, record, sink, chosen);
    }
  }
}

namespace {

bool isChosen(const ChosenBlocks& chosen, std::size_t i) { return chosen.empty() || chosen[i]; }

// The notes a pass added, from `first` on.
std::vector<std::string> notesFrom(const CleanupRecord& record, std::size_t first) {
  return {record.cleanupNotes.begin() + static_cast<std::ptrdiff_t>(first), record.cleanupNotes.end()};
}

}  // namespace

void inpaintPass(platform::PageBitmap& page, const std::vector<RenderItem>& blockItems,
                 const CleanupPlan& plan, CleanupRecord& record, const ReportSink& sink,
                 const ChosenBlocks& chosen) {
  record.blockCleanups.resize(blockItems.size());
  const std::size_t firstNote = record.cleanupNotes.size();
  for (std::size_t i = 0; i < blockItems.size(); ++i) {
    if (!isChosen(chosen, i)) continue;
    const Rect& r = plan.blockCleanRects.rects[i];
    PlainAreaPlan area = planPlainArea(page, r);
    // Every plain area is cleaned one way or the other: a white fill where no mask is kept.
    const CleanupAction action = plainAreaAction(area.verdict);
    record.blockCleanups[i].action =
        action == CleanupAction::kLeftAlone ? CleanupAction::kWhiteFill : action;
    switch (area.verdict) {
      case PlainAreaVerdict::kNotPlain:
        for (const std::string& id : blockItems[i].ids) record.cleanupNotes.push_back(id);
        break;
      case PlainAreaVerdict::kLettering:
        inpaintMask(page, *area.mask);
        record.cleanedMasks.push_back(std::move(*area.mask));
        break;
      // Clean paper needs no mask, and a mask too dense to be lettering is painted over whole.
      case PlainAreaVerdict::kCleanPaper:
      case PlainAreaVerdict::kNoMask:
      case PlainAreaVerdict::kDenseMask:
        fillRoundedRect(page, r, platform::kWhite);
        break;
    }
  }
  if (record.cleanupNotes.size() > firstNote) reportSafetyGate(sink, notesFrom(record, firstNote));
}

std::optional<BubbleRegion> findBlockBubble(const platform::PageBitmap& page, const RenderItem& item,
                                            const CleanupPlan& plan, const Rect& pageRect) {
  return searchBubble(page, item, plan.blockCleanRects, pageRect);
}

void bubbleCleanPass(platform::PageBitmap& page, const std::vector<RenderItem>& blockItems,
                     const CleanupPlan& plan, const Rect& pageRect, CleanupRecord& record,
                     const ReportSink& sink, const ChosenBlocks& chosen) {
  record.blockCleanups.resize(blockItems.size());
  const std::size_t firstNote = record.cleanupNotes.size();
  RectCells groupBubbles = groupBubbleCells(plan.groupBubbles);
  for (std::size_t i = 0; i < blockItems.size(); ++i) {
    if (!isChosen(chosen, i)) continue;
    const RenderItem& item = blockItems[i];
    const Rect& r = plan.blockCleanRects.rects[i];
    const std::string label = blockLabel(item);
    BlockCleanup& done = record.blockCleanups[i];

    auto bubble = findBlockBubble(page, item, plan, pageRect);
    if (!bubble) bubble = firstGroupBubbleMeeting(plan.groupBubbles, groupBubbles, r);
    if (!bubble) {
      if (hasGroupEvidence(page, item, r, plan)) {
        fillRoundedRect(page, r, platform::kWhite);
        record.debugRegions.push_back({r, "patch_grouped:" + label, systemYellowColor});
        reportPatchedGrouped(sink, label);
        done.action = CleanupAction::kPatchedGrouped;
      } else {
        done = fallBack(page, "low_bubble_confidence", label, r, record);
      }
      continue;
    }

    const double c = bubble->confidence;
    done.confidence = c;
    record.debugRegions.push_back(
        {bubble->rect, "bubble " + formatTwoDecimals(c) + ":" + label, systemPurpleColor});
    if (auto mask = bubbleTextMask(page, r, bubble->rect)) {
      const double k = maskCoverage(*mask);
      fillRoundedRect(page, r, bubbleFillColor(page, *mask, bubble->rect));
      done.coverage = k;
      if (k > kBubbleDensityLimit) {
        record.debugRegions.push_back({r, "patch_dense_mask:" + label, systemYellowColor});
        reportPatchedDense(sink, label, k, c);
        done.action = CleanupAction::kPatchedDense;
      } else {
        record.debugRegions.push_back({r, "patch_text:" + label, systemYellowColor});
        record.cleanedMasks.push_back(std::move(*mask));
        reportPatched(sink, label, k, c);
        done.action = CleanupAction::kPatched;
      }
    } else if (c >= kEmptyMaskConfidence) {
      fillRoundedRect(page, r, bubbleFillColor(page, emptyMaskOver(r), bubble->rect));
      record.debugRegions.push_back({r, "patch_empty_mask:" + label, systemYellowColor});
      reportPatchedEmpty(sink, label, c);
      done.action = CleanupAction::kPatchedEmpty;
    } else {
      done = fallBack(page, "empty_mask", label, r, record);
      done.confidence = c;
    }
  }
  if (record.cleanupNotes.size() > firstNote) {
    reportFallbackReasons(sink, notesFrom(record, firstNote));
  }
}

}  // namespace letterforge
