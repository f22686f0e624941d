#pragma once

// Private to platform/: instruction sets checked at run time, since the build assumes only
// the base instruction set of its target.

#if defined(__x86_64__)
#define LF_X86_VECTORS 1
#include <immintrin.h>
#endif

namespace platform {

// Whether the processor has the byte shuffle of SSSE3 (every x86-64 processor since 2006).
inline bool hasByteShuffle() {
#ifdef LF_X86_VECTORS
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
#else
  return false;
#endif
}

#ifdef LF_X86_VECTORS
[[gnu::target("avx")]] inline void zeroUpperHalves() { _mm256_zeroupper(); }
#endif

// ISA-L's routines return with the upper halves of the vector registers still in use; until
// they are cleared, the SSE code that follows (ours, the compiler's, Cairo's) ran 1.5 to 4 times
// slower on a processor with AVX-512 (the ground fit of a repaint, for one). Called after each.
inline void clearUpperVectorHalves() {
#ifdef LF_X86_VECTORS
  static const bool hasAvx = __builtin_cpu_supports("avx");
  if (hasAvx) zeroUpperHalves();
#endif
}

}  // namespace platform
