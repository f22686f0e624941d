#pragma once

#include <optional>
#include <string>

namespace platform {

struct ParsedNumber {
  double value = 0.0;
  bool rangeError = false;  // too large for a double, or so small that it read as zero
};

// Reads the whole text as one number in the C library's strtod grammar, C locale: sign,
// decimal or hexadecimal digits, exponent, the words for infinity and not-a-number. Absent
// when the text is empty, starts with white space or NUL, or has anything left over.
std::optional<ParsedNumber> parseCNumber(const std::string& text);

}  // namespace platform
