#include "letterforge/driver/rendered_files.h"

#include "letterforge/driver/exit_status.h"
#include "letterforge/driver/page_layers.h"
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
                                             const std::string& debug, const std::string& layers) {
  const bool withLayers = result.layers && !layers.empty();
  if (withLayers) {
    std::string failure;
    if (!writeLayers(*result.layers, layers, failure)) return RunFailure{failure, kExitWriteFailure};
  }
  if (auto failure = store(result.page.encoded, output)) {
    if (withLayers) removeLayers(layers);
    return failure;
  }
  if (debug.empty()) return std::nullopt;
  if (result.debugFailure) return result.debugFailure;
  return store(result.debug->encoded, debug);
}

}  // namespace letterforge
