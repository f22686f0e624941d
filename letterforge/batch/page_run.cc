#include "letterforge/batch/page_run.h"

#include <chrono>
#include <utility>

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

// The files of a rendered page: the layers and the output whole before anything of the debug
// image; an output that cannot be written takes the page's layers with it.
std::optional<RunFailure> storeAll(const RenderResult& result, const PageJob& job) {
  if (result.layers) {
    std::string failure;
    if (!writeLayers(*result.layers, job.layers, failure)) return RunFailure{failure, kExitWriteFailure};
  }
  if (auto failure = store(result.page.encoded, job.output)) {
    if (result.layers) removeLayers(job.layers);
    return failure;
  }
  if (job.debug.empty()) return std::nullopt;
  if (result.debugFailure) return result.debugFailure;
  return store(result.debug->encoded, job.debug);
}

}  // namespace

RenderJob renderJobOf(const PageJob& job) {
  const ImageFormat debugFormat = formatOfPath(job.debug).value_or(ImageFormat::kPng);
  return RenderJob{
      .image = ImageFile{job.image},
      .ocr = PayloadFile{job.ocr},
      .translations = PayloadFile{job.translation},
      .settings = jobSettings(job.options),
      .debugImage = !job.debug.empty(),
      .layers = !job.layers.empty(),
      .encoding = jobEncoding(job.options, job.output),
      .debugEncoding = ImageEncoding{.format = debugFormat, .quality = job.options.quality},
      .outputName = job.output,
      .debugName = job.debug};
}

PageReport runPage(RenderEngine& engine, const PageJob& job) {
  const auto start = std::chrono::steady_clock::now();
  PageReport report{.line = job.line,
                    .image = job.image,
                    .output = job.output,
                    .debug = job.debug,
                    .layers = job.layers};
  const ReportSink sink = [&report](std::string_view line) { report.reportLines.emplace_back(line); };
  RunFailure failure;
  if (const auto result = engine.render(renderJobOf(job), sink, failure)) {
    report.blocks = result->blocks;
    report.failure = storeAll(*result, job);
  } else {
    report.failure = std::move(failure);
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  report.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
  return report;
}

PageReport unreadableLineReport(const ManifestEntry& entry) {
  const PageJob& job = entry.job;
  return PageReport{.line = job.line,
                    .image = job.image,
                    .output = job.output,
                    .debug = job.debug,
                    .layers = job.layers,
                    .failure = RunFailure{entry.failure, kExitUsage}};
}

}  // namespace letterforge
