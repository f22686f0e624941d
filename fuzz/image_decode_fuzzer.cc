// Image decoding of every supported format, recognised by content; a decoded image is then
// encoded as PNG and read back.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/image.h"
#include "platform/png_encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::ImageDecodeFailure failure{};
  const auto image = platform::decodeImage(std::span<const std::uint8_t>(data, size), failure);
  if (!image) return 0;
  FUZZ_CHECK(image->width >= 1 && image->height >= 1);
  FUZZ_CHECK(image->width <= platform::kMaxImageSide && image->height <= platform::kMaxImageSide);
  FUZZ_CHECK(image->width * image->height <= platform::kMaxImagePixels);
  // Touch the last byte so that a buffer smaller than its stated size shows.
  volatile std::uint8_t last = image->row(image->height - 1)[image->width * 4 - 1];
  (void)last;
  if (image->width * image->height > 256 * 256) return 0;
  std::string reason;
  const auto png = platform::encodePng(*image, reason);
  FUZZ_CHECK(png.has_value());
  const auto again = platform::decodeImage(*png);
  FUZZ_CHECK(again && again->width == image->width && again->height == image->height);
  return 0;
}
