// The crop of cutframe as the program runs it: a padded rectangle cut out of an image file,
// decoding only the rows (PNG) or blocks (JPEG) it needs. The cut must be exactly what cutting
// the same rectangle out of the whole decoded image gives.
//
// Input: x, y, w, h (one byte each, in pixels) and the padding ratio in hundredths (one byte),
// then the bytes of an image file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "cutframe/crop.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cutframe;
  if (size < 5) return 0;
  const CropRequest request{.x = static_cast<double>(data[0]), .y = static_cast<double>(data[1]),
                            .w = static_cast<double>(data[2]), .h = static_cast<double>(data[3]),
                            .paddingRatio = data[4] / 100.0};
  const std::span<const std::uint8_t> file(data + 5, size - 5);
  CropProblem problem{};
  const auto piece = cropImageBytes(file, request, problem);
  platform::ImageDecodeFailure failure{};
  const auto whole = platform::decodeImage(file, failure);
  if (!piece) {
    // Damage below the rectangle goes unnoticed by design, so only the whole decode's
    // success promises a cut.
    if (whole && problem != CropProblem::kOutsideImage) FUZZ_CHECK(false);
    return 0;
  }
  if (!whole) return 0;
  const auto region = pixelsInImage(paddedCropRect(request, whole->width, whole->height),
                                    whole->width, whole->height);
  FUZZ_CHECK(region && piece->width == region->width && piece->height == region->height);
  for (std::int64_t y = 0; y < piece->height; ++y) {
    FUZZ_CHECK(std::memcmp(piece->row(y), whole->row(region->y + y) + region->x * 4,
                           static_cast<std::size_t>(piece->width * 4)) == 0);
  }
  return 0;
}
