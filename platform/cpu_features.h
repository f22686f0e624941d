#pragma once

// Private to platform/: instruction sets checked at run time, since the build assumes only
// the base instruction set of its target.

#if defined(__x86_64__)
#define LF_X86_VECTORS 1
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

}  // namespace platform
