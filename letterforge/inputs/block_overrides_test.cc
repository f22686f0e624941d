#include "letterforge/inputs/block_overrides.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

const std::vector<std::string_view> kCleanups = {"white_fill", "none", "keep"};

struct DecodeCase {
  const char* name;
  std::string json;
  std::vector<BlockOverride> expected;  // empty with a failure
  std::string failure;
};
class DecodeOverridesTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeOverridesTest, GivesTheOverridesOrNamesTheBlockAndField) {
  const DecodeCase& c = GetParam();
  std::string failure;
  const auto overrides = decodeBlockOverrides(c.json, kCleanups, failure);
  EXPECT_EQ(failure, c.failure);
  if (c.failure.empty()) {
    ASSERT_TRUE(overrides.has_value());
    EXPECT_EQ(*overrides, c.expected);
  } else {
    EXPECT_FALSE(overrides.has_value());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeOverridesTest,
    ::testing::Values(
        DecodeCase{"EveryFieldInTheOrderGiven",
                   R"({"b2": {"group": "a", "font": "Serif", "font_size": 24, "text_color": "#ff0000",
                              "stroke_color": "00ff00", "stroke_width": 10, "align": "Left",
                              "direction": "Vertical", "cleanup": "KEEP", "skip": true},
                       "b1": {"group": null}})",
                   {BlockOverride{.id = "b2", .grouped = true, .group = "\"a\"", .font = "Serif",
                                  .fontSize = 24.0, .textColor = 0xFF0000, .strokeColor = 0x00FF00,
                                  .strokeWidth = 10.0, .align = TextAlign::kLeft,
                                  .direction = TextDirection::kVertical, .cleanup = "keep", .skip = true},
                    BlockOverride{.id = "b1", .grouped = true}},
                   ""},
        DecodeCase{"NumberAndStringGroupsDiffer", R"({"a": {"group": 1}, "b": {"group": "1"}})",
                   {BlockOverride{.id = "a", .grouped = true, .group = "1"},
                    BlockOverride{.id = "b", .grouped = true, .group = "\"1\""}},
                   ""},
        DecodeCase{"EmptyObject", "{}", {}, ""},
        DecodeCase{"CutShort", R"({"a": {"skip": true})", {},
                   "not valid JSON at byte 21: syntax error while parsing object - unexpected end "
                   "of input; expected '}'"},
        DecodeCase{"NotAnObject", "[1]", {}, "expected an object keyed by block id, found an array"},
        DecodeCase{"IdTwice", R"({"a": {}, "a": {"skip": true}})", {}, "\"a\" is given twice"},
        DecodeCase{"FieldTwice", R"({"a": {"skip": true, "skip": false}})", {},
                   "\"skip\" is given twice"},
        DecodeCase{"OverrideNotAnObject", R"({"a": 3})", {},
                   "a: expected an object of fields, found a number"},
        DecodeCase{"UnknownField", R"({"a": {"colour": "000000"}})", {},
                   "a: unknown field \"colour\""},
        DecodeCase{"SizeNotPositive", R"({"b3": {"font_size": -2}})", {},
                   "b3: font_size: expected a positive number up to 65535, found -2"},
        DecodeCase{"SizeLargestDrawn", R"({"b3": {"font_size": 65535}})",
                   {BlockOverride{.id = "b3", .fontSize = 65535.0}}, ""},
        DecodeCase{"SizeAboveTheLargestDrawn", R"({"b3": {"font_size": 65535.5}})", {},
                   "b3: font_size: expected a positive number up to 65535, found 65535.5"},
        DecodeCase{"SizeAString", R"({"b3": {"font_size": "12"}})", {},
                   "b3: font_size: expected a positive number up to 65535, found \"12\""},
        DecodeCase{"ColourOfFiveDigits", R"({"b": {"text_color": "#12345"}})", {},
                   "b: text_color: expected six hex digits, found \"#12345\""},
        DecodeCase{"StrokeColourNotHex", R"({"b": {"stroke_color": "GGGGGG"}})", {},
                   "b: stroke_color: expected six hex digits, found \"GGGGGG\""},
        DecodeCase{"AlignMistyped", R"({"b": {"align": "centre"}})", {},
                   "b: align: expected left, center or right, found \"centre\" (nearest: center)"},
        DecodeCase{"DirectionMistyped", R"({"b": {"direction": "verticle"}})", {},
                   "b: direction: expected horizontal, vertical or auto, found \"verticle\" (nearest: vertical)"},
        DecodeCase{"DirectionNotAString", R"({"b": {"direction": true}})", {},
                   "b: direction: expected horizontal, vertical or auto, found true"},
        DecodeCase{"CleanupNotAWordTaken", R"({"b": {"cleanup": "inpaint"}})", {},
                   "b: cleanup: expected white_fill, none or keep, found \"inpaint\" (nearest: none)"},
        DecodeCase{"EmptyFont", R"({"b": {"font": ""}})", {},
                   "b: font: expected a family name or a font file's path, found \"\""},
        DecodeCase{"GroupAnObject", R"({"b": {"group": {}}})", {},
                   "b: group: expected a string, a number or null, found an object"},
        DecodeCase{"SkipAString", R"({"b": {"skip": "yes"}})", {},
                   "b: skip: expected a boolean, found \"yes\""},
        DecodeCase{"TooDeep", R"({"b": {"group": [[[[[[[[1]]]]]]]]}})", {},
                   "objects and arrays nest deeper than 8"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BlockOverridesTest, InlineTextIsToldFromAPathByItsFirstCharacter) {
  EXPECT_TRUE(isInlineOverrides("  {\"a\": {}}"));
  EXPECT_FALSE(isInlineOverrides("pages/overrides.json"));
  EXPECT_FALSE(isInlineOverrides(""));
}

}  // namespace
}  // namespace letterforge
