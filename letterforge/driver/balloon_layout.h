#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "letterforge/driver/render_options.h"
#include "letterforge/driver/render_pipeline.h"
#include "letterforge/layout/balloon_grouping.h"
#include "platform/page_bitmap.h"

namespace letterforge {

// Whether a run looks for the balloons of its page: the balloon preset with grouping on, or
// balloon fitting.
bool searchesBalloons(const RenderSettings& settings);

// From the untouched page: the balloon of every block item; with the balloon preset and
// grouping on, the render items made anew from them; and the balloon each render item fills.
void placeInBalloons(RunState& run, const platform::PageBitmap& page);

// For each render item, the balloon whose blocks it holds, all of them and no other block.
std::vector<std::optional<std::size_t>> itemBalloons(const std::vector<RenderItem>& blockItems,
                                                     const std::vector<RenderItem>& renderItems,
                                                     const BalloonOfBlock& balloonOf);

// For each render item, whether it holds blocks of two balloons, or of a balloon and of the art.
std::vector<bool> itemsSpanningBalloons(const std::vector<RenderItem>& blockItems,
                                        const std::vector<RenderItem>& renderItems,
                                        const BalloonOfBlock& balloonOf);

}  // namespace letterforge
