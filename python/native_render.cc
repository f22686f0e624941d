#include "python/native_render.h"

#include <atomic>

#include <pybind11/pybind11.h>

#include "letterforge/driver/exit_status.h"
#include "letterforge/driver/rendered_files.h"

namespace letterforge::python_module {
namespace py = pybind11;
namespace {

// engineSerial's number for this thread's engine; 0 before it is asked for.
thread_local std::uint64_t threadEngineSerial = 0;


template <typename Payload>
std::variant<PayloadFile, PayloadText, Payload> payloadSource(const PayloadInput& input) {
  if (input.isFile) return PayloadFile{input.value};
  return PayloadText{.json = input.value, .name = input.name};
}

// The file a failure of the engine is about, when that file does not exist: the image for an
// image failure, the payload whose path begins a payload failure.
std::string missingFileOf(const RunFailure& failure, const std::string& imagePath,
                          const PayloadInput& ocr, const PayloadInput& translations) {
  if (failure.exitStatus == kExitImageUnreadable) return missingFile(imagePath);
  if (failure.exitStatus != kExitPayloadUnreadable) return "";
  for (const PayloadInput* payload : {&ocr, &translations}) {
    if (payload->isFile && failure.message.starts_with(payload->value + ": cannot be read: ")) {
      return missingFile(payload->value);
    }
  }
  return "";
}

[[noreturn]] void fail(const RunFailure& failure, std::vector<std::string> report,
                       std::string missing = "") {
  throw CallFailure{.status = failure.exitStatus,
                    .message = failure.message,
                    .report = std::move(report),
                    .missingFile = std::move(missing)};
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

std::optional<RenderEngine>& threadEngine() {
  // Engines keep fonts and caches from page to page and must not be shared between threads.
  thread_local std::optional<RenderEngine> engine;
  return engine;
}

std::uint64_t engineSerial() {
  static std::atomic<std::uint64_t> engines{0};
  if (!threadEngine()) threadEngineSerial = 0;
  else if (threadEngineSerial == 0) threadEngineSerial = ++engines;
  return threadEngineSerial;
}

bool releaseThreadEngine() {
  const bool held = threadEngine().has_value();
  threadEngine().reset();
  threadEngineSerial = 0;
  return held;
}

void PageRelease::operator()(RenderedPage* page) const {
  if (page->engine != 0 && page->engine == engineSerial()) {
    for (auto* bitmap : {&page->page, &page->debug}) {
      if (*bitmap) threadEngine()->keep(std::move(**bitmap));
    }
  }
  delete page;
}

RenderedPage renderPage(PageImageSource image, const PayloadInput& ocr,
                        const PayloadInput& translations, const JobOptions& options, bool debug,
                        bool layers) {
  const auto* file = std::get_if<ImageFile>(&image);
  const std::string imagePath = file ? file->path : "";
  RenderJob job{.image = std::move(image),
                .ocr = payloadSource<OcrPayload>(ocr),
                .translations = payloadSource<TranslationPayload>(translations),
                .settings = jobSettings(options),
                .debugImage = debug,
                .layers = layers};
  RenderedPage page{.options = options};
  RunFailure failure;
  std::optional<RenderResult> result;
  {
    // The sink only collects: no Python object may be touched while the GIL is released.
    py::gil_scoped_release release;
    auto& engine = threadEngine();
    if (!engine) engine.emplace();
    result = engine->render(
        std::move(job), [&](std::string_view line) { page.report.emplace_back(line); }, failure);
  }
  if (!result) {
    fail(failure, std::move(page.report), missingFileOf(failure, imagePath, ocr, translations));
  }
  if (result->debugFailure) fail(*result->debugFailure, std::move(page.report));
  page.engine = engineSerial();
  page.page = std::move(result->page.bitmap);
  if (result->debug) page.debug = std::move(result->debug->bitmap);
  page.layers = std::move(result->layers);
  page.blocks = std::move(result->blocks);
  page.warnings = std::move(result->warnings);
  return page;
}

void saveLayers(const EncodedLayers& layers, const std::string& prefix) {
  std::string failure;
  bool written = false;
  {
    py::gil_scoped_release release;
    written = writeLayers(layers, prefix, failure);
  }
  if (!written) throw CallFailure{.status = kExitWriteFailure, .message = failure};
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
  std::string failure;
  const auto encoding =
      debug ? debugEncoding(options, path, failure) : jobEncoding(options, path, failure);
  if (!encoding) throw CallFailure{.errorClass = "OptionError", .message = failure};
  return *encoding;
}

void saveFiles(const RenderedPage& page, const std::string& output, const std::string& debug,
               const std::string& layers) {
  RenderResult encoded{.page = {.encoded = encodeBitmap(*page.page, savedEncoding(page.options, output, false), output)}};
  if (!layers.empty()) encoded.layers = page.layers;
  if (!debug.empty()) {
    const ImageEncoding encoding = savedEncoding(page.options, debug, true);
    try {
      encoded.debug = RenderedImage{.encoded = encodeBitmap(*page.debug, encoding, debug)};
    } catch (const CallFailure& failure) {
      encoded.debugFailure = RunFailure{failure.message, failure.status};
    }
  }
  std::optional<RunFailure> failure;
  {
    py::gil_scoped_release release;
    failure = writeRenderedFiles(encoded, output, debug, layers);
  }
  if (failure) fail(*failure, {});
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
