#include "platform/deflate_blocks.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/test_case_names.h"

namespace platform {
namespace {

using test_cases::PrintTo;
using Bytes = std::vector<std::uint8_t>;

// Raw deflate inflated; absent when zlib refuses it.
std::optional<Bytes> inflateRaw(const GrowingBytes& out, std::size_t expected) {
  z_stream stream{};
  if (inflateInit2(&stream, -15) != Z_OK) return std::nullopt;
  Bytes bytes(expected + 1);
  stream.next_in = out.data.get();
  stream.avail_in = static_cast<uInt>(out.size);
  stream.next_out = bytes.data();
  stream.avail_out = static_cast<uInt>(bytes.size());
  const int status = inflate(&stream, Z_FINISH);
  bytes.resize(stream.total_out);
  inflateEnd(&stream);
  if (status != Z_STREAM_END) return std::nullopt;
  return bytes;
}

struct BlockCase {
  const char* name;
  Bytes literals;  // written as literals, then each match copies the bytes at its distance
  std::vector<std::pair<unsigned, unsigned>> matches{};  // length, distance
};

// Counts growing as the Fibonacci numbers give a Huffman code deeper than deflate allows.
Bytes fibonacciLiterals(int symbols) {
  Bytes bytes;
  std::uint32_t a = 1, b = 1;
  for (int s = 0; s < symbols; ++s) {
    bytes.insert(bytes.end(), a, static_cast<std::uint8_t>(s));
    const std::uint32_t c = a + b;
    a = b;
    b = c;
  }
  return bytes;
}

class DeflateBlockWriterTest : public ::testing::TestWithParam<BlockCase> {};

TEST_P(DeflateBlockWriterTest, BlockInflatesToItsTokens) {
  const BlockCase& c = GetParam();
  DeflateBlockWriter writer;
  Bytes expected;
  GrowingBytes out;
  for (const std::uint8_t byte : c.literals) {
    if (writer.pendingTokens() == DeflateBlockWriter::kBlockTokens) writer.writeBlock(false, out);
    writer.literal(byte);
    expected.push_back(byte);
  }
  for (const auto& [length, distance] : c.matches) {
    if (writer.pendingTokens() == DeflateBlockWriter::kBlockTokens) writer.writeBlock(false, out);
    writer.match(length, distance);
    for (unsigned i = 0; i < length; ++i) expected.push_back(expected[expected.size() - distance]);
  }
  writer.writeBlock(true, out);
  EXPECT_EQ(inflateRaw(out, expected.size()), std::optional<Bytes>(expected));
}

INSTANTIATE_TEST_SUITE_P(Tokens, DeflateBlockWriterTest, ::testing::Values(
    BlockCase{"OneLiteral", {7}},
    BlockCase{"NoLiteralsButTheEnd", {}},
    BlockCase{"EveryLiteral", [] { Bytes b; for (int i = 0; i < 256; ++i) b.push_back(static_cast<std::uint8_t>(i)); return b; }()},
    BlockCase{"CountsTooSkewedForFifteenBits", fibonacciLiterals(24)},
    BlockCase{"ShortestAndLongestMatches", {1, 2, 3}, {{3, 3}, {258, 1}, {258, 6}, {4, 1}}},
    BlockCase{"MatchAtTheWholeWindow", Bytes(32768, 9), {{3, 32768}, {10, 32768}}},
    BlockCase{"EveryLengthCode",  Bytes(300, 5), {{3, 1}, {11, 2}, {13, 3}, {19, 4}, {23, 5}, {35, 9}, {67, 17}, {131, 33}, {227, 65}, {257, 129}, {258, 257}}}),
    [](const auto& info) { return std::string(info.param.name); });

// Blocks one after another, not on byte boundaries, then a sync flush: the stream so far
// inflates whole, and the flush's empty stored block ends it.
TEST(DeflateBlockWriterTest, SyncFlushEndsOnAByteBoundary) {
  DeflateBlockWriter writer;
  GrowingBytes out;
  for (int block = 0; block < 3; ++block) {
    for (int i = 0; i < 1000; ++i) writer.literal(static_cast<std::uint8_t>(i * block));
    writer.writeBlock(false, out);
  }
  writer.syncFlush(out);
  ASSERT_GE(out.size, 4u);
  EXPECT_EQ(Bytes(out.data.get() + out.size - 4, out.data.get() + out.size), (Bytes{0x00, 0x00, 0xFF, 0xFF}));
  writer.writeBlock(true, out);
  const auto inflated = inflateRaw(out, 3000);
  ASSERT_TRUE(inflated.has_value());
  ASSERT_EQ(inflated->size(), 3000u);
  EXPECT_EQ((*inflated)[2999], static_cast<std::uint8_t>(999 * 2));
}

struct PixelCase {
  const char* name;
  int pixelBytes;
};

class PixelOrMatchTest : public ::testing::TestWithParam<PixelCase> {};

// Each byte of a pixel takes values that no other byte of it takes, in either block, and
// every other pixel is a match: every byte's counts must reach its block's code.
TEST_P(PixelOrMatchTest, PixelsAndMatchesInflateToTheirBytes) {
  const int pixelBytes = GetParam().pixelBytes;
  const unsigned span = std::max(pixelBytes, 3);  // a match's length and distance
  DeflateBlockWriter writer;
  Bytes expected;
  GrowingBytes out;
  for (int block = 0; block < 2; ++block) {
    for (int p = 0; p < 500; ++p) {
      std::uint8_t pixel[4] = {};
      for (int b = 0; b < pixelBytes; ++b) pixel[b] = static_cast<std::uint8_t>(64 * b + 32 * block + p % 32);
      const bool matched = p % 2 == 1 && expected.size() >= span;
      writer.takeTokens(DeflateBlockWriter::pixelOrMatch(writer.tokenCursor(), pixel, pixelBytes, matched, span,
                                                         matched ? span : 1));
      if (!matched) expected.insert(expected.end(), pixel, pixel + pixelBytes);
      for (unsigned i = 0; matched && i < span; ++i) expected.push_back(expected[expected.size() - span]);
    }
    writer.writeBlock(block == 1, out);
  }
  EXPECT_EQ(inflateRaw(out, expected.size()), std::optional<Bytes>(expected));
}

INSTANTIATE_TEST_SUITE_P(Layouts, PixelOrMatchTest, ::testing::Values(
    PixelCase{"Grey", 1}, PixelCase{"Rgb", 3}, PixelCase{"Rgba", 4}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace platform
