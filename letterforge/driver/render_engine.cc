#include "letterforge/driver/render_engine.h"

#include <utility>

#include "letterforge/driver/block_styles.h"
#include "letterforge/driver/exit_status.h"
#include "letterforge/inputs/payload_checks.h"
#include "letterforge/inputs/translation_lookup.h"
#include "letterforge/inputs/text_rules.h"
#include "letterforge/raster/image_files.h"
#include "letterforge/typeset/installed_fonts.h"
#include "platform/cores.h"
#include "platform/page_decode.h"

namespace letterforge {
namespace {

bool isUsablePage(const platform::DecodedImage& image) {
  return image.rgba && platform::withinImageLimits(image.width, image.height);
}

// The page image of a job. With `paint`, an image file's or bytes' image may come painted on the
// page bitmap already (decodePage), a pass over the page and a copy of it fewer.
std::optional<platform::PageImage> openPageImage(PageImageSource source, platform::PixelMemory& memory,
                                                 bool paint, RunFailure& failure) {
  std::optional<platform::PageImage> image;
  std::string name;
  platform::ImageDecodeFailure decodeFailure{};
  if (auto* file = std::get_if<ImageFile>(&source)) {
    if (paint) {
      image = platform::decodePageFile(file->path, decodeFailure, memory);
    } else {
      image = loadPageImage(file->path, &memory);
    }
    name = file->path;
  } else if (auto* encoded = std::get_if<EncodedImage>(&source)) {
    if (paint) {
      image = platform::decodePage(encoded->bytes, decodeFailure, memory);
    } else {
      image = platform::decodeImage(encoded->bytes, decodeFailure, memory);
    }
    name = encoded->name;
  } else {
    auto& pixels = std::get<platform::DecodedImage>(source);
    name = std::to_string(pixels.width) + " x " + std::to_string(pixels.height) + " pixels";
    if (isUsablePage(pixels)) image = std::move(pixels);
  }
  if (!image) failure = {platform::imageOpenFailure(name), kExitImageUnreadable};
  return image;
}

ImageSize sizeOf(const platform::PageImage& image) {
  if (const auto* page = std::get_if<platform::PageBitmap>(&image)) return {page->width(), page->height()};
  const auto& pixels = std::get<platform::DecodedImage>(image);
  return {pixels.width, pixels.height};
}

// The payload of a source; absent with the description of why it cannot be had.
template <typename Payload, typename Load, typename Decode>
std::optional<Payload> payloadOf(const std::variant<PayloadFile, PayloadText, Payload>& source,
                                 Load load, Decode decode, RunFailure& failure) {
  std::string why;
  std::optional<Payload> payload;
  if (const auto* file = std::get_if<PayloadFile>(&source)) {
    payload = load(file->path, why);
  } else if (const auto* text = std::get_if<PayloadText>(&source)) {
    payload = decode(text->json, why);
    if (!payload && !text->name.empty()) why = text->name + ": " + why;
  } else {
    payload = std::get<Payload>(source);
  }
  if (!payload) failure = {why, kExitPayloadUnreadable};
  return payload;
}

// Families that cannot be had are named with the installed families nearest them, so that a
// misspelt name is mended at once; a font file's failure says what is wrong with the file.
constexpr std::size_t kNearestFamilies = 3;

// The family a job's font stands for (empty for none); absent, with `failure`, when it cannot
// be had.
std::optional<std::string> resolvedFont(platform::TextContext& text, const std::string& font,
                                        RunFailure& failure) {
  std::string why;
  if (font.empty()) return std::string();
  if (auto family = platform::fontFamily(text, font, why)) return family;
  if (!platform::namesFontFile(font)) {
    const auto nearest = nearestFontFamilies(font, installedFontFamilies(), kNearestFamilies);
    for (std::size_t i = 0; i < nearest.size(); ++i) {
      why += (i == 0 ? "; the nearest installed families are " : ", ") + nearest[i];
    }
  }
  failure = {"Could not use font " + font + ": " + why, kExitFontUnavailable};
  return std::nullopt;
}

// A job's overrides, with the family each one's font stands for (empty for none).
struct ResolvedOverrides {
  std::vector<BlockOverride> overrides{};
  std::vector<std::string> families{};
};

// The overrides of `blocks` (none when it is empty); absent, with `failure`, when they cannot
// be read or a block's font cannot be had.
std::optional<ResolvedOverrides> overridesOf(platform::TextContext& text, const std::string& blocks,
                                             RunFailure& failure) {
  ResolvedOverrides resolved;
  if (blocks.empty()) return resolved;
  auto read = readBlockOverrides(blocks, failure);
  if (!read) return std::nullopt;
  resolved.overrides = std::move(*read);
  for (const BlockOverride& o : resolved.overrides) {
    std::string why;
    const auto family = o.font ? platform::fontFamily(text, *o.font, why) : std::string();
    if (!family) {
      failure = {"blocks: " + visibleText(o.id) + ": font: Could not use font " + *o.font + ": " + why,
                 kExitFontUnavailable};
      return std::nullopt;
    }
    resolved.families.push_back(*family);
  }
  return resolved;
}

struct Payloads {
  OcrPayload ocr;
  TranslationPayload translations;
};

// Both payloads; absent with the first one's failure (the translation file is read only once
// the OCR file has loaded).
std::optional<Payloads> payloadsOf(const RenderJob& job, RunFailure& failure) {
  auto ocr = payloadOf<OcrPayload>(job.ocr, loadOcrPayload, decodeOcrPayload, failure);
  if (!ocr) return std::nullopt;
  auto translations = payloadOf<TranslationPayload>(
      job.translations, loadTranslationPayload, decodeTranslationPayload, failure);
  if (!translations) return std::nullopt;
  return Payloads{std::move(*ocr), std::move(*translations)};
}

// The planning point.
bool plan(const Payloads* payloads, RunState& run, std::vector<std::string>& warnings, RunFailure& failure) {
  if (!payloads) return false;
  if (auto planFailure = planRun(run, payloads->ocr, payloads->translations)) {
    failure = std::move(*planFailure);
    return false;
  }
  warnings = payloadWarnings(payloads->ocr, payloads->translations, run.pageImage.width,
                             run.pageImage.height);
  return true;
}

// The finished bitmap as the job asked for it; encoding it lets the bitmap go, its memory
// kept for the next page.
bool deliver(platform::PageBitmap bitmap, const std::optional<ImageEncoding>& encoding,
             const std::string& name, RenderedImage& image, RunFailure& failure,
             platform::PixelMemory& memory) {
  if (!encoding) {
    image.bitmap = std::move(bitmap);
    return true;
  }
  std::string why;
  auto bytes = encodeImage(bitmap, *encoding, name, why);
  platform::keepPixels(std::move(bitmap), memory);
  if (!bytes) {
    failure = {why, kExitWriteFailure};
    return false;
  }
  image.encoded = std::move(*bytes);
  return true;
}

// The page point with the layers' bitmaps held in their drawing state as the page is.
std::optional<RunFailure> drawLayered(RunState& run, platform::PageBitmap& page,
                                      platform::TextContext& text, const ReportSink& sink,
                                      PageLayers* layers) {
  if (layers == nullptr) return cleanAndTypeset(run, page, text, sink);
  layers->cleaned.save();
  layers->text.save();
  auto failure = cleanAndTypeset(run, page, text, sink, layers);
  layers->text.restore();
  layers->cleaned.restore();
  return failure;
}

}  // namespace

std::optional<RenderResult> RenderEngine::render(RenderJob job, const ReportSink& sink,
                                                 RunFailure& failure) {
  // A page in the works holds a core: the PNG writer's helpers take only the others.
  const platform::CoreClaim core;
  auto family = resolvedFont(text_, job.settings.font, failure);
  if (!family) return std::nullopt;
  auto overrides = overridesOf(text_, job.settings.blocks, failure);
  if (!overrides) return std::nullopt;
  // The payloads are read before the page image, so that a page with blocks to letter has its
  // fonts' configuration loaded on another core while the image decodes; their failure still
  // comes after the image's.
  RunFailure payloadFailure;
  auto payloads = payloadsOf(job, payloadFailure);
  if (payloads && !payloads->ocr.blocks.empty()) platform::prepareFonts(text_);
  // Only the debug image and the layers paint the page image again.
  const bool paintOnce = !job.debugImage && !job.layers;
  auto image = openPageImage(std::move(job.image), pixels_, paintOnce, failure);
  if (!image) return std::nullopt;
  const ImageSize size = sizeOf(*image);
  std::optional<platform::PageBitmap> page;
  platform::DecodedImage pageImage{.width = size.width, .height = size.height};
  if (auto* painted = std::get_if<platform::PageBitmap>(&*image)) {
    page = std::move(*painted);
  } else {
    pageImage = std::move(std::get<platform::DecodedImage>(*image));
  }
  image.reset();
  RunState run{.settings = std::move(job.settings),
               .fontFamily = std::move(*family),
               .pageImage = std::move(pageImage),
               .pageRect = {0.0, 0.0, static_cast<double>(size.width), static_cast<double>(size.height)},
               .overrides = std::move(overrides->overrides),
               .overrideFamilies = std::move(overrides->families)};
  std::vector<std::string> warnings;
  if (!payloads) failure = std::move(payloadFailure);
  const bool planned = plan(payloads ? &*payloads : nullptr, run, warnings, failure);
  payloads.reset();
  if (!planned) {
    if (page) platform::keepPixels(std::move(*page), pixels_);
    return std::nullopt;
  }

  if (!page && !(page = createPageBitmap(size.width, size.height, &pixels_))) {
    failure = {"Could not create the page bitmap: out of memory", kExitOutOfMemory};
    return std::nullopt;
  }
  std::optional<PageLayers> layers;
  if (job.layers && !(layers = makePageLayers(run.pageImage, &pixels_))) {
    failure = {"Could not create the layers of " + job.outputName + ": out of memory", kExitOutOfMemory};
    return std::nullopt;
  }
  page->save();
  if (run.pageImage.rgba) drawPageImage(*page, run.pageImage);
  if (!job.debugImage) pixels_.keep(run.pageImage);
  auto pageFailure = drawLayered(run, *page, text_, sink, layers ? &*layers : nullptr);
  page->restore();
  if (pageFailure) {
    failure = std::move(*pageFailure);
    return std::nullopt;
  }
  RenderResult result{.warnings = std::move(warnings), .blocks = blockOutcomes(run)};
  if (layers) {
    std::string why;
    result.layers = encodeLayers(*layers, *page, run.cleanupRecord.cleanedMasks, job.outputName, why);
    for (platform::PageBitmap* bitmap : {&layers->original, &layers->cleaned, &layers->text}) {
      platform::keepPixels(std::move(*bitmap), pixels_);
    }
    if (!result.layers) {
      failure = {why, kExitWriteFailure};
      return std::nullopt;
    }
  }
  if (!deliver(std::move(*page), job.encoding, job.outputName, result.page, failure, pixels_)) {
    return std::nullopt;
  }
  page.reset();
  if (!job.debugImage) return result;

  auto debug = createPageBitmap(run.pageImage.width, run.pageImage.height, &pixels_);
  if (!debug) {
    result.debugFailure =
        RunFailure{"Could not create the debug bitmap: out of memory", kExitOutOfMemory};
    return result;
  }
  debug->save();
  drawPageImage(*debug, run.pageImage);
  drawDebugOverlays(run, *debug, text_);
  debug->restore();
  RunFailure debugFailure;
  RenderedImage debugImage;
  const auto& debugEncoding = job.debugEncoding ? job.debugEncoding : job.encoding;
  if (deliver(std::move(*debug), debugEncoding, job.debugName, debugImage, debugFailure, pixels_)) {
    result.debug = std::move(debugImage);
  } else {
    result.debugFailure = std::move(debugFailure);
  }
  pixels_.keep(run.pageImage);
  return result;
}

void RenderEngine::keep(platform::PageBitmap bitmap) {
  platform::keepPixels(std::move(bitmap), pixels_);
}

std::optional<RunFailure> RenderEngine::fontProblem(const std::string& font) {
  RunFailure failure;
  if (resolvedFont(text_, font, failure)) return std::nullopt;
  return failure;
}

PageCheck RenderEngine::check(RenderJob job) {
  PageCheck check;
  RunFailure failure;
  if (!resolvedFont(text_, job.settings.font, failure)) check.problems.push_back(failure);
  auto overrides = overridesOf(text_, job.settings.blocks, failure);
  if (!overrides) check.problems.push_back(failure);
  auto image = openPageImage(std::move(job.image), pixels_, false, failure);
  if (image) {
    check.imageSize = sizeOf(*image);
    pixels_.keep(std::get<platform::DecodedImage>(*image));
  } else {
    check.problems.push_back(failure);
  }
  const auto ocr = payloadOf<OcrPayload>(job.ocr, loadOcrPayload, decodeOcrPayload, failure);
  if (!ocr) check.problems.push_back(failure);
  const auto translations = payloadOf<TranslationPayload>(
      job.translations, loadTranslationPayload, decodeTranslationPayload, failure);
  if (!translations) check.problems.push_back(failure);
  if (!ocr || !translations) return check;
  // Planning needs only the page's height; without the image any height finds the duplicates.
  const double height = static_cast<double>(check.imageSize ? check.imageSize->height : 1);
  // Ids are checked against the overrides that could be read.
  RunState run{.settings = std::move(job.settings),
               .pageRect = {0.0, 0.0, 1.0, height},
               .overrides = overrides ? std::move(overrides->overrides) : std::vector<BlockOverride>{}};
  if (auto planFailure = planRun(run, *ocr, *translations)) {
    check.problems.push_back(std::move(*planFailure));
    return check;
  }
  if (const auto id = duplicateItemId(run.renderItems)) {
    check.problems.push_back({duplicateKeyFailure(*id), kExitDuplicateId});
  }
  if (check.imageSize) {
    check.warnings = payloadWarnings(*ocr, *translations, check.imageSize->width, check.imageSize->height);
  }
  return check;
}

}  // namespace letterforge
