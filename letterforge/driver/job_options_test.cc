#include "letterforge/driver/job_options.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

// One option set on defaults, and what it must change (or the failure it must give).
struct SetCase {
  const char* name;
  const char* option;
  OptionValue value;
  std::function<void(JobOptions&)> expect;  // applied to defaults: the expected options
  std::string failure{};
};
class SetJobOptionTest : public ::testing::TestWithParam<SetCase> {};

TEST_P(SetJobOptionTest, SetsTheFieldOrNamesTheFault) {
  const SetCase& c = GetParam();
  JobOptions options;
  std::string failure;
  const bool set = setJobOption(options, c.option, c.value, failure);
  EXPECT_EQ(set, c.failure.empty()) << failure;
  EXPECT_EQ(failure, c.failure);
  JobOptions expected;
  if (c.expect) c.expect(expected);
  EXPECT_TRUE(options == expected);
}

using O = JobOptions&;
INSTANTIATE_TEST_SUITE_P(Table, SetJobOptionTest, ::testing::Values(
    SetCase{"BaseSize", "base_font_size", 24.0, [](O o) { o.settings.typeset.baseFontSize = 24; }},
    SetCase{"BaseSizeRaisedToSix", "base_font_size", 4.0,
            [](O o) { o.settings.typeset.baseFontSize = 6; }},
    SetCase{"MaxSizeKeptAsGiven", "max_font_size", 12.0, [](O o) { o.maxFontSize = 12; }},
    SetCase{"ScaleLoweredToTwo", "font_scale", 3.0, [](O o) { o.settings.typeset.fontScale = 2; }},
    SetCase{"ScaleRaisedToHalf", "font_scale", 0.1,
            [](O o) { o.settings.typeset.fontScale = 0.5; }},
    SetCase{"SpacingRaised", "line_spacing", 0.5,
            [](O o) { o.settings.typeset.lineSpacing = 0.8; }},
    SetCase{"StrokeBelowZero", "stroke_width", -5.0,
            [](O o) { o.settings.typeset.strokeWidth = 0; }},
    SetCase{"StrokeAboveForty", "stroke_width", 100.0,
            [](O o) { o.settings.typeset.strokeWidth = 40; }},
    SetCase{"WeightLowerCased", "font_weight", std::string("SemiBold"),
            [](O o) { o.settings.typeset.fontWeight = FontWeight::semibold; }},
    SetCase{"ModeLowerCased", "cleanup_mode", std::string("BUBBLE_CLEAN"),
            [](O o) { o.settings.cleanupMode = CleanupMode::kBubbleClean; }},
    SetCase{"NoneIsNoCleanup", "cleanup_mode", std::string("none"),
            [](O o) { o.settings.cleanupMode = CleanupMode::kNone; }},
    SetCase{"PresetWord", "grouping_preset", std::string("Aggressive"),
            [](O o) { o.settings.groupingPreset = GroupingPreset::kAggressive; }},
    SetCase{"DirectionWord", "direction", std::string("Vertical"),
            [](O o) { o.settings.typeset.direction = TextDirection::kVertical; }},
    SetCase{"DirectionAuto", "direction", std::string("auto"),
            [](O o) { o.settings.typeset.direction = TextDirection::kAuto; }},
    SetCase{"DirectionRefusedNamingTheNearest", "direction", std::string("vertikal"), nullptr,
            "direction: expected horizontal, vertical or auto, found \"vertikal\" (nearest: vertical)"},
    SetCase{"TypesettingWord", "typesetting_mode", std::string("strict"),
            [](O o) { o.settings.typeset.typesettingMode = TypesettingMode::kStrict; }},
    SetCase{"ModeTypoRefusedNamingTheNearest", "cleanup_mode", std::string("bubbleclean"), nullptr,
            "cleanup_mode: expected white_fill, text_inpaint, bubble_clean, repaint or none, found "
            "\"bubbleclean\" (nearest: bubble_clean)"},
    SetCase{"PaddedModeRefused", "cleanup_mode", std::string("BUBBLE_CLEAN "), nullptr,
            "cleanup_mode: expected white_fill, text_inpaint, bubble_clean, repaint or none, found "
            "\"BUBBLE_CLEAN \" (nearest: bubble_clean)"},
    SetCase{"EmptyModeRefused", "cleanup_mode", std::string(""), nullptr,
            "cleanup_mode: expected white_fill, text_inpaint, bubble_clean, repaint or none, found \"\" "
            "(nearest: none)"},
    SetCase{"WeightRefused", "font_weight", std::string("heavy"), nullptr,
            "font_weight: expected regular, semibold or bold, found \"heavy\" (nearest: bold)"},
    SetCase{"BlocksAsInlineJson", "blocks", std::string(R"({"b1": {"skip": true}})"),
            [](O o) { o.settings.blocks = R"({"b1": {"skip": true}})"; }},
    SetCase{"BlocksAsAPath", "blocks", std::string("overrides.json"),
            [](O o) { o.settings.blocks = "overrides.json"; }},
    SetCase{"BlocksFaultToldWhenSet", "blocks", std::string(R"({"b1": {"cleanup": "keepit"}})"),
            nullptr,
            "blocks: b1: cleanup: expected white_fill, text_inpaint, bubble_clean, repaint, none or "
            "keep, found \"keepit\" (nearest: keep)"},
    SetCase{"PresetRefused", "grouping_preset", std::string("agressive"), nullptr,
            "grouping_preset: expected conservative, balanced, aggressive or balloon, found "
            "\"agressive\" (nearest: aggressive)"},
    SetCase{"TypesettingRefusedWithControlCharacter", "typesetting_mode",
            std::string("stric\n"), nullptr,
            "typesetting_mode: expected readable, balanced or strict, found \"stric\\n\" "
            "(nearest: strict)"},
    SetCase{"GroupingOff", "grouping", false, [](O o) { o.settings.groupingEnabled = false; }},
    SetCase{"ColourWithHash", "stroke_color", std::string("#FF8800"),
            [](O o) { o.settings.typeset.strokeColor = {1.0, 136.0 / 255.0, 0.0, 1.0}; }},
    SetCase{"FontKeptAsGiven", "font", std::string("Comic Neue"),
            [](O o) { o.settings.font = "Comic Neue"; }},
    SetCase{"FormatJpgIsJpeg", "format", std::string("JPG"),
            [](O o) { o.format = ImageFormat::kJpeg; }},
    SetCase{"QualityRounded", "quality", 74.5, [](O o) { o.quality = 75; }},
    SetCase{"QualityWithinOneToHundred", "quality", 400.0, [](O o) { o.quality = 100; }},
    SetCase{"UnknownName", "fnot_scale", 1.0, nullptr, "unknown option \"fnot_scale\""},
    SetCase{"NumberAsString", "font_scale", std::string("2"), nullptr,
            "font_scale: expected a number, found a string"},
    SetCase{"BooleanAsString", "grouping", std::string("true"), nullptr,
            "grouping: expected a boolean, found a string"},
    SetCase{"WordAsNumber", "cleanup_mode", 3.0, nullptr,
            "cleanup_mode: expected a string, found a number"},
    SetCase{"ThreeHexDigits", "stroke_color", std::string("F80"), nullptr,
            "stroke_color: expected six hex digits, found \"F80\""},
    SetCase{"OtherFormat", "format", std::string("gif"), nullptr,
            "format: expected png, jpeg or webp, found \"gif\""},
    SetCase{"EmptyFont", "font", std::string(""), nullptr,
            "font: expected a family name or a font file's path, found an empty string"},
    SetCase{"ControlCharacterInName", "bad\nname", true, nullptr,
            "unknown option \"bad\\nname\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SetJobOptionRefusalTest, RefusedValueLeavesTheOptionAsItWas) {
  JobOptions options;
  std::string failure;
  ASSERT_TRUE(setJobOption(options, "format", std::string("webp"), failure));
  ASSERT_TRUE(setJobOption(options, "stroke_color", std::string("123456"), failure));
  ASSERT_TRUE(setJobOption(options, "font", std::string("Inter"), failure));
  const JobOptions before = options;
  EXPECT_FALSE(setJobOption(options, "format", std::string("gif"), failure));
  EXPECT_FALSE(setJobOption(options, "stroke_color", std::string("12345"), failure));
  EXPECT_FALSE(setJobOption(options, "font", std::string(""), failure));
  EXPECT_FALSE(setJobOption(options, "quality", std::string("90"), failure));
  EXPECT_TRUE(options == before);
}

TEST(JobSettingsTest, MaxSizeIsRaisedToTheBaseOnlyWhenGiven) {
  JobOptions options;
  std::string failure;
  ASSERT_TRUE(setJobOption(options, "base_font_size", 50.0, failure));
  EXPECT_EQ(jobSettings(options).typeset.maxFontSize, 38.0);  // not given: the default stands
  ASSERT_TRUE(setJobOption(options, "max_font_size", 40.0, failure));
  EXPECT_EQ(jobSettings(options).typeset.maxFontSize, 50.0);
  // The order the options come in does not matter.
  JobOptions reversed;
  ASSERT_TRUE(setJobOption(reversed, "max_font_size", 40.0, failure));
  ASSERT_TRUE(setJobOption(reversed, "base_font_size", 50.0, failure));
  EXPECT_EQ(jobSettings(reversed), jobSettings(options));
}

struct EncodingCase {
  const char* name;
  const char* path;
  std::optional<ImageFormat> format;
  std::optional<ImageFormat> expected;     // the output's; absent: refused
  std::optional<ImageFormat> debugFormat;  // the debug image's at that path; absent: refused
};
class JobEncodingTest : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(JobEncodingTest, FormatOptionThenExtensionThenPngForNone) {
  const EncodingCase& c = GetParam();
  const JobOptions options{.format = c.format, .quality = 80};
  std::string failure;
  const auto encoding = jobEncoding(options, c.path, failure);
  EXPECT_EQ(encoding, c.expected ? std::optional(ImageEncoding{*c.expected, 80}) : std::nullopt);
  EXPECT_EQ(failure.empty(), c.expected.has_value()) << failure;
  const auto debug = debugEncoding(options, c.path, failure);
  EXPECT_EQ(debug, c.debugFormat ? std::optional(ImageEncoding{*c.debugFormat, 80}) : std::nullopt);
}

constexpr auto kPng = ImageFormat::kPng, kJpeg = ImageFormat::kJpeg, kWebp = ImageFormat::kWebp;
INSTANTIATE_TEST_SUITE_P(Table, JobEncodingTest, ::testing::Values(
    EncodingCase{"PngByName", "out/page.png", std::nullopt, kPng, kPng},
    EncodingCase{"JpegByName", "out/page.JPG", std::nullopt, kJpeg, kJpeg},
    EncodingCase{"JpegLongName", "page.jpeg", std::nullopt, kJpeg, kJpeg},
    EncodingCase{"WebpByName", "page.webp", std::nullopt, kWebp, kWebp},
    EncodingCase{"NoExtensionIsPng", "out/page", std::nullopt, kPng, kPng},
    EncodingCase{"DeviceIsPng", "/dev/null", std::nullopt, kPng, kPng},
    EncodingCase{"HiddenNameIsNoExtension", "out/.page", std::nullopt, kPng, kPng},
    EncodingCase{"DotInAFolderIsNoExtension", "v1.webp/page", std::nullopt, kPng, kPng},
    EncodingCase{"GifRefused", "page.gif", std::nullopt, std::nullopt, std::nullopt},
    EncodingCase{"BmpInCapitalsRefused", "page.BMP", std::nullopt, std::nullopt, std::nullopt},
    EncodingCase{"FormatOptionWritesUnderAnyName", "page.gif", kJpeg, kJpeg, std::nullopt},
    EncodingCase{"OptionOverridesName", "page.png", kWebp, kWebp, kPng}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JobEncodingTest, RefusalNamesThePathAndTheWayOut) {
  std::string failure;
  EXPECT_FALSE(jobEncoding(JobOptions{}, "out/p\n1.gif", failure));
  EXPECT_EQ(failure, "output \"out/p\\n1.gif\": its extension names no format written here "
                     "(png, jpg, jpeg or webp); the format option chooses one");
  EXPECT_FALSE(debugEncoding(JobOptions{}, "d.bmp", failure));
  EXPECT_EQ(failure,
            "debug image \"d.bmp\": its extension names no format written here (png, jpg, jpeg "
            "or webp)");
}

// The value a help text gives as "(default X)", in the option's type; absent when it gives none.
std::optional<OptionValue> documentedDefault(const OptionDescription& d) {
  const std::string help = d.help;
  const auto at = help.rfind("(default ");
  if (at == std::string::npos) return std::nullopt;
  const std::string text = help.substr(at + 9, help.size() - at - 10);
  if (std::string(d.type) == "number") return std::stod(text);
  if (std::string(d.type) == "boolean") return text == "true";
  return text;
}

TEST(JobOptionDescriptionsTest, EveryDocumentedDefaultIsTheDefault) {
  int documented = 0;
  for (const OptionDescription& d : jobOptionDescriptions()) {
    const auto value = documentedDefault(d);
    if (!value) continue;
    ++documented;
    JobOptions options;
    std::string failure;
    ASSERT_TRUE(setJobOption(options, d.name, *value, failure)) << d.name << ": " << failure;
    EXPECT_EQ(jobSettings(options), jobSettings(JobOptions{})) << d.name << ": " << d.help;
  }
  // All but font, format, quality and blocks, whose defaults are no value of theirs.
  EXPECT_EQ(documented, static_cast<int>(jobOptionDescriptions().size()) - 4);
}

TEST(JobOptionDescriptionsTest, WordOptionsListTheirWords) {
  const auto help = [](std::string_view name) {
    for (const OptionDescription& d : jobOptionDescriptions()) {
      if (name == d.name) return std::string(d.help);
    }
    return std::string();
  };
  EXPECT_EQ(help("cleanup_mode"), "white_fill, text_inpaint, bubble_clean, repaint or none (default white_fill)");
  EXPECT_EQ(help("font_weight"), "regular, semibold or bold (default bold)");
  EXPECT_EQ(help("font_scale"), "factor on the estimated size, 0.5 to 2 (default 1)");
  EXPECT_EQ(help("stroke_color"), "outline colour as six hex digits, # allowed (default FFFFFF)");
}

}  // namespace
}  // namespace letterforge
