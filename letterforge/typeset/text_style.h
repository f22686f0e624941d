#pragma once

#include <optional>
#include <string_view>

#include "letterforge/typeset/typeset_options.h"
#include "platform/color.h"
#include "platform/text_layout.h"

namespace letterforge {

// The look of translated text: the user-interface font at `size` points and `weight`,
// opaque black unless another colour is set, each line centred unless aligned otherwise, wrapped at word boundaries, `lineSpacing` points of extra
// space between lines. An outlined set also strokes each glyph's contour.
struct TextAttributes {
  double size = 0.0;
  FontWeight weight = FontWeight::bold;
  platform::Color foregroundColor = platform::kBlack;
  platform::TextAlignment alignment = platform::TextAlignment::centre;
  double lineSpacing = 0.0;
  std::optional<platform::Color> strokeColor{};
  // A percentage of `size`; negative means fill and stroke, the only kind made here.
  std::optional<double> strokeWidth{};
  bool operator==(const TextAttributes&) const = default;
};

// A fresh attribute set. `compact` drops the extra line spacing; otherwise the spacing is
// (lineSpacing − 1) × size, capped at 5 % of the size for bubble text and 14 % otherwise.
TextAttributes makeTextAttributes(double lineSpacing, bool compact, bool bubble, double size,
                                  FontWeight weight);

// A copy that also strokes the glyphs in `strokeColor`, `strokeWidth` percent of the size
// wide, under the fill.
TextAttributes outlineAttributes(const TextAttributes& attributes, double strokeWidth,
                                 const platform::Color& strokeColor);

// What the text engine needs to measure and draw with these attributes.
platform::TextStyle textStyleFor(const TextAttributes& attributes);

}  // namespace letterforge
