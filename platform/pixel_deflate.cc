// Greedy matching at pixel starts: each pixel start is looked up by its first three bytes in
// a table of the last pixel start that had them, and takes the match found there when it is
// within the window, as long as it runs. The input is gathered behind the window's last 32
// KiB of history, which slides forward as the band goes.
#include "platform/pixel_deflate.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "platform/deflate_blocks.h"

namespace platform {
namespace {

constexpr int kHashBits = 14;
constexpr std::size_t kSlabBytes = 256 * 1024;  // input gathered behind the window at a time
constexpr std::size_t kSlack = 8;               // zero bytes after the input, for wide loads
constexpr unsigned kMinMatch = 3;
constexpr unsigned kMaxMatch = 258;
constexpr unsigned kEnterAllBelow = 16;  // longer matches enter only their last pixel

// The first three bytes at `p`, the lowest first; the fourth is read too (the window has
// slack past its end).
std::uint32_t threeBytes(const std::uint8_t* p) {
  std::uint32_t word;
  std::memcpy(&word, p, 4);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap32(word);
  return word & 0xFFFFFFu;
}

std::uint32_t hashOf(std::uint32_t key) { return (key * 0x9E3779B1u) >> (32 - kHashBits); }

// Equal bytes of `a` and `b` from the start, at most `most`; both may be read 8 bytes past.
unsigned equalBytes(const std::uint8_t* a, const std::uint8_t* b, unsigned most) {
  unsigned n = 0;
  while (n < most) {
    std::uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) {
      // The first differing byte: the lowest in memory is the word's low end on a little-endian machine.
      const int bit = std::endian::native == std::endian::little ? __builtin_ctzll(x ^ y) : __builtin_clzll(x ^ y);
      return std::min(most, n + static_cast<unsigned>(bit / 8));
    }
    n += 8;
  }
  return most;
}

}  // namespace

struct PixelDeflater::State {
  DeflateBlockWriter blocks{};
  std::vector<std::uint32_t> head = std::vector<std::uint32_t>(std::size_t{1} << kHashBits);  // index + 1; 0 none
  std::vector<std::uint8_t> window = std::vector<std::uint8_t>(kDeflateWindow + kSlabBytes + kSlack);
  std::size_t filled = 0;  // bytes of the window in use; all of them compressed or history
  RowLayout layout{};
  std::int64_t column = 0;  // of the next byte in its row; 0 the filter-type byte
  int phase = 0;            // of the next byte in its pixel

  // The position in its pixel of the byte at `column` (1 or more), without a division for
  // the usual pixel sizes.
  int phaseAt(std::int64_t at) const {
    switch (layout.pixelBytes) {
      case 1: return 0;
      case 3: return static_cast<int>((at - 1) % 3);
      case 4: return static_cast<int>((at - 1) & 3);
      default: return static_cast<int>((at - 1) % layout.pixelBytes);
    }
  }

  // Moves on by `count` bytes, at most a match's length.
  void advance(std::int64_t count) {
    column += count;
    while (column >= layout.rowBytes) column -= layout.rowBytes;
    phase = column == 0 ? 0 : phaseAt(column);
  }

  // Keeps the window's last 32 KiB at its start; the table's entries move with them.
  void slide() {
    const std::size_t shift = filled - kDeflateWindow;
    std::memmove(window.data(), window.data() + shift, kDeflateWindow);
    filled = kDeflateWindow;
    for (auto& entry : head) entry = entry > shift ? static_cast<std::uint32_t>(entry - shift) : 0;
  }

  void literals(std::size_t from, std::size_t count) {
    for (std::size_t i = from; i < from + count; ++i) blocks.literal(window[i]);
  }

  bool pixelStart() const { return column != 0 && phase == 0; }

  void enter(std::size_t i) {
    head[hashOf(threeBytes(window.data() + i))] = static_cast<std::uint32_t>(i + 1);
  }

  // Enters the pixel starts inside a match of `length` from the pixel start `i` (the current
  // column): every one in a short match; in a long one, mostly a run of flat colour, only the
  // last pixel's, where the next match is likely to be found.
  void enterInside(std::size_t i, unsigned length) {
    const std::size_t end = std::min<std::size_t>(i + length, filled - kMinMatch + 1);
    const auto pixel = static_cast<std::size_t>(layout.pixelBytes);
    if (length > kEnterAllBelow) {
      const std::size_t last = i + length - pixel;
      std::int64_t lastColumn = column + length - layout.pixelBytes;
      while (lastColumn >= layout.rowBytes) lastColumn -= layout.rowBytes;
      if (last < end && lastColumn != 0 && phaseAt(lastColumn) == 0) enter(last);
      return;
    }
    std::int64_t c = column;
    for (std::size_t k = i + pixel;; k += pixel) {
      c += layout.pixelBytes;
      if (c == layout.rowBytes) {  // the filter-type byte of the next row comes first
        ++k;
        c = 1;
      }
      if (k >= end) return;
      enter(k);
    }
  }

  // Moves on by `count` literals that end at a pixel's end, or cut short by the input's end.
  void advanceToPixelEnd(std::size_t count) {
    column += static_cast<std::int64_t>(count);
    if (column == layout.rowBytes) column = 0;
    phase = column == 0 ? 0 : phaseAt(column);
  }

  // Tokens for the pixels from the pixel start `i` on, in its row, up to the pixel that
  // begins a match longer than itself, the window's last bytes or a full block; returns
  // where the next token begins. Most of the work of noisy rows is here, so the loop carries
  // no bookkeeping but the column. `kPixelBytes`: the layout's, fixed for the usual sizes so
  // that the divisions and the pixel's loops are made at compile time; 0 to read it.
  template <int kPixelBytes>
  std::size_t pixelRun(std::size_t i) {
    const std::uint8_t* bytes = window.data();
    const std::size_t end = filled;
    const int pixelBytes = kPixelBytes != 0 ? kPixelBytes : layout.pixelBytes;
    const auto pixel = static_cast<std::size_t>(pixelBytes);
    const std::size_t tail = std::max<std::size_t>(pixel, kMinMatch);  // what a lookup needs
    const std::size_t count = std::min({static_cast<std::size_t>(layout.rowBytes - column) / pixel,
                                        (end - i - tail) / pixel + 1,
                                        (DeflateBlockWriter::kBlockTokens - blocks.pendingTokens()) / pixel});
    for (std::size_t n = 0; n < count; ++n) {
      // The match and the pixel's literals are both made ready and one is kept: in noise
      // which it will be is a coin toss, too dear to guess at.
      const std::uint32_t key = threeBytes(bytes + i);
      std::uint32_t& slot = head[hashOf(key)];
      const std::uint32_t candidate = slot;
      slot = static_cast<std::uint32_t>(i + 1);
      const std::uint8_t* prior = bytes + (candidate != 0 ? candidate - 1 : 0);
      const std::size_t distance = i + 1 - candidate;
      const bool matched = (candidate != 0) & (distance <= kDeflateWindow) & (threeBytes(prior) == key);
      const unsigned most = static_cast<unsigned>(std::min<std::size_t>(kMaxMatch, end - i));
      const unsigned length = kMinMatch + equalBytes(prior + kMinMatch, bytes + i + kMinMatch, most - kMinMatch);
      blocks.pixelOrMatch(bytes + i, pixelBytes, matched, length, matched ? static_cast<unsigned>(distance) : 1);
      if (matched & (length != pixel)) {
        enterInside(i, length);
        advance(length);
        return i + length;
      }
      i += pixel;
      column += pixelBytes;
    }
    if (column == layout.rowBytes) column = 0;
    return i;
  }

  // Tokens for window bytes [from, filled).
  void compressWindow(std::size_t from, GrowingBytes& out) {
    const std::size_t end = filled;
    const auto pixel = static_cast<std::size_t>(layout.pixelBytes);
    std::size_t i = from;
    while (i < end) {
      if (blocks.pendingTokens() + pixel > DeflateBlockWriter::kBlockTokens) blocks.writeBlock(false, out);
      if (column == 0) {  // the filter-type byte
        blocks.literal(window[i++]);
        column = 1;
        phase = 0;
        continue;
      }
      const std::size_t left = end - i;
      if (phase != 0) {  // the rest of a pixel a match ended inside
        const std::size_t count = std::min<std::size_t>(pixel - static_cast<std::size_t>(phase), left);
        literals(i, count);
        i += count;
        advanceToPixelEnd(count);
        continue;
      }
      if (left < std::max<std::size_t>(pixel, kMinMatch)) {  // the input's last bytes
        literals(i, left);
        i += left;
        advanceToPixelEnd(left);
        continue;
      }
      switch (layout.pixelBytes) {
        case 3: i = pixelRun<3>(i); break;
        case 4: i = pixelRun<4>(i); break;
        default: i = pixelRun<0>(i); break;
      }
    }
  }
};

PixelDeflater::PixelDeflater() {
  try {
    state_ = std::make_unique<State>();
  } catch (const std::bad_alloc&) {
    state_.reset();
  }
}

PixelDeflater::~PixelDeflater() = default;

bool PixelDeflater::ready() const { return state_ != nullptr; }

void PixelDeflater::startBand(std::span<const std::uint8_t> history, RowLayout layout) {
  State& s = *state_;
  s.blocks.reset();
  std::fill(s.head.begin(), s.head.end(), 0);
  history = history.last(std::min(history.size(), kDeflateWindow));
  std::memcpy(s.window.data(), history.data(), history.size());
  std::memset(s.window.data() + history.size(), 0, kSlack);
  s.filled = history.size();
  s.layout = RowLayout{.rowBytes = std::max<std::int64_t>(layout.rowBytes, 1),
                       .pixelBytes = std::max(layout.pixelBytes, 1)};
  // The history's pixel starts, entered as the band's own are: the band starts a row, so
  // the history's first byte lies at the column its distance back gives.
  const std::int64_t rowBytes = s.layout.rowBytes, pixel = s.layout.pixelBytes;
  const std::int64_t back = static_cast<std::int64_t>(history.size()) % rowBytes;
  std::int64_t c = back == 0 ? 0 : rowBytes - back;
  for (std::size_t k = 0; k + kMinMatch <= history.size();) {
    // The filter-type byte, a pixel start, or a pixel cut by the history's start.
    const int phase = c == 0 ? 0 : s.phaseAt(c);
    const std::int64_t step = c == 0 ? 1 : pixel - phase;
    if (c != 0 && phase == 0) s.enter(k);
    k += static_cast<std::size_t>(step);
    c += step;
    if (c == rowBytes) c = 0;
  }
  s.column = 0;
  s.phase = 0;
}

void PixelDeflater::compress(std::span<const std::uint8_t> input, DeflateEnd end, GrowingBytes& out) {
  State& s = *state_;
  while (!input.empty()) {
    if (s.filled == s.window.size() - kSlack) s.slide();
    const std::size_t take = std::min(input.size(), s.window.size() - kSlack - s.filled);
    const std::size_t from = s.filled;
    std::memcpy(s.window.data() + from, input.data(), take);
    s.filled += take;
    std::memset(s.window.data() + s.filled, 0, kSlack);
    input = input.subspan(take);
    s.compressWindow(from, out);
  }
  if (end == DeflateEnd::kWithinBand) return;
  s.blocks.writeBlock(end == DeflateEnd::kStreamEnd, out);
  if (end == DeflateEnd::kBandEnd) s.blocks.syncFlush(out);
}

}  // namespace platform
