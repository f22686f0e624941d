#include "letterforge/driver/render_pipeline.h"

#include <unordered_map>

#include "letterforge/cleanup/bubble_detection.h"
#include "letterforge/cleanup/fill_inpaint.h"
#include "letterforge/driver/balloon_layout.h"
#include "letterforge/driver/block_styles.h"
#include "letterforge/debug/debug_overlay.h"
#include "letterforge/driver/exit_status.h"
#include "letterforge/inputs/translation_lookup.h"
#include "letterforge/layout/block_grouping.h"
#include "letterforge/layout/override_grouping.h"
#include "letterforge/layout/rect_geometry.h"
#include "letterforge/typeset/text_fitting.h"

namespace letterforge {
namespace {

// The share of a rectangle's pixels in a balloon above which the balloon holds it whole,
// a few pixels of a corner aside.
constexpr double kWholeShare = 0.97;

// The balloon whose interior render item `i` is set in, when it is set in one.
const Balloon* fittingBalloon(const RunState& run, std::size_t i) {
  if (!run.settings.fitBalloon || i >= run.itemBalloons.size() || !run.itemBalloons[i]) return nullptr;
  const Balloon& balloon = run.balloons.balloons[*run.itemBalloons[i]];
  return balloon.interior.width > 1.0 && balloon.interior.height > 1.0 ? &balloon : nullptr;
}

// The room render item `i` is set in inside its balloon, when balloon fitting sets it there.
std::optional<Rect> balloonRoom(const RunState& run, std::size_t i, const TypesetOptions& options) {
  const Balloon* balloon = fittingBalloon(run, i);
  if (!balloon) return std::nullopt;
  const RenderItem& item = run.renderItems[i];
  // The interiors keep their margin from the outline already; one that misses the source
  // lettering would carry the text away from where it was. The lettering's own box, where
  // the balloon holds all of it (a caption box filled to its border), may be roomiest.
  std::vector<Rect> rooms;
  for (const Rect& interior : balloon->interiors) {
    if (intersects(interior, item.rect)) rooms.push_back(interior);
  }
  if (heldShare(*balloon, item.rect) >= kWholeShare) rooms.push_back(item.rect);
  const auto room = roomiestRect(rooms, options, item.text);
  if (!room) return std::nullopt;
  return clampRect(*room, run.pageRect);
}

// Cleans (in white fill mode) and draws render item `i` into its text area, or into its
// balloon's interior when it fills a balloon and balloon fitting is on, and into the layers
// when there are any: the fill on the cleaned page, the text on the text layer, whose earlier
// text a fill covers goes as it goes from the page. A skipped item is cleaned only. Its
// blocks' overrides decide its mode and look.
TypesetOutcome typesetItem(platform::PageBitmap& page, platform::TextContext& text,
                           const RunState& run, std::size_t i, PageLayers* layers) {
  const RenderItem& item = run.renderItems[i];
  const ItemStyle style = itemStyle(run, item);
  const CleanupMode mode = style.cleanup;
  const TypesetOptions& options = style.typeset;
  const Rect area = itemTextArea(page, item, run.pageRect, mode, run.cleanupPlan.blockCleanRects);
  const double p = textMargin(item);
  if (mode == CleanupMode::kWhiteFill) {
    fillRoundedRect(page, area, platform::kWhite);
    if (layers) {
      fillRoundedRect(layers->cleaned, area, platform::kWhite);
      layers->text.eraseRoundedRect(area, roundedRectRadius(area));
    }
  }
  if (style.skipped) return {};
  if (const auto room = balloonRoom(run, i, options)) {
    if (layers) drawBalloonText(text, layers->text, options, style.family, item.text, *room);
    return drawBalloonText(text, page, options, style.family, item.text, *room);
  }
  const Rect textRect = inset(area, std::max(0.78 * p, 2.0), std::max(0.45 * p, 1.0));
  const bool bubble = mode == CleanupMode::kBubbleClean && !item.floating;
  const bool shortGroup = mode == CleanupMode::kBubbleClean && isShortGroup(item);
  if (layers) {
    drawFittedText(text, layers->text, options, style.family, item.text, bubble, shortGroup,
                   textRect);
  }
  return drawFittedText(text, page, options, style.family, item.text, bubble, shortGroup,
                        textRect);
}

}  // namespace

std::optional<RunFailure> planRun(RunState& run, const OcrPayload& ocr,
                                  const TranslationPayload& translations) {
  std::string failure;
  const auto lookup = makeTranslationLookup(translations, failure);
  if (!lookup) return RunFailure{failure, kExitDuplicateId};
  run.blockItems = makeBlockItems(ocr.blocks, *lookup, height(run.pageRect));
  for (std::size_t i = 0; i < run.overrides.size(); ++i) run.overrideOfId.emplace(run.overrides[i].id, i);
  if (auto unknown = checkOverrideIds(run.overrides, run.blockItems)) return unknown;
  run.renderItems = regroupByOverrides(
      run.blockItems,
      groupRenderItems(run.blockItems, run.settings.groupingEnabled, run.settings.groupingPreset),
      run.overrides);
  return std::nullopt;
}

std::optional<RunFailure> cleanAndTypeset(RunState& run, platform::PageBitmap& page,
                                          platform::TextContext& text, const ReportSink& sink,
                                          PageLayers* layers) {
  if (searchesBalloons(run.settings)) placeInBalloons(run, page);
  std::string failure;
  auto plan = prepareCleanup(page, run.blockItems, run.renderItems, run.pageRect, failure);
  if (!plan) return RunFailure{failure, kExitDuplicateId};
  run.cleanupPlan = std::move(*plan);

  const std::vector<CleanupMode> modes = blockCleanupModes(run);
  runCleanupPasses(page, modes, run.blockItems, run.cleanupPlan, run.pageRect, run.cleanupRecord,
                   sink);
  if (layers) layers->cleaned.copyPixelsFrom(page);
  for (std::size_t i = 0; i < run.renderItems.size(); ++i) {
    run.typesetOutcomes.push_back(typesetItem(page, text, run, i, layers));
  }
  // Every block lies in a render item, whose text area was filled in white fill mode.
  std::unordered_map<std::string, std::size_t> blockOfId;
  for (std::size_t b = 0; b < run.blockItems.size(); ++b) blockOfId.emplace(run.blockItems[b].ids.front(), b);
  auto& cleanups = run.cleanupRecord.blockCleanups;
  cleanups.resize(run.blockItems.size());
  for (const RenderItem& item : run.renderItems) {
    if (itemStyle(run, item).cleanup != CleanupMode::kWhiteFill) continue;
    for (const std::string& id : item.ids) {
      if (const auto b = blockOfId.find(id); b != blockOfId.end()) {
        cleanups[b->second] = BlockCleanup{.action = CleanupAction::kWhiteFill};
      }
    }
  }
  return std::nullopt;
}

namespace {

// A block whose area was refused, or found nothing it might clean, keeps its lettering.
bool leftUncleaned(const BlockCleanup& cleanup) {
  const CleanupAction action =
      cleanup.action == CleanupAction::kFallback ? cleanup.fallbackAction : cleanup.action;
  return action == CleanupAction::kRefused || action == CleanupAction::kLeftAlone;
}

}  // namespace

std::vector<BlockOutcome> blockOutcomes(const RunState& run) {
  std::unordered_map<std::string, std::size_t> itemOfId;
  for (std::size_t i = 0; i < run.renderItems.size(); ++i) {
    for (const std::string& id : run.renderItems[i].ids) itemOfId.emplace(id, i);
  }
  const std::vector<bool> spanning =
      run.balloonsSearched
          ? itemsSpanningBalloons(run.blockItems, run.renderItems, run.balloons.ofRect)
          : std::vector<bool>{};
  const std::vector<CleanupMode> modes = blockCleanupModes(run);
  std::vector<BlockOutcome> outcomes;
  for (std::size_t b = 0; b < run.blockItems.size(); ++b) {
    BlockOutcome outcome{.id = run.blockItems[b].ids.front()};
    const auto& cleanups = run.cleanupRecord.blockCleanups;
    if (b < cleanups.size()) outcome.cleanup = cleanups[b];
    if (const auto item = itemOfId.find(outcome.id); item != itemOfId.end()) {
      outcome.item = blockLabel(run.renderItems[item->second]);
      if (item->second < run.typesetOutcomes.size()) {
        outcome.typeset = run.typesetOutcomes[item->second];
      }
      outcome.flags.spansBalloons = item->second < spanning.size() && spanning[item->second];
    }
    outcome.flags.uncleaned = modes[b] != CleanupMode::kNone && leftUncleaned(outcome.cleanup);
    outcome.flags.overflowed = outcome.typeset.overflowed;
    outcome.flags.unknownCharacters = outcome.typeset.unknownCharacters > 0;
    outcome.flags.noVerticalForms = outcome.typeset.noVerticalForms;
    outcomes.push_back(std::move(outcome));
  }
  return outcomes;
}

void drawDebugOverlays(const RunState& run, platform::PageBitmap& bitmap,
                       platform::TextContext& text) {
  drawItemOverlay(text, bitmap, run.blockItems, run.renderItems, run.pageRect);
  drawBubbleDebugRegions(text, bitmap, run.cleanupRecord.debugRegions);
  drawTextMaskOverlay(bitmap, run.cleanupRecord.cleanedMasks);
}

}  // namespace letterforge
