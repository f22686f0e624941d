// The crop arithmetic of cutframe: arguments split at NUL bytes, the padded rectangle cut out
// of a small image whose size comes from the first two bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cutframe/crop.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cutframe;
  if (size < 2) return 0;
  const std::int64_t width = 1 + data[0] % 64;
  const std::int64_t height = 1 + data[1] % 64;
  const std::vector<std::string> arguments = splitArguments(data + 2, size - 2);
  ArgumentProblem problem{};
  const auto request = parseCropArguments(arguments, problem);
  if (!request) return 0;
  const CropRect rect = paddedCropRect(*request, width, height);
  const auto pixels = pixelsInImage(rect, width, height);
  if (!pixels) return 0;
  FUZZ_CHECK(pixels->x >= 0 && pixels->y >= 0 && pixels->width >= 1 && pixels->height >= 1);
  FUZZ_CHECK(pixels->x + pixels->width <= width && pixels->y + pixels->height <= height);
  auto image = platform::allocateImage(width, height);
  FUZZ_CHECK(image.has_value());
  std::memset(image->rgba.get(), 0x7F, static_cast<std::size_t>(width * height * 4));
  const auto piece = cutOut(*image, *pixels);
  FUZZ_CHECK(piece && piece->width == pixels->width && piece->height == pixels->height);
  return 0;
}
