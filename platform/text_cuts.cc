#include "platform/text_cuts.h"

#include <glib.h>

namespace platform {
namespace {

// Blocks of right-to-left scripts and the right-to-left formatting characters; a superset,
// which only makes cuts rarer.
bool isRightToLeft(gunichar c) {
  return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) ||
         (c >= 0xFE70 && c <= 0xFEFF) || (c >= 0x10800 && c <= 0x10FFF) ||
         (c >= 0x1E800 && c <= 0x1EFFF) || c == 0x200F || c == 0x202B || c == 0x202E ||
         c == 0x2067 || c == 0x2068;
}

bool isHangulJamo(gunichar c) {
  return (c >= 0x1100 && c <= 0x11FF) || (c >= 0xA960 && c <= 0xA97F) ||
         (c >= 0xD7B0 && c <= 0xD7FF);
}

bool isRegionalIndicator(gunichar c) { return c >= 0x1F1E6 && c <= 0x1F1FF; }
bool isEmojiModifier(gunichar c) { return c >= 0x1F3FB && c <= 0x1F3FF; }

// Letters that join the character after them (prepended concatenation marks and the like).
bool isPrepended(gunichar c) {
  return c == 0x0D4E || c == 0x111C2 || c == 0x111C3 || c == 0x1193F || c == 0x11941 ||
         c == 0x11A3A || (c >= 0x11A84 && c <= 0x11A89) || c == 0x11D46;
}

bool joinsNext(gunichar c) {
  const GUnicodeType type = g_unichar_type(c);
  return type == G_UNICODE_FORMAT || c == '\r' || isHangulJamo(c) || isRegionalIndicator(c) ||
         isPrepended(c);
}

bool joinsPrevious(gunichar c) {
  const GUnicodeType type = g_unichar_type(c);
  return type == G_UNICODE_NON_SPACING_MARK || type == G_UNICODE_SPACING_MARK ||
         type == G_UNICODE_ENCLOSING_MARK || type == G_UNICODE_FORMAT || isHangulJamo(c) ||
         isRegionalIndicator(c) || isEmojiModifier(c);
}

bool isScriptLetter(gunichar c) {
  const GUnicodeScript script = g_unichar_get_script(c);
  return g_unichar_isalpha(c) && script != G_UNICODE_SCRIPT_COMMON &&
         script != G_UNICODE_SCRIPT_INHERITED && script != G_UNICODE_SCRIPT_UNKNOWN;
}

bool endsParagraph(gunichar c) { return c == '\n' || c == '\r' || c == 0x2029; }

bool hasRightToLeft(std::string_view text) {
  for (const char* p = text.data(); p < text.data() + text.size(); p = g_utf8_next_char(p)) {
    if (isRightToLeft(g_utf8_get_char(p))) return true;
  }
  return false;
}

}  // namespace

std::size_t layoutCutAtOrAfter(std::string_view text, std::size_t from) {
  const bool needsLetter = hasRightToLeft(text);
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  int isolates = 0;  // isolates opened and not yet closed in this paragraph
  gunichar previous = 0;
  for (const char* p = begin; p < end; p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    const auto at = static_cast<std::size_t>(p - begin);
    if (at >= from && at > 0 && isolates == 0 && !joinsNext(previous) && !joinsPrevious(c) &&
        (!needsLetter || isScriptLetter(previous))) {
      return at;
    }
    if (c >= 0x2066 && c <= 0x2068) ++isolates;
    if (c == 0x2069 && isolates > 0) --isolates;
    if (endsParagraph(c)) isolates = 0;
    previous = c;
  }
  return text.size();
}

}  // namespace platform
