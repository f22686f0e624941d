#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/color.h"

namespace letterforge {

// Every command-line value of a run, read once before any file is opened.
struct RenderOptions {
  std::string imagePath{};
  std::string ocrJsonPath{};
  std::string translationJsonPath{};
  std::string outputPngPath{};
  double baseFontSize = 18.0;
  double maxFontSize = 38.0;
  double fontScale = 1.0;
  double lineSpacing = 1.12;
  std::string fontWeight = "bold";
  bool groupingEnabled = true;
  std::string groupingPreset = "balanced";
  std::string debugImagePath{};
  std::string typesettingMode = "balanced";
  std::string cleanupMode = "white_fill";
  double strokeWidth = 25.0;
  platform::Color strokeColor = platform::kWhite;
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

}  // namespace letterforge
