#pragma once

#include <cstddef>
#include <string_view>

namespace letterforge {

// One Unicode scalar of UTF-8 text and the bytes it takes.
struct Scalar {
  char32_t value = 0;
  std::size_t length = 1;
};

// The scalar starting at text[at]; a byte that starts no valid sequence stands for itself.
inline Scalar scalarAt(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 1;
  char32_t value = lead;
  if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
  } else if (lead >= 0xE0) {
    length = 3;
    value = lead & 0x0F;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else {
    return {lead, 1};
  }
  if (at + length > text.size()) return {lead, 1};
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return {lead, 1};
    value = (value << 6) | (byte(at + i) & 0x3F);
  }
  return {value, length};
}

}  // namespace letterforge
