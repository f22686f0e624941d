// JPEG through libjpeg, whose errors end in a longjmp back to the guarded step instead of
// exiting the process; its messages are swallowed.
#include <cstdio>  // jpeglib.h needs FILE and size_t first.

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

#include "platform/image_decoders.h"

namespace platform {
namespace {

// Every scan of a progressive file is a pass over the whole image, so a small file with a
// thousand scans costs a minute. Encoders write far fewer: libjpeg's standard scripts have 10
// for colour, 6 for grey, 18 for CMYK and 60 at most (ten components); hand-tuned scripts stay
// in the tens. More than this is refused from the markers, before any pixel is decoded.
constexpr int kMaxJpegScans = 100;

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

// A second guard, should libjpeg find scans that the count above did not.
void limitJpegScans(j_common_ptr cinfo) {
  const auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (dinfo->input_scan_number > kMaxJpegScans) failJpeg(cinfo);
}

// The number of scans in the file, counted from its markers up to limit + 1. Marker segments
// are skipped by their lengths; the coded data after a scan header runs to the next marker,
// past stuffed zero bytes, restart markers and fill bytes.
int countJpegScans(std::span<const std::uint8_t> bytes, int limit) {
  const std::size_t size = bytes.size();
  int scans = 0;
  std::size_t at = 2;  // after the start-of-image marker
  while (at + 1 < size && scans <= limit) {
    if (bytes[at] != 0xFF || bytes[at + 1] == 0xFF) {  // stray or fill byte
      ++at;
      continue;
    }
    const std::uint8_t marker = bytes[at + 1];
    at += 2;
    if (marker == 0xD9) break;  // end of image
    const bool standalone = marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
    if (standalone || at + 2 > size) continue;
    at += static_cast<std::size_t>(bytes[at]) << 8 | bytes[at + 1];
    if (marker != 0xDA) continue;
    ++scans;
    while (at + 1 < size) {
      const auto* ff = static_cast<const std::uint8_t*>(std::memchr(bytes.data() + at, 0xFF, size - at));
      if (ff == nullptr) return scans;
      at = static_cast<std::size_t>(ff - bytes.data());
      if (at + 1 >= size) return scans;
      const std::uint8_t next = bytes[at + 1];
      if (next != 0x00 && next != 0xFF && (next < 0xD0 || next > 0xD7)) break;
      at += next == 0xFF ? 1 : 2;
    }
  }
  return scans;
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

// The part of the image decoded for a region: the region grown by a margin on every side, so
// that the chroma upsampling of its edge pixels sees the same neighbours as in a whole-image
// decode. The decoder widens it further to whole blocks.
struct DecodedWindow {
  std::int64_t x = 0;
  std::int64_t y = 0;
  std::int64_t width = 0;
};

DecodedWindow decodeWindow(const ImageRegion& region, std::int64_t width) {
  // Two blocks of the largest (4 x 4 subsampled) chroma, 32 px, is more than any filter reaches.
  constexpr std::int64_t kMargin = 32;
  const std::int64_t left = std::max<std::int64_t>(region.x - kMargin, 0);
  const std::int64_t right = std::min(region.x + region.width + kMargin, width);
  const std::int64_t top = std::max<std::int64_t>(region.y - kMargin, 0);
  return {.x = left, .y = top, .width = right - left};
}

// A decompressor whose errors come back to the guarded step; destroyed with it.
struct JpegDecoder {
  jpeg_decompress_struct cinfo{};
  JpegErrorManager errors;
  jpeg_progress_mgr progress{};
  JpegDecoder() {
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = failJpeg;
    errors.pub.emit_message = onJpegMessage;
    errors.pub.output_message = ignoreJpegOutput;
    progress.progress_monitor = limitJpegScans;
  }
  ~JpegDecoder() { jpeg_destroy_decompress(&cinfo); }
  JpegDecoder(const JpegDecoder&) = delete;
  JpegDecoder& operator=(const JpegDecoder&) = delete;
};

// False, with `failure`, when the header cannot be read or the file holds too many scans.
bool readJpegHeader(JpegDecoder& decoder, std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure) {
  failure = ImageDecodeFailure::kCannotOpen;
  jpeg_decompress_struct& cinfo = decoder.cinfo;
  const bool headerRead = guarded(decoder.errors, [&] {
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &decoder.progress;
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
  });
  if (!headerRead) return false;
  failure = ImageDecodeFailure::kCannotDecode;
  return countJpegScans(bytes, kMaxJpegScans) <= kMaxJpegScans;
}

bool isCmyk(const jpeg_decompress_struct& cinfo) {
  return cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
}

}  // namespace

std::optional<DecodedImage> decodeJpeg(std::span<const std::uint8_t> bytes, const ImageRegionChoice& choose,
                                       ImageDecodeFailure& failure, PixelMemory* memory) {
  JpegDecoder decoder;
  if (!readJpegHeader(decoder, bytes, failure)) return std::nullopt;
  jpeg_decompress_struct& cinfo = decoder.cinfo;
  JpegErrorManager& errors = decoder.errors;
  const std::int64_t width = cinfo.image_width;
  const std::int64_t height = cinfo.image_height;
  const auto region = withinImageLimits(width, height) && choose ? choose(width, height) : std::nullopt;
  const ImageRegion wanted = region.value_or(ImageRegion{0, 0, width, height});
  auto image = regionInsideImage(wanted, width, height) ? allocateImage(wanted.width, wanted.height, region ? nullptr : memory)
                                                        : std::nullopt;
  const DecodedWindow window = decodeWindow(wanted, width);
  std::vector<std::uint8_t> rowBuffer;
  if (image && region) {
    try {
      // Whole rows: the decoder widens the window to whole blocks.
      rowBuffer.resize(static_cast<std::size_t>(width * 4));
    } catch (const std::bad_alloc&) {
      image.reset();
    }
  }
  if (!image) return std::nullopt;
  const bool cmyk = isCmyk(cinfo);
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
  DecodedImage* pixels = &*image;
  // Set before the guarded step, which must not leave a cropped decode unnoticed.
  JDIMENSION cropLeft = static_cast<JDIMENSION>(window.x);
  JDIMENSION cropWidth = static_cast<JDIMENSION>(window.width);
  const bool decoded = guarded(errors, [&] {
    jpeg_start_decompress(&cinfo);
    if (!region) {
      while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels->row(cinfo.output_scanline);
        jpeg_read_scanlines(&cinfo, &row, 1);
      }
      return;
    }
    if (window.width < width) jpeg_crop_scanline(&cinfo, &cropLeft, &cropWidth);
    if (window.y > 0) jpeg_skip_scanlines(&cinfo, static_cast<JDIMENSION>(window.y));
    JSAMPROW row = rowBuffer.data();
    while (cinfo.output_scanline < wanted.y + wanted.height) {
      const std::int64_t y = cinfo.output_scanline;
      jpeg_read_scanlines(&cinfo, &row, 1);
      if (y >= wanted.y) {
        std::memcpy(pixels->row(y - wanted.y), rowBuffer.data() + (wanted.x - cropLeft) * 4,
                    static_cast<std::size_t>(wanted.width * 4));
      }
    }
  });
  const bool complete = region ? cropLeft <= wanted.x && cropLeft + cropWidth >= wanted.x + wanted.width &&
                                     cinfo.output_width == cropWidth
                               : cinfo.output_width == width;
  if (!decoded || !complete || cinfo.output_height != height) return std::nullopt;
  if (cmyk) {
    for (std::int64_t y = 0; y < image->height; ++y) cmykToRgba(image->row(y), image->width, cinfo.saw_Adobe_marker);
  }
  return image;
}

std::optional<PageBitmap> decodeJpegPage(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure,
                                         PixelMemory& memory) {
  JpegDecoder decoder;
  if (!readJpegHeader(decoder, bytes, failure)) return std::nullopt;
  jpeg_decompress_struct& cinfo = decoder.cinfo;
  const std::int64_t width = cinfo.image_width;
  const std::int64_t height = cinfo.image_height;
  if (!withinImageLimits(width, height)) return std::nullopt;
  auto page = PageBitmap::createForImage(width, height, &memory);
  std::vector<std::uint8_t> row;
  try {
    row.resize(static_cast<std::size_t>(width * 4));
  } catch (const std::bad_alloc&) {
    page.reset();
  }
  if (!page) return std::nullopt;
  const bool cmyk = isCmyk(cinfo);
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
  PageBitmap* painted = &*page;
  JSAMPROW scanline = row.data();
  const bool decoded = guarded(decoder.errors, [&] {
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_width != width) return;
    while (cinfo.output_scanline < cinfo.output_height) {
      const std::int64_t y = cinfo.output_scanline;
      jpeg_read_scanlines(&cinfo, &scanline, 1);
      if (cmyk) cmykToRgba(scanline, width, cinfo.saw_Adobe_marker);
      painted->paintImageRow(y, scanline, 4);
    }
  });
  if (decoded && cinfo.output_width == width && cinfo.output_height == height) return page;
  keepPixels(std::move(*page), memory);
  return std::nullopt;
}

}  // namespace platform
