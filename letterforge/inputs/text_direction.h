#pragma once

#include "letterforge/inputs/mode_words.h"

namespace letterforge {

// How a translation is set: in lines, in columns read top to bottom and right to left, or in
// columns when the text is mostly East Asian and its area taller than wide.
enum class TextDirection { kHorizontal, kVertical, kAuto };

// The words of the text directions, in the order help texts list them.
inline constexpr ModeWord<TextDirection> kTextDirectionWords[] = {
    {"horizontal", TextDirection::kHorizontal},
    {"vertical", TextDirection::kVertical},
    {"auto", TextDirection::kAuto},
};

}  // namespace letterforge
