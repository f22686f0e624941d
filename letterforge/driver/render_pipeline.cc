#include "letterforge/driver/render_pipeline.h"

#include "letterforge/cleanup/bubble_detection.h"
#include "letterforge/cleanup/fill_inpaint.h"
#include "letterforge/debug/debug_overlay.h"
#include "letterforge/driver/exit_status.h"
#include "letterforge/inputs/payloads.h"
#include "letterforge/inputs/text_rules.h"
#include "letterforge/inputs/translation_lookup.h"
#include "letterforge/layout/block_grouping.h"
#include "letterforge/layout/rect_geometry.h"
#include "letterforge/raster/image_files.h"
#include "letterforge/typeset/text_fitting.h"

namespace letterforge {
namespace {

constexpr std::int64_t kLongestShortGroupText = 80;

// Cleans (in "white_fill" mode) and draws one render item into its text area.
void typesetItem(platform::PageBitmap& page, const RunState& run, const RenderItem& item) {
  const std::string& mode = run.options.cleanupMode;
  const Rect area = itemTextArea(page, item, run.pageRect, mode, run.cleanupPlan.blockCleanRects);
  const double p = textMargin(item);
  if (mode == "white_fill") fillRoundedRect(page, area, platform::kWhite);
  const Rect textRect = inset(area, std::max(0.78 * p, 2.0), std::max(0.45 * p, 1.0));
  const bool bubble = mode == "bubble_clean" && !item.floating;
  const bool shortGroup = mode == "bubble_clean" && (item.ids.size() == 3 || item.ids.size() == 4) &&
                          characterCount(item.text) <= kLongestShortGroupText;
  drawFittedText(page, run.options, item.text, bubble, shortGroup, textRect);
}

}  // namespace

std::optional<RunFailure> planRun(RunState& run) {
  std::string failure;
  const auto ocr = loadOcrPayload(run.options.ocrJsonPath, failure);
  if (!ocr) return RunFailure{failure, kExitPayloadUnreadable};
  const auto translations = loadTranslationPayload(run.options.translationJsonPath, failure);
  if (!translations) return RunFailure{failure, kExitPayloadUnreadable};
  const auto lookup = makeTranslationLookup(*translations, failure);
  if (!lookup) return RunFailure{failure, kExitDuplicateId};

  run.blockItems = makeBlockItems(ocr->blocks, *lookup, static_cast<double>(run.pageImage.height));
  run.renderItems =
      groupRenderItems(run.blockItems, run.options.groupingEnabled, run.options.groupingPreset);
  return std::nullopt;
}

std::optional<RunFailure> cleanAndTypeset(RunState& run, platform::PageBitmap& page) {
  std::string failure;
  auto plan = prepareCleanup(page, run.blockItems, run.renderItems, run.pageRect, failure);
  if (!plan) return RunFailure{failure, kExitDuplicateId};
  run.cleanupPlan = std::move(*plan);

  runCleanupPass(page, run.options.cleanupMode, run.blockItems, run.cleanupPlan, run.pageRect,
                 run.cleanupRecord);
  for (const RenderItem& item : run.renderItems) typesetItem(page, run, item);
  return std::nullopt;
}

std::optional<RunFailure> writeDebugImage(const RunState& run) {
  auto bitmap = createPageBitmap(run.pageImage.width, run.pageImage.height);
  if (!bitmap) return RunFailure{"Could not create the debug bitmap: out of memory", kExitOutOfMemory};
  bitmap->save();
  drawPageImage(*bitmap, run.pageImage);
  drawItemOverlay(*bitmap, run.blockItems, run.renderItems, run.pageRect);
  drawBubbleDebugRegions(*bitmap, run.cleanupRecord.debugRegions);
  drawTextMaskOverlay(*bitmap, run.cleanupRecord.cleanedMasks);
  bitmap->restore();
  std::string failure;
  if (!writePng(*bitmap, run.options.debugImagePath, failure)) {
    return RunFailure{failure, kExitWriteFailure};
  }
  return std::nullopt;
}

}  // namespace letterforge
