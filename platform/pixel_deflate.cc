// Greedy matching at pixel starts: each pixel start is looked up by its first three bytes in
// a table of the last pixel start that had them, and takes the match found there when it is
// within the window, as long as it runs. The input is gathered behind the window's last 32
// KiB of history, which slides forward as the band goes.
#include "platform/pixel_deflate.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/deflate_blocks.h"

namespace platform {
namespace {

constexpr int kHashBits = 14;
// Input gathered behind the window at a time: the window slides, and its table's entries
// move, once a slab.
constexpr std::size_t kSlabBytes = 1024 * 1024;
constexpr std::size_t kSlack = 16;  // zero bytes after the input, for wide loads
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

// The eight bytes at `p`, the lowest in memory the word's lowest.
std::uint64_t littleEndianWord(const std::uint8_t* p) {
  std::uint64_t word;
  std::memcpy(&word, p, 8);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

std::uint32_t hashOf(std::uint32_t key) { return (key * 0x9E3779B1u) >> (32 - kHashBits); }

// Equal bytes of `a` and `b` from the start, at most `most`; both may be read 16 bytes past.
// The whole of a flat colour's long matches is compared here.
unsigned equalBytes(const std::uint8_t* a, const std::uint8_t* b, unsigned most) {
  unsigned n = 0;
#ifdef __SSE2__
  for (; n < most; n += 16) {
    const __m128i same = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + n)),
                                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + n)));
    const auto differ = static_cast<unsigned>(_mm_movemask_epi8(same)) ^ 0xFFFFu;
    if (differ != 0) return std::min(most, n + static_cast<unsigned>(__builtin_ctz(differ)));
  }
#else
  for (; n < most; n += 8) {
    const std::uint64_t differ = littleEndianWord(a + n) ^ littleEndianWord(b + n);
    if (differ != 0) return std::min(most, n + static_cast<unsigned>(__builtin_ctzll(differ)) / 8);
  }
#endif
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

  // Slides the window when `size` more bytes would not fit, or a slab's worth when `size` is
  // more: input is cut only where it must be, the same way whether or not it was written in
  // place, since a cut ends matches and lookups.
  void makeRoom(std::size_t size) {
    if (window.size() - kSlack - filled < std::min(size, kSlabBytes)) slide();
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
  // where the next token begins. Most of the work of noisy rows is here, so the loop keeps
  // nothing in memory but the table and the tokens. `kPixelBytes`: the layout's, fixed for
  // the usual sizes so that the divisions and the pixel's loops are made at compile time; 0
  // to read it.
  template <int kPixelBytes>
  std::size_t pixelRun(std::size_t i) {
    const std::uint8_t* bytes = window.data();
    std::uint32_t* table = head.data();
    const std::size_t end = filled;
    const int pixelBytes = kPixelBytes != 0 ? kPixelBytes : layout.pixelBytes;
    const auto pixel = static_cast<std::size_t>(pixelBytes);
    const std::size_t tail = std::max<std::size_t>(pixel, kMinMatch);  // what a lookup needs
    const std::size_t count = std::min({static_cast<std::size_t>(layout.rowBytes - column) / pixel,
                                        (end - i - tail) / pixel + 1,
                                        (DeflateBlockWriter::kBlockTokens - blocks.pendingTokens()) / pixel});
    std::uint32_t* tokens = blocks.tokenCursor();
    for (std::size_t n = 0; n < count; ++n) {
      // The match and the pixel's literals are both made ready and one is kept: in noise
      // which it will be is a coin toss, too dear to guess at.
      const std::uint32_t key = threeBytes(bytes + i);
      std::uint32_t& slot = table[hashOf(key)];
      const std::uint32_t candidate = slot;
      slot = static_cast<std::uint32_t>(i + 1);
      const std::uint8_t* prior = bytes + (candidate != 0 ? candidate - 1 : 0);
      const std::size_t distance = i + 1 - candidate;
      const unsigned most = static_cast<unsigned>(std::min<std::size_t>(kMaxMatch, end - i));
      // A match in noise ends within its first eight bytes: one comparison finds its length.
      const std::uint64_t differ = littleEndianWord(prior) ^ littleEndianWord(bytes + i);
      unsigned length = differ != 0 ? static_cast<unsigned>(__builtin_ctzll(differ)) / 8
                                    : 8 + equalBytes(prior + 8, bytes + i + 8, std::max(most, 8u) - 8);
      length = std::min(length, most);
      const bool matched = (candidate != 0) & (distance <= kDeflateWindow) & (length >= kMinMatch);
      tokens = DeflateBlockWriter::pixelOrMatch(tokens, bytes + i, pixelBytes, matched, length,
                                                matched ? static_cast<unsigned>(distance) : 1);
      if (matched & (length != pixel)) {
        blocks.takeTokens(tokens);
        column += static_cast<std::int64_t>(n) * pixelBytes;
        enterInside(i, length);
        advance(length);
        return i + length;
      }
      i += pixel;
    }
    blocks.takeTokens(tokens);
    column += static_cast<std::int64_t>(count) * pixelBytes;
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
  std::size_t k = 0;
  if (c != 0 && s.phaseAt(c) != 0) {  // a pixel cut by the history's start
    const std::int64_t rest = pixel - s.phaseAt(c);
    k += static_cast<std::size_t>(rest);
    c = c + rest == rowBytes ? 0 : c + rest;
  }
  while (k + kMinMatch <= history.size()) {
    if (c == 0) {  // the filter-type byte, a row's only byte when the rows are empty
      ++k;
      c = rowBytes == 1 ? 0 : 1;
      continue;
    }
    s.enter(k);
    k += static_cast<std::size_t>(pixel);
    c = c + pixel == rowBytes ? 0 : c + pixel;
  }
  s.column = 0;
  s.phase = 0;
}

std::uint8_t* PixelDeflater::inputRoom(std::size_t size) {
  State& s = *state_;
  if (size > kSlabBytes) return nullptr;
  s.makeRoom(size);
  return s.window.data() + s.filled;
}

void PixelDeflater::compress(std::span<const std::uint8_t> input, DeflateEnd end, GrowingBytes& out) {
  State& s = *state_;
  while (!input.empty()) {
    s.makeRoom(input.size());
    const std::size_t take = std::min(input.size(), s.window.size() - kSlack - s.filled);
    const std::size_t from = s.filled;
    if (input.data() != s.window.data() + from) std::memcpy(s.window.data() + from, input.data(), take);
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
