#pragma once

// Private to platform/: a PNG's image data inflated as its rows are read, by the fastest
// inflater the build has: ISA-L's where it has it (LF_ISAL), several times zlib's speed on a
// page's rows, zlib's otherwise.
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace platform {

class ImageDataInflater {
 public:
  // `pieces`: the data of the IDAT chunks in file order, one zlib stream. Its checksum is not
  // checked: the chunks' CRCs vouch for the data.
  explicit ImageDataInflater(std::vector<std::span<const std::uint8_t>> pieces);
  ~ImageDataInflater();
  ImageDataInflater(const ImageDataInflater&) = delete;
  ImageDataInflater& operator=(const ImageDataInflater&) = delete;

  // Fills `out` with the stream's next bytes; false when the stream is damaged, ends first,
  // or its header is not deflate's.
  bool read(std::span<std::uint8_t> out);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
