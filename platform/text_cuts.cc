#include "platform/text_cuts.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include <fribidi.h>
#include <glib.h>

#include "platform/paragraph_direction.h"

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

// A character of strong direction: it settles the direction of a first-strong isolate.
bool isStrongLetter(gunichar c) { return FRIBIDI_IS_LETTER(fribidi_get_bidi_type(c)); }

// A character of strong direction or a digit: it settles every neutral character before it.
bool settlesDirection(gunichar c) {
  const FriBidiCharType type = fribidi_get_bidi_type(c);
  return FRIBIDI_IS_LETTER(type) || FRIBIDI_IS_NUMBER(type);
}

bool opensIsolate(gunichar c) { return c >= 0x2066 && c <= 0x2068; }
bool closesIsolate(gunichar c) { return c == 0x2069; }

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

  static int blocks(const Isolate& isolate) {
    return isolate.closedLater || isolate.unsettled ? 1 : 0;
  }
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

// The first offset at or after `from` between characters that stand apart and, in text with
// right-to-left characters, where the direction of the characters before it is settled.
std::size_t candidateAtOrAfter(std::string_view text, bool bidirectional,
                               const DirectionOutline& outline, std::size_t from) {
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

// Offset of the first character with a script of its own in the text, or its size.
std::size_t firstWithOwnScript(std::string_view text) {
  for (const char* p = text.data(); p < text.data() + text.size(); p = g_utf8_next_char(p)) {
    const GUnicodeScript script = g_unichar_get_script(g_utf8_get_char(p));
    if (script != G_UNICODE_SCRIPT_COMMON && script != G_UNICODE_SCRIPT_INHERITED &&
        script != G_UNICODE_SCRIPT_UNKNOWN) {
      return static_cast<std::size_t>(p - text.data());
    }
  }
  return text.size();
}

// The characters laid out after the part before `cut`, in a paragraph the whole text lays out
// in the given direction.
std::string cutEnding(std::string_view text, std::size_t cut, const ParagraphSpan& paragraph,
                      BaseDirection direction) {
  // Neutral characters at the start of a paragraph take the script of the letter after them.
  std::string ending;
  const std::string_view before = text.substr(paragraph.start, cut - paragraph.start);
  const std::string_view after = text.substr(cut, paragraph.end - cut);
  if (firstWithOwnScript(before) == before.size() && firstWithOwnScript(after) < after.size()) {
    const char* letter = after.data() + firstWithOwnScript(after);
    ending.assign(letter, static_cast<std::size_t>(g_utf8_next_char(letter) - letter));
  }
  // A paragraph without a strong character takes the direction of the one before it, and the
  // first ones that of the text's first strong character: a mark gives the part's paragraph
  // the direction the whole text gives it.
  const std::string laidOut = std::string(text.substr(0, cut)) + ending;
  if (paragraphDirection(laidOut, paragraphAround(laidOut, cut)) != direction) {
    ending.insert(0, direction == BaseDirection::rightToLeft ? "\u200F" : "\u200E");
  }
  return ending;
}

// Whether the part before the cut, followed by its ending, resolves every character of its
// last paragraph to the embedding level the whole text resolves it to.
bool keepsLevels(std::string_view text, const LayoutCut& cut, const ParagraphSpan& paragraph,
                 BaseDirection direction) {
  const std::string_view whole = text.substr(paragraph.start, paragraph.end - paragraph.start);
  std::string part(text.substr(paragraph.start, cut.at - paragraph.start));
  const auto characters = g_utf8_strlen(part.data(), static_cast<gssize>(part.size()));
  if (characters == 0) return true;
  part += cut.ending;
  const std::vector<std::uint8_t> partLevels = embeddingLevels(part, direction);
  const std::vector<std::uint8_t> wholeLevels = embeddingLevels(whole, direction);
  return std::equal(partLevels.begin(), partLevels.begin() + characters, wholeLevels.begin());
}

}  // namespace

LayoutCut layoutCutAtOrAfter(std::string_view text, std::size_t from) {
  // Left-to-right text has one direction everywhere. In text with right-to-left characters,
  // neutral characters and directional isolates take their direction from what follows.
  const bool bidirectional = hasRightToLeft(text);
  const DirectionOutline outline = bidirectional ? outlineDirections(text) : DirectionOutline{};
  std::size_t at = candidateAtOrAfter(text, bidirectional, outline, from);
  while (at < text.size()) {
    const ParagraphSpan paragraph = paragraphAround(text, at);
    const BaseDirection direction = paragraphDirection(text, paragraph);
    LayoutCut cut{.at = at, .ending = cutEnding(text, at, paragraph, direction)};
    if (!bidirectional || keepsLevels(text, cut, paragraph, direction)) return cut;
    // A part twice as long in the paragraph, or the whole paragraph.
    const std::size_t further = at + std::max<std::size_t>(at - paragraph.start, 1);
    at = further < paragraph.end ? candidateAtOrAfter(text, bidirectional, outline, further)
                                 : paragraph.next;
  }
  return {.at = text.size()};
}

}  // namespace platform
