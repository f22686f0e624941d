// cutframe: cuts a padded rectangle out of an image and writes it as a PNG file.
#include <optional>
#include <string>
#include <vector>

#include "cutframe/crop.h"
#include "platform/files.h"
#include "platform/png_encoder.h"
#include "platform/process_output.h"

namespace {

int fail(const std::string& message) {
  platform::writeError(message);
  return cutframe::kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace cutframe;
  platform::reportOversizedWritesAsFailures();
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  ArgumentProblem problem{};
  const auto request = parseCropArguments(arguments, problem);
  if (!request) {
    return fail(problem == ArgumentProblem::kTooFew
                    ? "Usage: cutframe <input-image> <output-png> <x> <y> <w> <h> [padding-ratio]\n"
                    : "Invalid crop rectangle\n");
  }

  // Only the crop is decoded where the format allows it; the rectangle needs the image size,
  // which the decoder reports from the header.
  std::optional<PixelRect> pixels;
  const auto chooseCrop = [&](std::int64_t width, std::int64_t height) -> std::optional<platform::ImageRegion> {
    pixels = pixelsInImage(paddedCropRect(*request, width, height), width, height);
    if (!pixels) return std::nullopt;  // decoded whole, so that a broken file is still told apart
    return platform::ImageRegion{.x = pixels->x, .y = pixels->y, .width = pixels->width, .height = pixels->height};
  };
  platform::ImageDecodeFailure decodeFailure{};
  const auto piece = platform::decodeImageFileRegion(request->inputPath, chooseCrop, decodeFailure);
  if (!piece) {
    return fail((decodeFailure == platform::ImageDecodeFailure::kCannotOpen ? "Could not open image: "
                                                                             : "Could not decode image: ") +
                request->inputPath + "\n");
  }
  if (!pixels) return fail("Could not crop image\n");

  std::string failure;
  // Encoded whole before anything touches the file system, so a failed encode changes nothing.
  const auto png = platform::encodePng(*piece, failure);
  if (!png) return fail("Could not encode crop as PNG\n");
  if (!platform::writeFileReplacing(request->outputPath, *png, failure)) {
    return fail("Could not write crop: " + failure + "\n");
  }
  return kExitSuccess;
}
