#pragma once

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <span>
#include <vector>

#include "letterforge/layout/render_item.h"
#include "platform/page_bitmap.h"

namespace letterforge {

// A set of non-negative cell indices, one bit per cell from 0 to the largest inserted.
// Negative indices are never members; inserting one does nothing.
class CellSet {
 public:
  class Iterator;

  CellSet() = default;
  CellSet(std::initializer_list<std::int64_t> cells);
  // The cells whose byte is not 0.
  static CellSet ofMarks(std::span<const std::uint8_t> marks);

  bool contains(std::int64_t cell) const {
    const auto word = static_cast<std::size_t>(cell >> 6);
    return cell >= 0 && word < words_.size() && (words_[word] >> (cell & 63) & 1) != 0;
  }
  void insert(std::int64_t cell) {
    if (cell < 0) return;
    const auto word = static_cast<std::size_t>(cell >> 6);
    if (word >= words_.size()) grow(word + 1);
    const std::uint64_t bit = std::uint64_t{1} << (cell & 63);
    count_ += (words_[word] & bit) == 0 ? 1 : 0;
    words_[word] |= bit;
  }
  void erase(std::int64_t cell);
  // Makes room for cells below cellCount, so inserting them does not reallocate.
  void reserve(std::int64_t cellCount);
  std::int64_t count() const { return count_; }
  bool empty() const { return count_ == 0; }

  // Members in ascending order.
  Iterator begin() const;
  Iterator end() const;

  // Same members, whatever room either set has.
  bool operator==(const CellSet& other) const;

 private:
  void grow(std::size_t words);

  std::vector<std::uint64_t> words_{};
  std::int64_t count_ = 0;
};

class CellSet::Iterator {
 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = std::int64_t;
  using difference_type = std::ptrdiff_t;
  using pointer = void;
  using reference = std::int64_t;
  Iterator() = default;
  // At the first member at or after `cell`, or at the end.
  Iterator(const std::vector<std::uint64_t>* words, std::int64_t cell);
  std::int64_t operator*() const { return cell_; }
  Iterator& operator++() {
    if (rest_ != 0) {
      cell_ = base_ + std::countr_zero(rest_);
      rest_ &= rest_ - 1;
    } else {
      nextWord();
    }
    return *this;
  }
  Iterator operator++(int) {
    Iterator before = *this;
    ++*this;
    return before;
  }
  bool operator==(const Iterator& other) const { return cell_ == other.cell_; }

 private:
  // Moves to the lowest member of the next word that has one, or to the end.
  void nextWord();
  const std::vector<std::uint64_t>* words_ = nullptr;
  std::size_t word_ = 0;    // the word holding cell_
  std::int64_t base_ = 0;   // its first cell
  std::uint64_t rest_ = 0;  // its members after cell_
  std::int64_t cell_ = 0;
};

// The lettering strokes of a window of the page. Cell row * width + column stands for page
// pixel (rect.x + column, rect.y + row).
struct TextMask {
  Rect rect{};
  CellSet pixels{};
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool operator==(const TextMask&) const = default;
};

// Marks the dark strokes inside `rect`, against a darkness limit taken from the paper on its
// border, and grows them (7 pixels on clean paper, else 2). Absent when the window is under
// 3 pixels in either direction or no pixel is dark enough to be lettering.
std::optional<TextMask> buildTextMask(const platform::PageBitmap& page, const Rect& rect);
// Grows every cell into the (2p + 1) x (2p + 1) square around it, p = max(passes, 1), cut at
// the window edges. Cells outside the width x height window are dropped.
CellSet dilateCells(const CellSet& cells, std::int64_t width, std::int64_t height,
                    std::int64_t passes);
// The cells of 8-connected groups of 3 or more cells inside the window.
CellSet dropSpecks(const CellSet& cells, std::int64_t width, std::int64_t height);
// Marked cells over the area of the mask's rect, the area taken as at least 1.
double maskCoverage(const TextMask& mask);

}  // namespace letterforge
