// Bands are handed out to the threads in order; each is filtered a cache-sized chunk at a
// time, the chunk's checksum taken and the chunk compressed while it is still in cache. A
// band starts from the window of rows before it, as parallel gzip writers do: the result
// does not depend on which thread compressed which band. A
// thread's bands follow one another in its own output memory, kept from band to band, so
// that the only other copy is the one into the finished file. The bands' checksums combine
// into the stream's as if one pass had read all the rows.
#include "platform/deflate_rows.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "platform/pixel_deflate.h"

namespace platform {
namespace {

// Rows are filtered into about this much memory at a time: it stays in the processor's
// second-level cache between the filter, the checksum and the compressor.
constexpr std::int64_t kChunkBytes = 128 * 1024;
constexpr std::int64_t kMostReserved = std::int64_t{256} << 20;
// The zlib header: deflate with a 32 KiB window, no dictionary, fastest-level mark.
constexpr std::uint8_t kZlibHeader[2] = {0x78, 0x01};

struct Band {
  std::size_t thread = 0;  // whose output holds it
  std::size_t offset = 0;
  std::size_t size = 0;
  std::uint32_t adler = 1;
  std::int64_t rawBytes = 0;
};

enum class Outcome { kGoing, kRefused, kFailed };

// A thread's band compressor. Choosing per band, both compress the band's first chunk to a
// byte boundary (a sync flush, which a stream may have anywhere); one output is kept and its
// compressor goes on with the band. The matcher takes one and a half to three times the
// library's time, so it is kept only where it saves at least a twentieth.
class BandCompressor {
  static constexpr std::size_t kMatcherGainNum = 19;  // the matcher's output under 19/20 of the library's
  static constexpr std::size_t kMatcherGainDen = 20;

 public:
  explicit BandCompressor(const RowStreamSettings& settings)
      : layout_{.rowBytes = settings.rowBytes, .pixelBytes = settings.pixelBytes} {
    if (settings.compressors != RowCompressors::kLibrary) pixels_.emplace();
    if (settings.compressors != RowCompressors::kPixelMatcher) library_.emplace(settings.level);
  }
  bool ready() const { return (!pixels_ || pixels_->ready()) && (!library_ || library_->ready()); }

  void startBand(std::span<const std::uint8_t> history) {
    if (pixels_) pixels_->startBand(history, layout_);
    if (library_) library_->startBand(history);
    undecided_ = pixels_ && library_;
    usePixels_ = pixels_.has_value();
  }

  // Where the band's next `size` bytes are best written: in the matcher's window while it may
  // take them; null for anywhere.
  std::uint8_t* inputRoom(std::size_t size) { return pixels_ && usePixels_ ? pixels_->inputRoom(size) : nullptr; }

  bool compress(std::span<const std::uint8_t> input, DeflateEnd end, GrowingBytes& out) {
    if (undecided_) return compressBoth(input, end, out);
    if (!usePixels_) return library_->compress(input, end, out);
    pixels_->compress(input, end, out);
    return true;
  }

 private:
  bool compressBoth(std::span<const std::uint8_t> input, DeflateEnd end, GrowingBytes& out) {
    const DeflateEnd flushed = end == DeflateEnd::kWithinBand ? DeflateEnd::kBandEnd : end;
    pixelTrial_.size = 0;
    libraryTrial_.size = 0;
    pixels_->compress(input, flushed, pixelTrial_);
    if (!library_->compress(input, flushed, libraryTrial_)) return false;
    undecided_ = false;
    usePixels_ = pixelTrial_.size * kMatcherGainDen < libraryTrial_.size * kMatcherGainNum;
    const GrowingBytes& kept = usePixels_ ? pixelTrial_ : libraryTrial_;
    if (kept.size > 0) std::memcpy(out.room(kept.size), kept.data.get(), kept.size);
    out.size += kept.size;
    return true;
  }

  RowLayout layout_;
  std::optional<PixelDeflater> pixels_{};
  std::optional<BandDeflater> library_{};
  bool undecided_ = false;
  bool usePixels_ = false;
  GrowingBytes pixelTrial_{}, libraryTrial_{};
};

struct Shared {
  const RowStreamSettings& settings;
  const RowWriter& writer;
  std::int64_t bandRows = 1;
  std::int64_t chunkRows = 1;
  std::vector<Band> bands{};
  std::vector<GrowingBytes> outputs{};  // one per thread
  std::atomic<std::size_t> next{0};
  std::atomic<Outcome> outcome{Outcome::kGoing};
  std::mutex failureLock{};
  std::string failure{};

  void refuse() {
    Outcome going = Outcome::kGoing;
    outcome.compare_exchange_strong(going, Outcome::kRefused);
  }
  void fail(const std::string& why) {
    const std::lock_guard lock(failureLock);
    if (failure.empty()) failure = why;
    outcome = Outcome::kFailed;
  }
};

Outcome compressBand(Shared& shared, std::size_t index, std::size_t thread, BandCompressor& deflater,
                     std::vector<std::uint8_t>& chunk) {
  const RowStreamSettings& s = shared.settings;
  const std::int64_t first = static_cast<std::int64_t>(index) * shared.bandRows;
  const std::int64_t end = std::min(s.rows, first + shared.bandRows);
  GrowingBytes& out = shared.outputs[thread];
  Band& band = shared.bands[index];
  band.thread = thread;
  band.offset = out.size;
  if (index == 0) {
    std::memcpy(out.room(sizeof kZlibHeader), kZlibHeader, sizeof kZlibHeader);
    out.size += sizeof kZlibHeader;
  }
  // The rows just before the band are its history, as they are the decoder's: written again
  // here (into the chunk, which holds them), they let matches reach back across the start.
  const auto window = static_cast<std::int64_t>(kDeflateWindow);
  const std::int64_t historyRows = std::min(first, (window + s.rowBytes - 1) / s.rowBytes);
  if (historyRows > 0 && !shared.writer(first - historyRows, historyRows, chunk.data())) return Outcome::kRefused;
  deflater.startBand(std::span<const std::uint8_t>(chunk.data(), static_cast<std::size_t>(historyRows * s.rowBytes)));
  for (std::int64_t row = first; row < end; row += shared.chunkRows) {
    if (shared.outcome != Outcome::kGoing) return Outcome::kGoing;
    const std::int64_t count = std::min(shared.chunkRows, end - row);
    const auto bytes = static_cast<std::size_t>(count * s.rowBytes);
    std::uint8_t* const room = deflater.inputRoom(bytes);
    std::uint8_t* const rows = room != nullptr ? room : chunk.data();
    if (!shared.writer(row, count, rows)) return Outcome::kRefused;
    const std::span<const std::uint8_t> input(rows, bytes);
    band.adler = adler32Of(band.adler, input);
    band.rawBytes += static_cast<std::int64_t>(input.size());
    const DeflateEnd ending = row + count < end ? DeflateEnd::kWithinBand
                              : end < s.rows    ? DeflateEnd::kBandEnd
                                                : DeflateEnd::kStreamEnd;
    if (!deflater.compress(input, ending, out)) return Outcome::kFailed;
  }
  band.size = out.size - band.offset;
  return Outcome::kGoing;
}

// One thread's share: bands in turn until none is left or the stream is given up.
void work(Shared& shared, std::size_t thread) {
  try {
    BandCompressor deflater(shared.settings);
    if (!deflater.ready()) throw std::bad_alloc();
    // The chunk also holds a band's history: a window's worth of rows fits in it.
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(shared.chunkRows * shared.settings.rowBytes));
    // Room for this thread's share of the rows uncompressed: memory not written to costs
    // nothing, and the output seldom has to move as it grows.
    const std::int64_t share = shared.settings.rows * shared.settings.rowBytes /
                               static_cast<std::int64_t>(shared.outputs.size());
    shared.outputs[thread].room(static_cast<std::size_t>(std::min(share, kMostReserved)));
    while (shared.outcome == Outcome::kGoing) {
      const std::size_t index = shared.next.fetch_add(1);
      if (index >= shared.bands.size()) return;
      switch (compressBand(shared, index, thread, deflater, chunk)) {
        case Outcome::kRefused: shared.refuse(); return;
        case Outcome::kFailed: shared.fail("the compressor failed"); return;
        case Outcome::kGoing: break;
      }
    }
  } catch (const std::bad_alloc&) {
    shared.fail("out of memory");
  }
}

void runOnThreads(Shared& shared) {
  std::vector<std::thread> helpers;
  // The calling thread is thread 0; a thread the system refuses is one fewer.
  for (std::size_t i = 1; i < shared.outputs.size(); ++i) {
    try {
      helpers.emplace_back(work, std::ref(shared), i);
    } catch (const std::system_error&) {
      break;
    }
  }
  work(shared, 0);
  for (std::thread& helper : helpers) helper.join();
}

}  // namespace

std::int64_t rowsPerBand(std::int64_t rowBytes, std::int64_t bandBytes) {
  return std::max<std::int64_t>(1, bandBytes / std::max<std::int64_t>(rowBytes, 1));
}

std::optional<DeflatedRows> deflateRows(const RowStreamSettings& settings, const RowWriter& writer,
                                        std::string& failure) {
  if (settings.rows < 1 || settings.rowBytes < 1) {
    failure = "no rows to compress";
    return std::nullopt;
  }
  Shared shared{.settings = settings, .writer = writer};
  shared.bandRows = rowsPerBand(settings.rowBytes, settings.bandBytes);
  shared.chunkRows = std::max<std::int64_t>(1, kChunkBytes / settings.rowBytes);
  const auto bandCount = static_cast<std::size_t>((settings.rows + shared.bandRows - 1) / shared.bandRows);
  try {
    shared.bands.resize(bandCount);
    shared.outputs.resize(std::clamp<std::size_t>(static_cast<std::size_t>(std::max(settings.threads, 1)), 1, bandCount));
  } catch (const std::bad_alloc&) {
    failure = "out of memory";
    return std::nullopt;
  }
  runOnThreads(shared);
  if (shared.outcome == Outcome::kRefused) return DeflatedRows{.refused = true};
  if (shared.outcome == Outcome::kFailed) {
    failure = shared.failure;
    return std::nullopt;
  }
  DeflatedRows rows{.storage = std::move(shared.outputs)};
  try {
    rows.pieces.reserve(bandCount);
  } catch (const std::bad_alloc&) {
    failure = "out of memory";
    return std::nullopt;
  }
  for (const Band& band : shared.bands) {
    rows.pieces.emplace_back(rows.storage[band.thread].data.get() + band.offset, band.size);
    rows.adler = static_cast<std::uint32_t>(adler32_combine(rows.adler, band.adler, static_cast<z_off_t>(band.rawBytes)));
  }
  return rows;
}

}  // namespace platform
