#include "letterforge/batch/json_lines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

struct LineCase {
  const char* name;
  std::string line;
  std::vector<JsonField> fields{};
  std::string failure{};
};
class ParseJsonObjectLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(ParseJsonObjectLineTest, GivesTheFieldsOrNamesTheFault) {
  const LineCase& c = GetParam();
  std::string failure;
  const auto fields = parseJsonObjectLine(c.line, failure);
  EXPECT_EQ(failure, c.failure);
  EXPECT_EQ(fields.has_value(), c.failure.empty());
  if (fields) {
    EXPECT_EQ(*fields, c.fields);
  }
}

using F = JsonField;
INSTANTIATE_TEST_SUITE_P(Table, ParseJsonObjectLineTest, ::testing::Values(
    LineCase{"ScalarsInOrder", R"({"b": true, "n": 12, "f": -0.5, "s": "x\ny", "z": null})",
             {F{"b", true}, F{"n", 12.0}, F{"f", -0.5}, F{"s", std::string("x\ny")},
              F{"z", OtherJsonValue{"null"}}}},
    LineCase{"NestedValuesDescribedNotKept", R"({"a": [1, {"b": 2}], "o": {"a": 1}, "c": 3})",
             {F{"a", OtherJsonValue{"an array"}}, F{"o", OtherJsonValue{"an object"}},
              F{"c", 3.0}}},
    LineCase{"EmptyObject", "{}", {}},
    LineCase{"CarriageReturnIsWhiteSpace", "{\"a\": 1}\r", {F{"a", 1.0}}},
    LineCase{"DeepNestingInsideAField", "{\"a\": " + std::string(100000, '[') +
             std::string(100000, ']') + "}", {F{"a", OtherJsonValue{"an array"}}}},
    LineCase{"ArrayAtTopLevel", "[1, 2]", {}, "expected an object, found an array"},
    LineCase{"NumberAtTopLevel", "42", {}, "expected an object, found a number"},
    LineCase{"StringAtTopLevel", "\"a\"", {}, "expected an object, found a string"},
    LineCase{"NullAtTopLevel", "null", {}, "expected an object, found null"},
    LineCase{"FieldTwice", R"({"image": "a", "image": "b"})", {}, "\"image\" is given twice"},
    LineCase{"NestedKeysMayRepeat", R"({"a": {"k": 1}, "b": {"k": 2}})",
             {F{"a", OtherJsonValue{"an object"}}, F{"b", OtherJsonValue{"an object"}}}},
    LineCase{"TwoValues", R"({"a": 1} {"b": 2})", {},
             "not valid JSON at byte 10: syntax error while parsing value - unexpected '{'; "
             "expected end of input"},
    LineCase{"NotJson", "image=a.png", {},
             "not valid JSON at byte 1: syntax error while parsing value - invalid literal; "
             "last read: 'i'"},
    LineCase{"UnclosedObject", "{\"a\": 1", {},
             "not valid JSON at byte 8: syntax error while parsing object - unexpected end of "
             "input; expected '}'"},
    LineCase{"NulByte", std::string("{\"a\": 1}\0", 9), {}, "not valid JSON at byte 9: NUL byte"},
    LineCase{"IllFormedUtf8", "{\"a\": \"\xC3\"}", {},
             "not valid JSON at byte 9: syntax error while parsing value - invalid string: "
             "ill-formed UTF-8 byte; last read: '\"\\xC3\"'"},
    LineCase{"NumberTooLargeNamesItsField", R"({"font_scale": 1e999})", {},
             "font_scale: number overflow parsing '1e999'"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JsonTextTest, StringsAreEscapedAndIllFormedBytesReplaced) {
  EXPECT_EQ(jsonString("a\"b\\c\n\x1b"), R"("a\"b\\c\n\u001b")");
  EXPECT_EQ(jsonString("caf\xC3\xA9"), "\"caf\xC3\xA9\"");
  EXPECT_EQ(jsonString("bad\xC3"), "\"bad\xEF\xBF\xBD\"");
}

TEST(JsonTextTest, NumbersReadBackExactlyAndOnlyFiniteOnesAreNumbers) {
  EXPECT_EQ(jsonNumber(0.1), "0.1");
  EXPECT_EQ(jsonNumber(23.84348), "23.84348");
  EXPECT_EQ(jsonNumber(std::numeric_limits<double>::infinity()), "null");
  EXPECT_EQ(jsonNumber(std::nan("")), "null");
}

}  // namespace
}  // namespace letterforge
