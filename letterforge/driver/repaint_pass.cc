#include "letterforge/driver/repaint_pass.h"

#include <cstdint>

#include "letterforge/cleanup/repaint.h"
#include "letterforge/debug/debug_overlay.h"

namespace letterforge {
namespace {

CleanupAction actionFor(const RepaintOutcome& outcome) {
  if (!outcome.cleaned) return CleanupAction::kNotCleaned;
  switch (outcome.ground) {
    case GroundKind::kPaper: return CleanupAction::kRepaintedPaper;
    case GroundKind::kSmooth: return CleanupAction::kInpaintedSmooth;
    case GroundKind::kTexture: break;
  }
  return CleanupAction::kInpaintedTexture;
}

platform::Color regionColour(CleanupAction action) {
  switch (action) {
    case CleanupAction::kRepaintedPaper: return repaintedPaperColor;
    case CleanupAction::kInpaintedSmooth: return inpaintedSmoothColor;
    case CleanupAction::kInpaintedTexture: return inpaintedTextureColor;
    default: break;
  }
  return systemRedColor;
}

}  // namespace

void repaintPass(platform::PageBitmap& page, const std::vector<RenderItem>& blockItems,
                 CleanupRecord& record, const ReportSink& sink) {
  record.blockCleanups.resize(blockItems.size());
  for (std::size_t i = 0; i < blockItems.size(); ++i) {
    std::vector<Rect> pending;
    for (std::size_t j = i + 1; j < blockItems.size(); ++j) pending.push_back(blockItems[j].rect);
    // The seed follows the block's place in the page, so every run of a job paints the same.
    RepaintOutcome outcome = repaintLettering(page, blockItems[i].rect, pending, 0x5eed0000u + i);
    const CleanupAction action = actionFor(outcome);
    const std::string label = blockLabel(blockItems[i]);
    const std::string word = cleanupActionWord(action);
    record.debugRegions.push_back({blockItems[i].rect, word + ":" + label, regionColour(action)});
    BlockCleanup& done = record.blockCleanups[i];
    done.action = action;
    if (outcome.cleaned) {
      done.coverage = maskCoverage(outcome.mask);
      reportRepainted(sink, word, label, outcome.mask.pixels.count());
      record.cleanedMasks.push_back(std::move(outcome.mask));
    } else {
      reportRepainted(sink, word, label, 0);
    }
  }
}

}  // namespace letterforge
