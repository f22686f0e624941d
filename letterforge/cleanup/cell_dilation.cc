#include "letterforge/cleanup/cell_dilation.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace letterforge {
namespace {

// One axis of the square dilation: cell i of a line is set when any cell within `reach`
// along the line is. Lines are `length` cells long, `stride` apart within the line.
void dilateLine(const std::uint8_t* in, std::uint8_t* out, std::int64_t length, std::int64_t stride,
                std::int64_t reach) {
  std::int64_t inWindow = 0;  // set cells in [i - reach, i + reach]
  for (std::int64_t j = 0; j <= std::min(reach, length - 1); ++j) inWindow += in[j * stride] != 0;
  for (std::int64_t i = 0; i < length; ++i) {
    out[i * stride] = inWindow > 0 ? 1 : 0;
    if (i + reach + 1 < length) inWindow += in[(i + reach + 1) * stride] != 0;
    if (i - reach >= 0) inWindow -= in[(i - reach) * stride] != 0;
  }
}

// Reaches up to this are grown by OR-ing shifted copies of a line, a plain loop over bytes;
// longer ones keep a running count, whatever the reach.
constexpr std::int64_t kOrReachMax = 8;

// out[i] |= in[i] for `count` bytes, eight at a time.
void orBytes(std::uint8_t* out, const std::uint8_t* in, std::int64_t count) {
  std::int64_t i = 0;
  for (; i + 8 <= count; i += 8) {
    std::uint64_t a = 0, b = 0;
    std::memcpy(&a, out + i, 8);
    std::memcpy(&b, in + i, 8);
    a |= b;
    std::memcpy(out + i, &a, 8);
  }
  for (; i < count; ++i) out[i] |= in[i];
}

// dilateLine along a row: out[c] is set when in[c - reach .. c + reach] holds a set cell.
}  // namespace

void dilateRow(const std::uint8_t* in, std::uint8_t* out, std::int64_t width, std::int64_t reach) {
  if (reach > kOrReachMax) {
    dilateLine(in, out, width, 1, reach);
    return;
  }
  std::copy_n(in, width, out);
  for (std::int64_t k = 1; k <= std::min(reach, width - 1); ++k) {
    orBytes(out, in + k, width - k);
    orBytes(out + k, in, width - k);
  }
}

// dilateLine down every column at once, a row at a time, reading rows in the order they lie.
void dilateColumns(const std::uint8_t* in, std::uint8_t* out, std::int64_t width,
                   std::int64_t height, std::int64_t reach) {
  if (reach <= kOrReachMax) {
    for (std::int64_t i = 0; i < height; ++i) {
      std::uint8_t* row = out + i * width;
      const std::int64_t first = std::max<std::int64_t>(i - reach, 0);
      std::copy_n(in + first * width, width, row);
      for (std::int64_t j = first + 1; j <= std::min(i + reach, height - 1); ++j) {
        orBytes(row, in + j * width, width);
      }
    }
    return;
  }
  std::vector<std::int64_t> inWindow(static_cast<std::size_t>(width), 0);
  const auto addRow = [&](std::int64_t r, std::int64_t sign) {
    const std::uint8_t* row = in + r * width;
    for (std::int64_t c = 0; c < width; ++c) inWindow[c] += sign * (row[c] != 0 ? 1 : 0);
  };
  for (std::int64_t j = 0; j <= std::min(reach, height - 1); ++j) addRow(j, 1);
  for (std::int64_t i = 0; i < height; ++i) {
    std::uint8_t* row = out + i * width;
    for (std::int64_t c = 0; c < width; ++c) row[c] = inWindow[c] > 0 ? 1 : 0;
    if (i + reach + 1 < height) addRow(i + reach + 1, 1);
    if (i - reach >= 0) addRow(i - reach, -1);
  }
}

}  // namespace letterforge
