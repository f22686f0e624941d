#include "letterforge/raster/image_files.h"

#include <cctype>

#include "platform/files.h"
#include "platform/image_encoders.h"
#include "platform/png_encoder.h"

namespace letterforge {

std::optional<DecodedImage> loadPageImage(const std::string& imagePath, platform::PixelMemory* memory) {
  if (memory == nullptr) return platform::decodeImageFile(imagePath);
  platform::ImageDecodeFailure failure{};
  return platform::decodeImageFile(imagePath, failure, *memory);
}

std::optional<ImageSize> pageImageSize(const std::string& imagePath) {
  ImageSize size;
  platform::ImageDecodeFailure failure{};
  const auto corner = platform::decodeImageFileRegion(
      imagePath,
      [&size](std::int64_t width, std::int64_t height) {
        size = {width, height};
        return platform::ImageRegion{.x = 0, .y = 0, .width = 1, .height = 1};
      },
      failure);
  if (!corner) return std::nullopt;
  return size;
}

std::optional<PageBitmap> createPageBitmap(std::int64_t pageWidth, std::int64_t pageHeight,
                                           platform::PixelMemory* memory) {
  return PageBitmap::create(pageWidth, pageHeight, memory);
}

void drawPageImage(PageBitmap& bitmap, const DecodedImage& image) {
  if (image.width == bitmap.width() && image.height == bitmap.height()) {
    for (std::int64_t y = 0; y < image.height; ++y) bitmap.paintImageRow(y, image.row(y), 4);
    return;
  }
  const platform::Rect page{0.0, 0.0, static_cast<double>(bitmap.width()),
                            static_cast<double>(bitmap.height())};
  bitmap.fillRect(page, platform::kWhite);
  bitmap.drawImage(image, page);
}

std::string extensionOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const std::string_view name =
      std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
  const auto dot = name.find_last_of('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return {};
  return std::string(name.substr(dot + 1));
}

std::optional<ImageFormat> formatOfPath(const std::string& path) {
  std::string extension = extensionOf(path);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "png") return ImageFormat::kPng;
  if (extension == "jpg" || extension == "jpeg") return ImageFormat::kJpeg;
  if (extension == "webp") return ImageFormat::kWebp;
  return std::nullopt;
}

const char* formatWord(ImageFormat format) {
  switch (format) {
    case ImageFormat::kJpeg: return "jpeg";
    case ImageFormat::kWebp: return "webp";
    case ImageFormat::kPng: break;
  }
  return "png";
}

std::optional<std::vector<std::uint8_t>> encodeImage(const PageBitmap& bitmap,
                                                     const ImageEncoding& encoding,
                                                     const std::string& name, std::string& failure) {
  std::optional<std::vector<std::uint8_t>> bytes;
  switch (encoding.format) {
    case ImageFormat::kPng: return encodePng(bitmap, name, failure);
    case ImageFormat::kJpeg:
      bytes = platform::encodeJpeg(bitmap, encoding.quality.value_or(kDefaultJpegQuality), failure);
      if (!bytes) failure = "Could not encode " + name + " as JPEG: " + failure;
      return bytes;
    case ImageFormat::kWebp:
      bytes = platform::encodeWebp(bitmap, encoding.quality, failure);
      if (!bytes) failure = "Could not encode " + name + " as WebP: " + failure;
      return bytes;
  }
  return bytes;
}

std::optional<std::vector<std::uint8_t>> encodePng(const PageBitmap& bitmap, const std::string& name,
                                                   std::string& failure) {
  auto bytes = platform::encodePng(bitmap, failure);
  if (!bytes) failure = "Could not encode " + name + " as PNG: " + failure;
  return bytes;
}

void copyBitmapPixels(const PageBitmap& bitmap, int channels, std::uint8_t* out,
                      std::size_t stride) {
  const std::int64_t height = bitmap.height();
  for (std::int64_t r = 0; r < height; ++r, out += stride) {
    // Drawing rows count from the bottom.
    const std::uint32_t* words = bitmap.rowWords(height - 1 - r);
    std::uint8_t* to = out;
    for (std::int64_t x = 0; x < bitmap.width(); ++x, to += channels) {
      const std::uint32_t v = words[x];
      to[0] = static_cast<std::uint8_t>(v >> 16);
      to[1] = static_cast<std::uint8_t>(v >> 8);
      to[2] = static_cast<std::uint8_t>(v);
      if (channels == 4) to[3] = static_cast<std::uint8_t>(v >> 24);
    }
  }
}

bool writePng(std::span<const std::uint8_t> png, const std::string& path, std::string& failure) {
  if (!platform::writeFileReplacing(path, png, failure)) {
    failure = "Could not write " + path + ": " + failure;
    return false;
  }
  return true;
}

}  // namespace letterforge
