#include "platform/deflate_rows.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "platform/test_case_names.h"

namespace platform {
namespace {

using test_cases::PrintTo;
using Bytes = std::vector<std::uint8_t>;

std::uint8_t rowByte(std::int64_t row, std::int64_t i) { return static_cast<std::uint8_t>(row * 7 + i / 3); }

RowWriter patternRows(std::int64_t rowBytes) {
  return [rowBytes](std::int64_t first, std::int64_t count, std::uint8_t* out) {
    for (std::int64_t r = first; r < first + count; ++r) {
      for (std::int64_t i = 0; i < rowBytes; ++i) *out++ = rowByte(r, i);
    }
    return true;
  };
}

Bytes wholeStream(const DeflatedRows& rows) {
  Bytes stream;
  for (const auto& piece : rows.pieces) stream.insert(stream.end(), piece.begin(), piece.end());
  for (int shift = 24; shift >= 0; shift -= 8) stream.push_back(static_cast<std::uint8_t>(rows.adler >> shift));
  return stream;
}

struct StreamCase {
  const char* name;
  std::int64_t rows, rowBytes, bandBytes;
  std::size_t bands;  // worked out by hand
  RowCompressors compressors = RowCompressors::kLibrary;
};

class DeflateRowsTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(DeflateRowsTest, BandsJoinIntoOneZlibStream) {
  const StreamCase& c = GetParam();
  std::string failure;
  const RowStreamSettings settings{
      .rows = c.rows, .rowBytes = c.rowBytes, .compressors = c.compressors, .pixelBytes = 3, .threads = 1,
      .bandBytes = c.bandBytes};
  const auto rows = deflateRows(settings, patternRows(c.rowBytes), failure);
  ASSERT_TRUE(rows.has_value()) << failure;
  ASSERT_EQ(rows->pieces.size(), c.bands);
  EXPECT_EQ(rows->pieces.front()[0], 0x78);
  // A sync flush ends on an empty stored block: 00 00 FF FF.
  for (std::size_t i = 0; i + 1 < rows->pieces.size(); ++i) {
    const auto& piece = rows->pieces[i];
    ASSERT_GE(piece.size(), 4u);
    EXPECT_EQ(Bytes(piece.end() - 4, piece.end()), (Bytes{0x00, 0x00, 0xFF, 0xFF})) << "band " << i;
  }
  const Bytes stream = wholeStream(*rows);
  Bytes inflated(static_cast<std::size_t>(c.rows * c.rowBytes) + 1);
  uLongf size = inflated.size();
  ASSERT_EQ(uncompress(inflated.data(), &size, stream.data(), stream.size()), Z_OK);
  ASSERT_EQ(size, static_cast<uLongf>(c.rows * c.rowBytes));
  for (std::int64_t r = 0; r < c.rows; ++r) {
    for (std::int64_t i = 0; i < c.rowBytes; ++i) ASSERT_EQ(inflated[r * c.rowBytes + i], rowByte(r, i));
  }
  RowStreamSettings threaded = settings;
  threaded.threads = 3;
  const auto again = deflateRows(threaded, patternRows(c.rowBytes), failure);
  ASSERT_TRUE(again.has_value()) << failure;
  EXPECT_EQ(wholeStream(*again), stream);
}

INSTANTIATE_TEST_SUITE_P(Splits, DeflateRowsTest, ::testing::Values(
    StreamCase{"OneRowOneBand", 1, 10, 1000, 1},
    StreamCase{"EveryRowABand", 6, 10, 1, 6},
    StreamCase{"BandOfTwoRowsAtTheirExactSize", 5, 10, 20, 3},
    StreamCase{"BandJustShortOfTwoRows", 5, 10, 19, 5},
    StreamCase{"RowsLongerThanAChunk", 4, 200000, 400000, 2},
    StreamCase{"ManyChunksPerBand", 3000, 301, 301 * 1000, 3},
    StreamCase{"MatcherEveryRowABand", 6, 10, 1, 6, RowCompressors::kPixelMatcher},
    StreamCase{"MatcherRowsLongerThanAChunk", 4, 200001, 400002, 2, RowCompressors::kPixelMatcher},
    StreamCase{"MatcherManyChunksPerBand", 3000, 301, 301 * 1000, 3, RowCompressors::kPixelMatcher},
    StreamCase{"ChosenPerBandEveryRowABand", 6, 10, 1, 6, RowCompressors::kChosenPerBand},
    StreamCase{"ChosenPerBandRowsLongerThanAChunk", 4, 200001, 400002, 2, RowCompressors::kChosenPerBand},
    StreamCase{"ChosenPerBandManyChunksPerBand", 3000, 301, 301 * 1000, 3, RowCompressors::kChosenPerBand}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DeflateRowsTest, RowsTheWriterRefusesGiveNoStream) {
  std::string failure;
  const RowWriter refuseRowFive = [](std::int64_t first, std::int64_t count, std::uint8_t*) {
    return !(first <= 5 && 5 < first + count);
  };
  const auto rows = deflateRows(RowStreamSettings{.rows = 9, .rowBytes = 4, .threads = 2, .bandBytes = 4},
                                refuseRowFive, failure);
  ASSERT_TRUE(rows.has_value()) << failure;
  EXPECT_TRUE(rows->refused);
  EXPECT_TRUE(rows->pieces.empty());
}

TEST(DeflateRowsTest, NoRowsIsAFailure) {
  std::string failure;
  EXPECT_FALSE(deflateRows(RowStreamSettings{.rows = 0, .rowBytes = 4, .bandBytes = 4}, patternRows(4), failure));
  EXPECT_FALSE(failure.empty());
}

}  // namespace
}  // namespace platform
