#pragma once

#include <cstdint>

namespace letterforge {

// The two passes of a square dilation of a grid of bytes (non-zero: set), `width` cells a row:
// along each row, then down the columns of the row pass's result. A cell comes out non-zero when
// a set cell lies within `reach` of it along its row (its column).
void dilateRow(const std::uint8_t* in, std::uint8_t* out, std::int64_t width, std::int64_t reach);
void dilateColumns(const std::uint8_t* in, std::uint8_t* out, std::int64_t width,
                   std::int64_t height, std::int64_t reach);

}  // namespace letterforge
