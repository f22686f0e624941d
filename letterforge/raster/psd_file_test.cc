#include "letterforge/raster/psd_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "letterforge/raster/test_pages.h"

namespace letterforge {
namespace {

using namespace test_pages;
using platform::PageBitmap;

// PackBits read back the plain way.
std::vector<std::uint8_t> unpack(const std::vector<std::uint8_t>& packed) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < packed.size();) {
    const int n = static_cast<std::int8_t>(packed[i++]);
    if (n >= 0) {
      out.insert(out.end(), packed.begin() + static_cast<std::ptrdiff_t>(i),
                 packed.begin() + static_cast<std::ptrdiff_t>(i) + n + 1);
      i += static_cast<std::size_t>(n) + 1;
    } else {
      out.insert(out.end(), static_cast<std::size_t>(1 - n), packed[i++]);
    }
  }
  return out;
}

struct PackCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  std::size_t packedSize;
};
class PackBitsTest : public ::testing::TestWithParam<PackCase> {};

TEST_P(PackBitsTest, ReadsBackAndPacksRunsShort) {
  const PackCase& c = GetParam();
  const auto packed = packBits(c.bytes.data(), c.bytes.size());
  EXPECT_EQ(unpack(packed), c.bytes);
  EXPECT_EQ(packed.size(), c.packedSize);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PackBitsTest,
    ::testing::Values(PackCase{"Empty", {}, 0}, PackCase{"OneByte", {7}, 2},
                      PackCase{"PairIsARun", {5, 5}, 2},
                      PackCase{"LiteralThenRun", {1, 2, 3, 9, 9, 9}, 6},
                      PackCase{"RunOf128IsOneRun", std::vector<std::uint8_t>(128, 4), 2},
                      PackCase{"RunOf129NeedsTwo", std::vector<std::uint8_t>(129, 4), 4},
                      PackCase{"Literal200InTwoRuns",
                               [] {
                                 std::vector<std::uint8_t> v(200);
                                 for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<std::uint8_t>(i);
                                 return v;
                               }(),
                               202}),
    [](const auto& info) { return std::string(info.param.name); });

std::uint32_t be32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 | std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}

TEST(PsdFileTest, HeaderNamesTheDocumentAndTheLayersFollow) {
  PageBitmap page = makePage(5, 3, kRed);
  std::string failure;
  const auto psd = encodePsd({{"Original", &page, false}, {"Text", &page, true}}, page, failure);
  ASSERT_TRUE(psd) << failure;
  EXPECT_EQ(std::string(psd->begin(), psd->begin() + 4), "8BPS");
  EXPECT_EQ((*psd)[5], 1);                 // version
  EXPECT_EQ((*psd)[13], 3);                // channels
  EXPECT_EQ(be32(*psd, 14), 3u);           // height
  EXPECT_EQ(be32(*psd, 18), 5u);           // width
  EXPECT_EQ((*psd)[23], 8);                // bits
  EXPECT_EQ((*psd)[25], 3);                // RGB
  const std::uint32_t layerAndMask = be32(*psd, 34);
  EXPECT_EQ((*psd)[42], 0);
  EXPECT_EQ((*psd)[43], 2);  // two layers
  // The composite ends the file: its compression, 3 x 3 row counts, and the rows.
  EXPECT_EQ(38 + layerAndMask + 2 + 18 + 9 * 2, psd->size());
}

TEST(PsdFileTest, PagesWiderThanTheFormatAreRefusedNamingTheLimit) {
  PageBitmap wide = makePage(30001, 2);
  std::string failure;
  EXPECT_FALSE(encodePsd({{"Original", &wide, false}}, wide, failure));
  EXPECT_EQ(failure, "a PSD holds at most 30000 pixels a side, the page is 30001 x 2");
  PageBitmap fits = makePage(30000, 2);
  EXPECT_TRUE(encodePsd({{"Original", &fits, false}}, fits, failure));
}

TEST(PsdFileTest, ALayerOfAnotherSizeIsRefused) {
  PageBitmap page = makePage(4, 4), other = makePage(4, 5);
  std::string failure;
  EXPECT_FALSE(encodePsd({{"Text", &other, true}}, page, failure));
  EXPECT_EQ(failure, "layer Text is not the size of the page");
}

}  // namespace
}  // namespace letterforge
