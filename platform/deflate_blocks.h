#pragma once

// Private to platform/: deflate blocks with Huffman codes made for their own literals and
// matches, for a compressor that finds the matches itself.
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/band_deflater.h"

namespace platform {

namespace deflate_codes {

// A match length's symbol (257 to 285) and extra bits, by length 3 to 258.
struct LengthSymbols {
  std::array<std::uint16_t, 259> symbol{};
  std::array<std::uint8_t, 259> extra{};  // the extra bits' value
};
inline constexpr LengthSymbols kLengthSymbols = [] {
  constexpr unsigned base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  LengthSymbols table;
  for (unsigned length = 3; length <= 258; ++length) {
    unsigned code = 0;
    while (code < 28 && base[code + 1] <= length) ++code;
    table.symbol[length] = static_cast<std::uint16_t>(257 + code);
    table.extra[length] = static_cast<std::uint8_t>(length - base[code]);
  }
  return table;
}();

// A distance's code, 0 to 29.
inline unsigned distanceCode(unsigned distance) {
  const unsigned d = distance - 1;
  if (d < 4) return d;
  const int high = 31 - __builtin_clz(d);
  return 2 * static_cast<unsigned>(high) + ((d >> (high - 1)) & 1);
}

// The first distance of each code.
inline constexpr std::array<std::uint16_t, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};

}  // namespace deflate_codes

// Literals and matches gathered into blocks of at most kBlockTokens, each with its own codes.
class DeflateBlockWriter {
 public:
  static constexpr std::size_t kBlockTokens = 32 * 1024;

  DeflateBlockWriter();

  // Tokens of the next block: at most kBlockTokens are pending. `length` 3 to 258,
  // `distance` 1 to 32768.
  void literal(std::uint8_t byte) { tokens_[pending_++] = literalToken(byte); }
  void match(unsigned length, unsigned distance) { tokens_[pending_++] = matchToken(length, distance); }
  // For a loop writing many tokens: it writes them from tokenCursor() on (at most kBlockTokens
  // pending in all) and hands back its cursor to takeTokens, so that nothing of the writer's
  // is kept in memory while it runs.
  std::uint32_t* tokenCursor() { return tokens_.data() + pending_; }
  void takeTokens(const std::uint32_t* end) { pending_ = static_cast<std::size_t>(end - tokens_.data()); }
  // Writes at `next` the `pixelBytes` literals at `pixel` (1 to 4), or when `matched` the
  // match, whichever it is with the same work; returns where the next token goes.
  static std::uint32_t* pixelOrMatch(std::uint32_t* next, const std::uint8_t* pixel, int pixelBytes, bool matched,
                                     unsigned length, unsigned distance) {
    for (int b = 0; b < pixelBytes; ++b) next[b] = literalToken(pixel[b]);
    // Chosen with masks: a compiler would make a branch of a conditional.
    const std::uint32_t keep = 0u - static_cast<std::uint32_t>(matched);
    next[0] = (matchToken(length, distance) & keep) | (next[0] & ~keep);
    return next + pixelBytes - ((static_cast<std::uint32_t>(pixelBytes) - 1) & keep);
  }
  std::size_t pendingTokens() const { return pending_; }

  // Writes the pending tokens as one block (the last of the stream when `last`; then the
  // output ends on a byte boundary) to `out`; std::bad_alloc when `out` cannot grow.
  void writeBlock(bool last, GrowingBytes& out);
  // Ends the output on a byte boundary, no block final: an empty stored block.
  void syncFlush(GrowingBytes& out);
  // Forgets pending tokens and bits, for a new stream or band.
  void reset();

 private:
  // A token: the literal or length symbol, the length's extra bits, the distance code (30
  // for none) and the distance's extra bits, so that each is written the same way.
  static constexpr unsigned kLengthExtraShift = 9;
  static constexpr unsigned kDistanceShift = 14;
  static constexpr unsigned kDistanceExtraShift = 19;
  static constexpr std::uint32_t kNoDistance = 30;

  // Bits on their way out, least significant first.
  struct BitSink {
    std::uint64_t buffer = 0;
    int count = 0;                   // 0 to 7 between writes
    std::uint8_t* cursor = nullptr;  // where the next whole bytes go, inside the reserved room

    // Adds up to 56 bits; whole bytes go out at once, 8 bytes stored whatever their number.
    void put(std::uint64_t bits, int bitCount) {
      buffer |= bits << count;
      count += bitCount;
      // One store of the buffer's bytes, lowest first (a loop of byte stores is not merged).
      const std::uint64_t lowFirst = std::endian::native == std::endian::little ? buffer : __builtin_bswap64(buffer);
      std::memcpy(cursor, &lowFirst, 8);
      cursor += count >> 3;
      buffer >>= count & ~7;  // at most 63 bits in all, so the shift stays under 64
      count &= 7;
    }
  };

  static std::uint32_t literalToken(std::uint8_t byte) { return byte | kNoDistance << kDistanceShift; }
  static std::uint32_t matchToken(unsigned length, unsigned distance) {
    const unsigned code = deflate_codes::distanceCode(distance);
    return deflate_codes::kLengthSymbols.symbol[length] |
           unsigned{deflate_codes::kLengthSymbols.extra[length]} << kLengthExtraShift | code << kDistanceShift |
           (distance - deflate_codes::kDistanceBase[code]) << kDistanceExtraShift;
  }

  void putBits(std::uint64_t bits, int count) { sink_.put(bits, count); }
  void alignToByte();
  void writeTokens(const std::uint8_t* lengths, const std::uint8_t* distanceLengths);
  void countTokens();

  std::vector<std::uint32_t> tokens_{};
  std::size_t pending_ = 0;
  // Of the pending tokens, counted when their block is written: literals, end of block and
  // lengths; distance codes, the last for literals.
  std::array<std::uint32_t, 286> literalCounts_{};
  std::array<std::uint32_t, 31> distanceCounts_{};
  BitSink sink_{};
};

}  // namespace platform
