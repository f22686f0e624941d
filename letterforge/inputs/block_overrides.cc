#include "letterforge/inputs/block_overrides.h"

#include <cmath>
#include <functional>
#include <set>

#include <nlohmann/json.hpp>

#include "letterforge/inputs/payloads.h"
#include "letterforge/inputs/text_rules.h"
#include "platform/text_layout.h"

namespace letterforge {
namespace {

using Json = nlohmann::ordered_json;

// A fixed size is drawn as given, so it must be one that text can be drawn at.
const std::string kSizeExpected =
    "a positive number up to " + std::to_string(static_cast<int>(platform::kLargestTextSize));

// Deepest nesting of objects and arrays kept; deeper values are never stored.
constexpr int kMaxOverrideNesting = 8;

std::string kindOf(const Json& value) {
  if (value.is_null()) return "null";
  if (value.is_boolean()) return "a boolean";
  if (value.is_number()) return "a number";
  if (value.is_string()) return "a string";
  if (value.is_object()) return "an object";
  return "an array";
}

// What was found, as messages show it: a short value itself, else its kind.
std::string found(const Json& value) {
  if (value.is_number() || value.is_boolean()) return value.dump();
  if (value.is_string()) return "\"" + visibleText(value.get<std::string>()) + "\"";
  return kindOf(value);
}

struct FieldContext {
  const std::vector<std::string_view>& cleanupWords;
  std::string failure{};

  bool fail(const std::string& field, const std::string& expected, const Json& value) {
    failure = field + ": expected " + expected + ", found " + found(value);
    return false;
  }
};

bool readColor(FieldContext& c, const std::string& field, const Json& value,
               std::optional<std::uint32_t>& out) {
  const auto rgb = value.is_string() ? parseHexRgb(value.get<std::string>()) : std::nullopt;
  if (!rgb) return c.fail(field, "six hex digits", value);
  out = rgb;
  return true;
}

bool readWord(FieldContext& c, const std::string& field, const Json& value,
              const std::vector<std::string_view>& words, std::string& out) {
  if (!value.is_string()) return c.fail(field, wordList(words), value);
  const std::string word = lowercasedText(value.get<std::string>());
  for (const std::string_view w : words) {
    if (w == word) {
      out = word;
      return true;
    }
  }
  c.failure = unknownWordFailure(field, words, value.get<std::string>());
  return false;
}

bool readField(FieldContext& c, const std::string& field, const Json& value, BlockOverride& o) {
  if (field == "group") {
    if (!value.is_null() && !value.is_string() && !value.is_number()) {
      return c.fail(field, "a string, a number or null", value);
    }
    o.grouped = true;
    if (!value.is_null()) o.group = value.dump();
    return true;
  }
  if (field == "font") {
    if (!value.is_string() || value.get<std::string>().empty()) {
      return c.fail(field, "a family name or a font file's path", value);
    }
    o.font = value.get<std::string>();
    return true;
  }
  if (field == "font_size" || field == "stroke_width") {
    const bool size = field == "font_size";
    if (!value.is_number() || !std::isfinite(value.get<double>()) ||
        (size && !(value.get<double>() > 0.0 && value.get<double>() <= platform::kLargestTextSize))) {
      return c.fail(field, size ? kSizeExpected : "a number", value);
    }
    (size ? o.fontSize : o.strokeWidth) = value.get<double>();
    return true;
  }
  if (field == "text_color") return readColor(c, field, value, o.textColor);
  if (field == "stroke_color") return readColor(c, field, value, o.strokeColor);
  if (field == "align") {
    std::string word;
    if (!readWord(c, field, value, wordsOf(kTextAlignWords), word)) return false;
    o.align = choiceOfWord(kTextAlignWords, word);
    return true;
  }
  if (field == "direction") {
    std::string word;
    if (!readWord(c, field, value, wordsOf(kTextDirectionWords), word)) return false;
    o.direction = choiceOfWord(kTextDirectionWords, word);
    return true;
  }
  if (field == "cleanup") {
    std::string word;
    if (!readWord(c, field, value, c.cleanupWords, word)) return false;
    o.cleanup = word;
    return true;
  }
  if (field == "skip") {
    if (!value.is_boolean()) return c.fail(field, "a boolean", value);
    o.skip = value.get<bool>();
    return true;
  }
  c.failure = "unknown field \"" + visibleText(field) + "\"";
  return false;
}

}  // namespace

std::optional<std::vector<BlockOverride>> decodeBlockOverrides(
    std::string_view json, const std::vector<std::string_view>& cleanupWords, std::string& failure) {
  // Keys are tracked as they are read: an object keeps only one value per key.
  std::vector<std::set<std::string>> keysAt;
  std::string repeated;
  bool tooDeep = false;
  const Json::parser_callback_t watch = [&](int depth, Json::parse_event_t event, Json& parsed) {
    if (event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) {
      if (depth >= kMaxOverrideNesting) tooDeep = true;
      keysAt.resize(static_cast<std::size_t>(depth) + 1);
      keysAt[static_cast<std::size_t>(depth)].clear();
    } else if (event == Json::parse_event_t::key && depth >= 1 &&
               static_cast<std::size_t>(depth) <= keysAt.size()) {
      const std::string key = parsed.get<std::string>();
      if (!keysAt[static_cast<std::size_t>(depth) - 1].insert(key).second && repeated.empty()) {
        repeated = key;
      }
    }
    return depth < kMaxOverrideNesting;
  };
  Json root;
  try {
    root = Json::parse(json, watch);
  } catch (const Json::parse_error& error) {
    failure = "not valid JSON at byte " + std::to_string(error.byte) + ": " + parserDetail(error.what());
    return std::nullopt;
  } catch (const Json::exception& error) {
    failure = "not valid JSON: " + parserDetail(error.what());
    return std::nullopt;
  }
  if (!root.is_object()) {
    failure = "expected an object keyed by block id, found " + kindOf(root);
    return std::nullopt;
  }
  if (tooDeep) {
    failure = "objects and arrays nest deeper than " + std::to_string(kMaxOverrideNesting);
    return std::nullopt;
  }
  if (!repeated.empty()) {
    failure = "\"" + visibleText(repeated) + "\" is given twice";
    return std::nullopt;
  }
  std::vector<BlockOverride> overrides;
  FieldContext context{.cleanupWords = cleanupWords};
  for (const auto& [id, fields] : root.items()) {
    const std::string shownId = visibleText(id);
    if (!fields.is_object()) {
      failure = shownId + ": expected an object of fields, found " + kindOf(fields);
      return std::nullopt;
    }
    BlockOverride o{.id = id};
    for (const auto& [field, value] : fields.items()) {
      if (!readField(context, field, value, o)) {
        failure = shownId + ": " + context.failure;
        return std::nullopt;
      }
    }
    overrides.push_back(std::move(o));
  }
  return overrides;
}

bool isInlineOverrides(std::string_view value) {
  const auto first = value.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && value[first] == '{';
}

}  // namespace letterforge
