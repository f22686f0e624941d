#include "platform/paragraph_direction.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/test_case_names.h"

namespace platform {
namespace {

using test_cases::PrintTo;

struct DirectionCase {
  const char* name;
  const char* text;
  std::size_t at;  // a byte of the paragraph asked about
  BaseDirection expected;
};
class ParagraphDirectionTest : public ::testing::TestWithParam<DirectionCase> {};

TEST_P(ParagraphDirectionTest, IsTheDirectionTheLayoutEngineGivesIt) {
  const DirectionCase& c = GetParam();
  EXPECT_EQ(paragraphDirection(c.text, paragraphAround(c.text, c.at)), c.expected);
}

constexpr BaseDirection kLeftToRight = BaseDirection::leftToRight;
constexpr BaseDirection kRightToLeft = BaseDirection::rightToLeft;

// Hebrew letters are 2 bytes, marks and isolates 3.
INSTANTIATE_TEST_SUITE_P(
    Table, ParagraphDirectionTest,
    ::testing::Values(
        DirectionCase{"FirstStrongCharacter", "1 2 \u05E9 a", 0, kRightToLeft},
        DirectionCase{"InsideAnIsolateToo", "\u2066\u05E9\u2069 a", 0, kRightToLeft},
        DirectionCase{"MarksAreStrong", "! \u200E \u05E9", 0, kLeftToRight},
        DirectionCase{"NeutralTakesTheParagraphBefore", "a 1\n\u05E9 2\n3 4", 10, kRightToLeft},
        DirectionCase{"BeforeMeansTheFirstStrongOfIt", "\u05E9 a\n3 4", 6, kRightToLeft},
        DirectionCase{"FirstNeutralsTakeTheTextsFirstStrong", "1 2\r\n3\n\u05E9", 5,
                      kRightToLeft},
        DirectionCase{"NoStrongCharacterIsNone", "1 2\n3", 4, BaseDirection::none}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace platform
