// The band compressor over ISA-L's deflate, several times faster than zlib's fastest level.
// ISA-L's fast levels choose their matches in a stream's first window (before 32 KiB of
// history exist) by what they find at addresses beyond that history, so their output there
// changes with where the memory lies. That stretch is compressed by zlib instead; ISA-L then
// always starts from a full window of real history, and the bytes depend on the rows alone.
#include "platform/band_deflater.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "platform/adler32_wide.h"
#include "platform/cpu_features.h"
#include "platform/zlib_deflate.h"

namespace platform {
namespace {

// The library also reads a few kilobytes before its level buffer, so the buffer starts this
// far into memory that stays zero.
constexpr std::size_t kLevelBufferLead = 64 * 1024;

std::uint32_t levelBufferSize(int level) {
  switch (level) {
    case 1: return ISAL_DEF_LVL1_DEFAULT;
    case 2: return ISAL_DEF_LVL2_DEFAULT;
    case 3: return ISAL_DEF_LVL3_DEFAULT;
    default: return 0;
  }
}


}  // namespace

struct BandDeflater::Impl {
  isal_zstream stream{};
  std::unique_ptr<std::uint8_t[]> levelStorage{};  // the lead, then the level buffer
  std::uint8_t* levelBuffer = nullptr;
  std::uint32_t levelBufferSize = 0;
  std::uint32_t level = 1;
  z_stream zlib{};
  bool zlibReady = false;
  std::vector<std::uint8_t> window{};  // the band's history while it is shorter than a window
  bool usingIsal = false;

  ~Impl() {
    if (zlibReady) deflateEnd(&zlib);
  }

  // Everything is cleared, so that the output depends on the window and what follows alone.
  void startIsal(std::span<const std::uint8_t> history) {
    stream = isal_zstream{};
    if (levelBufferSize > 0) std::memset(levelBuffer, 0, levelBufferSize);
    isal_deflate_init(&stream);
    stream.level = level;
    stream.level_buf = levelBuffer;
    stream.level_buf_size = levelBufferSize;
    stream.gzip_flag = IGZIP_DEFLATE;
    isal_deflate_set_dict(&stream, const_cast<std::uint8_t*>(history.data()),
                          static_cast<std::uint32_t>(history.size()));
    usingIsal = true;
  }

  bool isalCompress(std::span<const std::uint8_t> input, DeflateEnd end, GrowingBytes& out) {
    stream.next_in = const_cast<std::uint8_t*>(input.data());  // read, never written
    stream.avail_in = static_cast<std::uint32_t>(input.size());
    stream.end_of_stream = end == DeflateEnd::kStreamEnd ? 1 : 0;
    stream.flush = end == DeflateEnd::kBandEnd ? SYNC_FLUSH : NO_FLUSH;
    // Output room of a third of the input fits a page's rows in one call; more is made as needed.
    const std::size_t room = std::max<std::size_t>(input.size() / 3, 4096);
    do {
      stream.next_out = out.room(room);
      stream.avail_out = static_cast<std::uint32_t>(room);
      const int status = isal_deflate(&stream);
      clearUpperVectorHalves();
      out.size += room - stream.avail_out;
      if (status != COMP_OK) return false;
    } while (stream.avail_out == 0 || stream.avail_in > 0 ||
             (end == DeflateEnd::kStreamEnd && stream.internal_state.state != ZSTATE_END));
    return true;
  }
};

BandDeflater::BandDeflater(int level) {
  auto impl = std::unique_ptr<Impl>(new (std::nothrow) Impl);
  if (!impl) return;
  const int effort = std::clamp(level < 0 ? defaultLevel() : level, 0, highestLevel());
  impl->level = static_cast<std::uint32_t>(effort);
  impl->levelBufferSize = levelBufferSize(static_cast<int>(impl->level));
  if (impl->levelBufferSize > 0) {
    impl->levelStorage.reset(new (std::nothrow) std::uint8_t[kLevelBufferLead + impl->levelBufferSize]());
    if (!impl->levelStorage) return;
    impl->levelBuffer = impl->levelStorage.get() + kLevelBufferLead;
  }
  // zlib's fastest level for the first window, raw deflate: the header is the writer's.
  if (deflateInit2(&impl->zlib, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return;
  impl->zlibReady = true;
  impl->window.reserve(kDeflateWindow);
  impl_ = std::move(impl);
}

BandDeflater::~BandDeflater() = default;

bool BandDeflater::ready() const { return impl_ != nullptr; }

int BandDeflater::defaultLevel() { return 2; }

int BandDeflater::highestLevel() { return ISAL_DEF_MAX_LEVEL; }

void BandDeflater::startBand(std::span<const std::uint8_t> history) {
  Impl& impl = *impl_;
  history = history.last(std::min(history.size(), kDeflateWindow));
  if (history.size() == kDeflateWindow) {
    impl.startIsal(history);
    return;
  }
  impl.usingIsal = false;
  impl.window.assign(history.begin(), history.end());
  deflateReset(&impl.zlib);
  if (!history.empty()) {
    deflateSetDictionary(&impl.zlib, history.data(), static_cast<uInt>(history.size()));
  }
}

bool BandDeflater::compress(std::span<const std::uint8_t> input, DeflateEnd end, GrowingBytes& out) {
  Impl& impl = *impl_;
  if (!impl.usingIsal) {
    const std::size_t take = std::min(input.size(), kDeflateWindow - impl.window.size());
    const std::span<const std::uint8_t> first = input.first(take);
    input = input.subspan(take);
    impl.window.insert(impl.window.end(), first.begin(), first.end());
    const bool windowFull = impl.window.size() == kDeflateWindow;
    // The switch to ISA-L needs the output on a byte boundary: a sync flush.
    int flush = Z_NO_FLUSH;
    if (input.empty() && end == DeflateEnd::kStreamEnd) {
      flush = Z_FINISH;
    } else if ((input.empty() && end == DeflateEnd::kBandEnd) || windowFull) {
      flush = Z_SYNC_FLUSH;
    }
    if (!zlibDeflate(impl.zlib, first, flush, out)) return false;
    if (!windowFull || (input.empty() && end != DeflateEnd::kWithinBand)) return true;
    impl.startIsal(impl.window);
    if (input.empty()) return true;
  }
  return impl.isalCompress(input, end, out);
}

std::uint32_t adler32Of(std::uint32_t adler, std::span<const std::uint8_t> bytes) {
  if (hasWideAdler32()) return adler32Wide(adler, bytes);
  const std::uint32_t sum = isal_adler32(adler, bytes.data(), bytes.size());
  clearUpperVectorHalves();
  return sum;
}

std::uint32_t crc32Of(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  const std::uint32_t sum = crc32_gzip_refl(crc, bytes.data(), bytes.size());
  clearUpperVectorHalves();
  return sum;
}

}  // namespace platform
