// The C interface over the render engine. Every entry point catches what the C++ below it
// may throw, so that nothing crosses into a C caller but codes and messages.
#include "letterforge/library/letterforge.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "letterforge/driver/block_flags.h"
#include "letterforge/driver/exit_status.h"
#include "letterforge/driver/job_options.h"
#include "letterforge/driver/render_engine.h"
#include "letterforge/driver/version.h"
#include "letterforge/raster/image_files.h"
#include "platform/image.h"

using namespace letterforge;

// The failure classes of the engine reach C callers as the program's exit statuses.
static_assert(LF_ERROR_IMAGE_UNREADABLE == kExitImageUnreadable);
static_assert(LF_ERROR_INVALID_ARGUMENT == kExitUsage);
static_assert(LF_ERROR_PAYLOAD_UNREADABLE == kExitPayloadUnreadable);
static_assert(LF_ERROR_DUPLICATE_ID == kExitDuplicateId);
static_assert(LF_ERROR_WRITE_FAILURE == kExitWriteFailure);
static_assert(LF_ERROR_OUT_OF_MEMORY == kExitOutOfMemory);
static_assert(LF_ERROR_FONT_UNAVAILABLE == kExitFontUnavailable);

// The header's version macros say what kVersion says.
#define LF_TEXT_OF(number) #number
#define LF_TEXT(number) LF_TEXT_OF(number)
static_assert(std::string_view(kVersion) == LF_TEXT(LF_VERSION_MAJOR) "." LF_TEXT(
                                                LF_VERSION_MINOR) "." LF_TEXT(LF_VERSION_PATCH),
              "LF_VERSION_MAJOR/MINOR/PATCH in letterforge.h differ from kVersion");

struct lf_error {
  int code = LF_OK;
  std::string message{};
};

struct lf_engine {
  RenderEngine engine{};
};

struct lf_job {
  std::optional<PageImageSource> image{};
  std::optional<OcrSource> ocr{};
  std::optional<TranslationSource> translations{};
  JobOptions options{};
  std::string outputName{};
  bool debug = false;
  bool layers = false;
  int contents = LF_RESULT_ENCODED;
  lf_report_callback callback = nullptr;
  void* user = nullptr;
};

struct lf_result {
  std::vector<std::uint8_t> image{};
  const char* format = "";
  std::vector<std::uint8_t> pixels{};  // RGBA, when kept
  int width = 0;
  int height = 0;
  std::optional<std::vector<std::uint8_t>> debug{};
  std::optional<lf_error> debugError{};
  std::optional<EncodedLayers> layers{};
  std::vector<std::string> lines{};
  std::vector<BlockOutcome> outcomes{};
  std::vector<std::string> flags{};  // one per outcome: its flag words, comma-separated
  std::vector<lf_block> blocks{};  // their strings point into `outcomes` and `flags`
};

namespace {

// Handed out when not even an error record can be had; lf_error_free leaves it alone.
lf_error outOfMemory{LF_ERROR_OUT_OF_MEMORY, "out of memory"};

// Hands the caller a failure unless an earlier one is waiting there; returns its code.
int fail(lf_error** error, int code, std::string_view message, std::string_view detail = {}) noexcept {
  if (error && !*error) {
    try {
      *error = new lf_error{code, std::string(message).append(detail)};
    } catch (...) {
      *error = &outOfMemory;
    }
  }
  return code;
}

int invalid(const char* function, std::string_view fault, lf_error** error) noexcept {
  return fail(error, LF_ERROR_INVALID_ARGUMENT, function, fault);
}

// Runs `body`, turning whatever it throws into a failure: an int body's code, a NULL pointer.
template <typename Body>
auto guarded(lf_error** error, Body body) noexcept -> decltype(body()) {
  int code = LF_ERROR_INTERNAL;
  try {
    return body();
  } catch (const std::bad_alloc&) {
    code = fail(error, LF_ERROR_OUT_OF_MEMORY, "out of memory");
  } catch (const std::length_error&) {  // a size beyond what any allocation can give
    code = fail(error, LF_ERROR_OUT_OF_MEMORY, "out of memory");
  } catch (const std::exception& e) {
    fail(error, code, "internal failure: ", e.what());
  } catch (...) {
    fail(error, code, "internal failure");
  }
  if constexpr (std::is_pointer_v<decltype(body())>) {
    return nullptr;
  } else {
    return code;
  }
}

// Runs a setter on a job, which must not be NULL. The setter returns the fault of an argument
// it refuses, or NULL.
template <typename Set>
int setJob(lf_job* job, const char* function, lf_error** error, Set set) noexcept {
  return guarded(error, [&]() -> int {
    if (!job) return invalid(function, ": job is NULL", error);
    if (const char* fault = set(*job)) return invalid(function, fault, error);
    return LF_OK;
  });
}

// A payload of the job (`Payload` names the field) from a file, or from JSON text that the
// failure to decode it calls `name`.
template <auto Payload>
int setPayloadFile(lf_job* job, const char* function, const char* path, lf_error** error) {
  return setJob(job, function, error, [&](lf_job& j) -> const char* {
    if (!path) return ": path is NULL";
    j.*Payload = PayloadFile{path};
    return nullptr;
  });
}

template <auto Payload>
int setPayloadText(lf_job* job, const char* function, const char* json, std::size_t length,
                   const char* name, lf_error** error) {
  return setJob(job, function, error, [&](lf_job& j) -> const char* {
    if (!json && length > 0) return ": json is NULL";
    j.*Payload = PayloadText{std::string(json ? json : "", length), name};
    return nullptr;
  });
}

int setOption(lf_job* job, const char* function, const char* name, const OptionValue& value,
              lf_error** error) {
  if (!job) return invalid(function, ": job is NULL", error);
  if (!name) return invalid(function, ": name is NULL", error);
  std::string failure;
  if (!setJobOption(job->options, name, value, failure)) {
    return fail(error, LF_ERROR_INVALID_ARGUMENT, failure);
  }
  return LF_OK;
}

// What is wrong with pixels as given, or NULL.
const char* pixelsFault(const void* pixels, int width, int height, std::size_t stride, int layout) {
  if (!pixels) return ": pixels is NULL";
  if (layout != LF_PIXELS_RGB && layout != LF_PIXELS_RGBA) {
    return ": layout is neither LF_PIXELS_RGB nor LF_PIXELS_RGBA";
  }
  if (width < 1 || height < 1) return ": a side is below 1 pixel";
  if (stride < static_cast<std::size_t>(width) * static_cast<std::size_t>(layout)) {
    return ": stride is less than width times the channels";
  }
  return nullptr;
}

// The pixels as the engine's RGBA image: alpha made opaque for RGB.
std::optional<platform::DecodedImage> imageOfPixels(const std::uint8_t* pixels, int width,
                                                    int height, std::size_t stride, int channels) {
  auto image = platform::allocateImage(width, height);
  if (!image) return std::nullopt;
  for (std::int64_t y = 0; y < height; ++y) {
    const std::uint8_t* from = pixels + static_cast<std::size_t>(y) * stride;
    std::uint8_t* to = image->row(y);
    if (channels == 4) {
      std::memcpy(to, from, static_cast<std::size_t>(width) * 4);
      continue;
    }
    for (int x = 0; x < width; ++x, from += 3, to += 4) {
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
      to[3] = 255;
    }
  }
  return image;
}

// A source the engine may consume, leaving the job's own as it is.
PageImageSource copyOf(const PageImageSource& source) {
  if (const auto* pixels = std::get_if<platform::DecodedImage>(&source)) {
    auto copy = platform::allocateImage(pixels->width, pixels->height);
    if (!copy) throw std::bad_alloc();
    std::memcpy(copy->rgba.get(), pixels->rgba.get(),
                static_cast<std::size_t>(pixels->width * pixels->height * 4));
    return std::move(*copy);
  }
  if (const auto* file = std::get_if<ImageFile>(&source)) return *file;
  return std::get<EncodedImage>(source);
}

RenderJob renderJobOf(const lf_job& job, ImageEncoding encoding) {
  RenderJob render{.image = copyOf(*job.image),
                   .ocr = *job.ocr,
                   .translations = *job.translations,
                   .settings = jobSettings(job.options),
                   .debugImage = job.debug,
                   .layers = job.layers,
                   .encoding = encoding};
  if (!job.outputName.empty()) render.outputName = job.outputName;
  return render;
}

// The engine's failure classes are the codes 1 and 3 to 7; anything else is our own fault.
int codeOf(const RunFailure& failure) {
  const int status = failure.exitStatus;
  const bool known = status >= kExitImageUnreadable && status <= kExitFontUnavailable &&
                     status != kExitUsage;
  return known ? status : LF_ERROR_INTERNAL;
}

lf_block blockOf(const BlockOutcome& outcome, const std::string& flags) {
  const BlockCleanup& cleanup = outcome.cleanup;
  return lf_block{.id = outcome.id.c_str(),
                  .item = outcome.item.c_str(),
                  .cleanup = cleanupActionWord(cleanup.action),
                  .has_coverage = cleanup.coverage.has_value(),
                  .coverage = cleanup.coverage.value_or(0.0),
                  .has_confidence = cleanup.confidence.has_value(),
                  .confidence = cleanup.confidence.value_or(0.0),
                  .fallback_reason = cleanup.fallbackReason.c_str(),
                  .fallback_cleanup = cleanupActionWord(cleanup.fallbackAction),
                  .drawn = outcome.typeset.drawn,
                  .font_size = outcome.typeset.size,
                  .overflowed = outcome.typeset.overflowed,
                  .unknown_characters = outcome.typeset.unknownCharacters,
                  .flags = flags.c_str()};
}

// The bitmap of the finished page as the job keeps it: encoded (as the engine would have
// encoded it) and as RGBA pixels. False, with the encoder's failure, when it cannot be encoded.
bool keepPage(const platform::PageBitmap& bitmap, int contents, const ImageEncoding& encoding,
              const std::string& name, lf_result& result, lf_error** error) {
  if ((contents & LF_RESULT_ENCODED) != 0) {
    std::string why;
    auto bytes = encodeImage(bitmap, encoding, name, why);
    if (!bytes) return fail(error, LF_ERROR_WRITE_FAILURE, why), false;
    result.image = std::move(*bytes);
  } else {
    result.format = "";
  }
  const auto width = static_cast<std::size_t>(bitmap.width());
  result.pixels.resize(width * static_cast<std::size_t>(bitmap.height()) * 4);
  copyBitmapPixels(bitmap, 4, result.pixels.data(), width * 4);
  result.width = static_cast<int>(bitmap.width());
  result.height = static_cast<int>(bitmap.height());
  return true;
}

lf_result* renderJob(RenderEngine& engine, const lf_job& job, lf_error** error) {
  const char* missing = !job.image ? ": the job has no page image"
                        : !job.ocr ? ": the job has no OCR payload"
                        : !job.translations ? ": the job has no translation payload"
                                            : nullptr;
  if (missing) return invalid("lf_render", missing, error), nullptr;
  std::string refused;
  const auto encoding = jobEncoding(job.options, job.outputName, refused);
  if (!encoding) return fail(error, LF_ERROR_INVALID_ARGUMENT, refused), nullptr;
  auto result = std::make_unique<lf_result>();
  result->format = formatWord(encoding->format);
  const ReportSink sink = [&](std::string_view line) {
    const std::string& kept = result->lines.emplace_back(line);
    if (job.callback) job.callback(kept.c_str(), kept.size(), job.user);
  };
  RenderJob render = renderJobOf(job, *encoding);
  const bool keepsPixels = (job.contents & LF_RESULT_PIXELS) != 0;
  if (keepsPixels) {
    // The page comes back as a bitmap, encoded here when asked; the debug image as before.
    render.debugEncoding = render.encoding;
    render.encoding.reset();
  }
  const std::string outputName = render.outputName;
  RunFailure failure;
  auto rendered = engine.render(std::move(render), sink, failure);
  if (!rendered) return fail(error, codeOf(failure), failure.message), nullptr;
  if (!keepsPixels) {
    result->image = std::move(rendered->page.encoded);
  } else {
    const bool kept =
        keepPage(*rendered->page.bitmap, job.contents, *encoding, outputName, *result, error);
    engine.keep(std::move(*rendered->page.bitmap));  // its memory serves the engine's next page
    if (!kept) return nullptr;
  }
  if (rendered->debug) result->debug = std::move(rendered->debug->encoded);
  if (rendered->debugFailure) {
    result->debugError = lf_error{codeOf(*rendered->debugFailure), rendered->debugFailure->message};
  }
  result->layers = std::move(rendered->layers);
  result->outcomes = std::move(rendered->blocks);
  result->blocks.reserve(result->outcomes.size());
  for (const BlockOutcome& outcome : result->outcomes) {
    std::string words;
    for (const std::string& word : flagWords(outcome.flags)) words += (words.empty() ? "" : ",") + word;
    result->flags.push_back(std::move(words));
  }
  for (std::size_t i = 0; i < result->outcomes.size(); ++i) {
    result->blocks.push_back(blockOf(result->outcomes[i], result->flags[i]));
  }
  return result.release();
}

const unsigned char* bytesOf(const std::vector<std::uint8_t>* bytes, std::size_t* length) {
  if (length) *length = bytes ? bytes->size() : 0;
  return bytes ? bytes->data() : nullptr;
}

}  // namespace

extern "C" {

const char* lf_version(void) { return kVersion; }

int lf_error_code(const lf_error* error) { return error ? error->code : LF_OK; }

const char* lf_error_message(const lf_error* error) { return error ? error->message.c_str() : ""; }

void lf_error_free(lf_error* error) {
  if (error != &outOfMemory) delete error;
}

lf_engine* lf_engine_new(lf_error** error) {
  return guarded(error, [] { return new lf_engine{}; });
}

void lf_engine_free(lf_engine* engine) { delete engine; }

lf_job* lf_job_new(lf_error** error) {
  return guarded(error, [] { return new lf_job{}; });
}

void lf_job_free(lf_job* job) { delete job; }

int lf_job_set_image_file(lf_job* job, const char* path, lf_error** error) {
  return setJob(job, __func__, error, [&](lf_job& j) -> const char* {
    if (!path) return ": path is NULL";
    j.image = ImageFile{path};
    return nullptr;
  });
}

int lf_job_set_image_bytes(lf_job* job, const void* bytes, size_t length, const char* name,
                           lf_error** error) {
  return setJob(job, __func__, error, [&](lf_job& j) -> const char* {
    if (!bytes && length > 0) return ": bytes is NULL";
    const auto* begin = static_cast<const std::uint8_t*>(bytes);
    j.image = EncodedImage{{begin, begin + length}, name ? name : "image bytes"};
    return nullptr;
  });
}

int lf_job_set_image_pixels(lf_job* job, const void* pixels, int width, int height, size_t stride,
                            int layout, lf_error** error) {
  const char* function = __func__;
  return guarded(error, [&]() -> int {
    if (const char* fault = !job ? ": job is NULL" : pixelsFault(pixels, width, height, stride, layout)) {
      return invalid(function, fault, error);
    }
    const std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
    if (!platform::withinImageLimits(width, height)) {
      return fail(error, LF_ERROR_IMAGE_UNREADABLE, platform::imageOpenFailure(size));
    }
    auto image =
        imageOfPixels(static_cast<const std::uint8_t*>(pixels), width, height, stride, layout);
    if (!image) return fail(error, LF_ERROR_OUT_OF_MEMORY, "out of memory for ", size);
    job->image = std::move(*image);
    return LF_OK;
  });
}

int lf_job_set_ocr_file(lf_job* job, const char* path, lf_error** error) {
  return setPayloadFile<&lf_job::ocr>(job, __func__, path, error);
}

int lf_job_set_ocr_json(lf_job* job, const char* json, size_t length, lf_error** error) {
  return setPayloadText<&lf_job::ocr>(job, __func__, json, length, "OCR JSON", error);
}

int lf_job_set_translation_file(lf_job* job, const char* path, lf_error** error) {
  return setPayloadFile<&lf_job::translations>(job, __func__, path, error);
}

int lf_job_set_translation_json(lf_job* job, const char* json, size_t length, lf_error** error) {
  return setPayloadText<&lf_job::translations>(job, __func__, json, length, "translation JSON",
                                               error);
}

int lf_job_set_option_number(lf_job* job, const char* name, double value, lf_error** error) {
  const char* function = __func__;
  return guarded(error, [&]() -> int { return setOption(job, function, name, value, error); });
}

int lf_job_set_option_boolean(lf_job* job, const char* name, int value, lf_error** error) {
  const char* function = __func__;
  return guarded(error, [&]() -> int { return setOption(job, function, name, value != 0, error); });
}

int lf_job_set_option_string(lf_job* job, const char* name, const char* value, lf_error** error) {
  const char* function = __func__;
  return guarded(error, [&]() -> int {
    if (job && name && !value) return invalid(function, ": value is NULL", error);
    return setOption(job, function, name, std::string(value ? value : ""), error);
  });
}

int lf_job_set_output_name(lf_job* job, const char* name, lf_error** error) {
  return setJob(job, __func__, error, [&](lf_job& j) -> const char* {
    if (!name) return ": name is NULL";
    j.outputName = name;
    return nullptr;
  });
}

int lf_job_set_debug(lf_job* job, int enabled, lf_error** error) {
  return setJob(job, __func__, error, [&](lf_job& j) -> const char* {
    j.debug = enabled != 0;
    return nullptr;
  });
}

int lf_job_set_layers(lf_job* job, int enabled, lf_error** error) {
  return setJob(job, __func__, error, [&](lf_job& j) -> const char* {
    j.layers = enabled != 0;
    return nullptr;
  });
}

int lf_job_set_result_contents(lf_job* job, int contents, lf_error** error) {
  return setJob(job, __func__, error, [&](lf_job& j) -> const char* {
    const int known = LF_RESULT_ENCODED | LF_RESULT_PIXELS;
    if (contents == 0 || (contents & ~known) != 0) {
      return ": contents is neither LF_RESULT_ENCODED, LF_RESULT_PIXELS nor both";
    }
    j.contents = contents;
    return nullptr;
  });
}

int lf_job_set_report_callback(lf_job* job, lf_report_callback callback, void* user,
                               lf_error** error) {
  return setJob(job, __func__, error, [&](lf_job& j) -> const char* {
    j.callback = callback;
    j.user = user;
    return nullptr;
  });
}

size_t lf_option_count(void) { return jobOptionDescriptions().size(); }

const lf_option_info* lf_option_at(size_t index) {
  return guarded(nullptr, [&]() -> const lf_option_info* {
    static const std::vector<lf_option_info> infos = [] {
      std::vector<lf_option_info> all;
      for (const OptionDescription& d : jobOptionDescriptions()) all.push_back({d.name, d.type, d.help});
      return all;
    }();
    return index < infos.size() ? &infos[index] : nullptr;
  });
}

lf_result* lf_render(lf_engine* engine, const lf_job* job, lf_error** error) {
  return guarded(error, [&]() -> lf_result* {
    if (!engine) return invalid("lf_render", ": engine is NULL", error), nullptr;
    if (!job) return invalid("lf_render", ": job is NULL", error), nullptr;
    return renderJob(engine->engine, *job, error);
  });
}

void lf_result_free(lf_result* result) { delete result; }

const unsigned char* lf_result_image(const lf_result* result, size_t* length) {
  return bytesOf(result && !result->image.empty() ? &result->image : nullptr, length);
}

const char* lf_result_format(const lf_result* result) { return result ? result->format : ""; }

const unsigned char* lf_result_pixels(const lf_result* result, int* width, int* height) {
  const bool kept = result && !result->pixels.empty();
  if (width) *width = kept ? result->width : 0;
  if (height) *height = kept ? result->height : 0;
  return kept ? result->pixels.data() : nullptr;
}

const unsigned char* lf_result_debug_image(const lf_result* result, size_t* length) {
  return bytesOf(result && result->debug ? &*result->debug : nullptr, length);
}

const lf_error* lf_result_debug_error(const lf_result* result) {
  return result && result->debugError ? &*result->debugError : nullptr;
}

const unsigned char* lf_result_layer(const lf_result* result, int layer, size_t* length) {
  const EncodedLayers* layers = result && result->layers ? &*result->layers : nullptr;
  const std::vector<std::uint8_t>* bytes = nullptr;
  if (layers) {
    switch (layer) {
      case LF_LAYER_CLEANED: bytes = &layers->cleaned; break;
      case LF_LAYER_TEXT: bytes = &layers->text; break;
      case LF_LAYER_MASK: bytes = &layers->mask; break;
      case LF_LAYER_PSD: bytes = &layers->psd; break;
      default: break;
    }
  }
  return bytesOf(bytes, length);
}

size_t lf_result_line_count(const lf_result* result) { return result ? result->lines.size() : 0; }

const char* lf_result_line(const lf_result* result, size_t index) {
  return result && index < result->lines.size() ? result->lines[index].c_str() : nullptr;
}

size_t lf_result_block_count(const lf_result* result) {
  return result ? result->blocks.size() : 0;
}

const lf_block* lf_result_block(const lf_result* result, size_t index) {
  return result && index < result->blocks.size() ? &result->blocks[index] : nullptr;
}

int lf_write_file(const char* path, const void* bytes, size_t length, lf_error** error) {
  const char* function = __func__;
  return guarded(error, [&]() -> int {
    if (!path) return invalid(function, ": path is NULL", error);
    if (!bytes && length > 0) return invalid(function, ": bytes is NULL", error);
    std::string failure;
    if (!writePng({static_cast<const std::uint8_t*>(bytes), length}, path, failure)) {
      return fail(error, LF_ERROR_WRITE_FAILURE, failure);
    }
    return LF_OK;
  });
}

}  // extern "C"
