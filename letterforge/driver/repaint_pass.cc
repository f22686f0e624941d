#include "letterforge/driver/repaint_pass.h"

#include <cstdint>
#include <vector>

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

std::vector<RepaintOutcome> repaintInTurn(platform::PageBitmap& page,
                                          const std::vector<RenderItem>& blockItems,
                                          const ChosenBlocks& chosen, const BlockRepaint& repaint) {
  const std::size_t n = blockItems.size();
  std::vector<RepaintOutcome> outcomes(n);
  const auto isChosen = [&chosen](std::size_t i) { return chosen.empty() || chosen[i]; };
  std::vector<bool> pending(n);
  for (std::size_t i = 0; i < n; ++i) pending[i] = isChosen(i);
  // A block in which nothing could be told from the ground while its neighbours' lettering was
  // still around it is tried once more when they are gone. The lettering of every block not
  // cleaned yet is never taken as ground.
  std::vector<const RepaintOutcome*> cleanedBefore;
  for (int round = 0; round < 2; ++round) {
    for (std::size_t i = 0; i < n; ++i) {
      if (!pending[i]) continue;
      std::vector<Rect> others;
      for (std::size_t j = 0; j < n; ++j) {
        if (j != i && (pending[j] || !isChosen(j))) others.push_back(blockItems[j].rect);
      }
      // The seed follows the block's place in the page, so every run of a job paints the same.
      outcomes[i] = repaint(page, blockItems[i].rect, others, 0x5eed0000u + i,
                            round == 0 ? std::span<const RepaintOutcome* const>(cleanedBefore)
                                       : std::span<const RepaintOutcome* const>());
      pending[i] = !outcomes[i].cleaned;
      if (round == 0 && outcomes[i].cleaned) cleanedBefore.push_back(&outcomes[i]);
    }
  }
  return outcomes;
}

void repaintPass(platform::PageBitmap& page, const std::vector<RenderItem>& blockItems,
                 CleanupRecord& record, const ReportSink& sink, const ChosenBlocks& chosen) {
  const std::size_t n = blockItems.size();
  const auto isChosen = [&chosen](std::size_t i) { return chosen.empty() || chosen[i]; };
  std::vector<RepaintOutcome> outcomes = repaintInTurn(page, blockItems, chosen, repaintLettering);
  record.blockCleanups.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (!isChosen(i)) continue;
    RepaintOutcome& outcome = outcomes[i];
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
