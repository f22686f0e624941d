#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "platform/image.h"
#include "platform/page_bitmap.h"

namespace platform {

// A page image as a run starts from: a JPEG, or a PNG of 8-bit RGB or RGBA rows (not
// interlaced, without a transparent colour), which are nearly every page, painted straight
// onto a page bitmap of its size, one to one over opaque white as the bitmap's drawImage would
// paint it, without a decoded copy of the image in between; any other image decoded whole, as
// decodeImage gives it.
using PageImage = std::variant<PageBitmap, DecodedImage>;

// Absent as decodeImage is; the bitmap's memory, or the image's, comes from `memory` where it
// holds enough. A bitmap whose memory cannot be had is an image that cannot be decoded.
std::optional<PageImage> decodePage(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure,
                                    PixelMemory& memory);
std::optional<PageImage> decodePageFile(const std::string& path, ImageDecodeFailure& failure,
                                        PixelMemory& memory);

}  // namespace platform
