#include "letterforge/inputs/payloads.h"

#include <cstdio>
#include <new>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/files.h"

namespace letterforge {
namespace {

using nlohmann::json;

std::string memberPath(const std::string& parent, const char* key) {
  return parent.empty() ? std::string(key) : parent + "." + key;
}

std::string describeType(const json& value) {
  switch (value.type()) {
    case json::value_t::null: return "null";
    case json::value_t::object: return "an object";
    case json::value_t::array: return "an array";
    case json::value_t::string: return "a string";
    case json::value_t::boolean: return "a boolean";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float: return "a number";
    default: return "an unsupported value";
  }
}

bool wrongType(const std::string& path, const char* expected, const json& value,
               std::string& failure) {
  failure = path + ": expected " + expected + ", found " + describeType(value);
  return false;
}

bool decode(const json& value, const std::string& path, double& out, std::string& failure);
bool decode(const json& value, const std::string& path, std::string& out, std::string& failure);
bool decode(const json& value, const std::string& path, bool& out, std::string& failure);
bool decode(const json& value, const std::string& path, BBox& out, std::string& failure);
bool decode(const json& value, const std::string& path, OcrBlock& out, std::string& failure);
bool decode(const json& value, const std::string& path, TranslationBlock& out,
            std::string& failure);

template <typename T>
bool decode(const json& value, const std::string& path, std::vector<T>& out,
            std::string& failure) {
  if (!value.is_array()) return wrongType(path, "an array", value, failure);
  out.clear();
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    T element{};
    if (!decode(value[i], path + "[" + std::to_string(i) + "]", element, failure)) return false;
    out.push_back(std::move(element));
  }
  return true;
}

template <typename T>
bool required(const json& object, const std::string& parent, const char* key, T& out,
              std::string& failure) {
  const std::string path = memberPath(parent, key);
  const auto found = object.find(key);
  if (found == object.end()) {
    failure = path + ": required key is missing";
    return false;
  }
  if (found->is_null()) {
    failure = path + ": required value is null";
    return false;
  }
  return decode(*found, path, out, failure);
}

// A missing key and a null value both leave the field holding nothing.
template <typename T>
bool optional(const json& object, const std::string& parent, const char* key,
              std::optional<T>& out, std::string& failure) {
  out.reset();
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) return true;
  T value{};
  if (!decode(*found, memberPath(parent, key), value, failure)) return false;
  out = std::move(value);
  return true;
}

bool decode(const json& value, const std::string& path, double& out, std::string& failure) {
  if (!value.is_number()) return wrongType(path, "a number", value, failure);
  out = value.get<double>();
  return true;
}

bool decode(const json& value, const std::string& path, std::string& out, std::string& failure) {
  if (!value.is_string()) return wrongType(path, "a string", value, failure);
  out = value.get_ref<const std::string&>();
  return true;
}

bool decode(const json& value, const std::string& path, bool& out, std::string& failure) {
  if (!value.is_boolean()) return wrongType(path, "a boolean", value, failure);
  out = value.get<bool>();
  return true;
}

bool decode(const json& value, const std::string& path, BBox& out, std::string& failure) {
  if (!value.is_object()) return wrongType(path, "an object", value, failure);
  return required(value, path, "x", out.x, failure) && required(value, path, "y", out.y, failure) &&
         required(value, path, "w", out.w, failure) && required(value, path, "h", out.h, failure);
}

bool decode(const json& value, const std::string& path, OcrBlock& out, std::string& failure) {
  if (!value.is_object()) return wrongType(path, "an object", value, failure);
  return required(value, path, "id", out.id, failure) &&
         required(value, path, "text", out.text, failure) &&
         required(value, path, "confidence", out.confidence, failure) &&
         required(value, path, "bbox", out.bbox, failure);
}

bool decode(const json& value, const std::string& path, TranslationBlock& out,
            std::string& failure) {
  if (!value.is_object()) return wrongType(path, "an object", value, failure);
  return required(value, path, "id", out.id, failure) &&
         required(value, path, "source_text", out.sourceText, failure) &&
         optional(value, path, "normalized_source_text", out.normalizedSourceText, failure) &&
         required(value, path, "translated_text", out.translatedText, failure) &&
         optional(value, path, "confidence", out.confidence, failure) &&
         optional(value, path, "needs_review", out.needsReview, failure) &&
         optional(value, path, "notes", out.notes, failure);
}

bool decodeRoot(const json& root, OcrPayload& out, std::string& failure) {
  return required(root, "", "width", out.width, failure) &&
         required(root, "", "height", out.height, failure) &&
         required(root, "", "blocks", out.blocks, failure);
}

bool decodeRoot(const json& root, TranslationPayload& out, std::string& failure) {
  return optional(root, "", "page_summary", out.pageSummary, failure) &&
         optional(root, "", "source_language_detected", out.sourceLanguageDetected, failure) &&
         required(root, "", "translations", out.translations, failure);
}

// Offset of the bracket that opens one level too many; absent when nesting stays within the
// limit. Checked before parsing so that no deep document is ever built or torn down.
std::optional<std::size_t> excessiveNesting(std::string_view text) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxPayloadNesting) return i;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return std::nullopt;
}

std::optional<json> parseDocument(std::string_view text, std::string& failure) {
  if (const auto offset = excessiveNesting(text)) {
    failure = "nesting deeper than " + std::to_string(kMaxPayloadNesting) + " levels at byte " +
              std::to_string(*offset + 1);
    return std::nullopt;
  }
  // The parser takes a NUL byte for the end of the text and would ignore whatever follows it;
  // JSON text never holds one, not even inside a string.
  if (const auto nul = text.find('\0'); nul != std::string_view::npos) {
    failure = "not valid JSON at byte " + std::to_string(nul + 1) + ": NUL byte";
    return std::nullopt;
  }
  try {
    return json::parse(text);
  } catch (const json::parse_error& error) {
    failure = "not valid JSON at byte " + std::to_string(error.byte) + ": " +
              parserDetail(error.what());
  } catch (const json::exception& error) {
    failure = "not valid JSON: " + parserDetail(error.what());
  } catch (const std::bad_alloc&) {
    failure = "not enough memory to decode the file";
  }
  return std::nullopt;
}

template <typename Payload>
std::optional<Payload> decodePayload(std::string_view text, std::string& failure) {
  const std::optional<json> root = parseDocument(text, failure);
  if (!root) return std::nullopt;
  if (!root->is_object()) {
    failure = "expected an object at the top level, found " + describeType(*root);
    return std::nullopt;
  }
  Payload payload{};
  if (!decodeRoot(*root, payload, failure)) return std::nullopt;
  return payload;
}

template <typename Payload>
std::optional<Payload> loadPayload(const std::string& path, std::string& failure) {
  std::string reason;
  const std::optional<std::string> text = platform::readWholeFile(path, kMaxPayloadBytes, reason);
  if (!text) {
    failure = path + ": cannot be read: " + reason;
    return std::nullopt;
  }
  auto payload = decodePayload<Payload>(*text, reason);
  if (!payload) failure = path + ": " + reason;
  return payload;
}

}  // namespace

std::string parserDetail(std::string_view what) {
  const auto tagEnd = what.find("] ");
  if (tagEnd != std::string_view::npos) what.remove_prefix(tagEnd + 2);
  if (what.starts_with("parse error")) {
    const auto positionEnd = what.find(": ");
    if (positionEnd != std::string_view::npos) what.remove_prefix(positionEnd + 2);
  }
  std::string detail;
  for (const char c : what) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      detail += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      detail += escaped;
    }
  }
  return detail;
}

std::optional<OcrPayload> loadOcrPayload(const std::string& path, std::string& failure) {
  return loadPayload<OcrPayload>(path, failure);
}

std::optional<TranslationPayload> loadTranslationPayload(const std::string& path,
                                                         std::string& failure) {
  return loadPayload<TranslationPayload>(path, failure);
}

std::optional<OcrPayload> decodeOcrPayload(std::string_view json, std::string& failure) {
  return decodePayload<OcrPayload>(json, failure);
}

std::optional<TranslationPayload> decodeTranslationPayload(std::string_view json,
                                                           std::string& failure) {
  return decodePayload<TranslationPayload>(json, failure);
}

}  // namespace letterforge
