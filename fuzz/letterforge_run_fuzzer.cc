// A whole letterforge run in process on a small generated page: planning from fuzzed OCR and
// translation files, cleanup in the chosen mode, typesetting and, on request, the debug image.
//
// Input: two option bytes, then the OCR JSON, a NUL byte, and the translation JSON.
//   byte 0: bits 0-1 cleanup mode, bit 2 grouping on, bits 3-4 preset, bits 5-6 typesetting
//           mode, bit 7 debug image
//   byte 1: bits 0-1 page, bits 2-3 font weight, bits 4-7 base font size and stroke width
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "letterforge/driver/render_engine.h"

namespace {

using namespace letterforge;

// White paper with a bubble (dark ring, pale fill, lettering inside), a screentone panel, a
// colourful strip and a transparent corner.
platform::DecodedImage makePage(std::int64_t width, std::int64_t height) {
  auto image = platform::allocateImage(width, height);
  FUZZ_CHECK(image.has_value());
  const double cx = width * 0.32;
  const double cy = height * 0.42;
  const double rx = std::max(width * 0.26, 1.0);
  const double ry = std::max(height * 0.3, 1.0);
  for (std::int64_t y = 0; y < height; ++y) {
    std::uint8_t* p = image->row(y);
    for (std::int64_t x = 0; x < width; ++x, p += 4) {
      std::uint8_t r = 255, g = 255, b = 255, a = 255;
      const double d = std::hypot((x - cx) / rx, (y - cy) / ry);
      if (std::abs(d - 1.0) < 0.1) {
        r = g = b = 10;
      } else if (d < 1.0) {
        r = 250, g = 245, b = 220;
        const bool letterRow = (y % 6 == 2 || y % 6 == 3) && std::abs(y - cy) < ry * 0.5;
        if (letterRow && x % 4 != 3 && std::abs(x - cx) < rx * 0.6) r = g = b = 20;
      } else if (x >= width * 0.7) {
        r = g = b = ((x + y) % 3 == 0) ? 60 : 235;
      } else if (y >= height * 0.85) {
        r = static_cast<std::uint8_t>(x * 255 / width), g = 40, b = static_cast<std::uint8_t>(200 - y);
      }
      if (x < 3 && y < 3) a = 0;
      p[0] = r, p[1] = g, p[2] = b, p[3] = a;
    }
  }
  return std::move(*image);
}

constexpr CleanupMode kCleanupModes[] = {CleanupMode::kWhiteFill, CleanupMode::kTextInpaint,
                                         CleanupMode::kBubbleClean, CleanupMode::kNone};
constexpr GroupingPreset kPresets[] = {GroupingPreset::kBalanced, GroupingPreset::kConservative,
                                       GroupingPreset::kAggressive, GroupingPreset::kBalanced};
constexpr TypesettingMode kTypesettingModes[] = {TypesettingMode::kBalanced,
                                                 TypesettingMode::kReadable,
                                                 TypesettingMode::kStrict,
                                                 TypesettingMode::kBalanced};
constexpr FontWeight kWeights[] = {FontWeight::bold, FontWeight::regular, FontWeight::semibold,
                                   FontWeight::bold};
constexpr std::int64_t kPageSizes[][2] = {{64, 48}, {1, 1}, {7, 90}, {120, 16}};

// One engine for the whole fuzzing run, as a program keeps one for all its pages.
RenderEngine& engine() {
  static RenderEngine* const shared = new RenderEngine;
  return *shared;
}

// Every pixel stays opaque whatever was drawn.
void checkOpaque(const platform::PageBitmap& bitmap) {
  for (std::int64_t y = 0; y < bitmap.height(); ++y) {
    const std::uint32_t* row = bitmap.rowWords(y);
    for (std::int64_t x = 0; x < bitmap.width(); ++x) FUZZ_CHECK(row[x] >> 24 == 255);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t modes = data[0];
  const std::uint8_t look = data[1];
  const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  const auto split = rest.find('\0');
  const std::string_view ocrText = rest.substr(0, split);
  const std::string_view translationText =
      split == std::string_view::npos ? std::string_view() : rest.substr(split + 1);

  RenderSettings settings;
  TypesetOptions& typeset = settings.typeset;
  settings.cleanupMode = kCleanupModes[modes & 3];
  settings.groupingEnabled = (modes & 4) != 0;
  settings.groupingPreset = kPresets[(modes >> 3) & 3];
  typeset.typesettingMode = kTypesettingModes[(modes >> 5) & 3];
  typeset.fontWeight = kWeights[(look >> 2) & 3];
  typeset.baseFontSize = 6.0 + (look >> 4) * 3.0;
  typeset.maxFontSize = std::max(typeset.baseFontSize, 38.0);
  typeset.strokeWidth = (look >> 4) * 2.5;

  const auto& pageSize = kPageSizes[look & 3];
  RenderJob job{.image = makePage(pageSize[0], pageSize[1]),
                .ocr = PayloadText{.json = std::string(ocrText), .name = "ocr.json"},
                .translations = PayloadText{.json = std::string(translationText), .name = "tr.json"},
                .settings = settings,
                .debugImage = (modes & 128) != 0};
  std::int64_t lines = 0;
  RunFailure failure;
  const auto result = engine().render(std::move(job), [&](std::string_view line) {
    FUZZ_CHECK(line.find('\n') == std::string_view::npos);
    ++lines;
  }, failure);
  if (!result) {
    FUZZ_CHECK(!failure.message.empty() && failure.exitStatus > 2);
    return 0;
  }
  checkOpaque(*result->page.bitmap);
  if ((modes & 128) != 0) {
    FUZZ_CHECK(!result->debugFailure.has_value());
    checkOpaque(*result->debug->bitmap);
  }
  return 0;
}
