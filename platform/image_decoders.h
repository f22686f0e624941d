#pragma once

// Private to platform/: one decoder per file format, chosen by image_decode.cc from the
// file's first bytes. Each sets `failure` to kCannotOpen until the header has been read and
// to kCannotDecode afterwards, and allocates pixels only through allocateImage, so sizes
// beyond the limits are refused before any large allocation.
#include <cstdint>
#include <optional>
#include <span>

#include "platform/image.h"
#include "platform/page_bitmap.h"

namespace platform {

// PNG and JPEG decode only the region `choose` names, or the whole image when it names none;
// the other formats always decode the whole image.
// The pixels of a whole image come from `memory` where it is given and holds enough.
std::optional<DecodedImage> decodePng(std::span<const std::uint8_t> bytes, const ImageRegionChoice& choose,
                                      ImageDecodeFailure& failure, PixelMemory* memory);
std::optional<DecodedImage> decodeJpeg(std::span<const std::uint8_t> bytes, const ImageRegionChoice& choose,
                                       ImageDecodeFailure& failure, PixelMemory* memory);
std::optional<DecodedImage> decodeWebp(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure,
                                       PixelMemory* memory);
std::optional<DecodedImage> decodeTiff(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure,
                                       PixelMemory* memory);
std::optional<DecodedImage> decodeGif(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure,
                                      PixelMemory* memory);

// A whole JPEG painted onto a page bitmap a row at a time, as decodeJpeg and drawing its image
// over white give it (decodePage); its bitmap's memory from `memory` where it holds enough.
std::optional<PageBitmap> decodeJpegPage(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure,
                                         PixelMemory& memory);

// Whether the region holds a pixel and lies wholly inside a width × height image.
bool regionInsideImage(const ImageRegion& region, std::int64_t width, std::int64_t height);
// A copy of the region's pixels; absent when memory cannot be had.
std::optional<DecodedImage> copyRegion(const DecodedImage& image, const ImageRegion& region);

}  // namespace platform
