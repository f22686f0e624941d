#pragma once

// Rendering small test pages through the engine, for the driver's tests.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "letterforge/driver/render_engine.h"

namespace letterforge::engine_test {

using platform::PageBitmap;

// The bitmap as decoded RGBA pixels, rows top first.
inline platform::DecodedImage decodedOf(const PageBitmap& page) {
  auto image = platform::allocateImage(page.width(), page.height());
  for (std::int64_t row = 0; row < page.height(); ++row) {
    std::uint8_t* out = image->row(row);
    for (std::int64_t x = 0; x < page.width(); ++x) {
      const platform::Rgb8 p = page.pixel(x, page.height() - 1 - row);
      out[4 * x] = p.red;
      out[4 * x + 1] = p.green;
      out[4 * x + 2] = p.blue;
      out[4 * x + 3] = 255;
    }
  }
  return std::move(*image);
}

struct Line {
  std::string id;
  double x, y, w, h;  // drawing coordinates
  std::string text;
};

// Renders the page through an engine with one OCR block and translation per line, and its
// debug image when asked.
inline std::optional<RenderResult> tryRender(const PageBitmap& page, const std::vector<Line>& lines,
                                             RenderSettings settings, RunFailure& failure,
                                             bool debugImage = false) {
  OcrPayload ocr{.width = double(page.width()), .height = double(page.height())};
  TranslationPayload translations;
  for (const Line& l : lines) {
    ocr.blocks.push_back(OcrBlock{.id = l.id,
                                  .bbox = {.x = l.x, .y = double(page.height()) - l.y - l.h, .w = l.w, .h = l.h}});
    translations.translations.push_back(TranslationBlock{.id = l.id, .translatedText = l.text});
  }
  RenderEngine engine;
  return engine.render(RenderJob{.image = decodedOf(page), .ocr = ocr, .translations = translations,
                                 .settings = std::move(settings), .debugImage = debugImage},
                       [](std::string_view) {}, failure);
}

// The same where a failure fails the test and gives an empty result.
inline RenderResult render(const PageBitmap& page, const std::vector<Line>& lines,
                           RenderSettings settings) {
  RunFailure failure;
  auto result = tryRender(page, lines, std::move(settings), failure);
  EXPECT_TRUE(result.has_value()) << failure.message;
  return result ? std::move(*result) : RenderResult{};
}

}  // namespace letterforge::engine_test
