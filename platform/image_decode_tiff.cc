// TIFF through libtiff, reading from memory; the first directory is the image. libtiff's
// messages go to handlers that drop them.
#include <tiffio.h>

#include <algorithm>
#include <cstring>

#include "platform/image_decoders.h"

namespace platform {
namespace {

struct MemoryFile {
  std::span<const std::uint8_t> bytes;
  toff_t offset = 0;
};

MemoryFile& fileOf(thandle_t handle) { return *static_cast<MemoryFile*>(handle); }

tmsize_t readMemory(thandle_t handle, void* buffer, tmsize_t size) {
  MemoryFile& file = fileOf(handle);
  if (size < 0 || file.offset >= file.bytes.size()) return 0;
  const auto count = std::min<toff_t>(static_cast<toff_t>(size), file.bytes.size() - file.offset);
  std::memcpy(buffer, file.bytes.data() + file.offset, count);
  file.offset += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t refuseWrite(thandle_t, void*, tmsize_t) { return -1; }

toff_t seekMemory(thandle_t handle, toff_t offset, int whence) {
  MemoryFile& file = fileOf(handle);
  toff_t base = 0;
  if (whence == SEEK_CUR) base = file.offset;
  if (whence == SEEK_END) base = file.bytes.size();
  file.offset = base + offset;
  return file.offset;
}

int closeMemory(thandle_t) { return 0; }
toff_t sizeOfMemory(thandle_t handle) { return fileOf(handle).bytes.size(); }

int mapMemory(thandle_t handle, void** base, toff_t* size) {
  MemoryFile& file = fileOf(handle);
  *base = const_cast<std::uint8_t*>(file.bytes.data());
  *size = file.bytes.size();
  return 1;
}

void unmapMemory(thandle_t, void*, toff_t) {}

int dropMessage(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

struct TiffOptionsDeleter {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

// libtiff hands back colour premultiplied by alpha; the image holds it straight.
void unpremultiply(std::uint8_t* pixel) {
  const unsigned a = pixel[3];
  if (a == 255) return;
  for (int c = 0; c < 3; ++c) {
    pixel[c] = a == 0 ? 0 : static_cast<std::uint8_t>(std::min(255u, (pixel[c] * 255u + a / 2) / a));
  }
}

}  // namespace

std::optional<DecodedImage> decodeTiff(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure,
                                       PixelMemory* memory) {
  failure = ImageDecodeFailure::kCannotOpen;
  std::unique_ptr<TIFFOpenOptions, TiffOptionsDeleter> options(TIFFOpenOptionsAlloc());
  if (!options) return std::nullopt;
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), dropMessage, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), dropMessage, nullptr);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxImagePixels * 4);
  MemoryFile file{bytes};
  std::unique_ptr<TIFF, TiffCloser> tiff(TIFFClientOpenExt("image", "r", &file, readMemory, refuseWrite,
                                                           seekMemory, closeMemory, sizeOfMemory,
                                                           mapMemory, unmapMemory, options.get()));
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  if (!tiff || TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) != 1 ||
      TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) != 1) {
    return std::nullopt;
  }

  failure = ImageDecodeFailure::kCannotDecode;
  char message[1024] = {};
  if (!TIFFRGBAImageOK(tiff.get(), message)) return std::nullopt;
  auto image = allocateImage(width, height, memory);
  if (!image) return std::nullopt;
  // The pixel buffer is suitably aligned for 32-bit words (operator new[]).
  auto* words = reinterpret_cast<std::uint32_t*>(image->rgba.get());
  if (!TIFFReadRGBAImageOriented(tiff.get(), width, height, words, ORIENTATION_TOPLEFT, 1)) {
    return std::nullopt;
  }
  std::uint8_t* pixel = image->rgba.get();
  for (std::int64_t i = 0; i < image->width * image->height; ++i, pixel += 4) {
    std::uint32_t word = 0;
    std::memcpy(&word, pixel, 4);
    pixel[0] = static_cast<std::uint8_t>(TIFFGetR(word));
    pixel[1] = static_cast<std::uint8_t>(TIFFGetG(word));
    pixel[2] = static_cast<std::uint8_t>(TIFFGetB(word));
    pixel[3] = static_cast<std::uint8_t>(TIFFGetA(word));
    unpremultiply(pixel);
  }
  return image;
}

}  // namespace platform
