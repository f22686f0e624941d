// cutframe: cuts a padded rectangle out of an image and writes it as a PNG file.
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

  CropProblem cropProblem{};
  const auto piece = cropImageFile(*request, cropProblem);
  if (!piece) return fail(cropProblemMessage(cropProblem, request->inputPath) + "\n");

  std::string failure;
  // Encoded whole before anything touches the file system, so a failed encode changes nothing.
  const auto png = platform::encodePng(*piece, failure);
  if (!png) return fail("Could not encode crop as PNG\n");
  if (!platform::writeFileReplacing(request->outputPath, *png, failure)) {
    return fail("Could not write crop: " + failure + "\n");
  }
  return kExitSuccess;
}
