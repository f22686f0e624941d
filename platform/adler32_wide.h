#pragma once

// Private to platform/: the Adler-32 checksum 64 bytes a step, on processors with the 512-bit
// byte dot product; the row stream's checksum takes it where the processor has one.
#include <cstdint>
#include <span>

namespace platform {

// Whether adler32Wide may run here.
bool hasWideAdler32();

// The Adler-32 checksum of `bytes` continued from `adler`, as zlib's; only where
// hasWideAdler32().
std::uint32_t adler32Wide(std::uint32_t adler, std::span<const std::uint8_t> bytes);

}  // namespace platform
