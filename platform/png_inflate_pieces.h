#pragma once

// Private to platform/: the IDAT pieces of a zlib stream handed out one after another, its
// two-byte header taken off the first.
#include <cstdint>
#include <span>
#include <vector>

namespace platform {

class InflatePieces {
 public:
  explicit InflatePieces(std::vector<std::span<const std::uint8_t>> pieces) : pieces_(std::move(pieces)) {}

  // Whether the stream starts with a header of deflate with a 32 KiB window or less and no
  // preset dictionary; read on the first call.
  bool headerIsDeflate() {
    if (header_ == Header::kUnread) header_ = readHeader() ? Header::kDeflate : Header::kOther;
    return header_ == Header::kDeflate;
  }
  // The next piece of data; empty once all are given.
  std::span<const std::uint8_t> next() { return done() ? std::span<const std::uint8_t>() : pieces_[given_++]; }
  bool done() const { return given_ == pieces_.size(); }

 private:
  enum class Header { kUnread, kDeflate, kOther };

  bool readHeader() {
    std::uint8_t bytes[2];
    for (std::uint8_t& byte : bytes) {
      while (!done() && pieces_[given_].empty()) ++given_;
      if (done()) return false;
      byte = pieces_[given_][0];
      pieces_[given_] = pieces_[given_].subspan(1);
    }
    return (bytes[0] & 0x0F) == 8 && (bytes[0] >> 4) <= 7 && (bytes[1] & 0x20) == 0 &&
           (bytes[0] * 256 + bytes[1]) % 31 == 0;
  }

  std::vector<std::span<const std::uint8_t>> pieces_;
  std::size_t given_ = 0;
  Header header_ = Header::kUnread;
};

}  // namespace platform
