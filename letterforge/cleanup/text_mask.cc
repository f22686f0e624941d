#include "letterforge/cleanup/text_mask.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <vector>

#include "letterforge/cleanup/cell_dilation.h"
#include "letterforge/layout/rect_geometry.h"
#include "letterforge/raster/pixel_sampling.h"

namespace letterforge {
namespace {

constexpr std::int64_t kWordBits = 64;

std::size_t wordIndex(std::int64_t cell) { return static_cast<std::size_t>(cell / kWordBits); }
std::uint64_t bitOf(std::int64_t cell) { return std::uint64_t{1} << (cell % kWordBits); }

// Number of cells of a width x height window; absent for an empty or impossibly large one.
std::optional<std::int64_t> windowCells(std::int64_t width, std::int64_t height) {
  if (width <= 0 || height <= 0) return std::nullopt;
  if (width > std::numeric_limits<std::int64_t>::max() / height) return std::nullopt;
  return width * height;
}

struct Threshold {
  double darkerThan = 0.0;
  std::int64_t passes = 0;
};

// Clean white paper takes a limit just under the paper and generous growth, so antialiased
// stroke edges go too; on anything else the limit stays well under the paper.
Threshold strokeThreshold(double ringMedian, const std::optional<GridBrightness>& grid) {
  constexpr double kCleanPaperMin = 0.68, kCleanBrightMin = 0.68, kCleanColourfulMax = 0.08;
  const bool clean =
      ringMedian >= kCleanPaperMin && (!grid || (grid->brightFraction >= kCleanBrightMin &&
                                                 grid->colourfulFraction <= kCleanColourfulMax));
  if (clean) {
    double t = ringMedian - 0.03;
    if (ringMedian - 0.03 >= 0.82) t = 0.82;
    return Threshold{.darkerThan = std::max(t, 0.26), .passes = 7};
  }
  double t = ringMedian - 0.16;
  if (ringMedian - 0.16 >= 0.58) t = 0.58;
  return Threshold{.darkerThan = std::max(t, 0.1), .passes = 2};
}

}  // namespace

CellSet::CellSet(std::initializer_list<std::int64_t> cells) {
  for (std::int64_t cell : cells) insert(cell);
}

CellSet CellSet::ofMarks(std::span<const std::uint8_t> marks) {
  constexpr std::size_t kBits = kWordBits;
  CellSet set;
  set.words_.assign((marks.size() + kBits - 1) / kBits, 0);
  // Eight marks at a time where a word holds them in order: each byte is folded onto its lowest
  // bit, and one product gathers the eight bits into its top byte, byte k to bit 56 + k.
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 8 <= marks.size(); i += 8) {
      std::uint64_t eight = 0;
      std::memcpy(&eight, marks.data() + i, sizeof eight);
      eight |= eight >> 4;
      eight |= eight >> 2;
      eight |= eight >> 1;
      const std::uint64_t bits = ((eight & 0x0101010101010101u) * 0x0102040810204080u) >> 56;
      set.words_[i / kBits] |= bits << (i % kBits);
    }
  }
  for (; i < marks.size(); ++i) {
    set.words_[i / kBits] |= std::uint64_t{marks[i] != 0} << (i % kBits);
  }
  for (const std::uint64_t word : set.words_) set.count_ += std::popcount(word);
  return set;
}

void CellSet::grow(std::size_t words) { words_.resize(words, 0); }

void CellSet::erase(std::int64_t cell) {
  if (!contains(cell)) return;
  words_[wordIndex(cell)] &= ~bitOf(cell);
  --count_;
}

void CellSet::reserve(std::int64_t cellCount) {
  if (cellCount > 0) words_.reserve(wordIndex(cellCount - 1) + 1);
}

CellSet::Iterator CellSet::begin() const { return Iterator(&words_, 0); }

CellSet::Iterator CellSet::end() const {
  return Iterator(&words_, static_cast<std::int64_t>(words_.size()) * kWordBits);
}

bool CellSet::operator==(const CellSet& other) const {
  if (count_ != other.count_) return false;
  const std::size_t shared = std::min(words_.size(), other.words_.size());
  // Equal counts and equal shared words leave no member beyond the shorter set.
  return std::equal(words_.begin(), words_.begin() + static_cast<std::ptrdiff_t>(shared),
                    other.words_.begin());
}

CellSet::Iterator::Iterator(const std::vector<std::uint64_t>* words, std::int64_t cell)
    : words_(words) {
  const std::int64_t endCell = static_cast<std::int64_t>(words_->size()) * kWordBits;
  if (cell >= endCell) {
    cell_ = endCell;
    return;
  }
  word_ = wordIndex(cell);
  const std::uint64_t members = (*words_)[word_] & (~std::uint64_t{0} << (cell % kWordBits));
  if (members == 0) {
    nextWord();
    return;
  }
  base_ = static_cast<std::int64_t>(word_) * kWordBits;
  cell_ = base_ + std::countr_zero(members);
  rest_ = members & (members - 1);
}

void CellSet::Iterator::nextWord() {
  while (++word_ < words_->size()) {
    const std::uint64_t members = (*words_)[word_];
    if (members != 0) {
      base_ = static_cast<std::int64_t>(word_) * kWordBits;
      cell_ = base_ + std::countr_zero(members);
      rest_ = members & (members - 1);
      return;
    }
  }
  cell_ = static_cast<std::int64_t>(words_->size()) * kWordBits;
  rest_ = 0;
}

std::optional<TextMask> buildTextMask(const platform::PageBitmap& page, const Rect& rect) {
  constexpr std::int64_t kSideMin = 3;
  const PixelBounds b = pixelBounds(page, rect);
  if (b.width < kSideMin || b.height < kSideMin) return std::nullopt;
  const Threshold t = strokeThreshold(borderLuminanceMedian(page, b), gridBrightness(page, b));

  CellSet strokes;
  strokes.reserve(b.width * b.height);
  for (std::int64_t y = b.minY; y < b.maxY; ++y) {
    for (std::int64_t x = b.minX; x < b.maxX; ++x) {
      if (luminance(page.pixel(x, y)) < t.darkerThan) {
        strokes.insert((y - b.minY) * b.width + (x - b.minX));
      }
    }
  }
  if (strokes.empty()) return std::nullopt;
  return TextMask{.rect = {double(b.minX), double(b.minY), double(b.width), double(b.height)},
                  .pixels = dilateCells(strokes, b.width, b.height, t.passes),
                  .width = b.width,
                  .height = b.height};
}

CellSet dilateCells(const CellSet& cells, std::int64_t width, std::int64_t height,
                    std::int64_t passes) {
  const auto total = windowCells(width, height);
  if (!total) return {};
  // p passes of the 3 x 3 step make a square of reach p, which splits into a row pass and a
  // column pass; a reach beyond the window changes nothing.
  const std::int64_t reach = std::min(std::max<std::int64_t>(passes, 1), std::max(width, height));
  std::vector<std::uint8_t> marked(static_cast<std::size_t>(*total), 0);
  for (std::int64_t cell : cells) {
    if (cell >= *total) break;
    marked[static_cast<std::size_t>(cell)] = 1;
  }
  std::vector<std::uint8_t> rows(marked.size(), 0);
  for (std::int64_t r = 0; r < height; ++r) dilateRow(&marked[r * width], &rows[r * width], width, reach);
  dilateColumns(rows.data(), marked.data(), width, height, reach);
  return CellSet::ofMarks(marked);
}

CellSet dropSpecks(const CellSet& cells, std::int64_t width, std::int64_t height) {
  const auto total = windowCells(width, height);
  if (!total) return {};
  std::vector<std::uint8_t> marked(static_cast<std::size_t>(*total), 0);
  for (std::int64_t cell : cells) {
    if (cell >= *total) break;
    marked[static_cast<std::size_t>(cell)] = 1;
  }
  // The marked cells among the 8 around (row, column), cut at the window edges; `only`, when
  // given, receives the last one found.
  const auto neighbours = [&](std::int64_t row, std::int64_t column, std::int64_t* only) {
    if (only == nullptr && row > 0 && row < height - 1 && column > 0 && column < width - 1) {
      const std::uint8_t* above = marked.data() + (row - 1) * width + column;
      const std::uint8_t* here = above + width;
      const std::uint8_t* below = here + width;
      return above[-1] + above[0] + above[1] + here[-1] + here[1] + below[-1] + below[0] + below[1];
    }
    int count = 0;
    const std::int64_t rowEnd = std::min(row + 1, height - 1);
    const std::int64_t columnEnd = std::min(column + 1, width - 1);
    for (std::int64_t r = std::max<std::int64_t>(row - 1, 0); r <= rowEnd; ++r) {
      for (std::int64_t c = std::max<std::int64_t>(column - 1, 0); c <= columnEnd; ++c) {
        const std::int64_t at = r * width + c;
        if (marked[static_cast<std::size_t>(at)] != 0 && (r != row || c != column)) {
          ++count;
          if (only != nullptr) *only = at;
        }
      }
    }
    return count;
  };
  // A group of 3 or more is told apart without walking it: a cell with two neighbours or more
  // is in one, a cell with none is alone, and a cell with exactly one is in one when that
  // neighbour has another besides it.
  CellSet kept;
  kept.reserve(*total);
  std::int64_t row = 0;
  std::int64_t rowStart = 0;
  for (std::int64_t cell : cells) {
    if (cell >= *total) break;
    while (cell >= rowStart + width) {
      rowStart += width;
      ++row;
    }
    const std::int64_t column = cell - rowStart;
    const int count = neighbours(row, column, nullptr);
    std::int64_t other = 0;
    if (count >= 2 || (count == 1 && (neighbours(row, column, &other),
                                      neighbours(other / width, other % width, nullptr) >= 2))) {
      kept.insert(cell);
    }
  }
  return kept;
}

double maskCoverage(const TextMask& mask) {
  const double area = width(mask.rect) * height(mask.rect);
  return static_cast<double>(mask.pixels.count()) / (area >= 1.0 ? area : 1.0);
}

}  // namespace letterforge
