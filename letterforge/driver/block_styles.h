#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "letterforge/cleanup/cleanup_mode.h"
#include "letterforge/driver/render_pipeline.h"
#include "letterforge/inputs/block_overrides.h"
#include "letterforge/typeset/typeset_options.h"

namespace letterforge {

// The words a block's cleanup override takes: the cleanup modes', and "keep", which leaves
// the block's ground as it is (as "none" does).
std::vector<std::string_view> overrideCleanupWords();

// Decodes a job's overrides: JSON text (isInlineOverrides) or the path of a file holding it.
// Absent with a failure of the payload class, its message beginning "blocks: " for text and
// with the path for a file.
std::optional<std::vector<BlockOverride>> readBlockOverrides(const std::string& value,
                                                             RunFailure& failure);

// A failure naming the first override whose id is no translated block's:
// "blocks: b9: no translated block has this id".
std::optional<RunFailure> checkOverrideIds(const std::vector<BlockOverride>& overrides,
                                           const std::vector<RenderItem>& blockItems);

// The cleanup mode of each block item: its override's, else the run's.
std::vector<CleanupMode> blockCleanupModes(const RunState& run);

// How one render item is cleaned and set: the run's settings with the overrides of its
// blocks, a field taken from the first of its blocks that gives it.
struct ItemStyle {
  TypesetOptions typeset{};
  std::string family{};  // resolved; empty: the user-interface font
  CleanupMode cleanup = CleanupMode::kNone;
  bool skipped = false;  // every block of the item is skipped
};
ItemStyle itemStyle(const RunState& run, const RenderItem& item);

}  // namespace letterforge
