#pragma once

// Private to platform/: the library's deflate compressor under the PNG writer, beside the
// writer's own pixel matcher (pixel_deflate.h). One implementation is built: ISA-L's where
// the build has it (LF_ISAL), zlib's otherwise. All write raw deflate, so that bands
// compressed apart join into one zlib stream.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

namespace platform {

// Output bytes that grow without being cleared first, kept by a thread from band to band.
struct GrowingBytes {
  std::unique_ptr<std::uint8_t[]> data{};
  std::size_t size = 0;
  std::size_t capacity = 0;

  // Room for `more` bytes past `size`; std::bad_alloc when it cannot be had.
  std::uint8_t* room(std::size_t more) {
    if (capacity - size < more) {
      const std::size_t grown = std::max(size + more, capacity * 2);
      std::unique_ptr<std::uint8_t[]> bigger(new std::uint8_t[grown]);
      if (size > 0) std::memcpy(bigger.get(), data.get(), size);
      data = std::move(bigger);
      capacity = grown;
    }
    return data.get() + size;
  }
};

// How far back a match may reach: the history a band starts from is at most this long.
inline constexpr std::size_t kDeflateWindow = 32 * 1024;

// How a piece of input ends: within its band, at the end of a band that others follow (a
// sync flush: the output ends on a byte boundary, no block is final), or at the end of the
// whole stream (the final block).
enum class DeflateEnd { kWithinBand, kBandEnd, kStreamEnd };

// Compresses bands one after another; one per thread. A band's output depends only on its
// bytes and on the history it is started with.
class BandDeflater {
 public:
  // `level`: the compressor's effort, brought within its range (0 to 3 with ISA-L, 0 to 9 with
  // zlib); below 0, defaultLevel().
  explicit BandDeflater(int level);
  ~BandDeflater();
  BandDeflater(const BandDeflater&) = delete;
  BandDeflater& operator=(const BandDeflater&) = delete;

  // False when the compressor could not be set up (out of memory).
  bool ready() const;
  // Starts a band. `history`: the stream's bytes just before the band, the last
  // kDeflateWindow of them (all of them when there are fewer; none at the stream's start).
  // Matches may reach into them, as a decoder has them.
  void startBand(std::span<const std::uint8_t> history);
  // Compresses `input` as the band's next bytes, appending the output to `out`. False when
  // the compressor fails; std::bad_alloc when `out` cannot grow.
  bool compress(std::span<const std::uint8_t> input, DeflateEnd end, GrowingBytes& out);

  // The compressor's range of levels, and the level for pages: zlib's 1, the fastest that
  // still finds repeats in a page's rows; ISA-L's 2, which takes what its level 1 takes
  // (the same instructions, a tenth more time) for a stream 3 % smaller.
  static int highestLevel();
  static int defaultLevel();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The Adler-32 checksum of `bytes` continued from `adler` (1 for none yet), and the CRC-32 of
// zlib and PNG continued from `crc` (0 for none yet), with the fastest routines the build has.
std::uint32_t adler32Of(std::uint32_t adler, std::span<const std::uint8_t> bytes);
std::uint32_t crc32Of(std::uint32_t crc, std::span<const std::uint8_t> bytes);

}  // namespace platform
