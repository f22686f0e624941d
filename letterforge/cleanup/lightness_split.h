#pragma once

#include <optional>
#include <vector>

#include "letterforge/cleanup/lettering_mask.h"
#include "letterforge/cleanup/pixel_window.h"

namespace letterforge {

// How light each cell is: its largest channel (black ink is dark in all three, a dot of
// coloured ink is not).
std::vector<int> lightnessOf(const PixelWindow& window);

struct LightnessSplit {
  int threshold = 0;  // ink is darker than this
  double ink = 0.0, light = 0.0, inkShare = 0.0;  // the classes' mean lightness, the ink's share
};

// The split of the core's usable cells into a dark and a light class that are most apart
// (between-class variance at its largest over the 256 levels). Absent when no cell is usable.
std::optional<LightnessSplit> splitCore(const std::vector<int>& lightness, const LetteringArea& area,
                                        const CellGrid& usable);

}  // namespace letterforge
