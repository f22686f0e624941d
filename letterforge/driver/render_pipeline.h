#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "letterforge/cleanup/balloon_finder.h"
#include "letterforge/driver/cleanup_planning.h"
#include "letterforge/driver/page_layers.h"
#include "letterforge/driver/render_options.h"
#include "letterforge/driver/run_report.h"
#include "letterforge/inputs/block_overrides.h"
#include "letterforge/inputs/payloads.h"
#include "letterforge/layout/render_item.h"
#include "letterforge/typeset/text_fitting.h"
#include "platform/image.h"
#include "platform/page_bitmap.h"
#include "platform/text_layout.h"

namespace letterforge {

// A failure that ends the run: its description and the exit status of its class.
struct RunFailure {
  std::string message{};
  int exitStatus = 0;
  bool operator==(const RunFailure&) const = default;
};

// Everything a run keeps from start to end. Lists only grow.
struct RunState {
  RenderSettings settings{};
  std::string fontFamily{};  // the family of settings.font, resolved once; empty: the UI font
  // As loaded; the debug image repaints it. Only its size when the page came painted from the
  // decode (no debug image, no layers).
  platform::DecodedImage pageImage{};
  Rect pageRect{};
  std::vector<RenderItem> blockItems{};
  std::vector<RenderItem> renderItems{};
  CleanupPlan cleanupPlan{};
  CleanupRecord cleanupRecord{};
  std::vector<TypesetOutcome> typesetOutcomes{};  // one per render item typeset, same index
  bool balloonsSearched = false;  // by the balloon preset or balloon fitting
  PageBalloons balloons{};        // ofRect: one per block item, same index
  // One per render item: the balloon whose blocks the item holds, all of them and no others.
  std::vector<std::optional<std::size_t>> itemBalloons{};
  std::vector<BlockOverride> overrides{};  // the job's, in their order
  std::unordered_map<std::string, std::size_t> overrideOfId{};
  std::vector<std::string> overrideFamilies{};  // same index; resolved where a font is given
};

// What a reader of the result should know about a block.
struct BlockFlags {
  bool uncleaned = false;          // a cleanup mode ran, yet its lettering was left on the page
  bool overflowed = false;         // its item's text did not fit even at the smallest size
  bool unknownCharacters = false;  // its item's text has characters no installed font shows
  bool spansBalloons = false;      // its item holds blocks of two balloons, or of one and the art
  bool noVerticalForms = false;    // its item was set in columns in a font without vertical forms
  bool operator==(const BlockFlags&) const = default;
};

// What a run did with one translated block: its cleanup, and how the render item that holds
// it (named by its ids joined with "+") was set.
struct BlockOutcome {
  std::string id{};
  std::string item{};
  BlockCleanup cleanup{};
  TypesetOutcome typeset{};
  BlockFlags flags{};
  bool operator==(const BlockOutcome&) const = default;
};

// Planning point: the translation lookup, the block items and the render items. A duplicate
// translation id ends the run.
std::optional<RunFailure> planRun(RunState& run, const OcrPayload& ocr,
                                  const TranslationPayload& translations);

// Page point: cleanup preparation, the cleanup pass of the run's mode and the typesetting of
// every render item, drawn into the page bitmap. Report lines reach `sink` as the blocks are
// decided. A duplicate block id ends the run. With `layers`, the page after cleanup is copied
// to the cleaned layer and the text drawn on the text layer as well; the page comes out the
// same either way.
std::optional<RunFailure> cleanAndTypeset(RunState& run, platform::PageBitmap& page,
                                          platform::TextContext& text, const ReportSink& sink,
                                          PageLayers* layers = nullptr);

// One outcome per block item, in block order, once the page is cleaned and typeset.
std::vector<BlockOutcome> blockOutcomes(const RunState& run);

// Debug point: the run's items, decisions and masks drawn over a bitmap that holds the
// untouched page.
void drawDebugOverlays(const RunState& run, platform::PageBitmap& bitmap,
                       platform::TextContext& text);

}  // namespace letterforge
