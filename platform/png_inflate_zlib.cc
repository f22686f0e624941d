#include <zlib.h>

#include <new>

#include "platform/png_inflate.h"
#include "platform/png_inflate_pieces.h"

namespace platform {

struct ImageDataInflater::State {
  InflatePieces pieces;
  z_stream stream{};
  bool ready = false;
  ~State() {
    if (ready) inflateEnd(&stream);
  }
};

ImageDataInflater::ImageDataInflater(std::vector<std::span<const std::uint8_t>> pieces) {
  state_.reset(new (std::nothrow) State{.pieces = InflatePieces(std::move(pieces))});
  if (!state_) return;
  // Raw deflate: the zlib header is read by InflatePieces.
  state_->ready = inflateInit2(&state_->stream, -15) == Z_OK;
}

ImageDataInflater::~ImageDataInflater() = default;

bool ImageDataInflater::read(std::span<std::uint8_t> out) {
  if (!state_ || !state_->ready || !state_->pieces.headerIsDeflate()) return false;
  z_stream& s = state_->stream;
  s.next_out = out.data();
  s.avail_out = static_cast<uInt>(out.size());
  while (s.avail_out > 0) {
    if (s.avail_in == 0) {
      const std::span<const std::uint8_t> next = state_->pieces.next();
      s.next_in = const_cast<Bytef*>(next.data());  // read, never written
      s.avail_in = static_cast<uInt>(next.size());
    }
    const uInt before = s.avail_out, inputBefore = s.avail_in;
    const int status = inflate(&s, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) return false;
    const bool moved = s.avail_out != before || s.avail_in != inputBefore;
    if (!moved && (status == Z_STREAM_END || state_->pieces.done())) return false;
  }
  return true;
}

}  // namespace platform
