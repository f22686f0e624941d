#pragma once

// Private to platform/: PNG rows between pixels and their stored bytes. The writer's rows are
// filtered with Up (each byte less the byte above it, modulo 256; the top row less zeros); the
// reader takes every filter type.
#include <cstddef>
#include <cstdint>

namespace platform {

// Where red, green, blue and alpha sit among a pixel's four bytes in memory.
struct PixelBytes {
  int red = 0;
  int green = 1;
  int blue = 2;
  int alpha = 3;
};
inline constexpr PixelBytes kRgbaBytes{};

// Writes the Up-filtered RGB bytes of a row of `width` four-byte pixels: for each pixel its
// red, green and blue less those of the pixel above in `prior` (null for the top row).
// Returns the AND of the row's alpha bytes: 255 when every pixel of the row is opaque.
std::uint8_t upFilterToRgb(const std::uint8_t* row, const std::uint8_t* prior, std::int64_t width,
                           PixelBytes layout, std::uint8_t* out);

// Writes `count` bytes of `row` less those of `prior` (null for the top row).
void upFilterBytes(const std::uint8_t* row, const std::uint8_t* prior, std::size_t count, std::uint8_t* out);

// Reverses in place the filter of a row of `count` bytes: `filter` 0 to 4 (none, Sub, Up,
// Average, Paeth), `prior` the row above as unfiltered (null for the top row), `pixelBytes`
// the bytes of a pixel. False for any other filter type.
bool unfilterRow(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* prior, std::size_t count, int pixelBytes);

// Writes `width` RGB pixels as RGBA, opaque.
void widenRgbToRgba(const std::uint8_t* rgb, std::int64_t width, std::uint8_t* rgba);

}  // namespace platform
