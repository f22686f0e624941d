#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace letterforge {

// An installed font family as a caller may name it.
struct FontFamily {
  std::string name{};
  std::vector<std::string> styles{};   // "Bold", "Regular", ..., in name order
  std::vector<std::string> scripts{};  // those at least one of its faces covers, in kFontScripts order
  bool operator==(const FontFamily&) const = default;
};

// The scripts a family is said to cover, each by characters it must have all of.
struct FontScript {
  const char* name;
  std::u32string_view characters;
};
inline constexpr FontScript kFontScripts[] = {
    {"Latin", U"Azé"},       {"Greek", U"Ωα"},      {"Cyrillic", U"Дя"},   {"Arabic", U"بع"},
    {"Hebrew", U"אש"},       {"Devanagari", U"कि"}, {"Thai", U"กข"},      {"Han", U"漢字"},
    {"Hiragana", U"あの"},   {"Katakana", U"アノ"},  {"Hangul", U"한글"},  {"Emoji", U"\U0001F600"}};

// Every family the font configuration knows, in name order (letter case aside).
std::vector<FontFamily> installedFontFamilies();

// The names of at most `count` families nearest to `name`, which may name none: those whose
// names hold it or are held in it first, then by edit distance, spaces, hyphens, underscores
// and letter case aside; ties in name order.
std::vector<std::string> nearestFontFamilies(std::string_view name,
                                             const std::vector<FontFamily>& families,
                                             std::size_t count);

}  // namespace letterforge
