#include "letterforge/raster/image_files.h"

#include "platform/files.h"
#include "platform/png_encoder.h"

namespace letterforge {

std::optional<DecodedImage> loadPageImage(const std::string& imagePath) {
  return platform::decodeImageFile(imagePath);
}

std::optional<PageBitmap> createPageBitmap(std::int64_t pageWidth, std::int64_t pageHeight) {
  return PageBitmap::create(pageWidth, pageHeight);
}

void drawPageImage(PageBitmap& bitmap, const DecodedImage& image) {
  const platform::Rect page{0.0, 0.0, static_cast<double>(bitmap.width()),
                            static_cast<double>(bitmap.height())};
  bitmap.fillRect(page, platform::kWhite);
  bitmap.drawImage(image, page);
}

std::optional<std::vector<std::uint8_t>> encodePng(const PageBitmap& bitmap, const std::string& name,
                                                   std::string& failure) {
  auto bytes = platform::encodePng(bitmap, failure);
  if (!bytes) failure = "Could not encode " + name + " as PNG: " + failure;
  return bytes;
}

bool writePng(std::span<const std::uint8_t> png, const std::string& path, std::string& failure) {
  if (!platform::writeFileReplacing(path, png, failure)) {
    failure = "Could not write " + path + ": " + failure;
    return false;
  }
  return true;
}

}  // namespace letterforge
