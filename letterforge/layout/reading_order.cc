#include "letterforge/layout/reading_order.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include "letterforge/layout/rect_geometry.h"

namespace letterforge {
namespace {

constexpr double kRowTolerance = 8.0;
constexpr std::size_t kInsertionSortLimit = 64;
constexpr std::size_t kRunLength = 32;

// Each item moves towards the front while it reads before the item just in front of it.
void insertionSort(std::vector<RenderItem>& items, std::size_t begin, std::size_t end) {
  for (std::size_t i = begin + 1; i < end; ++i) {
    std::size_t j = i;
    while (j > begin && readsBefore(items[j], items[j - 1])) {
      std::swap(items[j], items[j - 1]);
      --j;
    }
  }
}

// Merges the sorted ranges [begin, middle) and [middle, end) of `from` into `to`. An item of
// the right range goes first only when it reads before the left one, which keeps it stable.
void mergeRuns(std::vector<RenderItem>& from, std::vector<RenderItem>& to, std::size_t begin,
               std::size_t middle, std::size_t end) {
  std::size_t left = begin;
  std::size_t right = middle;
  for (std::size_t out = begin; out < end; ++out) {
    if (left < middle && (right >= end || !readsBefore(from[right], from[left]))) {
      to[out] = std::move(from[left++]);
    } else {
      to[out] = std::move(from[right++]);
    }
  }
}

void mergeSort(std::vector<RenderItem>& items) {
  const std::size_t count = items.size();
  for (std::size_t begin = 0; begin < count; begin += kRunLength) {
    insertionSort(items, begin, std::min(begin + kRunLength, count));
  }
  std::vector<RenderItem> buffer(count);
  for (std::size_t width = kRunLength; width < count; width *= 2) {
    for (std::size_t begin = 0; begin < count; begin += 2 * width) {
      const std::size_t middle = std::min(begin + width, count);
      const std::size_t end = std::min(begin + 2 * width, count);
      mergeRuns(items, buffer, begin, middle, end);
    }
    items.swap(buffer);
  }
}

}  // namespace

bool readsBefore(const RenderItem& a, const RenderItem& b) {
  const double dy = std::abs(midY(a.rect) - midY(b.rect));
  if (dy < kRowTolerance) return minX(a.rect) < minX(b.rect);
  return minY(a.rect) > minY(b.rect);
}

void sortReadingOrder(std::vector<RenderItem>& items) {
  if (items.size() < kInsertionSortLimit) {
    insertionSort(items, 0, items.size());
  } else {
    mergeSort(items);
  }
}

}  // namespace letterforge
