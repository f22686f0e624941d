#include <isa-l/igzip_lib.h>

#include <new>

#include "platform/cpu_features.h"
#include "platform/png_inflate.h"
#include "platform/png_inflate_pieces.h"

namespace platform {

struct ImageDataInflater::State {
  InflatePieces pieces;
  inflate_state stream{};
};

ImageDataInflater::ImageDataInflater(std::vector<std::span<const std::uint8_t>> pieces) {
  state_.reset(new (std::nothrow) State{.pieces = InflatePieces(std::move(pieces))});
  if (!state_) return;
  isal_inflate_init(&state_->stream);
  state_->stream.crc_flag = ISAL_DEFLATE;  // the zlib header is read by InflatePieces
}

ImageDataInflater::~ImageDataInflater() = default;

bool ImageDataInflater::read(std::span<std::uint8_t> out) {
  if (!state_ || !state_->pieces.headerIsDeflate()) return false;
  inflate_state& s = state_->stream;
  s.next_out = out.data();
  s.avail_out = static_cast<std::uint32_t>(out.size());
  while (s.avail_out > 0) {
    if (s.avail_in == 0) {
      const std::span<const std::uint8_t> next = state_->pieces.next();
      s.next_in = const_cast<std::uint8_t*>(next.data());  // read, never written
      s.avail_in = static_cast<std::uint32_t>(next.size());
    }
    const std::uint32_t before = s.avail_out, inputBefore = s.avail_in;
    const int status = isal_inflate(&s);
    clearUpperVectorHalves();
    if (status < 0) return false;
    const bool moved = s.avail_out != before || s.avail_in != inputBefore;
    if (!moved && (s.block_state == ISAL_BLOCK_FINISH || state_->pieces.done())) return false;
  }
  return true;
}

}  // namespace platform
