#include "letterforge/driver/job_options.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "letterforge/inputs/text_rules.h"

namespace letterforge {
namespace {

constexpr OptionDescription kDescriptions[] = {
    {"base_font_size", "number", "base font size in pixels, at least 6 (default 18)"},
    {"max_font_size", "number", "largest font size; raised to the base size (default 38)"},
    {"font_scale", "number", "factor on the estimated size, 0.5 to 2 (default 1)"},
    {"line_spacing", "number", "line spacing factor, 0.8 to 2 (default 1.12)"},
    {"font_weight", "string", "regular, semibold or bold (default bold)"},
    {"grouping", "boolean", "merge neighbouring blocks of one column (default true)"},
    {"grouping_preset", "string",
     "conservative, balanced, aggressive or balloon (by the balloons found; default balanced)"},
    {"typesetting_mode", "string", "readable, balanced or strict (default balanced)"},
    {"cleanup_mode", "string",
     "white_fill, text_inpaint or bubble_clean; any other word: none (default white_fill)"},
    {"stroke_width", "number", "outline width in percent of the size, 0 to 40 (default 25)"},
    {"stroke_color", "string", "outline colour as six hex digits, # allowed (default FFFFFF)"},
    {"fit_balloon", "boolean",
     "set each translation in its balloon's interior where a balloon is found (default false)"},
    {"font", "string", "an installed font family or a font file's path (default: Inter)"},
    {"format", "string", "png, jpeg or webp (default: by the output's extension, else png)"},
    {"quality", "number", "JPEG quality, or lossy WebP at this quality; 1 to 100 (JPEG 90)"},
};

const char* typeName(const OptionValue& value) {
  if (std::holds_alternative<bool>(value)) return "a boolean";
  if (std::holds_alternative<double>(value)) return "a number";
  return "a string";
}

// Takes the value as T, or says which type was expected.
template <typename T>
bool as(const OptionValue& value, std::string_view name, const char* expected, T& out,
        std::string& failure) {
  if (const T* held = std::get_if<T>(&value)) {
    out = *held;
    return true;
  }
  failure = std::string(name) + ": expected " + expected + ", found " + typeName(value);
  return false;
}

bool number(const OptionValue& value, std::string_view name, const std::function<void(double)>& set,
            std::string& failure) {
  double n = 0.0;
  if (!as(value, name, "a number", n, failure)) return false;
  set(n);
  return true;
}

bool word(const OptionValue& value, std::string_view name, std::string& out, std::string& failure) {
  std::string text;
  if (!as(value, name, "a string", text, failure)) return false;
  out = lowercasedText(text);
  return true;
}

std::optional<ImageFormat> formatOfWord(const std::string& word) {
  if (word == "png") return ImageFormat::kPng;
  if (word == "jpeg" || word == "jpg") return ImageFormat::kJpeg;
  if (word == "webp") return ImageFormat::kWebp;
  return std::nullopt;
}

}  // namespace

std::span<const OptionDescription> jobOptionDescriptions() { return kDescriptions; }

bool setJobOption(JobOptions& options, std::string_view name, const OptionValue& value,
                  std::string& failure) {
  RenderSettings& s = options.settings;
  TypesetOptions& t = s.typeset;
  if (name == "base_font_size") {
    return number(value, name, [&](double v) { t.baseFontSize = boundedBaseFontSize(v); }, failure);
  }
  if (name == "max_font_size") {
    return number(value, name, [&](double v) { options.maxFontSize = v; }, failure);
  }
  if (name == "font_scale") {
    return number(value, name, [&](double v) { t.fontScale = boundedFontScale(v); }, failure);
  }
  if (name == "line_spacing") {
    return number(value, name, [&](double v) { t.lineSpacing = boundedLineSpacing(v); }, failure);
  }
  if (name == "stroke_width") {
    return number(value, name, [&](double v) { t.strokeWidth = boundedStrokeWidth(v); }, failure);
  }
  if (name == "quality") {
    return number(value, name, [&](double v) {
      options.quality = static_cast<int>(std::lround(std::clamp(v, 1.0, 100.0)));
    }, failure);
  }
  if (name == "font_weight") return word(value, name, t.fontWeight, failure);
  if (name == "grouping_preset") return word(value, name, s.groupingPreset, failure);
  if (name == "typesetting_mode") return word(value, name, t.typesettingMode, failure);
  if (name == "cleanup_mode") return word(value, name, s.cleanupMode, failure);
  if (name == "grouping") return as(value, name, "a boolean", s.groupingEnabled, failure);
  if (name == "fit_balloon") return as(value, name, "a boolean", s.fitBalloon, failure);
  if (name == "stroke_color") {
    std::string text;
    if (!as(value, name, "a string", text, failure)) return false;
    const auto colour = parseHexColor(text);
    if (!colour) {
      failure = "stroke_color: expected six hex digits, found \"" + visibleText(text) + "\"";
      return false;
    }
    t.strokeColor = *colour;
    return true;
  }
  if (name == "font") {
    std::string font;
    if (!as(value, name, "a string", font, failure)) return false;
    if (font.empty()) {
      failure = "font: expected a family name or a font file's path, found an empty string";
      return false;
    }
    t.font = std::move(font);
    return true;
  }
  if (name == "format") {
    std::string text;
    if (!word(value, name, text, failure)) return false;
    const auto format = formatOfWord(text);
    if (!format) {
      failure = "format: expected png, jpeg or webp, found \"" + visibleText(text) + "\"";
      return false;
    }
    options.format = format;
    return true;
  }
  failure = "unknown option \"" + visibleText(name) + "\"";
  return false;
}

RenderSettings jobSettings(const JobOptions& options) {
  RenderSettings settings = options.settings;
  if (options.maxFontSize) {
    settings.typeset.maxFontSize =
        boundedMaxFontSize(*options.maxFontSize, settings.typeset.baseFontSize);
  }
  return settings;
}

ImageEncoding jobEncoding(const JobOptions& options, const std::string& path) {
  const ImageFormat byName = formatOfPath(path).value_or(ImageFormat::kPng);
  return ImageEncoding{.format = options.format.value_or(byName), .quality = options.quality};
}

}  // namespace letterforge
