#include "letterforge/inputs/text_rules.h"

#include <memory>
#include <utility>

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace letterforge {
namespace {

bool inTrimmingSet(UChar32 c) {
  if (c < 0) return false;  // an ill-formed byte is kept as text
  return isWhiteSpaceScalar(static_cast<char32_t>(c));
}

// Byte offset just past the leading trimmable characters.
std::size_t firstKept(std::string_view text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int32_t i = 0;
  while (i < length) {
    const int32_t start = i;
    UChar32 c = 0;
    U8_NEXT(bytes, i, length, c);
    if (!inTrimmingSet(c)) return static_cast<std::size_t>(start);
  }
  return text.size();
}

// Byte offset just past the last character that is not trimmable.
std::size_t endKept(std::string_view text, std::size_t from) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto start = static_cast<int32_t>(from);
  auto i = static_cast<int32_t>(text.size());
  while (i > start) {
    const int32_t end = i;
    UChar32 c = 0;
    U8_PREV(bytes, start, i, c);
    if (!inTrimmingSet(c)) return static_cast<std::size_t>(end);
  }
  return from;
}

// A mark drawn over or under the character before it rather than beside it.
bool stacksOnPrevious(UChar32 c) {
  return u_getCombiningClass(c) != 0 || (U_GET_GC_MASK(c) & (U_GC_MN_MASK | U_GC_ME_MASK)) != 0;
}

bool isAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// In ASCII every character is a cluster of its own except a carriage return followed by a
// line feed, so the common case needs no segmentation service.
std::int64_t asciiCharacterCount(std::string_view text) {
  std::int64_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    ++count;
  }
  return count;
}

// Calls visit(begin, end) with the byte range of each grapheme cluster in order until it
// returns false. False when the segmentation service is missing.
template <typename Visit>
bool visitClusters(std::string_view text, Visit&& visit) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> clusters(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
  if (U_SUCCESS(status) && clusters) clusters->setText(utext, status);
  const bool usable = U_SUCCESS(status) && clusters;
  if (usable) {
    int32_t begin = clusters->first();
    for (int32_t end = clusters->next(); end != icu::BreakIterator::DONE; end = clusters->next()) {
      if (!visit(static_cast<std::size_t>(begin), static_cast<std::size_t>(end))) break;
      begin = end;
    }
  }
  if (utext) utext_close(utext);
  return usable;
}

std::int64_t segmentedCharacterCount(std::string_view text) {
  std::int64_t count = 0;
  const bool counted = visitClusters(text, [&](std::size_t, std::size_t) { return ++count, true; });
  return counted ? count : static_cast<std::int64_t>(text.size());  // no data: count bytes
}

// Byte offset where the cluster after the first `count` clusters begins.
std::size_t clusterBoundary(std::string_view text, std::int64_t count) {
  if (isAscii(text)) {
    std::size_t i = 0;
    for (std::int64_t n = 0; n < count && i < text.size(); ++n) {
      i += (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    }
    return i;
  }
  std::size_t boundary = text.size();
  std::int64_t seen = 0;
  visitClusters(text, [&](std::size_t, std::size_t end) {
    if (++seen < count) return true;
    boundary = end;
    return false;
  });
  return boundary;
}

}  // namespace

std::string firstCharacters(std::string_view text, std::int64_t count) {
  if (count <= 0) return {};
  return std::string(text.substr(0, clusterBoundary(text, count)));
}

std::string withMarkStacksCut(std::string_view text) {
  if (isAscii(text)) return std::string(text);
  std::string kept;
  kept.reserve(text.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  std::int64_t stacked = 0;
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c = 0;
    U8_NEXT(bytes, i, length, c);
    if (c >= 0 && stacksOnPrevious(c)) {
      if (++stacked > kMostStackedMarks) continue;
    } else if (c < 0 || !u_hasBinaryProperty(c, UCHAR_DEFAULT_IGNORABLE_CODE_POINT)) {
      stacked = 0;  // an ill-formed byte is kept as text, as a letter
    }
    kept.append(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
  }
  return kept;
}

std::string lowercasedText(std::string_view text) {
  std::string out;
  icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())))
      .toLower(icu::Locale::getRoot())
      .toUTF8String(out);
  return out;
}

std::string caseFoldedText(std::string_view text) {
  const std::string canonical = canonicalText(text);
  std::string out;
  icu::UnicodeString::fromUTF8(icu::StringPiece(canonical.data(), static_cast<int32_t>(canonical.size())))
      .foldCase(U_FOLD_CASE_DEFAULT)
      .toUTF8String(out);
  return out;
}

bool isWellFormedUtf8(std::string_view text) {
  if (text.size() > static_cast<std::size_t>(INT32_MAX)) return false;  // beyond ICU's indexes
  const auto length = static_cast<std::int32_t>(text.size());
  for (std::int32_t i = 0; i < length;) {
    UChar32 c = 0;
    U8_NEXT(text.data(), i, length, c);
    if (c < 0) return false;
  }
  return true;
}

std::string trimmedText(std::string_view text) {
  const std::size_t begin = firstKept(text);
  const std::size_t end = endKept(text, begin);
  return std::string(text.substr(begin, end - begin));
}

bool isBlank(std::string_view text) { return firstKept(text) == text.size(); }

bool isWhiteSpaceScalar(char32_t c) {
  if (c == 0x09 || (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029) {
    return true;
  }
  return u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
}

std::int64_t characterCount(std::string_view text) {
  if (text.empty()) return 0;
  if (isAscii(text)) return asciiCharacterCount(text);
  return segmentedCharacterCount(text);
}

std::string canonicalText(std::string_view text) {
  if (isAscii(text)) return std::string(text);  // ASCII is its own normal form
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status)) return std::string(text);
  const icu::UnicodeString source = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  const icu::UnicodeString normalised = nfc->normalize(source, status);
  if (U_FAILURE(status)) return std::string(text);
  std::string result;
  normalised.toUTF8String(result);
  return result;
}

std::string joinedText(const std::vector<std::string>& texts) {
  constexpr std::size_t kMostSpaceJoinedPieces = 5;
  constexpr std::int64_t kLongestSpaceJoinedPiece = 14;

  std::vector<std::string> pieces;
  for (const std::string& text : texts) {
    std::string piece = trimmedText(text);
    if (!piece.empty()) pieces.push_back(std::move(piece));
  }
  if (pieces.empty()) return {};

  bool allShort = pieces.size() <= kMostSpaceJoinedPieces;
  for (const std::string& piece : pieces) {
    if (!allShort) break;
    allShort = characterCount(piece) <= kLongestSpaceJoinedPiece &&
               piece.find('\n') == std::string::npos;
  }
  const char separator = allShort ? ' ' : '\n';

  std::string joined = pieces.front();
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    joined += separator;
    joined += pieces[i];
  }
  return joined;
}

std::string visibleText(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    // C1 controls are U+0080 to U+009F, two bytes in UTF-8: C2 80 to C2 9F.
    const bool c1 =
        byte == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80;
    if (byte == '\n') {
      shown += "\\n";
    } else if (byte == '\r') {
      shown += "\\r";
    } else if (byte == '\t') {
      shown += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
    } else if (c1) {
      const auto code = static_cast<unsigned char>(text[++i]);
      shown += {'\\', 'u', '0', '0', kHex[code >> 4], kHex[code & 0xF]};
    } else {
      shown += text[i];
    }
  }
  return shown;
}

namespace {

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::uint32_t hexValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<std::uint32_t>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<std::uint32_t>(c - 'a' + 10);
  return static_cast<std::uint32_t>(c - 'A' + 10);
}

}  // namespace

std::optional<std::uint32_t> parseHexRgb(std::string_view text) {
  std::string digits = trimmedText(text);
  const auto first = digits.find_first_not_of('#');
  if (first == std::string::npos) return std::nullopt;
  digits = digits.substr(first, digits.find_last_not_of('#') - first + 1);
  if (digits.size() != 6) return std::nullopt;

  std::string_view body = digits;
  bool negative = false;
  if (body.front() == '+' || body.front() == '-') {
    negative = body.front() == '-';
    body.remove_prefix(1);
  }
  std::uint32_t value = 0;
  for (const char c : body) {
    if (!isHexDigit(c)) return std::nullopt;
    value = value * 16 + hexValue(c);
  }
  // An unsigned number takes a minus sign only in front of zero.
  if (negative && value != 0) return std::nullopt;
  return value;
}

}  // namespace letterforge
