#include "platform/pixel_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/test_case_names.h"

namespace platform {
namespace {

using test_cases::PrintTo;
using Bytes = std::vector<std::uint8_t>;

enum class Content {
  kNoise,          // every byte random
  kPaletteNoise,   // pixels drawn from 256 colours: repeats of one pixel, seldom of two
  kFlat,           // one colour, so long runs
  kRepeatedRows,   // one random row again and again
};

// Rows of `rowBytes`, each a filter-type byte then pixels of `pixelBytes`.
Bytes makeRows(Content content, std::int64_t rows, std::int64_t rowBytes, int pixelBytes) {
  std::minstd_rand random(12345);  // the same numbers everywhere
  Bytes palette(256 * static_cast<std::size_t>(pixelBytes));
  for (auto& b : palette) b = static_cast<std::uint8_t>(random());
  Bytes firstRow(static_cast<std::size_t>(rowBytes));
  for (auto& b : firstRow) b = static_cast<std::uint8_t>(random());
  Bytes bytes;
  for (std::int64_t r = 0; r < rows; ++r) {
    bytes.push_back(2);
    for (std::int64_t x = 0; x + 1 < rowBytes; x += pixelBytes) {
      const std::size_t colour = random() % 256;
      for (int c = 0; c < pixelBytes && x + c + 1 < rowBytes; ++c) {
        switch (content) {
          case Content::kNoise: bytes.push_back(static_cast<std::uint8_t>(random())); break;
          case Content::kPaletteNoise: bytes.push_back(palette[colour * pixelBytes + c]); break;
          case Content::kFlat: bytes.push_back(static_cast<std::uint8_t>(40 + c)); break;
          case Content::kRepeatedRows: bytes.push_back(firstRow[x + c + 1]); break;
        }
      }
    }
  }
  return bytes;
}

// The zlib stream of `bytes` compressed in bands of `bandRows` rows, each band started from
// the bytes before it and fed `callBytes` at a time, written in the deflater's own room where
// it gives one when `inPlace`; `deflater` does every band.
Bytes compressInBands(PixelDeflater& deflater, const Bytes& bytes, RowLayout layout, std::int64_t bandRows,
                      std::size_t callBytes, bool inPlace = false) {
  GrowingBytes out;
  const std::size_t bandBytes = static_cast<std::size_t>(bandRows * layout.rowBytes);
  for (std::size_t band = 0; band < bytes.size(); band += bandBytes) {
    const std::size_t bandEnd = std::min(bytes.size(), band + bandBytes);
    deflater.startBand(std::span<const std::uint8_t>(bytes.data(), band), layout);
    for (std::size_t at = band; at < bandEnd; at += callBytes) {
      const std::size_t end = std::min(bandEnd, at + callBytes);
      const DeflateEnd ending = end < bandEnd           ? DeflateEnd::kWithinBand
                                : bandEnd < bytes.size() ? DeflateEnd::kBandEnd
                                                         : DeflateEnd::kStreamEnd;
      std::span<const std::uint8_t> input(bytes.data() + at, end - at);
      std::uint8_t* room = inPlace ? deflater.inputRoom(input.size()) : nullptr;
      if (room != nullptr) input = {std::copy(input.begin(), input.end(), room) - input.size(), input.size()};
      deflater.compress(input, ending, out);
    }
  }
  Bytes stream(2 + out.size);
  stream[0] = 0x78;
  stream[1] = 0x01;
  std::copy(out.data.get(), out.data.get() + out.size, stream.begin() + 2);
  const auto adler = static_cast<std::uint32_t>(adler32(1, bytes.data(), static_cast<uInt>(bytes.size())));
  for (int shift = 24; shift >= 0; shift -= 8) stream.push_back(static_cast<std::uint8_t>(adler >> shift));
  return stream;
}

struct PixelCase {
  const char* name;
  Content content;
  std::int64_t rows, rowBytes;
  int pixelBytes;
  std::int64_t bandRows;
  std::size_t callBytes;
};

class PixelDeflaterTest : public ::testing::TestWithParam<PixelCase> {};

TEST_P(PixelDeflaterTest, StreamInflatesToItsRows) {
  const PixelCase& c = GetParam();
  const Bytes bytes = makeRows(c.content, c.rows, c.rowBytes, c.pixelBytes);
  const RowLayout layout{.rowBytes = c.rowBytes, .pixelBytes = c.pixelBytes};
  PixelDeflater deflater;
  ASSERT_TRUE(deflater.ready());
  const Bytes stream = compressInBands(deflater, bytes, layout, c.bandRows, c.callBytes);
  Bytes inflated(bytes.size() + 1);
  uLongf size = inflated.size();
  ASSERT_EQ(uncompress(inflated.data(), &size, stream.data(), stream.size()), Z_OK);
  inflated.resize(size);
  ASSERT_EQ(inflated, bytes);
  // Whatever a deflater did before, a band's bytes are the same: threads take bands in any order.
  PixelDeflater fresh;
  EXPECT_EQ(compressInBands(fresh, bytes, layout, c.bandRows, c.callBytes), stream);
  // Rows written straight into the deflater's window come out as those copied there.
  EXPECT_EQ(compressInBands(fresh, bytes, layout, c.bandRows, c.callBytes, true), stream);
}

INSTANTIATE_TEST_SUITE_P(Rows, PixelDeflaterTest, ::testing::Values(
    PixelCase{"OneByte", Content::kNoise, 1, 1, 1, 1, 1},
    PixelCase{"OnePixelRows", Content::kPaletteNoise, 50, 4, 3, 7, 13},
    PixelCase{"NoiseRgbInManyCalls", Content::kNoise, 40, 1 + 3 * 333, 3, 9, 1000},
    PixelCase{"PaletteRgbBandsOfOneRow", Content::kPaletteNoise, 30, 1 + 3 * 100, 3, 1, 4096},
    PixelCase{"PaletteRgbaPastTheWindow", Content::kPaletteNoise, 200, 1 + 4 * 1000, 4, 90, 64 * 1024},
    PixelCase{"GreyRowsOfOddWidth", Content::kPaletteNoise, 64, 1 + 777, 1, 20, 5000},
    PixelCase{"TwoBytePixelsAcrossCalls", Content::kPaletteNoise, 64, 1 + 2 * 301, 2, 20, 5000},
    PixelCase{"FlatRowsMakeLongMatches", Content::kFlat, 300, 1 + 3 * 2480, 3, 100, 128 * 1024},
    PixelCase{"RowsRepeatAtTheWindowsLength", Content::kRepeatedRows, 12, 32768, 1, 5, 70000},
    PixelCase{"RowsRepeatJustBeyondTheWindow", Content::kRepeatedRows, 12, 32769, 1, 12, 70000},
    PixelCase{"ManyCallsThroughSlides", Content::kPaletteNoise, 400, 1 + 3 * 1000, 3, 400, 7 * 1024},
    PixelCase{"CallsLargerThanTheWindowsRoom", Content::kPaletteNoise, 40, 1 + 3 * 40000, 3, 40, 1500 * 1024}),
    [](const auto& info) { return std::string(info.param.name); });

// Fine noise whose pixels repeat whole, as a photograph's filtered rows do: the matches of one
// pixel are what make it smaller, and they come out at least as small as zlib's fastest level.
TEST(PixelDeflaterTest, PixelRepeatsCompressAsWellAsZlibsFastestLevel) {
  const Bytes bytes = makeRows(Content::kPaletteNoise, 100, 1 + 3 * 1000, 3);
  PixelDeflater deflater;
  const Bytes stream = compressInBands(deflater, bytes, RowLayout{.rowBytes = 1 + 3 * 1000, .pixelBytes = 3}, 100,
                                       bytes.size());
  Bytes zlibStream(compressBound(static_cast<uLong>(bytes.size())));
  uLongf zlibSize = zlibStream.size();
  ASSERT_EQ(compress2(zlibStream.data(), &zlibSize, bytes.data(), bytes.size(), 1), Z_OK);
  EXPECT_LE(stream.size(), zlibSize);
}

}  // namespace
}  // namespace platform
