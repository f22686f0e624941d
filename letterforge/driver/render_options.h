#pragma once

#include <optional>
#include <string>
#include <vector>

#include "letterforge/cleanup/cleanup_mode.h"
#include "letterforge/layout/block_grouping.h"
#include "letterforge/typeset/typeset_options.h"
#include "platform/color.h"

namespace letterforge {

// How a page is rendered: every run option but the file paths. The initialisers are the
// defaults of a run.
struct RenderSettings {
  TypesetOptions typeset{};
  bool groupingEnabled = true;
  GroupingPreset groupingPreset = GroupingPreset::kBalanced;
  CleanupMode cleanupMode = CleanupMode::kWhiteFill;
  bool fitBalloon = false;  // set each translation in its balloon's interior where one is found
  std::string font{};  // an installed family or a font file's path; empty: the UI font
  // Per-block overrides: JSON text of an object keyed by block id, or the path of a file
  // holding one (block_styles.h); empty: none.
  std::string blocks{};
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
// optional values that cannot be read take their defaults silently, and a word that names no
// choice of its option takes the option's default branch: no cleanup, the balanced preset and
// fitting style, bold.
std::optional<RenderOptions> parseRenderOptions(const std::vector<std::string>& arguments);

// The C library's strtod grammar in the C locale; the whole argument must be one number.
// Absent for an empty argument, leading white space, trailing characters or a range error.
std::optional<double> parseNumberArgument(const std::string& argument);

// Six hex digits, with "#" characters and white space allowed at both ends. Absent otherwise.
std::optional<platform::Color> parseHexColor(const std::string& argument);

// The bounds of the number options, applied to a value as read (or its default). Upper
// bounds replace not-a-number by the bound.
inline constexpr double kMinBaseFontSize = 6.0;
inline constexpr double kMinFontScale = 0.5, kMaxFontScale = 2.0;
inline constexpr double kMinLineSpacing = 0.8, kMaxLineSpacing = 2.0;
inline constexpr double kMinStrokeWidth = 0.0, kMaxStrokeWidth = 40.0;
double boundedBaseFontSize(double value);                      // NaN gives the least size
double boundedMaxFontSize(double value, double baseFontSize);  // at least the base; NaN gives it
double boundedFontScale(double value);
double boundedLineSpacing(double value);
double boundedStrokeWidth(double value);  // below the least: none

}  // namespace letterforge
