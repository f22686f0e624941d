#pragma once

// Private to platform/: rows of an image compressed into one zlib stream, in bands that
// several threads compress at once.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/band_deflater.h"

namespace platform {

// Writes rows [first, first + count) as they enter the stream, `rowBytes` bytes each, to
// `out`; false when they cannot be written so (the stream is then given up). Called from
// several threads at once, for different rows.
using RowWriter = std::function<bool(std::int64_t first, std::int64_t count, std::uint8_t* out)>;

// Which compressor takes a band: the library's deflate (BandDeflater), the writer's own
// pixel matcher (PixelDeflater), or the one the band's first chunk of rows favours (the
// matcher when it makes them a twentieth smaller). The library is the better and faster in
// smooth and digital colour, the matcher in fine noise whose pixels repeat whole.
enum class RowCompressors { kLibrary, kPixelMatcher, kChosenPerBand };

struct RowStreamSettings {
  std::int64_t rows = 0;
  std::int64_t rowBytes = 0;
  int level = -1;  // the library's effort (see BandDeflater)
  RowCompressors compressors = RowCompressors::kLibrary;
  int pixelBytes = 1;        // of the pixels after each row's filter-type byte, for the matcher
  int threads = 1;           // bands compressed at once
  std::int64_t bandBytes = 0;  // uncompressed bytes of a band: whole rows, at least one
};

// The rows of a band: whole rows of at most `bandBytes`, one row at least. The split depends
// on nothing else, so the stream's bytes are the same whatever the number of threads.
std::int64_t rowsPerBand(std::int64_t rowBytes, std::int64_t bandBytes);

// The zlib stream of the rows: the pieces in order, one per band (the first begins with the
// stream's header; each but the last ends with a sync flush), then the rows' Adler-32,
// most significant byte first.
struct DeflatedRows {
  std::vector<std::span<const std::uint8_t>> pieces{};  // into `storage`
  std::uint32_t adler = 1;
  std::vector<GrowingBytes> storage{};  // the threads' output
  bool refused = false;  // the writer refused some rows; no pieces
};

// Absent when the stream cannot be made (out of memory, the compressor failed), with
// `failure` describing it.
std::optional<DeflatedRows> deflateRows(const RowStreamSettings& settings, const RowWriter& writer,
                                        std::string& failure);

}  // namespace platform
