#include "platform/image.h"

#include <spng.h>
#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

#include "platform/files.h"
#include "platform/image_decoders.h"

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

std::optional<DecodedImage> allocateImage(std::int64_t width, std::int64_t height) {
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide ||
      width * height > kMaxImagePixels) {
    return std::nullopt;
  }
  try {
    return DecodedImage{.width = width,
                        .height = height,
                        .rgba = std::make_unique_for_overwrite<std::uint8_t[]>(
                            static_cast<std::size_t>(width * height * 4))};
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<DecodedImage> decodePng(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure) {
  failure = ImageDecodeFailure::kCannotOpen;
  std::unique_ptr<spng_ctx, SpngContextDeleter> ctx(spng_ctx_new(0));
  if (!ctx) return std::nullopt;
  spng_set_image_limits(ctx.get(), kMaxImageSide, kMaxImageSide);
  spng_set_chunk_limits(ctx.get(), kMaxPngChunkBytes, kMaxPngChunkBytes);
  if (spng_set_png_buffer(ctx.get(), bytes.data(), bytes.size()) != 0) return std::nullopt;
  spng_ihdr ihdr{};
  const int headerError = spng_get_ihdr(ctx.get(), &ihdr);
  if (headerError == SPNG_EUSER_WIDTH || headerError == SPNG_EUSER_HEIGHT) {
    failure = ImageDecodeFailure::kCannotDecode;  // a readable header, but too large
  }
  if (headerError != 0) return std::nullopt;

  failure = ImageDecodeFailure::kCannotDecode;
  auto image = allocateImage(ihdr.width, ihdr.height);
  if (!image) return std::nullopt;
  std::size_t size = 0;
  if (spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &size) != 0 ||
      size != static_cast<std::size_t>(image->width * image->height * 4)) {
    return std::nullopt;
  }
  // No gamma or profile is applied: samples are taken as device RGB.
  if (spng_decode_image(ctx.get(), image->rgba.get(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0) {
    return std::nullopt;
  }
  return image;
}

std::optional<DecodedImage> decodeWebp(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure) {
  failure = ImageDecodeFailure::kCannotOpen;
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK) return std::nullopt;

  failure = ImageDecodeFailure::kCannotDecode;
  auto image = allocateImage(features.width, features.height);
  if (!image) return std::nullopt;
  if (features.has_animation) return decodeWebpFirstFrame(bytes, std::move(*image));
  const std::size_t size = static_cast<std::size_t>(image->width * image->height * 4);
  if (WebPDecodeRGBAInto(bytes.data(), bytes.size(), image->rgba.get(), size,
                         static_cast<int>(image->width * 4)) == nullptr) {
    return std::nullopt;
  }
  return image;
}

std::optional<DecodedImage> decodeImage(std::span<const std::uint8_t> bytes,
                                        ImageDecodeFailure& failure) {
  failure = ImageDecodeFailure::kCannotOpen;
  if (startsWith(bytes, "\x89PNG\r\n\x1a\n")) return decodePng(bytes, failure);
  if (startsWith(bytes, "\xff\xd8\xff")) return decodeJpeg(bytes, failure);
  if (startsWith(bytes, "RIFF") && startsWith(bytes, "WEBP", 8)) return decodeWebp(bytes, failure);
  if (startsWith(bytes, "GIF87a") || startsWith(bytes, "GIF89a")) return decodeGif(bytes, failure);
  if (startsWith(bytes, std::string_view("II*\0", 4)) || startsWith(bytes, std::string_view("MM\0*", 4)) ||
      startsWith(bytes, std::string_view("II+\0", 4)) || startsWith(bytes, std::string_view("MM\0+", 4))) {
    return decodeTiff(bytes, failure);
  }
  return std::nullopt;
}

std::optional<DecodedImage> decodeImage(std::span<const std::uint8_t> bytes) {
  ImageDecodeFailure failure{};
  return decodeImage(bytes, failure);
}

std::optional<DecodedImage> decodeImageFile(const std::string& path, ImageDecodeFailure& failure) {
  failure = ImageDecodeFailure::kCannotOpen;
  std::string readFailure;
  const auto contents = readWholeFile(path, kMaxImageFileBytes, readFailure);
  if (!contents) return std::nullopt;
  return decodeImage({reinterpret_cast<const std::uint8_t*>(contents->data()), contents->size()}, failure);
}

std::optional<DecodedImage> decodeImageFile(const std::string& path) {
  ImageDecodeFailure failure{};
  return decodeImageFile(path, failure);
}

}  // namespace platform
