#pragma once

// Private to platform/: zlib's deflate of one piece of input, shared by the band compressors.
#include <zlib.h>

#include <cstdint>
#include <span>

#include "platform/band_deflater.h"

namespace platform {

// Compresses `input` with `flush` (Z_NO_FLUSH, Z_SYNC_FLUSH or Z_FINISH), appending the
// output to `out`. False when zlib fails; std::bad_alloc when `out` cannot grow.
bool zlibDeflate(z_stream& stream, std::span<const std::uint8_t> input, int flush, GrowingBytes& out);

}  // namespace platform
