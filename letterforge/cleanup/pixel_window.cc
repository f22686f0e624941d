#include "letterforge/cleanup/pixel_window.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "letterforge/cleanup/cell_dilation.h"

namespace letterforge {
namespace {

// std::lround clamped to 0..255, without the library call: below a half (NaN too) is 0, from
// 254.5 up is 255, and between them half is added in double, where it is exact, and cut off.
std::uint8_t toByte(float v) {
  if (!(v >= 0.5f)) return 0;
  if (v >= 254.5f) return 255;
  return static_cast<std::uint8_t>(static_cast<int>(static_cast<double>(v) + 0.5));
}

}  // namespace

PixelWindow copyWindow(const platform::PageBitmap& page, const PixelBounds& bounds) {
  PixelWindow window{.x0 = bounds.minX, .y0 = bounds.minY, .width = bounds.width,
                     .height = bounds.height};
  window.rgb.resize(static_cast<std::size_t>(3 * window.cells()));
  float* out = window.rgb.data();
  for (std::int64_t y = bounds.minY; y < bounds.maxY; ++y) {
    const std::uint32_t* row = page.rowWords(y);
    for (std::int64_t x = bounds.minX; x < bounds.maxX; ++x) {
      const std::uint32_t v = row[x];
      *out++ = static_cast<float>(v >> 16 & 0xffu);
      *out++ = static_cast<float>(v >> 8 & 0xffu);
      *out++ = static_cast<float>(v & 0xffu);
    }
  }
  return window;
}

std::vector<platform::Rgb8> writeMaskedCells(platform::PageBitmap& page, const PixelWindow& window,
                                             const CellGrid& mask) {
  std::vector<platform::Rgb8> replaced;
  forEachSetCell(mask, [&](std::int64_t cell) {
    const float* v = window.at(cell);
    const std::int64_t x = window.x0 + cell % window.width, y = window.y0 + cell / window.width;
    replaced.push_back(page.pixel(x, y));
    page.setPixel(x, y, {toByte(v[0]), toByte(v[1]), toByte(v[2])});
  });
  return replaced;
}

CellGrid emptyGrid(std::int64_t width, std::int64_t height) {
  return CellGrid{.width = width, .height = height,
                  .cells = std::vector<std::uint8_t>(static_cast<std::size_t>(width * height), 0)};
}

CellRange rangeOf(const PixelWindow& window, const PixelBounds& bounds) {
  return CellRange{.c0 = std::clamp(bounds.minX - window.x0, std::int64_t{0}, window.width),
                   .r0 = std::clamp(bounds.minY - window.y0, std::int64_t{0}, window.height),
                   .c1 = std::clamp(bounds.maxX - window.x0, std::int64_t{0}, window.width),
                   .r1 = std::clamp(bounds.maxY - window.y0, std::int64_t{0}, window.height)};
}

void fillRange(CellGrid& grid, const CellRange& range, std::uint8_t value) {
  for (std::int64_t r = range.r0; r < range.r1; ++r) {
    std::fill(grid.cells.begin() + r * grid.width + range.c0,
              grid.cells.begin() + r * grid.width + range.c1, value);
  }
}

CellGrid growCells(const CellGrid& grid, std::int64_t r, const CellRange& limit) {
  CellGrid grown = emptyGrid(grid.width, grid.height);
  const std::int64_t w = grid.width, h = grid.height;
  r = std::max<std::int64_t>(r, 0);
  const std::int64_t c0 = std::max<std::int64_t>(limit.c0, 0), c1 = std::min(limit.c1, w);
  const std::int64_t r0 = std::max<std::int64_t>(limit.r0, 0), r1 = std::min(limit.r1, h);
  if (c0 >= c1 || r0 >= r1) return grown;
  // Only the cells within r of the limit reach into it: the dilation runs over that block alone.
  const std::int64_t bc0 = std::max<std::int64_t>(c0 - r, 0), bc1 = std::min(c1 + r, w);
  const std::int64_t br0 = std::max<std::int64_t>(r0 - r, 0), br1 = std::min(r1 + r, h);
  const std::int64_t bw = bc1 - bc0, bh = br1 - br0;
  std::vector<std::uint8_t> rows(static_cast<std::size_t>(bw * bh)), all(rows.size());
  for (std::int64_t row = 0; row < bh; ++row) {
    dilateRow(&grid.cells[static_cast<std::size_t>((br0 + row) * w + bc0)], &rows[static_cast<std::size_t>(row * bw)],
              bw, r);
  }
  dilateColumns(rows.data(), all.data(), bw, bh, r);
  for (std::int64_t row = r0; row < r1; ++row) {
    const std::uint8_t* in = &all[static_cast<std::size_t>((row - br0) * bw + c0 - bc0)];
    std::uint8_t* out = &grown.cells[static_cast<std::size_t>(row * w + c0)];
    for (std::int64_t c = 0; c < c1 - c0; ++c) out[c] = in[c] != 0 ? 1 : 0;
  }
  return grown;
}

namespace {

constexpr std::uint64_t kLow = 0x7f7f7f7f7f7f7f7fu, kTop = 0x8080808080808080u;

// Eight cells read as one word.
std::uint64_t wordAt(const std::uint8_t* cells) {
  std::uint64_t word = 0;
  std::memcpy(&word, cells, 8);
  return word;
}

// The top bit of each byte of the word that is not zero: its low seven bits, carried into
// it, set it, and so does its own.
std::uint64_t setBytes(std::uint64_t word) { return (((word & kLow) + kLow) | word) & kTop; }

// Each byte of `cells` kept where the byte of `by` at its place is set (or, with `keep` false,
// where it is not), eight at a time.
void keepWhere(CellGrid& cells, const CellGrid& by, bool keep) {
  std::uint8_t* out = cells.cells.data();
  const std::uint8_t* flags = by.cells.data();
  const std::size_t n = cells.cells.size();
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    // 0x80 -> 0xff per set byte.
    const std::uint64_t set = (setBytes(wordAt(flags + i)) >> 7) * 0xffu;
    const std::uint64_t word = wordAt(out + i) & (keep ? set : ~set);
    std::memcpy(out + i, &word, 8);
  }
  for (; i < n; ++i) {
    if ((flags[i] != 0) != keep) out[i] = 0;
  }
}

}  // namespace

std::int64_t countSet(const CellGrid& grid) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  const std::uint8_t* cells = grid.cells.data();
  const std::size_t n = grid.cells.size();
  std::int64_t count = 0;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    // The flags moved to each byte's lowest bit and added up into the top byte.
    count += static_cast<std::int64_t>((setBytes(wordAt(cells + i)) >> 7) * kOnes >> 56);
  }
  for (; i < n; ++i) count += cells[i] != 0 ? 1 : 0;
  return count;
}

CellGrid within(CellGrid cells, const CellGrid& allowed) {
  keepWhere(cells, allowed, true);
  return cells;
}

CellGrid without(CellGrid cells, const CellGrid& taken) {
  keepWhere(cells, taken, false);
  return cells;
}

std::array<float, 3> medianOfCells(const PixelWindow& window, const std::vector<std::int64_t>& cells) {
  std::array<float, 3> median{};
  if (cells.empty()) return median;
  std::array<std::vector<float>, 3> channels;
  for (const std::int64_t i : cells) {
    for (int ch = 0; ch < 3; ++ch) channels[ch].push_back(window.at(i)[ch]);
  }
  for (int ch = 0; ch < 3; ++ch) {
    auto& v = channels[ch];
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    median[ch] = v[v.size() / 2];
  }
  return median;
}

std::vector<std::uint8_t> distanceTo(const CellGrid& from, std::uint8_t cap) {
  const std::int64_t w = from.width, h = from.height;
  std::vector<std::uint8_t> d(from.cells.size(), cap);
  auto at = [&](std::int64_t c, std::int64_t r) -> std::uint8_t& {
    return d[static_cast<std::size_t>(r * w + c)];
  };
  auto step = [&](std::int64_t c, std::int64_t r, std::int64_t nc, std::int64_t nr) {
    if (nc < 0 || nr < 0 || nc >= w || nr >= h) return;
    at(c, r) = std::min<std::uint8_t>(at(c, r), static_cast<std::uint8_t>(std::min<int>(at(nc, nr) + 1, cap)));
  };
  for (std::int64_t r = 0; r < h; ++r) {
    for (std::int64_t c = 0; c < w; ++c) {
      if (from.cells[static_cast<std::size_t>(r * w + c)] != 0) {
        at(c, r) = 0;
        continue;
      }
      step(c, r, c - 1, r);
      step(c, r, c - 1, r - 1);
      step(c, r, c, r - 1);
      step(c, r, c + 1, r - 1);
    }
  }
  for (std::int64_t r = h; r-- > 0;) {
    for (std::int64_t c = w; c-- > 0;) {
      step(c, r, c + 1, r);
      step(c, r, c + 1, r + 1);
      step(c, r, c, r + 1);
      step(c, r, c - 1, r + 1);
    }
  }
  return d;
}

std::vector<std::int64_t> cellsByDepth(const CellGrid& holes) {
  CellGrid solid = holes;
  for (auto& v : solid.cells) v = v != 0 ? 0 : 1;
  const auto depth = distanceTo(solid, 255);
  std::vector<std::int64_t> counts(257, 0);
  for (std::size_t i = 0; i < depth.size(); ++i) {
    if (holes.cells[i] != 0) ++counts[depth[i] + 1u];
  }
  for (std::size_t k = 1; k < counts.size(); ++k) counts[k] += counts[k - 1];
  std::vector<std::int64_t> order(static_cast<std::size_t>(counts.back()));
  for (std::size_t i = 0; i < depth.size(); ++i) {
    if (holes.cells[i] != 0) order[static_cast<std::size_t>(counts[depth[i]]++)] = static_cast<std::int64_t>(i);
  }
  return order;
}

void addEnclosed(CellGrid& cells) {
  const std::int64_t w = cells.width, h = cells.height;
  std::vector<std::uint8_t> open(cells.cells.size(), 0);
  std::vector<std::int64_t> pending;
  auto push = [&](std::int64_t c, std::int64_t r) {
    if (c < 0 || r < 0 || c >= w || r >= h) return;
    const auto i = static_cast<std::size_t>(r * w + c);
    if (open[i] != 0 || cells.cells[i] != 0) return;
    open[i] = 1;
    pending.push_back(r * w + c);
  };
  for (std::int64_t c = 0; c < w; ++c) {
    push(c, 0);
    push(c, h - 1);
  }
  for (std::int64_t r = 0; r < h; ++r) {
    push(0, r);
    push(w - 1, r);
  }
  while (!pending.empty()) {
    const std::int64_t i = pending.back();
    pending.pop_back();
    push(i % w - 1, i / w);
    push(i % w + 1, i / w);
    push(i % w, i / w - 1);
    push(i % w, i / w + 1);
  }
  for (std::size_t i = 0; i < open.size(); ++i) {
    if (open[i] == 0) cells.cells[i] = 1;
  }
}

CellGrid opened(const CellGrid& cells, std::int64_t size) {
  const std::int64_t w = cells.width, h = cells.height;
  CellGrid eroded = emptyGrid(w, h), out = emptyGrid(w, h);
  for (std::int64_t r = 0; r + size <= h; ++r) {
    for (std::int64_t c = 0; c + size <= w; ++c) {
      bool all = true;
      for (std::int64_t dr = 0; dr < size && all; ++dr) {
        for (std::int64_t dc = 0; dc < size && all; ++dc) all = cells.cells[static_cast<std::size_t>((r + dr) * w + c + dc)] != 0;
      }
      if (!all) continue;
      eroded.cells[static_cast<std::size_t>(r * w + c)] = 1;
      for (std::int64_t dr = 0; dr < size; ++dr) {
        for (std::int64_t dc = 0; dc < size; ++dc) out.cells[static_cast<std::size_t>((r + dr) * w + c + dc)] = 1;
      }
    }
  }
  return out;
}

std::vector<std::int32_t> labelGroups(const CellGrid& cells, std::int32_t& count) {
  const std::int64_t w = cells.width, h = cells.height;
  std::vector<std::int32_t> label(cells.cells.size(), 0);
  std::vector<std::int64_t> pending;
  count = 0;
  for (std::int64_t seed = 0; seed < w * h; ++seed) {
    if (label[static_cast<std::size_t>(seed)] != 0 || cells.cells[static_cast<std::size_t>(seed)] == 0) continue;
    label[static_cast<std::size_t>(seed)] = ++count;
    pending.assign(1, seed);
    while (!pending.empty()) {
      const std::int64_t cell = pending.back();
      pending.pop_back();
      const std::int64_t r = cell / w, c = cell % w;
      for (std::int64_t nr = std::max<std::int64_t>(r - 1, 0); nr <= std::min(r + 1, h - 1); ++nr) {
        for (std::int64_t nc = std::max<std::int64_t>(c - 1, 0); nc <= std::min(c + 1, w - 1); ++nc) {
          const auto next = static_cast<std::size_t>(nr * w + nc);
          if (label[next] != 0 || cells.cells[next] == 0) continue;
          label[next] = count;
          pending.push_back(nr * w + nc);
        }
      }
    }
  }
  return label;
}

}  // namespace letterforge
