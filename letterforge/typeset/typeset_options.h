#pragma once

#include <string>

#include "platform/color.h"

namespace letterforge {

// The run options that decide how translations are set: sizes, weight, spacing, fitting
// style and outline. The initialisers are the defaults of a run.
struct TypesetOptions {
  double baseFontSize = 18.0;  // points (pixels); the fitting floor and minimum derive from it
  double maxFontSize = 38.0;
  double fontScale = 1.0;    // applied to the estimated size before the bounds
  double lineSpacing = 1.12;  // a factor; the extra space between lines derives from it
  std::string fontWeight = "bold";
  std::string typesettingMode = "balanced";
  double strokeWidth = 25.0;  // outline width in percent of the size; 0 draws no outline
  platform::Color strokeColor = platform::kWhite;
  std::string font{};  // an installed family or a font file's path; empty: the UI font
  bool operator==(const TypesetOptions&) const = default;
};

}  // namespace letterforge
