#pragma once

#include <optional>
#include <string>
#include <vector>

#include "letterforge/driver/cleanup_planning.h"
#include "letterforge/driver/render_options.h"
#include "letterforge/layout/render_item.h"
#include "platform/image.h"
#include "platform/page_bitmap.h"

namespace letterforge {

// A failure that ends the run: its description for standard error and the exit status.
struct RunFailure {
  std::string message{};
  int exitStatus = 0;
};

// Everything a run keeps from start to end. Lists only grow.
struct RunState {
  RenderOptions options{};
  platform::DecodedImage pageImage{};  // as loaded; the debug image repaints it
  Rect pageRect{};
  std::vector<RenderItem> blockItems{};
  std::vector<RenderItem> renderItems{};
  CleanupPlan cleanupPlan{};
  CleanupRecord cleanupRecord{};
};

// Planning point: reads both payloads, builds the translation lookup, the block items and
// the render items. A payload that cannot be read or decoded, or a duplicate id, ends the run.
std::optional<RunFailure> planRun(RunState& run);

// Page point: cleanup preparation, the cleanup pass of the run's mode and the typesetting of
// every render item, drawn into the page bitmap. A duplicate block id ends the run.
std::optional<RunFailure> cleanAndTypeset(RunState& run, platform::PageBitmap& page);

// Debug point: the untouched page with the run's decisions drawn over it, written to the
// debug path.
std::optional<RunFailure> writeDebugImage(const RunState& run);

}  // namespace letterforge
