#include "platform/paragraph_direction.h"

#include <algorithm>

#include <fribidi.h>
#include <pango/pango.h>

namespace platform {
namespace {

BaseDirection strongDirection(gunichar c) {
  const FriBidiCharType type = fribidi_get_bidi_type(c);
  if (!FRIBIDI_IS_STRONG(type)) return BaseDirection::none;
  return FRIBIDI_IS_RTL(type) ? BaseDirection::rightToLeft : BaseDirection::leftToRight;
}

}  // namespace

bool endsParagraph(char32_t c) { return c == '\n' || c == '\r' || c == 0x2029; }

ParagraphSpan paragraphAround(std::string_view text, std::size_t at) {
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const char* p = begin + std::min(at, text.size());
  while (p > begin && !endsParagraph(g_utf8_get_char(g_utf8_prev_char(p)))) {
    p = g_utf8_prev_char(p);
  }
  ParagraphSpan paragraph{.start = static_cast<std::size_t>(p - begin)};
  while (p < end && !endsParagraph(g_utf8_get_char(p))) p = g_utf8_next_char(p);
  paragraph.end = static_cast<std::size_t>(p - begin);
  if (p < end) {
    const bool crlf = *p == '\r' && p + 1 < end && p[1] == '\n';
    p = crlf ? p + 2 : g_utf8_next_char(p);
  }
  paragraph.next = static_cast<std::size_t>(p - begin);
  return paragraph;
}

BaseDirection firstStrongDirection(std::string_view text) {
  for (const char* p = text.data(); p < text.data() + text.size(); p = g_utf8_next_char(p)) {
    const BaseDirection direction = strongDirection(g_utf8_get_char(p));
    if (direction != BaseDirection::none) return direction;
  }
  return BaseDirection::none;
}

BaseDirection paragraphDirection(std::string_view text, const ParagraphSpan& paragraph) {
  const BaseDirection own =
      firstStrongDirection(text.substr(paragraph.start, paragraph.end - paragraph.start));
  if (own != BaseDirection::none) return own;
  // A paragraph without a strong character takes the direction of the one before it.
  const char* p = text.data() + paragraph.start;
  while (p > text.data()) {
    p = g_utf8_prev_char(p);
    if (strongDirection(g_utf8_get_char(p)) == BaseDirection::none) continue;
    const ParagraphSpan before = paragraphAround(text, static_cast<std::size_t>(p - text.data()));
    return firstStrongDirection(text.substr(before.start, before.end - before.start));
  }
  return firstStrongDirection(text);
}

std::vector<std::uint8_t> embeddingLevels(std::string_view paragraph, BaseDirection direction) {
  PangoDirection base = direction == BaseDirection::rightToLeft   ? PANGO_DIRECTION_RTL
                        : direction == BaseDirection::leftToRight ? PANGO_DIRECTION_LTR
                                                                  : PANGO_DIRECTION_WEAK_LTR;
  const auto length = static_cast<int>(paragraph.size());
  guint8* levels = pango_log2vis_get_embedding_levels(paragraph.data(), length, &base);
  std::vector<std::uint8_t> result(levels, levels + g_utf8_strlen(paragraph.data(), length));
  g_free(levels);
  return result;
}

}  // namespace platform
