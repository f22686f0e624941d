#include "platform/png_encoder.h"

#include <spng.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <numeric>
#include <string>

namespace platform {
namespace {

struct SpngContextDeleter {
  void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

int appendToVector(spng_ctx*, void* user, void* data, std::size_t length) {
  auto& out = *static_cast<std::vector<std::uint8_t>*>(user);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  try {
    out.insert(out.end(), bytes, bytes + length);
  } catch (const std::bad_alloc&) {
    return SPNG_IO_ERROR;
  }
  return 0;
}

int zlibStrategy(PngStrategy strategy) {
  switch (strategy) {
    case PngStrategy::kFiltered: return Z_FILTERED;
    case PngStrategy::kRle: return Z_RLE;
    case PngStrategy::kDefault: break;
  }
  return Z_DEFAULT_STRATEGY;
}

bool applySettings(spng_ctx* ctx, const PngSettings& settings) {
  if (settings.libraryDefaults) return true;
  const int filters = settings.filters == PngFilters::kUpOnly ? SPNG_FILTER_CHOICE_UP : SPNG_FILTER_CHOICE_ALL;
  return spng_set_option(ctx, SPNG_FILTER_CHOICE, filters) == 0 &&
         spng_set_option(ctx, SPNG_IMG_COMPRESSION_LEVEL, std::clamp(settings.zlibLevel, 0, 9)) == 0 &&
         spng_set_option(ctx, SPNG_IMG_COMPRESSION_STRATEGY, zlibStrategy(settings.strategy)) == 0;
}

// Encodes row by row: fillRow(y, buffer) either writes row y (rows top first) into the
// one-row buffer and returns it, or returns a pointer to row y as it already stands.
// Channels: 1 grey, 3 RGB, 4 RGBA.
template <typename FillRow>
std::optional<std::vector<std::uint8_t>> encodeRows(std::int64_t width, std::int64_t height, int channels,
                                                    const PngSettings& settings, FillRow fillRow,
                                                    std::string& failure) {
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide) {
    failure = "image size " + std::to_string(width) + " x " + std::to_string(height) + " cannot be encoded";
    return std::nullopt;
  }
  std::unique_ptr<spng_ctx, SpngContextDeleter> ctx(spng_ctx_new(SPNG_CTX_ENCODER));
  std::vector<std::uint8_t> png;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
  std::vector<std::uint8_t> rowBuffer;
  try {
    rowBuffer.resize(rowBytes);
    png.reserve(rowBytes * static_cast<std::size_t>(height) / 16 + 1024);
  } catch (const std::bad_alloc&) {
    failure = "out of memory";
    return std::nullopt;
  }
  spng_ihdr ihdr{};
  ihdr.width = static_cast<std::uint32_t>(width);
  ihdr.height = static_cast<std::uint32_t>(height);
  ihdr.bit_depth = 8;
  ihdr.color_type = channels == 4   ? SPNG_COLOR_TYPE_TRUECOLOR_ALPHA
                    : channels == 3 ? SPNG_COLOR_TYPE_TRUECOLOR
                                    : SPNG_COLOR_TYPE_GRAYSCALE;
  int error = ctx ? 0 : SPNG_EMEM;
  if (error == 0) error = spng_set_png_stream(ctx.get(), appendToVector, &png);
  if (error == 0) error = spng_set_ihdr(ctx.get(), &ihdr);
  if (error == 0 && !applySettings(ctx.get(), settings)) error = SPNG_EINVAL;
  if (error == 0) {
    error = spng_encode_image(ctx.get(), nullptr, 0, SPNG_FMT_PNG,
                              SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE);
  }
  for (std::int64_t y = 0; y < height && error == 0; ++y) {
    error = spng_encode_row(ctx.get(), fillRow(y, rowBuffer.data()), rowBytes);
    if (error == SPNG_EOI && y == height - 1) error = 0;
  }
  if (error != 0) {
    failure = spng_strerror(error);
    return std::nullopt;
  }
  return png;
}

// Packs opaque pixels as three bytes each. Four pixels at a time go out as three 32-bit
// stores, several times faster than twelve byte stores; the bytes are the same.
// rgbOf(i) gives pixel i as 0x00BBGGRR, so that its bytes in memory read R, G, B.
template <typename RgbOf>
void packRgb(std::int64_t width, RgbOf rgbOf, std::uint8_t* out) {
  std::int64_t x = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; x + 4 <= width; x += 4, out += 12) {
      const std::uint32_t c0 = rgbOf(x), c1 = rgbOf(x + 1), c2 = rgbOf(x + 2), c3 = rgbOf(x + 3);
      const std::uint32_t packed[3] = {c0 | c1 << 24, c1 >> 8 | c2 << 16, c2 >> 16 | c3 << 8};
      std::memcpy(out, packed, sizeof packed);
    }
  }
  for (; x < width; ++x, out += 3) {
    const std::uint32_t c = rgbOf(x);
    out[0] = static_cast<std::uint8_t>(c);
    out[1] = static_cast<std::uint8_t>(c >> 8);
    out[2] = static_cast<std::uint8_t>(c >> 16);
  }
}

bool isOpaque(const PageBitmap& bitmap) {
  for (std::int64_t y = 0; y < bitmap.height(); ++y) {
    const std::uint32_t* words = bitmap.rowWords(y);
    const std::uint32_t all = std::accumulate(words, words + bitmap.width(), 0xFFFFFFFFu,
                                              [](std::uint32_t a, std::uint32_t w) { return a & w; });
    if ((all >> 24) != 0xFF) return false;
  }
  return true;
}

bool isOpaque(const DecodedImage& image) {
  const std::uint8_t* p = image.rgba.get();
  const std::uint8_t* end = p + image.width * image.height * 4;
  // Whole pixels at a time: the alpha bytes are every fourth.
  std::uint32_t all = 0xFFFFFFFFu;
  for (; p < end; p += 4) {
    std::uint32_t pixel;
    std::memcpy(&pixel, p, 4);
    all &= pixel;
  }
  const std::uint8_t* last = reinterpret_cast<const std::uint8_t*>(&all);
  return last[3] == 0xFF;
}

std::uint8_t unpremultiplied(std::uint32_t colour, std::uint32_t alpha) {
  return static_cast<std::uint8_t>(std::min(255u, (colour * 255u + alpha / 2) / alpha));
}

}  // namespace

std::optional<std::vector<std::uint8_t>> encodePng(const PageBitmap& bitmap, const PngSettings& settings,
                                                   std::string& failure) {
  const bool withAlpha = settings.alwaysRgba || !isOpaque(bitmap);
  // Storage rows run top first, which is drawing row height − 1 − r.
  auto fillRow = [&bitmap, withAlpha](std::int64_t r, std::uint8_t* out) -> const std::uint8_t* {
    const std::uint32_t* words = bitmap.rowWords(bitmap.height() - 1 - r);
    const std::int64_t width = bitmap.width();
    if (!withAlpha) {
      packRgb(width, [words](std::int64_t x) {
        const std::uint32_t w = words[x];
        return (w >> 16 & 0xFFu) | (w & 0xFF00u) | (w & 0xFFu) << 16;
      }, out);
      return out;
    }
    std::uint8_t* o = out;
    for (std::int64_t x = 0; x < width; ++x) {
      const std::uint32_t w = words[x];
      const std::uint32_t a = w >> 24;
      std::uint32_t red = (w >> 16) & 0xFF, green = (w >> 8) & 0xFF, blue = w & 0xFF;
      if (a != 255) {
        red = a == 0 ? 0 : unpremultiplied(red, a);
        green = a == 0 ? 0 : unpremultiplied(green, a);
        blue = a == 0 ? 0 : unpremultiplied(blue, a);
      }
      *o++ = static_cast<std::uint8_t>(red);
      *o++ = static_cast<std::uint8_t>(green);
      *o++ = static_cast<std::uint8_t>(blue);
      *o++ = static_cast<std::uint8_t>(a);
    }
    return out;
  };
  return encodeRows(bitmap.width(), bitmap.height(), withAlpha ? 4 : 3, settings, fillRow, failure);
}

std::optional<std::vector<std::uint8_t>> encodePng(const DecodedImage& image, const PngSettings& settings,
                                                   std::string& failure) {
  if (!image.rgba) {
    failure = "empty image";
    return std::nullopt;
  }
  const bool withAlpha = settings.alwaysRgba || !isOpaque(image);
  auto fillRow = [&image, withAlpha](std::int64_t y, std::uint8_t* out) -> const std::uint8_t* {
    const std::uint8_t* in = image.row(y);
    if (withAlpha) return in;
    packRgb(image.width, [in](std::int64_t x) {
      std::uint32_t pixel;
      std::memcpy(&pixel, in + x * 4, 4);
      if constexpr (std::endian::native == std::endian::big) {
        return pixel >> 24 | (pixel >> 8 & 0xFF00u) | (pixel << 8 & 0xFF0000u);
      }
      return pixel & 0xFFFFFFu;
    }, out);
    return out;
  };
  return encodeRows(image.width, image.height, withAlpha ? 4 : 3, settings, fillRow, failure);
}

std::optional<std::vector<std::uint8_t>> encodePng(const PageBitmap& bitmap, std::string& failure) {
  return encodePng(bitmap, PngSettings{}, failure);
}

std::optional<std::vector<std::uint8_t>> encodePng(const DecodedImage& image, std::string& failure) {
  return encodePng(image, PngSettings{}, failure);
}

std::optional<std::vector<std::uint8_t>> encodeGreyPng(const std::vector<std::uint8_t>& levels,
                                                       std::int64_t width, std::int64_t height,
                                                       std::string& failure) {
  if (width < 1 || height < 1 || levels.size() != static_cast<std::size_t>(width * height)) {
    failure = "grey image of " + std::to_string(levels.size()) + " levels is not " +
              std::to_string(width) + " x " + std::to_string(height);
    return std::nullopt;
  }
  auto fillRow = [&levels, width](std::int64_t y, std::uint8_t*) -> const std::uint8_t* {
    return levels.data() + y * width;
  };
  return encodeRows(width, height, 1, PngSettings{}, fillRow, failure);
}

}  // namespace platform
