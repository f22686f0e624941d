#include "letterforge/typeset/text_style.h"

#include <algorithm>
#include <cmath>

namespace letterforge {

TextAttributes makeTextAttributes(double lineSpacing, bool compact, bool bubble, double size,
                                  FontWeight weight) {
  constexpr double kBubbleSpacingCap = 0.05;
  constexpr double kSpacingCap = 0.14;
  const double extra = compact ? 0.0 : std::max(lineSpacing - 1.0, 0.0);
  const double cap = size * (bubble ? kBubbleSpacingCap : kSpacingCap);
  return TextAttributes{
      .size = size, .weight = weight, .lineSpacing = std::min(size * extra, cap)};
}

TextAttributes outlineAttributes(const TextAttributes& attributes, double strokeWidth,
                                 const platform::Color& strokeColor) {
  TextAttributes outlined = attributes;
  outlined.strokeColor = strokeColor;
  outlined.strokeWidth = -strokeWidth;
  return outlined;
}

platform::TextStyle textStyleFor(const TextAttributes& attributes) {
  platform::TextStyle style{.size = attributes.size,
                            .weight = attributes.weight,
                            .color = attributes.foregroundColor,
                            .lineSpacing = attributes.lineSpacing,
                            .alignment = attributes.alignment};
  if (attributes.strokeColor && attributes.strokeWidth) {
    style.outlined = true;
    style.strokeColor = *attributes.strokeColor;
    style.strokeLineWidth = std::abs(*attributes.strokeWidth) / 100.0 * attributes.size;
  }
  return style;
}

}  // namespace letterforge
