#include "platform/number_parsing.h"

#include <clocale>
#include <cerrno>
#include <cstdlib>
#include <locale.h>

namespace platform {
namespace {

locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

bool isCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::optional<ParsedNumber> parseCNumber(const std::string& text) {
  if (text.empty() || text[0] == '\0' || isCSpace(text[0])) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const double value = strtod_l(text.c_str(), &end, cLocale());
  const bool rangeError = errno == ERANGE;
  if (end != text.c_str() + text.size() || end == text.c_str()) return std::nullopt;
  return ParsedNumber{value, rangeError};
}

}  // namespace platform
