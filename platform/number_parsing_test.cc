#include "platform/number_parsing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/test_case_names.h"

namespace platform {
namespace {

using test_cases::PrintTo;

struct NumberCase {
  const char* name;
  std::string text;
  bool readable;
  double value;
  bool rangeError;
};
class ParseCNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ParseCNumberTest, FollowsTheCGrammarOverTheWholeText) {
  const NumberCase& c = GetParam();
  const auto parsed = parseCNumber(c.text);
  ASSERT_EQ(parsed.has_value(), c.readable);
  if (!parsed) return;
  if (std::isnan(c.value)) {
    EXPECT_TRUE(std::isnan(parsed->value));
  } else {
    EXPECT_EQ(parsed->value, c.value);
  }
  EXPECT_EQ(parsed->rangeError, c.rangeError);
}

const double kInf = INFINITY;
INSTANTIATE_TEST_SUITE_P(Table, ParseCNumberTest, ::testing::Values(
    NumberCase{"Integer", "12", true, 12.0, false},
    NumberCase{"SignedFraction", "-0.5", true, -0.5, false},
    NumberCase{"PlusSign", "+3", true, 3.0, false},
    NumberCase{"Exponent", "1e1", true, 10.0, false},
    NumberCase{"Hexadecimal", "0x1p4", true, 16.0, false},
    NumberCase{"Infinity", "inf", true, kInf, false},
    NumberCase{"InfinityWord", "-Infinity", true, -kInf, false},
    NumberCase{"NotANumber", "nan", true, NAN, false},
    NumberCase{"Overflow", "1e999", true, kInf, true},
    NumberCase{"Underflow", "1e-999", true, 0.0, true},
    NumberCase{"Empty", "", false, 0, false},
    NumberCase{"LeadingSpace", " 1", false, 0, false},
    NumberCase{"LeadingTab", "\t1", false, 0, false},
    NumberCase{"TrailingSpace", "1 ", false, 0, false},
    NumberCase{"Unit", "12px", false, 0, false},
    NumberCase{"TwoNumbers", "1 2", false, 0, false},
    NumberCase{"CommaDecimal", "1,5", false, 0, false},
    NumberCase{"EmbeddedNul", std::string("1\0" "2", 3), false, 0, false},
    NumberCase{"SignOnly", "-", false, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace platform
