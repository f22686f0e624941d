// The band compressor over zlib, for builds without ISA-L: the same stream layout, a few
// times slower.
#include "platform/band_deflater.h"

#include <algorithm>
#include <new>

#include "platform/adler32_wide.h"
#include "platform/zlib_deflate.h"

namespace platform {

struct BandDeflater::Impl {
  z_stream stream{};
  ~Impl() { deflateEnd(&stream); }
};

BandDeflater::BandDeflater(int level) {
  auto impl = std::unique_ptr<Impl>(new (std::nothrow) Impl);
  if (!impl) return;
  // Raw deflate (negative window bits): the zlib header and checksum are the writer's, once
  // for all the bands.
  const int effort = std::clamp(level < 0 ? defaultLevel() : level, 0, highestLevel());
  if (deflateInit2(&impl->stream, effort, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    return;
  }
  impl_ = std::move(impl);
}

BandDeflater::~BandDeflater() = default;

bool BandDeflater::ready() const { return impl_ != nullptr; }

int BandDeflater::defaultLevel() { return 1; }

int BandDeflater::highestLevel() { return Z_BEST_COMPRESSION; }

void BandDeflater::startBand(std::span<const std::uint8_t> history) {
  history = history.last(std::min(history.size(), kDeflateWindow));
  deflateReset(&impl_->stream);
  if (!history.empty()) {
    deflateSetDictionary(&impl_->stream, history.data(), static_cast<uInt>(history.size()));
  }
}

bool BandDeflater::compress(std::span<const std::uint8_t> input, DeflateEnd end, GrowingBytes& out) {
  const int flush = end == DeflateEnd::kStreamEnd ? Z_FINISH
                    : end == DeflateEnd::kBandEnd ? Z_SYNC_FLUSH
                                                  : Z_NO_FLUSH;
  return zlibDeflate(impl_->stream, input, flush, out);
}

std::uint32_t adler32Of(std::uint32_t adler, std::span<const std::uint8_t> bytes) {
  if (hasWideAdler32()) return adler32Wide(adler, bytes);
  return static_cast<std::uint32_t>(adler32_z(adler, bytes.data(), bytes.size()));
}

std::uint32_t crc32Of(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint32_t>(crc32_z(crc, bytes.data(), bytes.size()));
}

}  // namespace platform
