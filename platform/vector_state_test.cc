// ISA-L's routines leave the upper halves of the vector registers in use, which slows the SSE
// code run after them on processors with AVX-512 until they are cleared: every call into ISA-L
// must leave them clear. The processor tells which register states are in use (XGETBV 1).
#include <zlib.h>

#include <cpuid.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/band_deflater.h"
#include "platform/png_inflate.h"

#if defined(__x86_64__)
#include <immintrin.h>

namespace platform {
namespace {

// Whether the processor reports the register states in use (XGETBV with ECX = 1).
bool canReadStatesInUse() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid_count(0xD, 1, &a, &b, &c, &d)) return false;
  return (a & (1u << 2)) != 0 && __builtin_cpu_supports("avx");
}

// The upper halves of YMM0-15 (bit 2) and of ZMM0-15 (bit 6).
[[gnu::target("xsave")]] std::uint64_t upperHalvesInUse() { return _xgetbv(1) & ((1u << 2) | (1u << 6)); }

std::vector<std::uint8_t> sampleBytes() {
  std::vector<std::uint8_t> bytes(1 << 18);
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    state = state * 1103515245u + 12345u;
    // Long runs of one byte (an Up-filtered flat page) between stretches of noise.
    bytes[i] = i % 8192 < 1024 ? static_cast<std::uint8_t>(state >> 24) : 0;
  }
  return bytes;
}

// A call into the library's compression code, and the states in use right after it.
struct Call {
  std::string name;
  std::function<std::uint64_t(const std::vector<std::uint8_t>&)> run;
};
void PrintTo(const Call& call, std::ostream* out) { *out << call.name; }

class VectorStateTest : public testing::TestWithParam<Call> {};

TEST_P(VectorStateTest, LeavesTheUpperHalvesClear) {
  if (!canReadStatesInUse()) GTEST_SKIP() << "the processor does not tell the states in use";
  const auto bytes = sampleBytes();
  EXPECT_EQ(GetParam().run(bytes), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VectorStateTest,
    testing::Values(
        Call{"Deflate",
             [](const std::vector<std::uint8_t>& bytes) {
               BandDeflater deflater(BandDeflater::defaultLevel());
               GrowingBytes out;
               deflater.startBand(std::span(bytes).first(32768));
               const bool done = deflater.compress(std::span(bytes).subspan(32768), DeflateEnd::kStreamEnd, out);
               const std::uint64_t inUse = upperHalvesInUse();
               EXPECT_TRUE(done);
               return inUse;
             }},
        Call{"Adler32",
             [](const std::vector<std::uint8_t>& bytes) {
               (void)adler32Of(1, bytes);
               return upperHalvesInUse();
             }},
        Call{"Crc32",
             [](const std::vector<std::uint8_t>& bytes) {
               (void)crc32Of(0, bytes);
               return upperHalvesInUse();
             }},
        Call{"Inflate",
             [](const std::vector<std::uint8_t>& bytes) {
               uLongf size = compressBound(bytes.size());
               std::vector<std::uint8_t> packed(size);
               EXPECT_EQ(compress2(packed.data(), &size, bytes.data(), bytes.size(), 6), Z_OK);
               packed.resize(size);
               std::vector<std::uint8_t> out(bytes.size());
               ImageDataInflater inflater({std::span<const std::uint8_t>(packed)});
               bool read = true;  // a row at a time, as a page is read
               for (std::size_t at = 0; at < out.size(); at += 7441) {
                 read = read && inflater.read(std::span(out).subspan(at, std::min<std::size_t>(7441, out.size() - at)));
               }
               const std::uint64_t inUse = upperHalvesInUse();
               EXPECT_TRUE(read);
               EXPECT_EQ(out, bytes);
               return inUse;
             }}),
    [](const testing::TestParamInfo<Call>& info) { return info.param.name; });

}  // namespace
}  // namespace platform
#endif
