#include "letterforge/batch/json_lines.h"

#include <cstdint>
#include <new>
#include <set>

#include <nlohmann/json.hpp>

#include "letterforge/inputs/payloads.h"
#include "letterforge/inputs/text_rules.h"

namespace letterforge {
namespace {

using nlohmann::json;

// Collects the members of the top-level object as the parser meets them. Values below the
// first level are only counted through, so no depth of nesting is ever built up.
class ObjectFields final : public json::json_sax_t {
 public:
  std::vector<JsonField> fields{};
  std::string failure{};

  bool null() override { return value(OtherJsonValue{"null"}); }
  bool boolean(bool v) override { return value(v); }
  bool number_integer(number_integer_t v) override { return value(static_cast<double>(v)); }
  bool number_unsigned(number_unsigned_t v) override { return value(static_cast<double>(v)); }
  bool number_float(number_float_t v, const string_t&) override { return value(v); }
  bool string(string_t& v) override { return value(std::move(v)); }
  bool binary(binary_t&) override { return value(OtherJsonValue{"binary data"}); }
  bool start_object(std::size_t) override { return open(OtherJsonValue{"an object"}); }
  bool start_array(std::size_t) override { return open(OtherJsonValue{"an array"}); }
  bool end_object() override { return close(); }
  bool end_array() override { return close(); }
  bool key(string_t& name) override {
    if (depth_ != 1) return true;
    if (!names_.insert(name).second) {
      failure = "\"" + visibleText(name) + "\" is given twice";
      return false;
    }
    key_ = std::move(name);
    return true;
  }
  bool parse_error(std::size_t position, const std::string&,
                   const nlohmann::detail::exception& error) override {
    failure = "not valid JSON at byte " + std::to_string(position) + ": " + parserDetail(error.what());
    // A number too large for a double is a fault of the field it was given for.
    if (error.id == 406 && depth_ == 1 && !key_.empty()) {
      failure = visibleText(key_) + ": " + parserDetail(error.what());
    }
    return false;
  }

 private:
  bool value(JsonFieldValue v) {
    if (depth_ == 0) return topLevelIsNotAnObject(v);
    if (depth_ == 1) fields.push_back({key_, std::move(v)});
    return true;
  }
  bool open(OtherJsonValue type) {
    if (depth_ == 0 && type.type != "an object") return topLevelIsNotAnObject(type);
    if (depth_ == 1) fields.push_back({key_, std::move(type)});
    ++depth_;
    return true;
  }
  bool close() {
    --depth_;
    return true;
  }
  bool topLevelIsNotAnObject(const JsonFieldValue& v) {
    static constexpr const char* kTypes[] = {"a boolean", "a number", "a string"};
    failure = "expected an object, found " +
              (v.index() < 3 ? std::string(kTypes[v.index()]) : std::get<OtherJsonValue>(v).type);
    return false;
  }

  std::int64_t depth_ = 0;
  std::string key_{};
  std::set<std::string> names_{};
};

}  // namespace

std::optional<std::vector<JsonField>> parseJsonObjectLine(std::string_view line,
                                                          std::string& failure) {
  // JSON text never holds a NUL byte, not even inside a string.
  if (const auto nul = line.find('\0'); nul != std::string_view::npos) {
    failure = "not valid JSON at byte " + std::to_string(nul + 1) + ": NUL byte";
    return std::nullopt;
  }
  ObjectFields fields;
  try {
    if (json::sax_parse(line.begin(), line.end(), &fields)) return std::move(fields.fields);
    failure = fields.failure;
  } catch (const std::bad_alloc&) {
    failure = "not enough memory to read the line";
  }
  return std::nullopt;
}

std::optional<std::string> jsonFieldText(std::string_view line, std::string_view name, int depth) {
  using Ordered = nlohmann::ordered_json;
  const Ordered::parser_callback_t shallow = [depth](int level, Ordered::parse_event_t, Ordered&) {
    return level <= depth + 1;
  };
  try {
    const Ordered root = Ordered::parse(line, shallow, false);
    const auto field = root.is_object() ? root.find(std::string(name)) : root.end();
    if (field == root.end()) return std::nullopt;
    return field->dump(-1, ' ', false, Ordered::error_handler_t::replace);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::string jsonString(std::string_view text) {
  return json(std::string(text)).dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string jsonNumber(double value) { return json(value).dump(); }

}  // namespace letterforge
