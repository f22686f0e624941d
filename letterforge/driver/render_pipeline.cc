#include "letterforge/driver/render_pipeline.h"

#include "letterforge/driver/exit_status.h"
#include "letterforge/raster/image_files.h"

namespace letterforge {

std::optional<RunFailure> planRun(RunState&) { return std::nullopt; }

std::optional<RunFailure> cleanAndTypeset(RunState&, platform::PageBitmap&) { return std::nullopt; }

std::optional<RunFailure> writeDebugImage(const RunState& run) {
  auto bitmap = createPageBitmap(run.pageImage.width, run.pageImage.height);
  if (!bitmap) return RunFailure{"Could not create the debug bitmap: out of memory", kExitOutOfMemory};
  bitmap->save();
  drawPageImage(*bitmap, run.pageImage);
  bitmap->restore();
  std::string failure;
  if (!writePng(*bitmap, run.options.debugImagePath, failure)) {
    return RunFailure{failure, kExitWriteFailure};
  }
  return std::nullopt;
}

}  // namespace letterforge
