#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/page_bitmap.h"

namespace platform {

// Baseline JPEG of the bitmap's colours (alpha dropped), quality 1 to 100 (values outside are
// brought within). Chroma is kept at full resolution from quality 90 up, so that coloured
// lettering keeps its edges, and halved both ways below. Absent on failure, with `failure`
// describing it.
std::optional<std::vector<std::uint8_t>> encodeJpeg(const PageBitmap& bitmap, int quality,
                                                    std::string& failure);

// WebP of the bitmap's colours and alpha: lossless without a quality, lossy at quality 1 to
// 100 with one. Absent on failure, with `failure` describing it.
std::optional<std::vector<std::uint8_t>> encodeWebp(const PageBitmap& bitmap,
                                                    std::optional<int> quality,
                                                    std::string& failure);

}  // namespace platform
