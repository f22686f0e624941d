#pragma once

// Private to platform/: a deflate compressor for filtered image rows. It looks for repeats
// only where a pixel starts, and takes repeats of a single pixel (three bytes of RGB): in
// fine noise and textures a pixel's filtered bytes recur as a whole, rarely with the next
// pixel's, so these short matches are most of what can be saved there, while compressors
// that need four equal bytes find almost none. Looking at pixel starts alone does a third
// (RGB) or a quarter (RGBA) of the work of looking at every byte.
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/band_deflater.h"

namespace platform {

// How the stream's bytes fall into rows: each row a filter-type byte, then its pixels.
struct RowLayout {
  std::int64_t rowBytes = 1;  // the filter-type byte included
  int pixelBytes = 1;         // 1 grey, 3 RGB, 4 RGBA
};

// Compresses bands of rows one after another into raw deflate; one per thread. A band's
// output depends only on its bytes, the history it is started with and the layout.
class PixelDeflater {
 public:
  PixelDeflater();
  ~PixelDeflater();
  PixelDeflater(const PixelDeflater&) = delete;
  PixelDeflater& operator=(const PixelDeflater&) = delete;

  // False when its tables could not be had (out of memory).
  bool ready() const;
  // Starts a band that begins at a row's start. `history`: the stream's bytes just before
  // the band (the last kDeflateWindow of them are used; none at the stream's start).
  void startBand(std::span<const std::uint8_t> history, RowLayout layout);
  // Room in its window for the band's next `size` bytes, so that they need not be copied
  // there: bytes written to it and then passed to compress() are taken where they lie. Null
  // when that many do not fit.
  std::uint8_t* inputRoom(std::size_t size);
  // Compresses `input` as the band's next bytes, appending the output to `out`; std::bad_alloc
  // when `out` cannot grow.
  void compress(std::span<const std::uint8_t> input, DeflateEnd end, GrowingBytes& out);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
