#include "letterforge/driver/run_frame.h"

#include <cstdio>
#include <utility>

#include "letterforge/driver/exit_status.h"
#include "letterforge/driver/render_options.h"
#include "letterforge/driver/render_pipeline.h"
#include "letterforge/raster/image_files.h"
#include "platform/process_output.h"

namespace letterforge {

int runLetterforge(const std::vector<std::string>& arguments) {
  const auto options = parseRenderOptions(arguments);
  if (!options) {
    platform::writeErrorLine(kUsageLine);
    return kExitUsage;
  }
  auto image = loadPageImage(options->imagePath);
  if (!image) {
    platform::writeErrorLine("Could not open image: " + options->imagePath);
    return kExitImageUnreadable;
  }

  const Rect pageRect{0.0, 0.0, static_cast<double>(image->width),
                      static_cast<double>(image->height)};
  RunState run{.options = *options, .pageImage = std::move(*image), .pageRect = pageRect};
  if (const auto failure = planRun(run)) {
    platform::writeErrorLine(failure->message);
    return failure->exitStatus;
  }

  auto bitmap = createPageBitmap(run.pageImage.width, run.pageImage.height);
  if (!bitmap) {
    platform::writeErrorLine("Could not create the page bitmap: out of memory");
    return kExitOutOfMemory;
  }
  bitmap->save();
  drawPageImage(*bitmap, run.pageImage);
  const auto pageFailure = cleanAndTypeset(run, *bitmap);
  bitmap->restore();
  if (pageFailure) {
    platform::writeErrorLine(pageFailure->message);
    return pageFailure->exitStatus;
  }

  std::string failure;
  if (!writePng(*bitmap, options->outputPngPath, failure)) {
    platform::writeErrorLine(failure);
    return kExitWriteFailure;
  }
  if (!options->debugImagePath.empty()) {
    // The page bitmap is no longer needed; the debug image gets its memory.
    bitmap.reset();
    if (const auto debugFailure = writeDebugImage(run)) {
      platform::writeErrorLine(debugFailure->message);
      return debugFailure->exitStatus;
    }
  }
  std::fputs(("Rendered " + options->outputPngPath + "\n").c_str(), stdout);
  std::fflush(stdout);
  return kExitSuccess;
}

}  // namespace letterforge
