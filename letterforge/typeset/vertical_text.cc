#include "letterforge/typeset/vertical_text.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "letterforge/inputs/text_rules.h"
#include "letterforge/layout/rect_geometry.h"
#include "letterforge/typeset/scalars.h"
#include "letterforge/typeset/text_style.h"

namespace letterforge {
namespace {

// Runs set across one cell hold at most this many characters; a longer one reads better on
// its side than squeezed into one em.
constexpr std::size_t kLongestAcrossRun = 3;

bool isKana(char32_t c) { return (c >= 0x3040 && c <= 0x30FF) || (c >= 0x31F0 && c <= 0x31FF); }

bool isHangul(char32_t c) {
  return (c >= 0x1100 && c <= 0x11FF) || (c >= 0x3130 && c <= 0x318F) || (c >= 0xAC00 && c <= 0xD7AF);
}

bool isHan(char32_t c) {
  return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x3134F);
}

// Ideographic punctuation, and the full-width forms that stand for Latin in East Asian text.
bool isEastAsianMark(char32_t c) { return (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF00 && c <= 0xFFEF); }

bool isDigit(char32_t c) { return c >= '0' && c <= '9'; }
bool isExclamation(char32_t c) { return c == '!' || c == '?'; }
bool isPrintableAscii(char32_t c) { return c > 0x20 && c < 0x7F; }

// Whether the printable ASCII run [start, end) of `count` characters goes across one cell.
bool goesAcross(std::string_view run, std::size_t count) {
  if (count == 0 || count > kLongestAcrossRun) return false;
  return std::all_of(run.begin(), run.end(), [](char c) { return isDigit(static_cast<char32_t>(c)); }) ||
         std::all_of(run.begin(), run.end(), [](char c) { return isExclamation(static_cast<char32_t>(c)); });
}

}  // namespace

bool mostlyEastAsian(std::string_view text) {
  std::int64_t eastAsian = 0;
  std::int64_t counted = 0;
  for (std::size_t at = 0; at < text.size();) {
    const Scalar s = scalarAt(text, at);
    at += s.length;
    if (isWhiteSpaceScalar(s.value)) continue;
    ++counted;
    const char32_t c = s.value;
    if (isKana(c) || isHangul(c) || isHan(c) || isEastAsianMark(c)) ++eastAsian;
  }
  return 2 * eastAsian > counted;
}

bool setsVertically(TextDirection direction, std::string_view text, const Rect& area) {
  switch (direction) {
    case TextDirection::kVertical: return true;
    case TextDirection::kAuto: return area.height > area.width && mostlyEastAsian(text);
    case TextDirection::kHorizontal: break;
  }
  return false;
}

std::vector<platform::ByteRange> acrossRuns(std::string_view text) {
  std::vector<platform::ByteRange> runs;
  if (!isWellFormedUtf8(text)) return runs;
  std::size_t at = 0;
  while (at < text.size()) {
    if (!isPrintableAscii(static_cast<unsigned char>(text[at]))) {
      at += scalarAt(text, at).length;
      continue;
    }
    const std::size_t start = at;
    while (at < text.size() && isPrintableAscii(static_cast<unsigned char>(text[at]))) ++at;
    if (goesAcross(text.substr(start, at - start), at - start)) runs.push_back({start, at});
  }
  return runs;
}

std::string verticalFamily(platform::TextContext& context, const std::string& family,
                           std::string_view text) {
  if (!family.empty()) return family;
  bool kana = false, hangul = false, han = false;
  for (std::size_t at = 0; at < text.size();) {
    const Scalar s = scalarAt(text, at);
    at += s.length;
    kana = kana || isKana(s.value);
    hangul = hangul || isHangul(s.value);
    han = han || isHan(s.value);
  }
  // Han characters differ in shape between the regions; kana and Hangul tell the language.
  const char* preferred = kana ? "Noto Sans CJK JP"
                          : hangul ? "Noto Sans CJK KR"
                          : han ? "Noto Sans CJK SC"
                                : "Noto Sans CJK JP";
  std::string failure;
  return platform::fontFamily(context, preferred, failure).value_or(std::string{});
}

TypesetOutcome drawColumns(platform::TextContext& context, platform::PageBitmap& page,
                           const TypesetOptions& options, const std::string& family,
                           std::string_view shown, bool bubble, const Rect& area, double start,
                           double minimum) {
  const platform::TextStyle columns{.family = verticalFamily(context, family, shown),
                                    .vertical = true,
                                    .acrossRuns = acrossRuns(shown)};
  // The fitting measures heights against the area's height: turned, the width of the columns
  // is measured against the area's width.
  const Rect turned{area.x, area.y, area.height, area.width};
  const FitResult fit =
      fitFromSize(options, start, minimum, bubble, turned,
                  textEngineMeasureStyled(context, shown, area.height, area.width, columns));
  if (fit.layoutCount == 0) return {};

  TextAttributes attributes = makeTextAttributes(options.lineSpacing, fit.compact, bubble,
                                                 fit.size, options.fontWeight);
  attributes.foregroundColor = options.textColor;
  // Columns start at one top line, as vertical lettering sets them; the block is centred.
  attributes.alignment = platform::TextAlignment::left;
  const auto styleOf = [&](const TextAttributes& drawn) {
    platform::TextStyle style = textStyleFor(drawn);
    style.family = columns.family;
    style.vertical = true;
    style.acrossRuns = columns.acrossRuns;
    return style;
  };
  const platform::TextHeights extent =
      platform::measureTextHeights(context, shown, area.height, styleOf(attributes), area.width);
  const double across = std::min(extent.spaced, area.width);
  const double along = std::clamp(extent.longestLine, 0.0, area.height);
  // The layout is as long as the area, so that it wraps as measured; its top is lowered.
  const double top = maxY(area) - (area.height - along) / 2.0;
  const Rect box{midX(area) - across / 2.0, top - area.height, across, area.height};

  page.save();
  page.clipToRect(area);
  if (options.strokeWidth > 0.0) {
    platform::drawText(context, page, shown, box,
                       styleOf(outlineAttributes(attributes, options.strokeWidth, options.strokeColor)));
  }
  const int unknown = platform::drawText(context, page, shown, box, styleOf(attributes));
  page.restore();
  return TypesetOutcome{.drawn = true,
                        .size = fit.size,
                        .overflowed = !(fit.required <= area.width),
                        .unknownCharacters = unknown,
                        .vertical = true,
                        .noVerticalForms = !platform::hasVerticalForms(context, columns.family)};
}

}  // namespace letterforge
