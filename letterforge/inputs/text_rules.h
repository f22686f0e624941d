#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace letterforge {

// The text without leading and trailing white space and line breaks: Unicode space
// separators (Zs), tab, U+000A to U+000D, U+0085, U+2028 and U+2029. Inner characters stay.
std::string trimmedText(std::string_view text);

// True when trimmedText of the text is empty.
bool isBlank(std::string_view text);
// Whether a scalar is white space or a line break, as trimming and isBlank take them.
bool isWhiteSpaceScalar(char32_t c);

// Number of user-perceived characters (extended grapheme clusters) of UTF-8 text.
std::int64_t characterCount(std::string_view text);

// The text in Unicode normalisation form C, so that canonically equivalent texts (a
// precomposed letter and the letter with a combining accent) are equal byte for byte.
std::string canonicalText(std::string_view text);

// The first `count` user-perceived characters of the text (all of it when it has fewer).
std::string firstCharacters(std::string_view text, std::int64_t count);

// The most marks drawn stacked on one letter: as many non-starters (characters of canonical
// combining class other than 0) as stream-safe text allows in a row. No script stacks more;
// the outline of stacked marks costs the square of their number (50,000 took seconds).
inline constexpr std::int64_t kMostStackedMarks = 30;
// The text with every stack of more than kMostStackedMarks marks cut to its first ones. A
// stack is a run of non-starters and of the nonspacing and enclosing marks of class 0 that
// stack as they do (Thai and Lao vowel signs, the grapheme joiner), which invisible
// characters (joiners, variation selectors) do not end. Every other character, and so every
// user-perceived character without such a stack however long, stays whole.
std::string withMarkStacksCut(std::string_view text);

// The text under the full Unicode lower-case mapping (root locale), for comparing mode words.
std::string lowercasedText(std::string_view text);

// The text under full Unicode case folding of its normal form C, so that names a file system
// that ignores letter case would take for one ("Page.PNG", "page.png") are equal.
std::string caseFoldedText(std::string_view text);

// True when the bytes are well-formed UTF-8 (no stray or overlong sequence, no surrogate).
bool isWellFormedUtf8(std::string_view text);

// The trimmed, non-empty pieces joined in order: by one space when there are 2 to 5 pieces,
// each of at most 14 characters and none holding a line feed; otherwise by one line feed.
std::string joinedText(const std::vector<std::string>& texts);

// The text for a standard-error line, which a caller reads line by line: every control
// character is written as a visible escape (\n, \r, \t; \x00 to \x1f and \x7f for the other
// C0 controls and DEL; \u0080 to \u009f for the C1 controls). Everything else, backslashes
// and ill-formed bytes included, stays as it is.
std::string visibleText(std::string_view text);

// A colour as 0xRRGGBB from six hex digits, with "#" characters and white space allowed at both
// ends (and a sign, as a number's, only where it changes nothing). Absent otherwise.
std::optional<std::uint32_t> parseHexRgb(std::string_view text);

}  // namespace letterforge
