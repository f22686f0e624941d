#pragma once

#include <string>
#include <vector>

#include "letterforge/inputs/block_overrides.h"
#include "letterforge/layout/render_item.h"

namespace letterforge {

// Whether a job's overrides take the block out of the grouping: it names a group (null
// included) or is skipped.
bool groupedByOverride(const BlockOverride& o);

// The render items with the job's groups: the blocks whose overrides name a group or skip
// them leave the items grouping made (an item left with other blocks is merged again from
// them, one left with none is dropped); then come, in the order of the overrides, one item
// per group value holding its blocks in that order, and one item for each block given a null
// group or skipped. Items untouched by the overrides stay exactly as they were. Overrides
// whose id names no block item are passed over.
std::vector<RenderItem> regroupByOverrides(const std::vector<RenderItem>& blockItems,
                                           const std::vector<RenderItem>& renderItems,
                                           const std::vector<BlockOverride>& overrides);

}  // namespace letterforge
