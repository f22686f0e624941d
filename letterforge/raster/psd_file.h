#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/page_bitmap.h"

namespace letterforge {

// The largest side a PSD file holds (larger pages need the large-document variant).
inline constexpr std::int64_t kPsdMaxSide = 30000;

// One layer: its name (at most 255 bytes are kept) and its pixels, the size of the document.
// An opaque layer is stored as RGB, a transparent one with its transparency.
struct PsdLayer {
  std::string name{};
  const platform::PageBitmap* pixels = nullptr;
  bool transparent = false;
};

// A layered Photoshop document of 8-bit RGB: the layers bottom first, each channel compressed
// row by row (PackBits), and `composite`, the page as its layers show it, for readers that
// only read the flattened image. Absent, with `failure` saying why, when a layer's size is not
// the composite's, or a side is over kPsdMaxSide ("a PSD holds at most 30000 pixels a side").
std::optional<std::vector<std::uint8_t>> encodePsd(const std::vector<PsdLayer>& layers,
                                                   const platform::PageBitmap& composite,
                                                   std::string& failure);

// PackBits: runs of 2 to 128 equal bytes as a count and the byte, the rest as literal runs of
// at most 128 bytes.
std::vector<std::uint8_t> packBits(const std::uint8_t* bytes, std::size_t count);

}  // namespace letterforge
