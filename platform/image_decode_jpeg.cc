// JPEG through libjpeg, whose errors end in a longjmp back to the guarded step instead of
// exiting the process; its messages are swallowed.
#include <cstdio>  // jpeglib.h needs FILE and size_t first.

#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>

#include "platform/image_decoders.h"

namespace platform {
namespace {

// A progressive file may hold any number of scans; more than this is a way to burn time.
constexpr int kMaxJpegScans = 1000;

struct JpegErrorManager {
  jpeg_error_mgr pub{};
  std::jmp_buf jump{};
};

[[noreturn]] void failJpeg(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings are silent, but a file that ends early, or whose coded data ends at a marker
// before all blocks are read, is refused rather than padded with grey: a few bytes could
// otherwise claim an image of hundreds of megapixels and have it made.
void onJpegMessage(j_common_ptr cinfo, int level) {
  const int code = cinfo->err->msg_code;
  if (level < 0 && (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER)) failJpeg(cinfo);
}

void ignoreJpegOutput(j_common_ptr) {}

void limitJpegScans(j_common_ptr cinfo) {
  const auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (dinfo->input_scan_number > kMaxJpegScans) failJpeg(cinfo);
}

// Runs one step of libjpeg work; false when the library reported an error. The step must
// hold no objects with destructors, since the longjmp skips them.
template <typename Step>
bool guarded(JpegErrorManager& errors, Step&& step) {
  if (setjmp(errors.jump) != 0) return false;
  step();
  return true;
}

// Converted in place. Files with an Adobe marker store CMYK inverted (0 = full ink).
void cmykToRgba(std::uint8_t* row, std::int64_t width, bool inverted) {
  const unsigned flip = inverted ? 0 : 255;
  for (std::int64_t x = 0; x < width; ++x, row += 4) {
    const unsigned k = row[3] ^ flip;
    for (int c = 0; c < 3; ++c) row[c] = static_cast<std::uint8_t>(((row[c] ^ flip) * k + 127) / 255);
    row[3] = 255;
  }
}

}  // namespace

std::optional<DecodedImage> decodeJpeg(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure) {
  failure = ImageDecodeFailure::kCannotOpen;
  jpeg_decompress_struct cinfo{};
  JpegErrorManager errors;
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = failJpeg;
  errors.pub.emit_message = onJpegMessage;
  errors.pub.output_message = ignoreJpegOutput;
  jpeg_progress_mgr progress{};
  progress.progress_monitor = limitJpegScans;

  const bool headerRead = guarded(errors, [&] {
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
  });
  if (!headerRead) {
    jpeg_destroy_decompress(&cinfo);
    return std::nullopt;
  }

  failure = ImageDecodeFailure::kCannotDecode;
  auto image = allocateImage(cinfo.image_width, cinfo.image_height);
  if (!image) {
    jpeg_destroy_decompress(&cinfo);
    return std::nullopt;
  }
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
  DecodedImage* pixels = &*image;
  const bool decoded = guarded(errors, [&] {
    jpeg_start_decompress(&cinfo);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = pixels->row(cinfo.output_scanline);
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
  });
  jpeg_destroy_decompress(&cinfo);
  if (!decoded || cinfo.output_width != image->width || cinfo.output_height != image->height) {
    return std::nullopt;
  }
  if (cmyk) {
    for (std::int64_t y = 0; y < image->height; ++y) cmykToRgba(image->row(y), image->width, cinfo.saw_Adobe_marker);
  }
  return image;
}

}  // namespace platform
