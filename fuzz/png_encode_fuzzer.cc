// The PNG writer on images of any size up to 128 x 256 (past the first 32 KiB of rows, where the
// compressor changes), any pixels, any band split and number of threads: the file must decode
// to exactly the image, RGB when every pixel is opaque and RGBA otherwise, and its bytes must
// not depend on the number of threads.
//
// Input: width − 1 (one byte, modulo 128) and height − 1 (one byte), the square root of the
// band bytes (one byte: 0 for the default), threads (one byte, 1 to 4), whether to keep alpha
// (one byte, odd: yes), then RGBA pixels, repeated to fill the image.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/image.h"
#include "platform/png_encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  const std::int64_t width = 1 + data[0] % 128;
  const std::int64_t height = 1 + std::int64_t{data[1]};
  const platform::PngSettings settings{
      .alwaysRgba = (data[4] & 1) != 0,
      .threads = 1 + data[3] % 4,
      .bandBytes = data[2] == 0 ? platform::kPngBandBytes : std::int64_t{data[2]} * data[2]};
  auto image = platform::allocateImage(width, height);
  FUZZ_CHECK(image.has_value());
  const std::uint8_t* pixels = data + 5;
  const std::size_t pixelBytes = size - 5;
  bool opaque = true;
  for (std::int64_t i = 0; i < width * height * 4; ++i) {
    image->rgba[i] = pixels[static_cast<std::size_t>(i) % pixelBytes];
    if (i % 4 == 3 && image->rgba[i] != 255) opaque = false;
  }
  std::string failure;
  const auto png = platform::encodePng(*image, settings, failure);
  FUZZ_CHECK(png.has_value());
  FUZZ_CHECK(png->size() > 25 && (*png)[25] == (opaque && !settings.alwaysRgba ? 2 : 6));
  const auto back = platform::decodeImage(*png);
  FUZZ_CHECK(back && back->width == width && back->height == height);
  for (std::int64_t i = 0; i < width * height * 4; ++i) FUZZ_CHECK(back->rgba[i] == image->rgba[i]);
  platform::PngSettings oneThread = settings;
  oneThread.threads = 1;
  const auto alone = platform::encodePng(*image, oneThread, failure);
  FUZZ_CHECK(alone && *alone == *png);
  return 0;
}
