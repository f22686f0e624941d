#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace letterforge {

// A JSON value the batch program does not take as a field's value: null, an object or an
// array, named as messages name it ("null", "an object", "an array").
struct OtherJsonValue {
  std::string type{};
  bool operator==(const OtherJsonValue&) const = default;
};
using JsonFieldValue = std::variant<bool, double, std::string, OtherJsonValue>;

struct JsonField {
  std::string name{};
  JsonFieldValue value{};
  bool operator==(const JsonField&) const = default;
};

// The fields of one line of JSON Lines holding a single JSON object, in their order. Nested
// values are described, not kept. Absent, with `failure` describing the fault, when the line is
// not one valid JSON value, is not an object, or names a field twice.
std::optional<std::vector<JsonField>> parseJsonObjectLine(std::string_view line,
                                                          std::string& failure);

// The JSON text of the value of field `name` of a line that parseJsonObjectLine took, members
// in their order; values nested deeper than `depth` levels below the field are left out.
// Absent when the field is missing.
std::optional<std::string> jsonFieldText(std::string_view line, std::string_view name, int depth);

// The text as a quoted JSON string; ill-formed UTF-8 is replaced by U+FFFD.
std::string jsonString(std::string_view text);

// The shortest JSON number that reads back as `value`; null when it is not finite.
std::string jsonNumber(double value);

}  // namespace letterforge
