// Each 64-byte step adds its bytes to the running sum's lanes and their sum weighted 64 down
// to 1 to the weighted sum's; the sums of the steps before each step, counted apart, give the
// rest of the weighted sum at the end of a block, when both are reduced modulo 65521.
#include "platform/adler32_wide.h"

#include "platform/cpu_features.h"

#ifdef LF_X86_VECTORS
#include <immintrin.h>
#endif

namespace platform {
namespace {

constexpr std::uint64_t kModulus = 65521;
// A block's 32-bit weighted lanes grow by at most 4 * 255 * 64 a step: 2^16 steps stay
// under 2^32.
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

std::uint32_t adler32Scalar(std::uint32_t adler, const std::uint8_t* bytes, std::size_t count) {
  std::uint64_t sum = adler & 0xFFFF, weighted = adler >> 16;
  for (std::size_t i = 0; i < count; ++i) {
    sum += bytes[i];
    weighted += sum;
  }
  return static_cast<std::uint32_t>((weighted % kModulus) << 16 | sum % kModulus);
}

#ifdef LF_X86_VECTORS

[[gnu::target("avx512f,avx512bw,avx512vnni")]] std::uint32_t adler32Steps(std::uint32_t adler,
                                                                          const std::uint8_t* bytes,
                                                                          std::size_t count) {
  alignas(64) std::int8_t weight[64];
  for (int i = 0; i < 64; ++i) weight[i] = static_cast<std::int8_t>(64 - i);
  const __m512i weights = _mm512_load_si512(weight);
  const __m512i zero = _mm512_setzero_si512();
  std::uint64_t sum = adler & 0xFFFF, weighted = adler >> 16;
  while (count > 0) {
    const std::size_t block = count < kBlockBytes ? count : kBlockBytes;
    __m512i sums = zero, before = zero, products = zero;
    for (std::size_t at = 0; at < block; at += 64) {
      const __m512i step = _mm512_loadu_si512(bytes + at);
      before = _mm512_add_epi64(before, sums);
      sums = _mm512_add_epi64(sums, _mm512_sad_epu8(step, zero));
      products = _mm512_dpbusd_epi32(products, step, weights);
    }
    alignas(64) std::uint64_t lanes[2][8];
    alignas(64) std::uint32_t productLanes[16];
    _mm512_store_si512(lanes[0], before);
    _mm512_store_si512(lanes[1], sums);
    _mm512_store_si512(productLanes, products);
    std::uint64_t stepsBefore = 0, blockSum = 0, blockWeighted = 0;
    for (int i = 0; i < 8; ++i) {
      stepsBefore += lanes[0][i];
      blockSum += lanes[1][i];
    }
    for (const std::uint32_t lane : productLanes) blockWeighted += lane;
    weighted = (weighted + block * sum + 64 * stepsBefore + blockWeighted) % kModulus;
    sum = (sum + blockSum) % kModulus;
    bytes += block;
    count -= block;
  }
  return static_cast<std::uint32_t>(weighted << 16 | sum);
}

#endif

}  // namespace

bool hasWideAdler32() {
#ifdef LF_X86_VECTORS
  static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                          __builtin_cpu_supports("avx512vnni");
  return has;
#else
  return false;
#endif
}

std::uint32_t adler32Wide(std::uint32_t adler, std::span<const std::uint8_t> bytes) {
  std::size_t steps = 0;
#ifdef LF_X86_VECTORS
  steps = bytes.size() / 64 * 64;
  if (steps > 0) adler = adler32Steps(adler, bytes.data(), steps);
#endif
  return adler32Scalar(adler, bytes.data() + steps, bytes.size() - steps);
}

}  // namespace platform
