#include "letterforge/typeset/text_style.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

struct SpacingCase {
  const char* name;
  double lineSpacing;
  bool compact;
  bool bubble;
  double size;
  double expected;
};
class LineSpacingTest : public ::testing::TestWithParam<SpacingCase> {};

TEST_P(LineSpacingTest, MatchesHandWorkedValue) {
  const SpacingCase& c = GetParam();
  const TextAttributes attributes =
      makeTextAttributes(c.lineSpacing, c.compact, c.bubble, c.size, FontWeight::semibold);
  EXPECT_NEAR(attributes.lineSpacing, c.expected, 1e-12);
  EXPECT_EQ(attributes.size, c.size);
  EXPECT_EQ(attributes.weight, FontWeight::semibold);
}

INSTANTIATE_TEST_SUITE_P(Table, LineSpacingTest, ::testing::Values(
    SpacingCase{"DefaultOrdinary", 1.12, false, false, 20, 2.4},
    SpacingCase{"DefaultBubbleCapped", 1.12, false, true, 20, 1.0},
    SpacingCase{"CompactOrdinary", 1.12, true, false, 20, 0.0},
    SpacingCase{"CompactWidest", 2.0, true, true, 33.3, 0.0},
    SpacingCase{"LowestFactorGivesNone", 0.8, false, false, 20, 0.0},
    SpacingCase{"FactorOneGivesNone", 1.0, false, false, 20, 0.0},
    SpacingCase{"HighestFactorCappedOrdinary", 2.0, false, false, 10, 1.4},
    SpacingCase{"HighestFactorCappedBubble", 2.0, false, true, 10, 0.5},
    SpacingCase{"UnderOrdinaryCap", 1.1, false, false, 10, 1.0},
    SpacingCase{"OverBubbleCap", 1.1, false, true, 10, 0.5},
    SpacingCase{"FractionalSize", 1.12, false, false, 16.4, 1.968}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextStyleTest, PlainAttributesAreBlackWithoutStroke) {
  const TextAttributes plain = makeTextAttributes(1.12, false, false, 18, FontWeight::bold);
  EXPECT_EQ(plain.foregroundColor, platform::kBlack);
  EXPECT_FALSE(plain.strokeColor.has_value());
  EXPECT_FALSE(plain.strokeWidth.has_value());
  const platform::TextStyle style = textStyleFor(plain);
  EXPECT_FALSE(style.outlined);
  EXPECT_EQ(style.alignment, platform::TextAlignment::centre);
  EXPECT_EQ(style.size, 18.0);
}

TEST(TextStyleTest, OutlineAddsStrokeAsAPercentageOfTheSize) {
  const TextAttributes plain = makeTextAttributes(1.12, false, true, 20, FontWeight::bold);
  const platform::Color red{1, 0, 0, 1};
  const TextAttributes outlined = outlineAttributes(plain, 25.0, red);
  EXPECT_EQ(outlined.strokeColor, red);
  EXPECT_EQ(outlined.strokeWidth, -25.0);  // negative: fill and stroke
  EXPECT_EQ(outlined.lineSpacing, plain.lineSpacing);
  EXPECT_EQ(outlined.foregroundColor, platform::kBlack);
  const platform::TextStyle style = textStyleFor(outlined);
  EXPECT_TRUE(style.outlined);
  EXPECT_EQ(style.strokeColor, red);
  EXPECT_DOUBLE_EQ(style.strokeLineWidth, 5.0);  // a quarter of 20 points
  EXPECT_EQ(style.color, platform::kBlack);
}

TEST(TextStyleTest, OutlineReplacesAnEarlierStroke) {
  const TextAttributes plain = makeTextAttributes(1.12, false, false, 40, FontWeight::regular);
  const TextAttributes twice =
      outlineAttributes(outlineAttributes(plain, 10.0, platform::kBlack), 40.0, platform::kWhite);
  EXPECT_EQ(twice.strokeColor, platform::kWhite);
  EXPECT_EQ(twice.strokeWidth, -40.0);
  EXPECT_DOUBLE_EQ(textStyleFor(twice).strokeLineWidth, 16.0);
}

TEST(TextStyleTest, ZeroStrokeWidthStillMakesAnOutlinedSet) {
  const TextAttributes outlined =
      outlineAttributes(makeTextAttributes(1.12, false, false, 18, FontWeight::bold), 0.0,
                        platform::kWhite);
  ASSERT_TRUE(outlined.strokeWidth.has_value());
  EXPECT_EQ(*outlined.strokeWidth, 0.0);
  EXPECT_TRUE(std::signbit(*outlined.strokeWidth));
  EXPECT_EQ(textStyleFor(outlined).strokeLineWidth, 0.0);
}

}  // namespace
}  // namespace letterforge
