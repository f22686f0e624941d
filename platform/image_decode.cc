#include "platform/image.h"
#include "platform/page_decode.h"

#include <spng.h>
#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/band_deflater.h"
#include "platform/files.h"
#include "platform/huge_pages.h"
#include "platform/image_decoders.h"
#include "platform/png_inflate.h"
#include "platform/png_rows.h"

namespace platform {
namespace {

// Far above any page scan; a larger file is refused before it is read.
constexpr std::uint64_t kMaxImageFileBytes = std::uint64_t{1} << 30;
// Ancillary chunks (text, profiles) are skipped, but their size is still bounded.
constexpr std::size_t kMaxPngChunkBytes = std::size_t{64} << 20;

bool startsWith(std::span<const std::uint8_t> bytes, std::string_view magic, std::size_t at = 0) {
  return bytes.size() >= at + magic.size() &&
         std::memcmp(bytes.data() + at, magic.data(), magic.size()) == 0;
}

struct SpngContextDeleter {
  void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

struct WebpAnimDecoderDeleter {
  void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

// An animated file yields its first frame, composed on the canvas as the format defines.
std::optional<DecodedImage> decodeWebpFirstFrame(std::span<const std::uint8_t> bytes,
                                                 DecodedImage image) {
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return std::nullopt;
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  const WebPData data{bytes.data(), bytes.size()};
  std::unique_ptr<WebPAnimDecoder, WebpAnimDecoderDeleter> decoder(WebPAnimDecoderNew(&data, &options));
  WebPAnimInfo info;
  if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info) ||
      info.canvas_width != image.width || info.canvas_height != image.height) {
    return std::nullopt;
  }
  std::uint8_t* frame = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetNext(decoder.get(), &frame, &timestamp)) return std::nullopt;
  std::memcpy(image.rgba.get(), frame, static_cast<std::size_t>(image.width * image.height * 4));
  return image;
}

}  // namespace

bool withinImageLimits(std::int64_t width, std::int64_t height) {
  return width >= 1 && height >= 1 && width <= kMaxImageSide && height <= kMaxImageSide &&
         width * height <= kMaxImagePixels;
}

std::string imageOpenFailure(std::string_view name) {
  return "Could not open image: " + std::string(name);
}

bool regionInsideImage(const ImageRegion& region, std::int64_t width, std::int64_t height) {
  return region.x >= 0 && region.y >= 0 && region.width >= 1 && region.height >= 1 &&
         region.width <= width - region.x && region.height <= height - region.y;
}

std::optional<DecodedImage> copyRegion(const DecodedImage& image, const ImageRegion& region) {
  auto piece = allocateImage(region.width, region.height);
  if (!piece) return std::nullopt;
  for (std::int64_t y = 0; y < region.height; ++y) {
    std::memcpy(piece->row(y), image.row(region.y + y) + region.x * 4, static_cast<std::size_t>(region.width * 4));
  }
  return piece;
}

PixelBuffer allocatePixels(std::size_t bytes, bool cleared) {
  if (cleared) return PixelBuffer(static_cast<std::uint8_t*>(std::calloc(bytes, 1)), FreePixels{.cleared = true});
  try {
    return PixelBuffer(new std::uint8_t[bytes]);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

PixelBuffer PixelMemory::take(std::size_t bytes) {
  Kept* best = nullptr;
  for (Kept& kept : kept_) {
    if (kept.buffer == nullptr) continue;
    if (kept.bytes < bytes) {
      kept = {};
    } else if (best == nullptr || kept.bytes < best->bytes) {
      best = &kept;
    }
  }
  if (best == nullptr) return nullptr;
  return std::move(std::exchange(*best, {}).buffer);
}

void PixelMemory::keep(PixelBuffer buffer, std::size_t bytes) {
  if (buffer == nullptr) return;
  Kept* place = &kept_[0];
  for (Kept& kept : kept_) {
    if (kept.buffer == nullptr || kept.bytes < place->bytes) place = &kept;
    if (kept.buffer == nullptr) break;
  }
  if (place->buffer == nullptr || place->bytes < bytes) *place = {std::move(buffer), bytes};
}

void PixelMemory::keep(DecodedImage& image) {
  if (image.width > 0 && image.height > 0) {
    keep(std::move(image.rgba), static_cast<std::size_t>(image.width * image.height * 4));
  }
  image = {};
}

std::optional<DecodedImage> allocateImage(std::int64_t width, std::int64_t height, PixelMemory* memory) {
  if (!withinImageLimits(width, height)) return std::nullopt;
  const auto bytes = static_cast<std::size_t>(width * height * 4);
  DecodedImage image{.width = width, .height = height, .rgba = memory ? memory->take(bytes) : nullptr};
  if (image.rgba == nullptr) {
    image.rgba = allocatePixels(bytes, false);
    if (image.rgba == nullptr) return std::nullopt;
    adviseHugePages(image.rgba.get(), bytes);
  }
  return image;
}

// Whether every whole critical chunk (its type starts with a capital) holds its CRC; a chunk
// cut short by the end of the bytes is left to the decoder.
bool criticalChunksHoldTheirCrcs(std::span<const std::uint8_t> bytes) {
  constexpr std::size_t kSignatureBytes = 8;
  if (bytes.size() < kSignatureBytes) return true;
  for (std::size_t at = kSignatureBytes; bytes.size() - at >= 12;) {
    const std::size_t length = std::size_t{bytes[at]} << 24 | std::size_t{bytes[at + 1]} << 16 |
                               std::size_t{bytes[at + 2]} << 8 | bytes[at + 3];
    if (length > bytes.size() - at - 12) return true;
    const bool critical = (bytes[at + 4] & 0x20) == 0;
    const std::uint8_t* stored = bytes.data() + at + 8 + length;
    const std::uint32_t crc = std::uint32_t{stored[0]} << 24 | std::uint32_t{stored[1]} << 16 |
                              std::uint32_t{stored[2]} << 8 | stored[3];
    if (critical && crc32Of(0, bytes.subspan(at + 4, length + 4)) != crc) return false;
    at += 12 + length;
  }
  return true;
}

// 8-bit RGB or RGBA, not interlaced, without a transparent colour: the rows as stored are the
// pixels, RGB widened here (16 bytes at a time) rather than by the decoder (a byte at a time).
bool isPlainTruecolour(spng_ctx* ctx, const spng_ihdr& ihdr) {
  spng_trns trns{};
  return ihdr.bit_depth == 8 && ihdr.interlace_method == SPNG_INTERLACE_NONE &&
         (ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR || ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA) &&
         spng_get_trns(ctx, &trns) == SPNG_ECHUNKAVAIL;
}

// The data of the first run of IDAT chunks, in order; a chunk cut short by the end of the
// bytes ends it.
std::vector<std::span<const std::uint8_t>> imageDataPieces(std::span<const std::uint8_t> bytes) {
  constexpr std::size_t kSignatureBytes = 8;
  std::vector<std::span<const std::uint8_t>> pieces;
  for (std::size_t at = kSignatureBytes; bytes.size() >= at + 12;) {
    const std::size_t length = std::size_t{bytes[at]} << 24 | std::size_t{bytes[at + 1]} << 16 |
                               std::size_t{bytes[at + 2]} << 8 | bytes[at + 3];
    if (length > bytes.size() - at - 12) break;
    const bool imageData = startsWith(bytes, "IDAT", at + 4);
    if (!imageData && !pieces.empty()) break;
    if (imageData) pieces.push_back(bytes.subspan(at + 8, length));
    at += 12 + length;
  }
  return pieces;
}

namespace {

// Inflates and unfilters the rows of a plain truecolour PNG one at a time: row y is unfiltered
// in place at place(y), which must leave row y - 1 unchanged where place(y - 1) put it, and is
// then handed to take(y, row). libspng's inflater and unfilter took a fifth of a page's run.
template <typename Place, typename Take>
bool readPlainRows(std::span<const std::uint8_t> bytes, const spng_ihdr& ihdr, Place place, Take take) {
  const int pixelBytes = ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR ? 3 : 4;
  const auto rowBytes = static_cast<std::size_t>(ihdr.width) * static_cast<std::size_t>(pixelBytes);
  try {
    ImageDataInflater inflater(imageDataPieces(bytes));
    for (std::int64_t y = 0; y < ihdr.height; ++y) {
      std::uint8_t* row = place(y);
      std::uint8_t filter = 0;
      if (!inflater.read(std::span(&filter, 1)) || !inflater.read(std::span(row, rowBytes)) ||
          !unfilterRow(filter, row, y == 0 ? nullptr : place(y - 1), rowBytes, pixelBytes)) {
        return false;
      }
      take(y, static_cast<const std::uint8_t*>(row));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// Two rows of scratch that rows take in turn, so that each is unfiltered against the last.
class AlternateRows {
 public:
  explicit AlternateRows(std::size_t rowBytes) : rowBytes_(rowBytes), rows_(2 * rowBytes) {}
  std::uint8_t* operator()(std::int64_t y) { return rows_.data() + static_cast<std::size_t>(y % 2) * rowBytes_; }

 private:
  std::size_t rowBytes_;
  std::vector<std::uint8_t> rows_;
};

}  // namespace

// RGBA rows are unfiltered in the image itself; RGB rows in scratch, then widened (16 bytes at
// a time) rather than by the decoder (a byte at a time).
bool decodePlainTruecolour(std::span<const std::uint8_t> bytes, const spng_ihdr& ihdr, DecodedImage& image) {
  if (ihdr.color_type != SPNG_COLOR_TYPE_TRUECOLOR) {
    return readPlainRows(bytes, ihdr, [&](std::int64_t y) { return image.row(y); },
                         [](std::int64_t, const std::uint8_t*) {});
  }
  try {
    return readPlainRows(bytes, ihdr, AlternateRows(static_cast<std::size_t>(image.width) * 3),
                         [&](std::int64_t y, const std::uint8_t* row) { widenRgbToRgba(row, image.width, image.row(y)); });
  } catch (const std::bad_alloc&) {
    return false;
  }
}

namespace {

struct OpenedPng {
  std::unique_ptr<spng_ctx, SpngContextDeleter> ctx{};
  spng_ihdr ihdr{};
};

// The decoder over a PNG whose header has been read, within the limits. A whole image's
// integrity is the CRCs of its chunks, checked here at memory speed; the decoder's own check
// of the inflated data's Adler-32 took as long as the rest of inflating. A region stops before
// the checksum and is left as it was: damage below it must not refuse it.
std::optional<OpenedPng> openPng(std::span<const std::uint8_t> bytes, bool whole, ImageDecodeFailure& failure) {
  failure = ImageDecodeFailure::kCannotOpen;
  OpenedPng png{.ctx = decltype(OpenedPng::ctx)(spng_ctx_new(whole ? SPNG_CTX_IGNORE_ADLER32 : 0))};
  if (!png.ctx) return std::nullopt;
  spng_ctx* ctx = png.ctx.get();
  spng_set_image_limits(ctx, kMaxImageSide, kMaxImageSide);
  spng_set_chunk_limits(ctx, kMaxPngChunkBytes, kMaxPngChunkBytes);
  if (spng_set_png_buffer(ctx, bytes.data(), bytes.size()) != 0) return std::nullopt;
  const int headerError = spng_get_ihdr(ctx, &png.ihdr);
  if (headerError == SPNG_EUSER_WIDTH || headerError == SPNG_EUSER_HEIGHT) {
    failure = ImageDecodeFailure::kCannotDecode;  // a readable header, but too large
  }
  if (headerError != 0) return std::nullopt;
  failure = ImageDecodeFailure::kCannotDecode;
  if (!withinImageLimits(png.ihdr.width, png.ihdr.height)) return std::nullopt;
  if (whole && !criticalChunksHoldTheirCrcs(bytes)) return std::nullopt;
  return png;
}

}  // namespace

std::optional<DecodedImage> decodePng(std::span<const std::uint8_t> bytes, const ImageRegionChoice& choose,
                                      ImageDecodeFailure& failure, PixelMemory* memory) {
  auto png = openPng(bytes, !choose, failure);
  if (!png) return std::nullopt;
  spng_ctx* ctx = png->ctx.get();
  const spng_ihdr& ihdr = png->ihdr;
  const std::int64_t width = ihdr.width;
  const std::int64_t height = ihdr.height;
  const auto region = choose ? choose(width, height) : std::nullopt;
  if (region && !regionInsideImage(*region, width, height)) return std::nullopt;
  std::size_t size = 0;
  if (spng_decoded_image_size(ctx, SPNG_FMT_RGBA8, &size) != 0 ||
      size != static_cast<std::size_t>(width * height * 4)) {
    return std::nullopt;
  }
  // No gamma or profile is applied: samples are taken as device RGB.
  if (!region || ihdr.interlace_method != SPNG_INTERLACE_NONE) {
    auto image = allocateImage(width, height, region ? nullptr : memory);
    if (!image) return std::nullopt;
    const bool decoded = !region && isPlainTruecolour(ctx, ihdr)
                             ? decodePlainTruecolour(bytes, ihdr, *image)
                             : spng_decode_image(ctx, image->rgba.get(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) == 0;
    if (!decoded) return std::nullopt;
    return region ? copyRegion(*image, *region) : std::move(image);
  }
  // Row by row: each row is unfiltered against the one above, so the rows above the region
  // are decoded too, but only the region's columns are kept and nothing below it is read.
  auto image = allocateImage(region->width, region->height);
  std::vector<std::uint8_t> row;
  try {
    row.resize(static_cast<std::size_t>(width * 4));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  if (!image || spng_decode_image(ctx, nullptr, 0, SPNG_FMT_RGBA8,
                                  SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE) != 0) {
    return std::nullopt;
  }
  for (std::int64_t y = 0; y < region->y + region->height; ++y) {
    const int error = spng_decode_row(ctx, row.data(), row.size());
    if (error != 0 && !(error == SPNG_EOI && y == height - 1)) return std::nullopt;
    if (y >= region->y) {
      std::memcpy(image->row(y - region->y), row.data() + region->x * 4, static_cast<std::size_t>(region->width * 4));
    }
  }
  return image;
}

std::optional<DecodedImage> decodeWebp(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure,
                                       PixelMemory* memory) {
  failure = ImageDecodeFailure::kCannotOpen;
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK) return std::nullopt;

  failure = ImageDecodeFailure::kCannotDecode;
  auto image = allocateImage(features.width, features.height, memory);
  if (!image) return std::nullopt;
  if (features.has_animation) return decodeWebpFirstFrame(bytes, std::move(*image));
  const std::size_t size = static_cast<std::size_t>(image->width * image->height * 4);
  if (WebPDecodeRGBAInto(bytes.data(), bytes.size(), image->rgba.get(), size,
                         static_cast<int>(image->width * 4)) == nullptr) {
    return std::nullopt;
  }
  return image;
}

namespace {

std::optional<DecodedImage> decodeAny(std::span<const std::uint8_t> bytes, const ImageRegionChoice& choose,
                                      ImageDecodeFailure& failure, PixelMemory* memory) {
  failure = ImageDecodeFailure::kCannotOpen;
  if (startsWith(bytes, "\x89PNG\r\n\x1a\n")) return decodePng(bytes, choose, failure, memory);
  if (startsWith(bytes, "\xff\xd8\xff")) return decodeJpeg(bytes, choose, failure, memory);
  // The other formats decode whole, so their memory is only taken when no region is cut.
  PixelMemory* whole = choose ? nullptr : memory;
  std::optional<DecodedImage> image;
  if (startsWith(bytes, "RIFF") && startsWith(bytes, "WEBP", 8)) {
    image = decodeWebp(bytes, failure, whole);
  } else if (startsWith(bytes, "GIF87a") || startsWith(bytes, "GIF89a")) {
    image = decodeGif(bytes, failure, whole);
  } else if (startsWith(bytes, std::string_view("II*\0", 4)) || startsWith(bytes, std::string_view("MM\0*", 4)) ||
             startsWith(bytes, std::string_view("II+\0", 4)) || startsWith(bytes, std::string_view("MM\0+", 4))) {
    image = decodeTiff(bytes, failure, whole);
  }
  if (!image || !choose) return image;
  const auto region = choose(image->width, image->height);
  if (!region) return image;
  failure = ImageDecodeFailure::kCannotDecode;
  if (!regionInsideImage(*region, image->width, image->height)) return std::nullopt;
  return copyRegion(*image, *region);
}

// The decode of a file's contents; absent, with kCannotOpen, when the file cannot be read.
template <typename Decode>
auto decodeFileWith(const std::string& path, ImageDecodeFailure& failure, Decode decode)
    -> decltype(decode(std::span<const std::uint8_t>())) {
  failure = ImageDecodeFailure::kCannotOpen;
  std::string readFailure;
  const auto contents = readWholeFile(path, kMaxImageFileBytes, readFailure);
  if (!contents) return std::nullopt;
  return decode({reinterpret_cast<const std::uint8_t*>(contents->data()), contents->size()});
}

std::optional<DecodedImage> decodeFile(const std::string& path, const ImageRegionChoice& choose,
                                       ImageDecodeFailure& failure, PixelMemory* memory) {
  return decodeFileWith(path, failure, [&](std::span<const std::uint8_t> bytes) {
    return decodeAny(bytes, choose, failure, memory);
  });
}

// A plain truecolour PNG's rows painted onto a bitmap as they are inflated.
std::optional<PageBitmap> paintPlainPng(std::span<const std::uint8_t> bytes, const spng_ihdr& ihdr,
                                        ImageDecodeFailure& failure, PixelMemory& memory) {
  failure = ImageDecodeFailure::kCannotDecode;
  auto page = PageBitmap::createForImage(ihdr.width, ihdr.height, &memory);
  if (!page) return std::nullopt;
  const int channels = ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR ? 3 : 4;
  bool painted = false;
  try {
    painted = readPlainRows(bytes, ihdr, AlternateRows(static_cast<std::size_t>(ihdr.width) * channels),
                            [&](std::int64_t y, const std::uint8_t* row) { page->paintImageRow(y, row, channels); });
  } catch (const std::bad_alloc&) {
  }
  if (painted) return page;
  keepPixels(std::move(*page), memory);
  return std::nullopt;
}

}  // namespace

std::optional<DecodedImage> decodeImageRegion(std::span<const std::uint8_t> bytes, const ImageRegionChoice& choose,
                                              ImageDecodeFailure& failure) {
  return decodeAny(bytes, choose, failure, nullptr);
}

std::optional<DecodedImage> decodeImage(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure) {
  return decodeAny(bytes, nullptr, failure, nullptr);
}

std::optional<DecodedImage> decodeImage(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure,
                                        PixelMemory& memory) {
  return decodeAny(bytes, nullptr, failure, &memory);
}

std::optional<DecodedImage> decodeImage(std::span<const std::uint8_t> bytes) {
  ImageDecodeFailure failure{};
  return decodeImage(bytes, failure);
}

std::optional<DecodedImage> decodeImageFileRegion(const std::string& path, const ImageRegionChoice& choose,
                                                  ImageDecodeFailure& failure) {
  return decodeFile(path, choose, failure, nullptr);
}

std::optional<DecodedImage> decodeImageFile(const std::string& path, ImageDecodeFailure& failure) {
  return decodeFile(path, nullptr, failure, nullptr);
}

std::optional<DecodedImage> decodeImageFile(const std::string& path, ImageDecodeFailure& failure,
                                            PixelMemory& memory) {
  return decodeFile(path, nullptr, failure, &memory);
}

std::optional<DecodedImage> decodeImageFile(const std::string& path) {
  ImageDecodeFailure failure{};
  return decodeImageFile(path, failure);
}

std::optional<PageImage> decodePage(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure,
                                    PixelMemory& memory) {
  if (startsWith(bytes, "\x89PNG\r\n\x1a\n")) {
    const auto png = openPng(bytes, true, failure);
    if (!png) return std::nullopt;
    if (isPlainTruecolour(png->ctx.get(), png->ihdr)) return paintPlainPng(bytes, png->ihdr, failure, memory);
  }
  if (startsWith(bytes, "\xff\xd8\xff")) return decodeJpegPage(bytes, failure, memory);
  return decodeAny(bytes, nullptr, failure, &memory);
}

std::optional<PageImage> decodePageFile(const std::string& path, ImageDecodeFailure& failure,
                                        PixelMemory& memory) {
  return decodeFileWith(path, failure,
                        [&](std::span<const std::uint8_t> bytes) { return decodePage(bytes, failure, memory); });
}

}  // namespace platform
