#include "letterforge/batch/page_run.h"

#include <chrono>
#include <utility>

#include "letterforge/chapter/chapter_source.h"
#include "letterforge/driver/exit_status.h"
#include "letterforge/driver/output_names.h"
#include "letterforge/driver/rendered_files.h"
#include "letterforge/raster/image_files.h"
#include "platform/files.h"

namespace letterforge {
namespace {

// An image read whole to be named by its member name: as large as an archive member may be.
constexpr std::uint64_t kMaxImageBytes = ArchiveLimits{}.memberBytes;

std::optional<std::string> readNamed(const std::string& path, const std::string& name,
                                     std::uint64_t maxBytes, RunFailure& failure, int status) {
  std::string reason;
  auto bytes = platform::readWholeFile(path, maxBytes, reason);
  if (!bytes) failure = {name + ": cannot be read: " + reason, status};
  return bytes;
}

template <typename Source>
std::optional<Source> payloadSource(const std::string& path, const std::string& name, RunFailure& failure) {
  if (name.empty()) return Source{PayloadFile{path}};
  auto text = readNamed(path, name, kMaxPayloadBytes, failure, kExitPayloadUnreadable);
  if (!text) return std::nullopt;
  return Source{PayloadText{std::move(*text), name}};
}

std::optional<PageImageSource> imageSource(const PageJob& job, RunFailure& failure) {
  if (job.imageName.empty()) return PageImageSource{ImageFile{job.image}};
  auto bytes = readNamed(job.image, job.imageName, kMaxImageBytes, failure, kExitImageUnreadable);
  if (!bytes) return std::nullopt;
  return PageImageSource{EncodedImage{.bytes = {bytes->begin(), bytes->end()}, .name = job.imageName}};
}

// A page without payloads goes into the chapter as it came.
std::optional<RunFailure> copyImage(const PageJob& job) {
  RunFailure failure;
  const auto bytes = readNamed(job.image, shownImage(job), kMaxImageBytes, failure, kExitImageUnreadable);
  if (!bytes) return failure;
  const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size());
  std::string why;
  if (!writePng(data, job.output, why)) return RunFailure{why, kExitWriteFailure};
  return std::nullopt;
}

void renderInto(RenderEngine& engine, const PageJob& job, PageReport& report) {
  RunFailure failure;
  auto renderJob = renderJobOf(job, failure);
  if (!renderJob) {
    report.failure = std::move(failure);
    return;
  }
  const ReportSink sink = [&report](std::string_view line) { report.reportLines.emplace_back(line); };
  if (auto result = engine.render(std::move(*renderJob), sink, failure)) {
    report.blocks = result->blocks;
    report.warnings.insert(report.warnings.end(), result->warnings.begin(), result->warnings.end());
    report.failure = writeRenderedFiles(*result, job.output, job.debug, job.layers);
  } else {
    report.failure = std::move(failure);
  }
}

}  // namespace

std::optional<RenderJob> renderJobOf(const PageJob& job, RunFailure& failure) {
  // Files are written in the format their names promise, or the page fails before it is read.
  const auto encoding = jobEncoding(job.options, job.output, failure.message);
  std::optional<ImageEncoding> debug;
  if (!encoding || (!job.debug.empty() && !(debug = debugEncoding(job.options, job.debug, failure.message)))) {
    failure.exitStatus = kExitUsage;
    return std::nullopt;
  }
  auto image = imageSource(job, failure);
  if (!image) return std::nullopt;
  auto ocr = payloadSource<OcrSource>(job.ocr, job.ocrName, failure);
  if (!ocr) return std::nullopt;
  auto translations = payloadSource<TranslationSource>(job.translation, job.translationName, failure);
  if (!translations) return std::nullopt;
  return RenderJob{.image = std::move(*image),
                   .ocr = std::move(*ocr),
                   .translations = std::move(*translations),
                   .settings = jobSettings(job.options),
                   .debugImage = !job.debug.empty(),
                   .layers = !job.layers.empty(),
                   .encoding = encoding,
                   .debugEncoding = debug,
                   .outputName = job.output,
                   .debugName = job.debug};
}

std::vector<std::string> jobWarnings(const PageJob& job) {
  if (job.copyImage) return {"no payloads beside the page: its image is copied as it is"};
  return outputNameWarnings(job.options, job.output);
}

PageReport runPage(RenderEngine& engine, const PageJob& job) {
  const auto start = std::chrono::steady_clock::now();
  PageReport report{.line = job.line, .image = shownImage(job), .output = job.output,
                    .debug = job.debug, .layers = job.layers, .warnings = jobWarnings(job)};
  if (job.copyImage) {
    report.failure = copyImage(job);
  } else {
    renderInto(engine, job, report);
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  report.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
  return report;
}

PageCheckReport checkPage(RenderEngine& engine, const PageJob& job) {
  PageCheckReport report{.line = job.line, .image = shownImage(job), .output = job.output,
                         .debug = job.debug, .warnings = jobWarnings(job)};
  if (job.copyImage) {
    if (!pageImageSize(job.image)) {
      report.problems.push_back({"Could not open image: " + shownImage(job), kExitImageUnreadable});
    }
    return report;
  }
  RunFailure failure;
  auto renderJob = renderJobOf(job, failure);
  if (!renderJob) {
    report.problems.push_back(std::move(failure));
    return report;
  }
  PageCheck check = engine.check(std::move(*renderJob));
  report.problems = std::move(check.problems);
  report.warnings.insert(report.warnings.end(), check.warnings.begin(), check.warnings.end());
  return report;
}

PageReport skippedPageReport(const PageJob& job, const std::string& reason) {
  return PageReport{.line = job.line, .image = shownImage(job), .output = job.output,
                    .debug = job.debug, .layers = job.layers, .skipped = reason};
}

PageReport unreadableLineReport(const ManifestEntry& entry) {
  const PageJob& job = entry.job;
  return PageReport{.line = job.line,
                    .image = shownImage(job),
                    .output = job.output,
                    .debug = job.debug,
                    .layers = job.layers,
                    .failure = RunFailure{entry.failure, kExitUsage}};
}

}  // namespace letterforge
