#include "letterforge/driver/render_options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

// The four required paths followed by the given optional values (index 5 onwards).
std::vector<std::string> withOptional(std::vector<std::string> optional) {
  std::vector<std::string> args{"page.png", "ocr.json", "tr.json", "out.png"};
  args.insert(args.end(), optional.begin(), optional.end());
  return args;
}

RenderOptions parsed(std::vector<std::string> optional) {
  const auto options = parseRenderOptions(withOptional(std::move(optional)));
  EXPECT_TRUE(options.has_value());
  return options.value_or(RenderOptions{});
}

TEST(RenderOptionsTest, FewerThanFourArgumentsIsAUsageFailure) {
  EXPECT_FALSE(parseRenderOptions({}).has_value());
  EXPECT_FALSE(parseRenderOptions({"a", "b", "c"}).has_value());
}

TEST(RenderOptionsTest, FourArgumentsGiveEveryDefault) {
  const RenderOptions o = parsed({});
  EXPECT_EQ(o.imagePath, "page.png");
  EXPECT_EQ(o.outputPngPath, "out.png");
  EXPECT_EQ(o.settings.typeset.baseFontSize, 18.0);
  EXPECT_EQ(o.settings.typeset.maxFontSize, 38.0);
  EXPECT_EQ(o.settings.typeset.fontScale, 1.0);
  EXPECT_EQ(o.settings.typeset.lineSpacing, 1.12);
  EXPECT_EQ(o.settings.typeset.fontWeight, FontWeight::bold);
  EXPECT_TRUE(o.settings.groupingEnabled);
  EXPECT_EQ(o.settings.groupingPreset, GroupingPreset::kBalanced);
  EXPECT_EQ(o.debugImagePath, "");
  EXPECT_EQ(o.settings.typeset.typesettingMode, TypesettingMode::kBalanced);
  EXPECT_EQ(o.settings.cleanupMode, CleanupMode::kWhiteFill);
  EXPECT_EQ(o.settings.typeset.strokeWidth, 25.0);
  EXPECT_EQ(o.settings.typeset.strokeColor, platform::kWhite);
}

struct SizeCase {
  const char* name;
  std::vector<std::string> optional;
  double base, max, scale, spacing, stroke;
};
class NumericOptionsTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(NumericOptionsTest, AppliesNumberRuleAndBounds) {
  const SizeCase& c = GetParam();
  const RenderOptions o = parsed(c.optional);
  EXPECT_EQ(o.settings.typeset.baseFontSize, c.base);
  EXPECT_EQ(o.settings.typeset.maxFontSize, c.max);
  EXPECT_EQ(o.settings.typeset.fontScale, c.scale);
  EXPECT_EQ(o.settings.typeset.lineSpacing, c.spacing);
  EXPECT_EQ(o.settings.typeset.strokeWidth, c.stroke);
}

INSTANTIATE_TEST_SUITE_P(Table, NumericOptionsTest, ::testing::Values(
    SizeCase{"BaseBelowFloorRaised", {"4"}, 6.0, 38.0, 1.0, 1.12, 25.0},
    SizeCase{"BaseAboveMaxWithoutArgumentSixKeepsMax", {"24"}, 24.0, 38.0, 1.0, 1.12, 25.0},
    SizeCase{"LargeBaseWithoutArgumentSix", {"50"}, 50.0, 38.0, 1.0, 1.12, 25.0},
    SizeCase{"GivenMaxRaisedToBase", {"50", "40"}, 50.0, 50.0, 1.0, 1.12, 25.0},
    SizeCase{"UnreadableMaxIsDefaultThenRaised", {"50", "x"}, 50.0, 50.0, 1.0, 1.12, 25.0},
    SizeCase{"UnitSuffixUnreadable", {"12pt"}, 18.0, 38.0, 1.0, 1.12, 25.0},
    SizeCase{"LeadingSpaceUnreadable", {" 12"}, 18.0, 38.0, 1.0, 1.12, 25.0},
    SizeCase{"TrailingSpaceUnreadable", {"12 "}, 18.0, 38.0, 1.0, 1.12, 25.0},
    SizeCase{"EmptyUnreadable", {""}, 18.0, 38.0, 1.0, 1.12, 25.0},
    SizeCase{"ExponentRead", {"1e1"}, 10.0, 38.0, 1.0, 1.12, 25.0},
    SizeCase{"HexFloatRead", {"0x10"}, 16.0, 38.0, 1.0, 1.12, 25.0},
    SizeCase{"OverflowUnreadable", {"1e999"}, 18.0, 38.0, 1.0, 1.12, 25.0},
    SizeCase{"ScaleAndSpacingBounds", {"18", "38", "3", "0.5"}, 18.0, 38.0, 2.0, 0.8, 25.0},
    SizeCase{"ScaleRaisedToHalf", {"18", "38", "0.1", "2.5"}, 18.0, 38.0, 0.5, 2.0, 25.0},
    SizeCase{"NegativeStrokeIsZero",
             {"18", "38", "1", "1.12", "bold", "true", "balanced", "", "balanced", "white_fill", "-5"},
             18.0, 38.0, 1.0, 1.12, 0.0},
    SizeCase{"StrokeCappedAtForty",
             {"18", "38", "1", "1.12", "bold", "true", "balanced", "", "balanced", "white_fill", "100"},
             18.0, 38.0, 1.0, 1.12, 40.0},
    SizeCase{"NotANumberTakesTheUpperBounds",
             {"nan", "nan", "nan", "nan", "bold", "true", "balanced", "", "balanced", "white_fill", "nan"},
             6.0, 6.0, 2.0, 2.0, 40.0}),
    [](const auto& info) { return std::string(info.param.name); });

struct WordCase {
  const char* name;
  std::string argument;
  bool grouping;
};
class GroupingWordTest : public ::testing::TestWithParam<WordCase> {};

TEST_P(GroupingWordTest, TrueOnlyForTheWordTrueInAnyCase) {
  const RenderOptions o = parsed({"18", "38", "1", "1.12", "bold", GetParam().argument});
  EXPECT_EQ(o.settings.groupingEnabled, GetParam().grouping);
}

INSTANTIATE_TEST_SUITE_P(Table, GroupingWordTest, ::testing::Values(
    WordCase{"Lower", "true", true}, WordCase{"Capitals", "TRUE", true},
    WordCase{"FirstCapital", "True", true}, WordCase{"Yes", "yes", false},
    WordCase{"Digit", "1", false}, WordCase{"Empty", "", false},
    WordCase{"TrailingSpace", "true ", false}),
    [](const auto& info) { return std::string(info.param.name); });

// One word argument (index 9, 11, 13 or 14) among the defaults' own words, and what it must
// change in the default settings: its choice in any letter case, the option's default branch
// for any other word.
struct ModeWordCase {
  const char* name;
  std::size_t index;
  std::string argument;
  std::function<void(RenderSettings&)> expect;
};
class ModeWordTest : public ::testing::TestWithParam<ModeWordCase> {};

TEST_P(ModeWordTest, LowerCasedNotTrimmedAndOtherWordsTakeTheDefaultBranch) {
  const ModeWordCase& c = GetParam();
  std::vector<std::string> optional{"18", "38", "1", "1.12", "bold", "true", "balanced", "",
                                    "balanced", "white_fill"};
  optional[c.index - 5] = c.argument;
  RenderSettings expected;
  c.expect(expected);
  EXPECT_EQ(parsed(optional).settings, expected);
}

using S = RenderSettings&;
INSTANTIATE_TEST_SUITE_P(Table, ModeWordTest, ::testing::Values(
    ModeWordCase{"WeightInCapitals", 9, "SemiBold",
                 [](S s) { s.typeset.fontWeight = FontWeight::semibold; }},
    ModeWordCase{"WeightRegular", 9, "regular", [](S s) { s.typeset.fontWeight = FontWeight::regular; }},
    ModeWordCase{"WeightPaddedIsBold", 9, " semibold", [](S) {}},
    ModeWordCase{"WeightUnknownIsBold", 9, "heavy", [](S) {}},
    ModeWordCase{"WeightInOtherLettersIsBold", 9, "\xC3\x89PAIS", [](S) {}},
    ModeWordCase{"PresetInCapitals", 11, "AGGRESSIVE",
                 [](S s) { s.groupingPreset = GroupingPreset::kAggressive; }},
    ModeWordCase{"PresetUnknownIsBalanced", 11, "tight", [](S) {}},
    ModeWordCase{"PresetPaddedIsBalanced", 11, "conservative ", [](S) {}},
    ModeWordCase{"TypesettingCapitalised", 13, "Strict",
                 [](S s) { s.typeset.typesettingMode = TypesettingMode::kStrict; }},
    ModeWordCase{"TypesettingUnknownIsBalanced", 13, "tight", [](S) {}},
    ModeWordCase{"CleanupInCapitals", 14, "BUBBLE_CLEAN",
                 [](S s) { s.cleanupMode = CleanupMode::kBubbleClean; }},
    ModeWordCase{"CleanupPaddedIsNone", 14, "bubble_clean ",
                 [](S s) { s.cleanupMode = CleanupMode::kNone; }},
    ModeWordCase{"CleanupEmptyIsNone", 14, "", [](S s) { s.cleanupMode = CleanupMode::kNone; }},
    ModeWordCase{"CleanupTypoIsNone", 14, "bubbleclean",
                 [](S s) { s.cleanupMode = CleanupMode::kNone; }},
    ModeWordCase{"CleanupNone", 14, "none", [](S s) { s.cleanupMode = CleanupMode::kNone; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RenderOptionsTest, DebugPathIsTrimmedAndSpacesMeanNoDebugImage) {
  EXPECT_EQ(parsed({"18", "38", "1", "1.12", "bold", "true", "balanced", "  \t "}).debugImagePath, "");
  EXPECT_EQ(parsed({"18", "38", "1", "1.12", "bold", "true", "balanced", "  dbg/out.png \n"})
                .debugImagePath,
            "dbg/out.png");
}

TEST(RenderOptionsTest, ArgumentsAfterSixteenAreIgnored) {
  const RenderOptions o = parsed({"18", "38", "1", "1.12", "bold", "true", "balanced", "", "balanced",
                                  "text_inpaint", "10", "000000", "extra", "more"});
  EXPECT_EQ(o.settings.cleanupMode, CleanupMode::kTextInpaint);
  EXPECT_EQ(o.settings.typeset.strokeWidth, 10.0);
  EXPECT_EQ(o.settings.typeset.strokeColor, platform::kBlack);
}

struct ColorCase {
  const char* name;
  std::string argument;
  bool readable;
};
class HexColorTest : public ::testing::TestWithParam<ColorCase> {};

TEST_P(HexColorTest, ReadsSixHexDigits) {
  const ColorCase& c = GetParam();
  EXPECT_EQ(parseHexColor(c.argument).has_value(), c.readable);
}

INSTANTIATE_TEST_SUITE_P(Table, HexColorTest, ::testing::Values(
    ColorCase{"Upper", "FF8800", true}, ColorCase{"Lower", "ff8800", true},
    ColorCase{"LeadingHash", "#ff8800", true}, ColorCase{"HashesBothEnds", "##FF8800#", true},
    ColorCase{"SurroundingSpace", " \n#FF8800\t", true}, ColorCase{"PlusAndFiveDigits", "+FF880", true},
    ColorCase{"MinusZero", "-00000", true}, ColorCase{"MinusNonZero", "-0000F", false},
    ColorCase{"ThreeDigits", "F80", false}, ColorCase{"SevenDigits", "FF88001", false},
    ColorCase{"NotHex", "GG8800", false}, ColorCase{"InnerHash", "FF#800", false},
    ColorCase{"Empty", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HexColorTest, SameOrangeWhateverTheHashes) {
  const platform::Color orange{1.0, 136.0 / 255.0, 0.0, 1.0};
  EXPECT_EQ(parseHexColor("FF8800"), orange);
  EXPECT_EQ(parseHexColor("#FF8800"), orange);
  EXPECT_EQ(parseHexColor("##FF8800#"), orange);
  EXPECT_EQ(parseHexColor("-00000"), platform::kBlack);
}

TEST(HexColorTest, UnreadableColourArgumentGivesWhite) {
  const RenderOptions o = parsed({"18", "38", "1", "1.12", "bold", "true", "balanced", "", "balanced",
                                  "white_fill", "25", "F80"});
  EXPECT_EQ(o.settings.typeset.strokeColor, platform::kWhite);
}

}  // namespace
}  // namespace letterforge
