#include "letterforge/driver/job_options.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace letterforge {
namespace {

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
            [](O o) { o.settings.typeset.fontWeight = "semibold"; }},
    SetCase{"ModeLowerCasedNotTrimmed", "cleanup_mode", std::string("BUBBLE_CLEAN "),
            [](O o) { o.settings.cleanupMode = "bubble_clean "; }},
    SetCase{"PresetWord", "grouping_preset", std::string("Aggressive"),
            [](O o) { o.settings.groupingPreset = "aggressive"; }},
    SetCase{"TypesettingWord", "typesetting_mode", std::string("strict"),
            [](O o) { o.settings.typeset.typesettingMode = "strict"; }},
    SetCase{"GroupingOff", "grouping", false, [](O o) { o.settings.groupingEnabled = false; }},
    SetCase{"ColourWithHash", "stroke_color", std::string("#FF8800"),
            [](O o) { o.settings.typeset.strokeColor = {1.0, 136.0 / 255.0, 0.0, 1.0}; }},
    SetCase{"FontKeptAsGiven", "font", std::string("Comic Neue"),
            [](O o) { o.settings.typeset.font = "Comic Neue"; }},
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
  ImageFormat expected;
};
class JobEncodingTest : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(JobEncodingTest, FormatOptionThenExtensionThenPng) {
  const EncodingCase& c = GetParam();
  const JobOptions options{.format = c.format, .quality = 80};
  EXPECT_EQ(jobEncoding(options, c.path), (ImageEncoding{c.expected, 80}));
}

INSTANTIATE_TEST_SUITE_P(Table, JobEncodingTest, ::testing::Values(
    EncodingCase{"PngByName", "out/page.png", std::nullopt, ImageFormat::kPng},
    EncodingCase{"JpegByName", "out/page.JPG", std::nullopt, ImageFormat::kJpeg},
    EncodingCase{"JpegLongName", "page.jpeg", std::nullopt, ImageFormat::kJpeg},
    EncodingCase{"WebpByName", "page.webp", std::nullopt, ImageFormat::kWebp},
    EncodingCase{"UnknownExtensionIsPng", "page.tif", std::nullopt, ImageFormat::kPng},
    EncodingCase{"DotInAFolderIsNoExtension", "v1.webp/page", std::nullopt, ImageFormat::kPng},
    EncodingCase{"OptionOverridesName", "page.png", ImageFormat::kWebp, ImageFormat::kWebp}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JobOptionDescriptionsTest, EveryDescribedOptionCanBeSet) {
  for (const OptionDescription& d : jobOptionDescriptions()) {
    const std::string type = d.type;
    OptionValue value = 20.0;
    if (type == "boolean") value = true;
    if (type == "string") value = std::string(d.name == std::string("stroke_color") ? "00FF00" : "png");
    JobOptions options;
    std::string failure;
    EXPECT_TRUE(setJobOption(options, d.name, value, failure)) << d.name << ": " << failure;
  }
}

}  // namespace
}  // namespace letterforge
