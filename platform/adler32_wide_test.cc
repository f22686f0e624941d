#include "platform/adler32_wide.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "platform/test_case_names.h"

namespace platform {
namespace {

using test_cases::PrintTo;

struct AdlerCase {
  const char* name;
  std::size_t size;
  std::size_t offset;  // from a 64-byte boundary of the buffer's start
  std::uint32_t adler;  // to continue from
  bool allOnes = false;  // every byte 255: the sums at their largest
};

class Adler32WideTest : public ::testing::TestWithParam<AdlerCase> {};

TEST_P(Adler32WideTest, AgreesWithZlib) {
  if (!hasWideAdler32()) GTEST_SKIP() << "no 512-bit byte dot product here";
  const AdlerCase& c = GetParam();
  std::vector<std::uint8_t> bytes(c.offset + c.size);
  std::minstd_rand random(7);
  for (auto& b : bytes) b = c.allOnes ? 255 : static_cast<std::uint8_t>(random());
  const std::span<const std::uint8_t> part(bytes.data() + c.offset, c.size);
  EXPECT_EQ(adler32Wide(c.adler, part), adler32_z(c.adler, part.data(), part.size()));
}

INSTANTIATE_TEST_SUITE_P(Sizes, Adler32WideTest, ::testing::Values(
    AdlerCase{"Empty", 0, 0, 1},
    AdlerCase{"ShorterThanAStep", 63, 0, 1},
    AdlerCase{"OneStepAndABit", 65, 3, 0x12345678},
    AdlerCase{"SumsAtTheModulusContinued", 5552, 1, 0xFFF0FFF0},
    AdlerCase{"AllOnesPastOneBlock", (std::size_t{1} << 20) + 64 + 7, 0, 0xFFF0FFF0, true},
    AdlerCase{"ThreeBlocksUnaligned", 3 << 20, 13, 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace platform
