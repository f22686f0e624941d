#include "letterforge/driver/rendered_files.h"

#include "letterforge/driver/exit_status.h"
#include "letterforge/raster/image_files.h"

namespace letterforge {
namespace {

std::optional<RunFailure> store(const std::vector<std::uint8_t>& bytes, const std::string& path) {
  std::string failure;
  if (writePng(bytes, path, failure)) return std::nullopt;
  return RunFailure{failure, kExitWriteFailure};
}

}  // namespace

std::optional<RunFailure> writeRenderedFiles(const RenderResult& result, const std::string& output,
                                             const std::string& debug) {
  if (auto failure = store(result.page.encoded, output)) return failure;
  if (debug.empty()) return std::nullopt;
  if (result.debugFailure) return result.debugFailure;
  return store(result.debug->encoded, debug);
}

}  // namespace letterforge
