#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Where a long text may be cut so that laying out only the part before the cut, followed by
// `ending`, lays out everything well before the cut as the whole text does.
struct LayoutCut {
  std::size_t at = 0;    // the text's size when there is no such offset
  // Drawn as nothing after the part: a directional mark giving the part's last paragraph the
  // base direction the whole text gives it, and the first letter after the cut when the
  // paragraph has none before it, whose script its neutral characters then take.
  std::string ending{};
};

// The first cut at or after `from` in valid UTF-8 `text`: between two characters of no
// joining kind (marks, format characters, Hangul jamo, regional indicators, emoji modifiers
// and a carriage return before a line feed all stay with their neighbour). In a text with
// right-to-left characters, also outside any directional isolate closed later, right after a
// letter or a digit (which settles the direction of everything before it) or where no such
// character follows in the paragraph, and only where the part resolves the direction of every
// character of its last paragraph as the whole text does; failing that, right after the
// paragraph.
LayoutCut layoutCutAtOrAfter(std::string_view text, std::size_t from);

}  // namespace platform
