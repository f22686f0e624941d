#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "letterforge/layout/block_grouping.h"
#include "letterforge/layout/render_item.h"

namespace letterforge {

// Which balloon or caption box each block item lies in, by the block items' index; absent
// for a block over the art. Balloons are told apart by their index only.
using BalloonOfBlock = std::vector<std::optional<std::size_t>>;

// Groups by balloon: the lines of one balloon form one group, in reading order, unless a
// line lies further from the lines above it than 1.5 times the smaller height (or 8 pixels),
// as the lines of two balloons whose paper runs together do; blocks over the art form groups
// among themselves as the balanced preset forms them. A group never holds blocks of two
// balloons, nor a balloon's block and one over the art. Groups are made in reading order.
std::vector<BlockGroup> formBalloonGroups(const std::vector<RenderItem>& blockItems,
                                          const BalloonOfBlock& balloonOf);

// Render items of the balloon groups, as groupRenderItems makes them from other groups.
std::vector<RenderItem> groupByBalloons(const std::vector<RenderItem>& blockItems,
                                        const BalloonOfBlock& balloonOf);

}  // namespace letterforge
