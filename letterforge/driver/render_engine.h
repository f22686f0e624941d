#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "letterforge/driver/page_layers.h"
#include "letterforge/driver/render_options.h"
#include "letterforge/driver/render_pipeline.h"
#include "letterforge/driver/run_report.h"
#include "letterforge/inputs/payloads.h"
#include "letterforge/raster/image_files.h"
#include "platform/image.h"
#include "platform/page_bitmap.h"
#include "platform/text_layout.h"

namespace letterforge {

// Where a job's page image comes from: an image file, the bytes of one, or decoded pixels.
struct ImageFile {
  std::string path{};
};
struct EncodedImage {
  std::vector<std::uint8_t> bytes{};
  std::string name{};  // names the image in the failure to open it
};
using PageImageSource = std::variant<ImageFile, EncodedImage, platform::DecodedImage>;

// Where a payload comes from: a JSON file, JSON text, or records already decoded.
struct PayloadFile {
  std::string path{};
};
struct PayloadText {
  std::string json{};
  std::string name{};  // begins the description of a decoding failure, when not empty
};
using OcrSource = std::variant<PayloadFile, PayloadText, OcrPayload>;
using TranslationSource = std::variant<PayloadFile, PayloadText, TranslationPayload>;

// One page to render.
struct RenderJob {
  PageImageSource image{};
  OcrSource ocr{};
  TranslationSource translations{};
  RenderSettings settings{};
  bool debugImage = false;  // also draw the decisions over the untouched page
  bool layers = false;      // also make the layers for editing afterwards (EncodedLayers)
  std::optional<ImageEncoding> encoding{};       // absent: the finished images as bitmaps
  std::optional<ImageEncoding> debugEncoding{};  // absent: as the page
  std::string outputName = "the page";  // name the images in an encoding failure
  std::string debugName = "the debug image";
};

// A finished image, as the job asked for it.
struct RenderedImage {
  std::optional<platform::PageBitmap> bitmap{};  // without an encoding
  std::vector<std::uint8_t> encoded{};          // with one
};

struct RenderResult {
  RenderedImage page{};
  // What is likely wrong with the inputs although the page renders (payloadWarnings).
  std::vector<std::string> warnings{};
  std::optional<RenderedImage> debug{};      // asked for and made
  std::optional<RunFailure> debugFailure{};  // asked for but not made; the page still stands
  std::vector<BlockOutcome> blocks{};        // one per translated block, in block order
  std::optional<EncodedLayers> layers{};     // asked for and made; when asked for, made or
                                             // the page fails with the write-failure status
};

// What rendering a job would run into, found without drawing it.
struct PageCheck {
  std::vector<RunFailure> problems{};   // each failure the render would meet; it ends on the first
  std::vector<std::string> warnings{};  // those the render would give, as RenderResult::warnings
  std::optional<ImageSize> imageSize{};  // the page image's, when it opened
};

// Renders pages: everything a run needs besides its inputs (fonts and their caches, the
// memory of the last page image) lives here and is kept from one page to the next. One engine per thread; engines on different
// threads render at the same time without sharing anything.
class RenderEngine {
 public:
  // One whole page: the font checked, the image opened, the payloads decoded, the page
  // planned, cleaned and typeset, then (when asked) the debug image. Report lines reach
  // `sink` as the blocks are decided. Absent when the run ends on a failure, described in
  // `failure`. With an encoding each bitmap is encoded and let go before the next is made.
  std::optional<RenderResult> render(RenderJob job, const ReportSink& sink, RunFailure& failure);

  // Checks a job without drawing or encoding anything: the font, the per-block overrides (their
  // file, fields and fonts), the image (decoded whole), each payload and the ids (the overrides'
  // too), each whether another failed or not, in the order render meets them.
  PageCheck check(RenderJob job);

  // Why a font (an installed family or a font file) cannot be had, as a render would fail on it
  // with the families nearest a family's name; absent when it can, or is empty.
  std::optional<RunFailure> fontProblem(const std::string& font);

  // Takes back the memory of a page bitmap an engine made (given as a bitmap, once its caller
  // is done with it) for the next page, instead of fresh memory that the system must clear
  // again; any other bitmap is let go.
  void keep(platform::PageBitmap bitmap);

 private:
  platform::TextContext text_;
  platform::PixelMemory pixels_;
};

}  // namespace letterforge
