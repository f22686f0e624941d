#include "platform/text_cuts.h"

#include <vector>

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

// A letter of a real script or a digit: its direction settles every character before it.
bool isStrongLetter(gunichar c) {
  const GUnicodeScript script = g_unichar_get_script(c);
  return g_unichar_isalpha(c) && script != G_UNICODE_SCRIPT_COMMON &&
         script != G_UNICODE_SCRIPT_INHERITED && script != G_UNICODE_SCRIPT_UNKNOWN;
}

// A letter of a real script or a digit: its direction settles every character before it.
bool settlesDirection(gunichar c) { return isStrongLetter(c) || g_unichar_isdigit(c); }

bool opensIsolate(gunichar c) { return c >= 0x2066 && c <= 0x2068; }
bool closesIsolate(gunichar c) { return c == 0x2069; }
bool endsParagraph(gunichar c) { return c == '\n' || c == '\r' || c == 0x2029; }

bool hasRightToLeft(std::string_view text) {
  for (const char* p = text.data(); p < text.data() + text.size(); p = g_utf8_next_char(p)) {
    if (isRightToLeft(g_utf8_get_char(p))) return true;
  }
  return false;
}

// What a text with right-to-left characters must know ahead of a cut: for each paragraph,
// the offset just past its last character that settles direction (the neutral characters
// after it resolve as at the end of the text), and for each isolate opened, in order,
// whether a later pop in its paragraph closes it (the characters before it then take their
// direction from what follows the pop).
struct DirectionOutline {
  std::vector<std::size_t> lastSettled{0};
  std::vector<bool> closedLater{};
};

DirectionOutline outlineDirections(std::string_view text) {
  DirectionOutline outline;
  std::vector<std::size_t> open;  // ordinals of the isolates open in this paragraph
  for (const char* p = text.data(); p < text.data() + text.size(); p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    if (settlesDirection(c)) {
      outline.lastSettled.back() = static_cast<std::size_t>(g_utf8_next_char(p) - text.data());
    }
    if (opensIsolate(c)) {
      open.push_back(outline.closedLater.size());
      outline.closedLater.push_back(false);
    }
    if (closesIsolate(c) && !open.empty()) {
      outline.closedLater[open.back()] = true;
      open.pop_back();
    }
    if (endsParagraph(c)) {
      outline.lastSettled.push_back(static_cast<std::size_t>(g_utf8_next_char(p) - text.data()));
      open.clear();
    }
  }
  return outline;
}

// The isolates open at the scan position, and how many of them block a cut: those closed
// later, and first-strong isolates whose direction no letter inside has settled yet.
struct OpenIsolates {
  struct Isolate {
    bool closedLater = false;
    bool unsettled = false;
  };
  std::vector<Isolate> open{};
  int blocking = 0;

  static int blocks(const Isolate& isolate) { return isolate.closedLater || isolate.unsettled ? 1 : 0; }
  void opened(bool closedLater, bool firstStrong) {
    open.push_back({closedLater, firstStrong});
    blocking += blocks(open.back());
  }
  void closed() {
    if (open.empty()) return;
    blocking -= blocks(open.back());
    open.pop_back();
  }
  void strongLetter() {
    for (Isolate& isolate : open) {
      blocking -= blocks(isolate);
      isolate.unsettled = false;
      blocking += blocks(isolate);
    }
  }
  void paragraphEnded() {
    open.clear();
    blocking = 0;
  }
};

}  // namespace

std::size_t layoutCutAtOrAfter(std::string_view text, std::size_t from) {
  // Left-to-right text has one direction everywhere. In text with right-to-left characters,
  // neutral characters and directional isolates take their direction from what follows.
  const bool bidirectional = hasRightToLeft(text);
  const DirectionOutline outline = bidirectional ? outlineDirections(text) : DirectionOutline{};
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  std::size_t paragraph = 0;
  std::size_t isolatesOpened = 0;
  OpenIsolates isolates;
  gunichar previous = 0;
  for (const char* p = begin; p < end; p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    const auto at = static_cast<std::size_t>(p - begin);
    const bool apart = at >= from && at > 0 && !joinsNext(previous) && !joinsPrevious(c);
    const bool settled = settlesDirection(previous) || at >= outline.lastSettled[paragraph];
    if (apart && (!bidirectional || (isolates.blocking == 0 && settled))) return at;
    if (!bidirectional) {
      previous = c;
      continue;
    }
    if (isStrongLetter(c)) isolates.strongLetter();
    if (opensIsolate(c)) isolates.opened(outline.closedLater[isolatesOpened++], c == 0x2068);
    if (closesIsolate(c)) isolates.closed();
    if (endsParagraph(c)) {
      isolates.paragraphEnded();
      ++paragraph;
    }
    previous = c;
  }
  return text.size();
}

}  // namespace platform
