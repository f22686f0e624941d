#pragma once

// Directions of the paragraphs of a text as the layout engine resolves them, so that a part
// of a text can be checked against the whole before it is laid out on its own.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace platform {

// Whether the character ends a paragraph as the layout engine divides text: a line feed, a
// carriage return (with the line feed after it, if any) or a paragraph separator.
bool endsParagraph(char32_t c);

// A paragraph of a text.
struct ParagraphSpan {
  std::size_t start = 0;
  std::size_t end = 0;   // where its ending line break starts, or the end of the text
  std::size_t next = 0;  // where the next paragraph starts
};
// The paragraph that holds the character at `at`; the one ending the text when `at` is its end.
ParagraphSpan paragraphAround(std::string_view text, std::size_t at);

enum class BaseDirection { none, leftToRight, rightToLeft };

// The direction of the text's first character of strong direction (a letter, a directional
// mark or an embedding); none when it has none.
BaseDirection firstStrongDirection(std::string_view text);

// The base direction the layout engine gives a paragraph: its first strong character's, else
// that of the nearest paragraph before it with one, else that of the whole text's first
// strong character; none (left to right) when the text has no strong character.
BaseDirection paragraphDirection(std::string_view text, const ParagraphSpan& paragraph);

// The embedding level the layout engine resolves for each character of a paragraph's text
// laid out in the given base direction.
std::vector<std::uint8_t> embeddingLevels(std::string_view paragraph, BaseDirection direction);

}  // namespace platform
