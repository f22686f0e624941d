// The PNG container around the row stream: signature, header, the compressed data in IDAT
// chunks, end. An image is first written as RGB on the assumption that it is
// opaque, which saves a pass over it; the first translucent pixel met gives that up and the
// image is written as RGBA.
#include "platform/png_encoder.h"

#include <algorithm>
#include <bit>
#include <new>
#include <span>

#include "platform/band_deflater.h"
#include "platform/cores.h"
#include "platform/deflate_rows.h"
#include "platform/png_rows.h"

namespace platform {
namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint8_t kUpFilter = 2;
constexpr std::uint8_t kColourGrey = 0;
constexpr std::uint8_t kColourRgb = 2;
constexpr std::uint8_t kColourRgba = 6;
constexpr std::size_t kIdatBytes = 8192;

// A page bitmap's 0xAARRGGBB words as bytes in memory.
constexpr PixelBytes kWordBytes = std::endian::native == std::endian::little
                                      ? PixelBytes{.red = 2, .green = 1, .blue = 0, .alpha = 3}
                                      : PixelBytes{.red = 1, .green = 2, .blue = 3, .alpha = 0};

void putBigEndian(std::uint8_t* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

using Parts = std::vector<std::span<const std::uint8_t>>;

// Appends a chunk: length, type, data (the parts one after another), CRC of type and data.
void putChunk(std::vector<std::uint8_t>& png, const char* type, const Parts& parts) {
  std::size_t length = 0;
  for (const auto& part : parts) length += part.size();
  std::uint8_t word[4];
  putBigEndian(word, static_cast<std::uint32_t>(length));
  png.insert(png.end(), word, word + 4);
  const std::size_t typeAt = png.size();
  png.insert(png.end(), type, type + 4);
  for (const auto& part : parts) png.insert(png.end(), part.begin(), part.end());
  putBigEndian(word, crc32Of(0, std::span(png).subspan(typeAt)));
  png.insert(png.end(), word, word + 4);
}

// The stream in IDAT chunks of kIdatBytes (the last shorter), as decoders that read a file
// as it arrives expect.
void putImageData(std::vector<std::uint8_t>& png, const Parts& stream) {
  Parts chunk;
  std::size_t part = 0, at = 0;
  while (part < stream.size()) {
    chunk.clear();
    for (std::size_t room = kIdatBytes; room > 0 && part < stream.size();) {
      const std::size_t n = std::min(room, stream[part].size() - at);
      chunk.push_back(stream[part].subspan(at, n));
      room -= n;
      at += n;
      if (at == stream[part].size()) {
        ++part;
        at = 0;
      }
    }
    putChunk(png, "IDAT", chunk);
  }
}

// Channels: 1 grey, 3 RGB, 4 RGBA.
std::vector<std::uint8_t> container(std::int64_t width, std::int64_t height, int channels,
                                    const DeflatedRows& rows) {
  std::uint8_t adler[4];
  putBigEndian(adler, rows.adler);
  Parts stream = rows.pieces;
  stream.emplace_back(adler);
  std::size_t streamBytes = 0;
  for (const auto& part : stream) streamBytes += part.size();
  std::vector<std::uint8_t> png;
  png.reserve(sizeof kSignature + 25 + 12 + streamBytes + 12 * (streamBytes / kIdatBytes + 1));
  png.assign(std::begin(kSignature), std::end(kSignature));
  std::uint8_t header[13] = {};
  putBigEndian(header, static_cast<std::uint32_t>(width));
  putBigEndian(header + 4, static_cast<std::uint32_t>(height));
  header[8] = 8;  // bits per sample; compression, filter and interlace methods stay 0
  header[9] = channels == 4 ? kColourRgba : channels == 3 ? kColourRgb : kColourGrey;
  putChunk(png, "IHDR", {std::span<const std::uint8_t>(header)});
  putImageData(png, stream);
  putChunk(png, "IEND", {});
  return png;
}

RowCompressors rowCompressors(PngCompressor compressor) {
  switch (compressor) {
    case PngCompressor::kLibrary: return RowCompressors::kLibrary;
    case PngCompressor::kPixelMatcher: return RowCompressors::kPixelMatcher;
    case PngCompressor::kChosenPerBand: break;
  }
  return RowCompressors::kChosenPerBand;
}

// The PNG of rows from `writer`; absent with an empty `failure` when the writer refused.
std::optional<std::vector<std::uint8_t>> encodeRows(std::int64_t width, std::int64_t height, int channels,
                                                    const PngSettings& settings, const RowWriter& writer,
                                                    std::string& failure) {
  RowStreamSettings stream{.rows = height,
                           .rowBytes = 1 + width * channels,
                           .level = settings.level,
                           .compressors = rowCompressors(settings.compressor),
                           .pixelBytes = channels,
                           .threads = settings.threads,
                           .bandBytes = settings.bandBytes};
  const CoreClaim self;
  const std::int64_t bands = (height + rowsPerBand(stream.rowBytes, stream.bandBytes) - 1) /
                             rowsPerBand(stream.rowBytes, stream.bandBytes);
  const HelperCores helpers(settings.threads > 0 ? 0 : static_cast<int>(std::min<std::int64_t>(bands - 1, 1024)));
  if (settings.threads <= 0) stream.threads = 1 + helpers.count();
  auto rows = deflateRows(stream, writer, failure);
  if (!rows) return std::nullopt;
  if (rows->refused) return std::nullopt;
  try {
    return container(width, height, channels, *rows);
  } catch (const std::bad_alloc&) {
    failure = "out of memory";
    return std::nullopt;
  }
}

// RGB when the writer meets no translucent pixel, RGBA otherwise.
std::optional<std::vector<std::uint8_t>> encodeEither(std::int64_t width, std::int64_t height,
                                                      const PngSettings& settings, const RowWriter& rgb,
                                                      const RowWriter& rgba, std::string& failure) {
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide) {
    failure = "image size " + std::to_string(width) + " x " + std::to_string(height) + " cannot be encoded";
    return std::nullopt;
  }
  failure.clear();
  if (!settings.alwaysRgba) {
    auto png = encodeRows(width, height, 3, settings, rgb, failure);
    if (png || !failure.empty()) return png;
  }
  return encodeRows(width, height, 4, settings, rgba, failure);
}

std::uint8_t unpremultiplied(std::uint32_t colour, std::uint32_t alpha) {
  return static_cast<std::uint8_t>(std::min(255u, (colour * 255u + alpha / 2) / alpha));
}

// Straight RGBA bytes of a row of premultiplied words.
void straightRgba(const std::uint32_t* words, std::int64_t width, std::uint8_t* out) {
  for (std::int64_t x = 0; x < width; ++x, out += 4) {
    const std::uint32_t w = words[x];
    const std::uint32_t a = w >> 24;
    std::uint32_t red = (w >> 16) & 0xFF, green = (w >> 8) & 0xFF, blue = w & 0xFF;
    if (a != 255) {
      red = a == 0 ? 0 : unpremultiplied(red, a);
      green = a == 0 ? 0 : unpremultiplied(green, a);
      blue = a == 0 ? 0 : unpremultiplied(blue, a);
    }
    out[0] = static_cast<std::uint8_t>(red);
    out[1] = static_cast<std::uint8_t>(green);
    out[2] = static_cast<std::uint8_t>(blue);
    out[3] = static_cast<std::uint8_t>(a);
  }
}

}  // namespace

std::optional<std::vector<std::uint8_t>> encodePng(const PageBitmap& bitmap, const PngSettings& settings,
                                                   std::string& failure) {
  const std::int64_t width = bitmap.width();
  const std::int64_t height = bitmap.height();
  // Storage rows run top first; storage row r is drawing row height − 1 − r.
  auto storageRow = [&bitmap, height](std::int64_t r) {
    return reinterpret_cast<const std::uint8_t*>(bitmap.rowWords(height - 1 - r));
  };
  const RowWriter rgb = [&](std::int64_t first, std::int64_t count, std::uint8_t* out) {
    for (std::int64_t r = first; r < first + count; ++r, out += 1 + 3 * width) {
      out[0] = kUpFilter;
      const std::uint8_t* prior = r == 0 ? nullptr : storageRow(r - 1);
      if (upFilterToRgb(storageRow(r), prior, width, kWordBytes, out + 1) != 0xFF) return false;
    }
    return true;
  };
  const RowWriter rgba = [&](std::int64_t first, std::int64_t count, std::uint8_t* out) {
    const auto bytes = static_cast<std::size_t>(4 * width);
    std::vector<std::uint8_t> row(bytes), prior(bytes);
    if (first > 0) straightRgba(bitmap.rowWords(height - first), width, prior.data());
    for (std::int64_t r = first; r < first + count; ++r, out += 1 + bytes) {
      straightRgba(bitmap.rowWords(height - 1 - r), width, row.data());
      out[0] = kUpFilter;
      upFilterBytes(row.data(), r == 0 ? nullptr : prior.data(), bytes, out + 1);
      std::swap(row, prior);
    }
    return true;
  };
  return encodeEither(width, height, settings, rgb, rgba, failure);
}

std::optional<std::vector<std::uint8_t>> encodePng(const DecodedImage& image, const PngSettings& settings,
                                                   std::string& failure) {
  if (!image.rgba) {
    failure = "empty image";
    return std::nullopt;
  }
  const std::int64_t width = image.width;
  const RowWriter rgb = [&](std::int64_t first, std::int64_t count, std::uint8_t* out) {
    for (std::int64_t r = first; r < first + count; ++r, out += 1 + 3 * width) {
      out[0] = kUpFilter;
      const std::uint8_t* prior = r == 0 ? nullptr : image.row(r - 1);
      if (upFilterToRgb(image.row(r), prior, width, kRgbaBytes, out + 1) != 0xFF) return false;
    }
    return true;
  };
  const RowWriter rgba = [&](std::int64_t first, std::int64_t count, std::uint8_t* out) {
    const auto bytes = static_cast<std::size_t>(4 * width);
    for (std::int64_t r = first; r < first + count; ++r, out += 1 + bytes) {
      out[0] = kUpFilter;
      upFilterBytes(image.row(r), r == 0 ? nullptr : image.row(r - 1), bytes, out + 1);
    }
    return true;
  };
  return encodeEither(image.width, image.height, settings, rgb, rgba, failure);
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
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide ||
      levels.size() != static_cast<std::size_t>(width * height)) {
    failure = "grey image of " + std::to_string(levels.size()) + " levels is not " +
              std::to_string(width) + " x " + std::to_string(height);
    return std::nullopt;
  }
  const auto bytes = static_cast<std::size_t>(width);
  const RowWriter grey = [&](std::int64_t first, std::int64_t count, std::uint8_t* out) {
    for (std::int64_t r = first; r < first + count; ++r, out += 1 + bytes) {
      out[0] = kUpFilter;
      upFilterBytes(levels.data() + r * width, r == 0 ? nullptr : levels.data() + (r - 1) * width, bytes,
                    out + 1);
    }
    return true;
  };
  failure.clear();
  return encodeRows(width, height, 1, PngSettings{}, grey, failure);
}

}  // namespace platform
