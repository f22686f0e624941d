#include "python/native_render.h"

#include <pybind11/pybind11.h>

#include "letterforge/driver/exit_status.h"

namespace letterforge::python_module {
namespace py = pybind11;
namespace {

// Engines keep fonts and caches from page to page and must not be shared between threads, so
// each Python thread that renders gets its own, for as long as the thread lives.
RenderEngine& threadEngine() {
  thread_local RenderEngine engine;
  return engine;
}

template <typename Payload>
std::variant<PayloadFile, PayloadText, Payload> payloadSource(const PayloadInput& input) {
  if (input.isFile) return PayloadFile{input.value};
  return PayloadText{.json = input.value, .name = input.name};
}

[[noreturn]] void fail(const RunFailure& failure, std::vector<std::string> report) {
  throw CallFailure{
      .status = failure.exitStatus, .message = failure.message, .report = std::move(report)};
}

}  // namespace

JobOptions jobOptionsOf(const std::vector<std::pair<std::string, OptionValue>>& values) {
  JobOptions options;
  for (const auto& [name, value] : values) {
    std::string failure;
    if (!setJobOption(options, name, value, failure)) {
      throw CallFailure{.errorClass = "OptionError", .message = failure};
    }
  }
  return options;
}

RenderedPage renderPage(PageImageSource image, const PayloadInput& ocr,
                        const PayloadInput& translations, const JobOptions& options, bool debug) {
  RenderJob job{.image = std::move(image),
                .ocr = payloadSource<OcrPayload>(ocr),
                .translations = payloadSource<TranslationPayload>(translations),
                .settings = jobSettings(options),
                .debugImage = debug};
  RenderedPage page{.options = options};
  RunFailure failure;
  std::optional<RenderResult> result;
  {
    // The sink only collects: no Python object may be touched while the GIL is released.
    py::gil_scoped_release release;
    result = threadEngine().render(
        std::move(job), [&](std::string_view line) { page.report.emplace_back(line); }, failure);
  }
  if (!result) fail(failure, std::move(page.report));
  if (result->debugFailure) fail(*result->debugFailure, std::move(page.report));
  page.page = std::move(result->page.bitmap);
  if (result->debug) page.debug = std::move(result->debug->bitmap);
  page.blocks = std::move(result->blocks);
  page.warnings = std::move(result->warnings);
  return page;
}

ImageEncoding encodingOf(JobOptions options, const std::optional<std::string>& format,
                         const std::optional<double>& quality) {
  std::vector<std::pair<std::string, OptionValue>> given;
  if (format) given.emplace_back("format", *format);
  if (quality) given.emplace_back("quality", *quality);
  const JobOptions chosen = jobOptionsOf(given);
  if (chosen.format) options.format = chosen.format;
  if (chosen.quality) options.quality = chosen.quality;
  return ImageEncoding{.format = options.format.value_or(ImageFormat::kPng),
                       .quality = options.quality};
}

std::vector<std::uint8_t> encodeBitmap(const platform::PageBitmap& bitmap,
                                       const ImageEncoding& encoding, const std::string& name) {
  std::string failure;
  std::optional<std::vector<std::uint8_t>> bytes;
  {
    py::gil_scoped_release release;
    bytes = encodeImage(bitmap, encoding, name, failure);
  }
  if (!bytes) throw CallFailure{.status = kExitWriteFailure, .message = failure};
  return std::move(*bytes);
}

ImageEncoding savedEncoding(const JobOptions& options, const std::string& path, bool debug) {
  if (!debug) return jobEncoding(options, path);
  return ImageEncoding{.format = formatOfPath(path).value_or(ImageFormat::kPng),
                       .quality = options.quality};
}

void saveBitmap(const platform::PageBitmap& bitmap, const ImageEncoding& encoding,
                const std::string& path) {
  const auto bytes = encodeBitmap(bitmap, encoding, path);
  std::string failure;
  bool written = false;
  {
    py::gil_scoped_release release;
    written = writePng(bytes, path, failure);
  }
  if (!written) throw CallFailure{.status = kExitWriteFailure, .message = failure};
}

}  // namespace letterforge::python_module
