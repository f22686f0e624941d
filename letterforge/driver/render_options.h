#pragma once

#include <optional>
#include <string>
#include <vector>

#include "letterforge/typeset/typeset_options.h"
#include "platform/color.h"

namespace letterforge {

// How a page is rendered: every run option but the file paths. The initialisers are the
// defaults of a run.
struct RenderSettings {
  TypesetOptions typeset{};
  bool groupingEnabled = true;
  std::string groupingPreset = "balanced";
  std::string cleanupMode = "white_fill";
  bool fitBalloon = false;  // set each translation in its balloon's interior where one is found
  bool operator==(const RenderSettings&) const = default;
};

// Every command-line value of a run, read once before any file is opened.
struct RenderOptions {
  std::string imagePath{};
  std::string ocrJsonPath{};
  std::string translationJsonPath{};
  std::string outputPngPath{};
  std::string debugImagePath{};  // empty: no debug image
  RenderSettings settings{};
  bool operator==(const RenderOptions&) const = default;
};

// Reads the arguments after the program name. Absent when fewer than four are given;
// optional values that cannot be read take their defaults silently.
std::optional<RenderOptions> parseRenderOptions(const std::vector<std::string>& arguments);

// The C library's strtod grammar in the C locale; the whole argument must be one number.
// Absent for an empty argument, leading white space, trailing characters or a range error.
std::optional<double> parseNumberArgument(const std::string& argument);

// Six hex digits, with "#" characters and white space allowed at both ends. Absent otherwise.
std::optional<platform::Color> parseHexColor(const std::string& argument);

// The bounds of the number options, applied to a value as read (or its default). Upper
// bounds replace not-a-number by the bound.
double boundedBaseFontSize(double value);                      // at least 6; NaN gives 6
double boundedMaxFontSize(double value, double baseFontSize);  // at least the base; NaN gives it
double boundedFontScale(double value);                         // 0.5 to 2
double boundedLineSpacing(double value);                       // 0.8 to 2
double boundedStrokeWidth(double value);                       // 0 to 40

}  // namespace letterforge
