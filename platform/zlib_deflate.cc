#include "platform/zlib_deflate.h"

#include <algorithm>

namespace platform {

bool zlibDeflate(z_stream& stream, std::span<const std::uint8_t> input, int flush, GrowingBytes& out) {
  stream.next_in = const_cast<Bytef*>(input.data());  // read, never written
  stream.avail_in = static_cast<uInt>(input.size());
  // Output room of a third of the input fits a page's rows in one call; more is made as needed.
  const std::size_t room = std::max<std::size_t>(input.size() / 3, 4096);
  int status = Z_OK;
  do {
    stream.next_out = out.room(room);
    stream.avail_out = static_cast<uInt>(room);
    status = deflate(&stream, flush);
    out.size += room - stream.avail_out;
    if (status == Z_STREAM_ERROR) return false;
  } while (stream.avail_out == 0 || stream.avail_in > 0 || (flush == Z_FINISH && status != Z_STREAM_END));
  return true;
}

}  // namespace platform
