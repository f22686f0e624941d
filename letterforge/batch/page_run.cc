#include "letterforge/batch/page_run.h"

#include <chrono>
#include <utility>

#include "letterforge/driver/exit_status.h"
#include "letterforge/driver/rendered_files.h"

namespace letterforge {

std::optional<RenderJob> renderJobOf(const PageJob& job, std::string& failure) {
  const auto encoding = jobEncoding(job.options, job.output, failure);
  if (!encoding) return std::nullopt;
  std::optional<ImageEncoding> debug;
  if (!job.debug.empty() && !(debug = debugEncoding(job.options, job.debug, failure))) {
    return std::nullopt;
  }
  return RenderJob{.image = ImageFile{job.image},
                   .ocr = PayloadFile{job.ocr},
                   .translations = PayloadFile{job.translation},
                   .settings = jobSettings(job.options),
                   .debugImage = !job.debug.empty(),
                   .layers = !job.layers.empty(),
                   .encoding = encoding,
                   .debugEncoding = debug,
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
  auto renderJob = renderJobOf(job, failure.message);
  if (!renderJob) {
    report.failure = RunFailure{std::move(failure.message), kExitUsage};
  } else if (const auto result = engine.render(std::move(*renderJob), sink, failure)) {
    report.blocks = result->blocks;
    report.failure = writeRenderedFiles(*result, job.output, job.debug, job.layers);
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
