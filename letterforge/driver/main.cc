// letterforge: renders one page from the command line. Report lines and failures go to
// standard error as they happen; the completion line goes to standard output.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "letterforge/driver/exit_status.h"
#include "letterforge/driver/render_engine.h"
#include "letterforge/driver/render_options.h"
#include "letterforge/driver/rendered_files.h"
#include "platform/files.h"
#include "platform/process_output.h"

namespace {

using namespace letterforge;

constexpr const char* kUsageLine =
    "Usage: letterforge <image> <ocr-json> <translation-json> <output-png>";

int fail(const RunFailure& failure) {
  platform::writeErrorLine(failure.message);
  return failure.exitStatus;
}

}  // namespace

int main(int argc, char** argv) {
  platform::reportOversizedWritesAsFailures();
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const auto options = parseRenderOptions(arguments);
  if (!options) {
    platform::writeErrorLine(kUsageLine);
    return kExitUsage;
  }
  const bool debug = !options->debugImagePath.empty();
  RenderJob job{.image = ImageFile{options->imagePath},
                .ocr = PayloadFile{options->ocrJsonPath},
                .translations = PayloadFile{options->translationJsonPath},
                .settings = options->settings,
                .debugImage = debug,
                .encoding = ImageEncoding{.format = ImageFormat::kPng},
                .outputName = options->outputPngPath,
                .debugName = options->debugImagePath};
  RenderEngine engine;
  RunFailure failure;
  const auto result = engine.render(std::move(job), platform::writeErrorLine, failure);
  if (!result) return fail(failure);
  if (const auto writeFailure =
          writeRenderedFiles(*result, options->outputPngPath, options->debugImagePath)) {
    return fail(*writeFailure);
  }
  std::fputs(("Rendered " + options->outputPngPath + "\n").c_str(), stdout);
  std::fflush(stdout);
  return kExitSuccess;
}
