#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "letterforge/inputs/mode_words.h"
#include "letterforge/inputs/text_direction.h"

namespace letterforge {

// How the lines of a block's text sit in its area.
enum class TextAlign { kCenter, kLeft, kRight };

inline constexpr ModeWord<TextAlign> kTextAlignWords[] = {
    {"left", TextAlign::kLeft},
    {"center", TextAlign::kCenter},
    {"right", TextAlign::kRight},
};

// What a job changes for one block, by its id. An absent field keeps what the job decides.
struct BlockOverride {
  std::string id{};
  // Blocks given one group value form one item, in the order their overrides are given; a
  // group given as null keeps the block alone. Values are told apart by their JSON text, so
  // 1 and "1" are two groups.
  bool grouped = false;
  std::optional<std::string> group{};  // with grouped: the value's JSON text; absent: alone
  std::optional<std::string> font{};   // an installed family or a font file's path, not empty
  std::optional<double> fontSize{};    // a fixed size in pixels, positive and finite
  std::optional<std::uint32_t> textColor{};    // 0xRRGGBB
  std::optional<std::uint32_t> strokeColor{};  // 0xRRGGBB
  std::optional<double> strokeWidth{};         // as the job's stroke width, before bounding
  std::optional<TextAlign> align{};
  std::optional<TextDirection> direction{};
  std::optional<std::string> cleanup{};  // one of the cleanup words given to the parser, lower-cased
  bool skip = false;                     // no text drawn
  bool operator==(const BlockOverride&) const = default;
};

// Decodes the overrides of a page: a JSON object keyed by block id whose values are objects
// of the fields group, font, font_size, text_color, stroke_color (six hex digits, "#"
// allowed), stroke_width, align (left, center or right), direction (horizontal, vertical or
// auto), cleanup (one of `cleanupWords`, in any letter case) and skip. Overrides keep the
// order of the object. Absent, with `failure` naming the block and the field ("b3:
// font_size: expected a positive number up to 65535, found -2"),
// for text that is not one JSON object, an id given twice, an unknown field or a value of the
// wrong kind.
std::optional<std::vector<BlockOverride>> decodeBlockOverrides(
    std::string_view json, const std::vector<std::string_view>& cleanupWords, std::string& failure);

// Whether a job's value for its overrides is JSON text (its first character that is not
// white space is "{") rather than the path of a file holding it.
bool isInlineOverrides(std::string_view value);

}  // namespace letterforge
