#pragma once

#include <optional>
#include <string>

#include "letterforge/inputs/mode_words.h"
#include "letterforge/inputs/text_direction.h"
#include "platform/color.h"
#include "platform/text_layout.h"

namespace letterforge {

using FontWeight = platform::FontWeight;

// The words of the font weights, in the order help texts list them.
inline constexpr ModeWord<FontWeight> kFontWeightWords[] = {
    {"regular", FontWeight::regular},
    {"semibold", FontWeight::semibold},
    {"bold", FontWeight::bold},
};

// The fitting styles of text set outside bubbles.
enum class TypesettingMode { kReadable, kBalanced, kStrict };

// The words of the typesetting modes, in the order help texts list them.
inline constexpr ModeWord<TypesettingMode> kTypesettingModeWords[] = {
    {"readable", TypesettingMode::kReadable},
    {"balanced", TypesettingMode::kBalanced},
    {"strict", TypesettingMode::kStrict},
};

// The run options that decide how translations are set: sizes, weight, spacing, fitting
// style and outline. The initialisers are the defaults of a run.
struct TypesetOptions {
  double baseFontSize = 18.0;  // points (pixels); the fitting floor and minimum derive from it
  double maxFontSize = 38.0;
  double fontScale = 1.0;    // applied to the estimated size before the bounds
  double lineSpacing = 1.12;  // a factor; the extra space between lines derives from it
  FontWeight fontWeight = FontWeight::bold;
  TypesettingMode typesettingMode = TypesettingMode::kBalanced;
  double strokeWidth = 25.0;  // outline width in percent of the size; 0 draws no outline
  platform::Color strokeColor = platform::kWhite;
  // Set for single blocks by a job's overrides; the command line never changes them.
  platform::Color textColor = platform::kBlack;
  platform::TextAlignment alignment = platform::TextAlignment::centre;
  std::optional<double> fixedSize{};  // drawn at this size, fitting or not
  TextDirection direction = TextDirection::kHorizontal;
  bool operator==(const TypesetOptions&) const = default;
};

}  // namespace letterforge
