#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

// The first byte offset at or after `from` where valid UTF-8 `text` may be cut so that laying
// out only the part before the cut treats everything well before the cut as the whole text
// would: between two characters of no joining kind (marks, format characters, Hangul jamo,
// regional indicators, emoji modifiers and a carriage return before a line feed all stay
// with their neighbour). In a text with right-to-left characters, also outside any
// directional isolate, and either right after a letter of a real script or a digit, which
// settles the direction of everything before it, or where no such character follows in the
// paragraph. text.size() when there is no such offset.
std::size_t layoutCutAtOrAfter(std::string_view text, std::size_t from);

}  // namespace platform
