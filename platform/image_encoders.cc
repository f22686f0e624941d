// JPEG through libjpeg (errors end in a longjmp back to the guarded step) and WebP through
// libwebp's picture interface, both fed row by row from the bitmap.
#include "platform/image_encoders.h"

#include <cstdio>  // jpeglib.h needs FILE and size_t first.

#include <jpeglib.h>
#include <webp/encode.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

struct JpegErrorManager {
  jpeg_error_mgr pub{};
  std::jmp_buf jump{};
  char message[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void failJpeg(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<JpegErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, errors->message);
  std::longjmp(errors->jump, 1);
}

bool fitsEncoders(const PageBitmap& bitmap, int largestSide, std::string& failure) {
  if (bitmap.width() <= largestSide && bitmap.height() <= largestSide) return true;
  failure = "image size " + std::to_string(bitmap.width()) + " x " + std::to_string(bitmap.height()) +
            " is larger than the format allows";
  return false;
}

// The bitmap's pixel words lie in memory as B, G, R, A on a little-endian machine.
constexpr J_COLOR_SPACE kWordColourSpace =
    std::endian::native == std::endian::little ? JCS_EXT_BGRX : JCS_EXT_XRGB;

struct WebpPicture {
  WebPPicture picture{};
  WebPMemoryWriter writer{};
  WebpPicture() {
    WebPPictureInit(&picture);
    WebPMemoryWriterInit(&writer);
  }
  ~WebpPicture() {
    WebPPictureFree(&picture);
    WebPMemoryWriterClear(&writer);
  }
};

std::string webpProblem(WebPEncodingError error) {
  switch (error) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY: return "out of memory";
    case VP8_ENC_ERROR_BAD_DIMENSION: return "image size is larger than the format allows";
    default: return "the encoder failed (error " + std::to_string(static_cast<int>(error)) + ")";
  }
}

}  // namespace

std::optional<std::vector<std::uint8_t>> encodeJpeg(const PageBitmap& bitmap, int quality,
                                                    std::string& failure) {
  if (!fitsEncoders(bitmap, JPEG_MAX_DIMENSION, failure)) return std::nullopt;
  jpeg_compress_struct cinfo{};
  JpegErrorManager errors;
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = failJpeg;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  // Nothing with a destructor may live inside the guarded part: the longjmp skips them.
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    failure = errors.message;
    return std::nullopt;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(bitmap.width());
  cinfo.image_height = static_cast<JDIMENSION>(bitmap.height());
  cinfo.input_components = 4;
  cinfo.in_color_space = kWordColourSpace;
  jpeg_set_defaults(&cinfo);
  const int q = std::clamp(quality, 1, 100);
  jpeg_set_quality(&cinfo, q, TRUE);
  const int sampling = q >= 90 ? 1 : 2;
  cinfo.comp_info[0].h_samp_factor = sampling;
  cinfo.comp_info[0].v_samp_factor = sampling;
  jpeg_start_compress(&cinfo, TRUE);
  // Storage rows run top first, which is drawing row height − 1 − r.
  while (cinfo.next_scanline < cinfo.image_height) {
    const std::int64_t drawingRow = bitmap.height() - 1 - cinfo.next_scanline;
    JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<std::uint32_t*>(bitmap.rowWords(drawingRow)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<std::uint8_t> bytes(buffer, buffer + size);
  std::free(buffer);
  return bytes;
}

std::optional<std::vector<std::uint8_t>> encodeWebp(const PageBitmap& bitmap,
                                                    std::optional<int> quality,
                                                    std::string& failure) {
  if (!fitsEncoders(bitmap, WEBP_MAX_DIMENSION, failure)) return std::nullopt;
  WebPConfig config;
  if (!WebPConfigInit(&config)) {
    failure = "the encoder library does not match its headers";
    return std::nullopt;
  }
  if (quality) {
    config.quality = static_cast<float>(std::clamp(*quality, 1, 100));
  } else {
    // The fastest lossless level: higher ones take several times as long for a few percent.
    WebPConfigLosslessPreset(&config, 1);
  }
  WebpPicture webp;
  WebPPicture& picture = webp.picture;
  picture.use_argb = 1;
  picture.width = static_cast<int>(bitmap.width());
  picture.height = static_cast<int>(bitmap.height());
  if (!WebPPictureAlloc(&picture)) {
    failure = "out of memory";
    return std::nullopt;
  }
  // The picture's pixels are 0xAARRGGBB words, as the bitmap's are once it is opaque.
  for (std::int64_t r = 0; r < bitmap.height(); ++r) {
    std::memcpy(picture.argb + r * picture.argb_stride, bitmap.rowWords(bitmap.height() - 1 - r),
                static_cast<std::size_t>(bitmap.width()) * 4);
  }
  picture.writer = WebPMemoryWrite;
  picture.custom_ptr = &webp.writer;
  if (!WebPEncode(&config, &picture)) {
    failure = webpProblem(picture.error_code);
    return std::nullopt;
  }
  return std::vector<std::uint8_t>(webp.writer.mem, webp.writer.mem + webp.writer.size);
}

}  // namespace platform
