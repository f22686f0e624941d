#pragma once

// For tests: the lines drawText lays a text out in, so that a long text laid out in parts can
// be compared with the same text laid out whole.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text_layout.h"

namespace platform {

// One run of glyphs: its bytes, embedding level, script, font and each glyph's id and place.
struct LaidOutRun {
  std::size_t offset = 0;
  std::size_t length = 0;
  int level = 0;
  int script = 0;
  std::string font{};
  std::vector<std::int64_t> glyphs{};  // id, x, y, width for each glyph; Pango units
  bool operator==(const LaidOutRun&) const = default;
};

struct LaidOutLine {
  std::size_t start = 0;
  std::size_t length = 0;
  bool rightToLeft = false;
  std::int64_t left = 0;      // Pango units at the layout size
  std::int64_t baseline = 0;  // Pango units from the layout's top
  std::vector<LaidOutRun> runs{};
  bool operator==(const LaidOutLine&) const = default;
};

// The lines of the layout that drawText draws for `text` in a rectangle `limit` pixels tall
// (measureTextHeights with that limit lays out the same), and how many of them at its top
// are laid out as the whole text lays them out: all of them unless the text was cut.
struct LaidOutText {
  std::vector<LaidOutLine> lines{};
  std::size_t settledLines = 0;
  bool whole = true;
};
LaidOutText laidOutLines(TextContext& context, std::string_view text, double width,
                         const TextStyle& style, double limit);

// How many layouts the context has made: a text laid out again as it was made last is not.
std::size_t layoutsMade(TextContext& context);

}  // namespace platform
