#include "platform/text_cuts.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/test_case_names.h"

namespace platform {
namespace {

using test_cases::PrintTo;

struct CutCase {
  const char* name;
  const char* text;
  std::size_t from;
  std::size_t expected;
};
class TextCutTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(TextCutTest, CutFallsBetweenCharactersThatStandApart) {
  const CutCase& c = GetParam();
  EXPECT_EQ(layoutCutAtOrAfter(c.text, c.from), c.expected);
}

// Byte offsets are worked out from the UTF-8 lengths noted beside each text.
INSTANTIATE_TEST_SUITE_P(
    Table, TextCutTest,
    ::testing::Values(
        CutCase{"BetweenLetters", "abcdef", 2, 2},
        CutCase{"NeverAtTheStart", "abcdef", 0, 1},
        CutCase{"PastTheEndIsTheEnd", "abc", 10, 3},
        // a e, two accents of 2 bytes each, b at 6.
        CutCase{"MarksStayWithTheirLetter", "ae\u0301\u0302b", 2, 6},
        CutCase{"CarriageReturnKeepsItsLineFeed", "ab\r\ncd", 3, 4},
        // a, man (4), joiner (3), woman (4), joiner (3), girl (4), b at 19.
        CutCase{"EmojiSequenceStaysWhole", "a\U0001F468\u200D\U0001F469\u200D\U0001F467b", 2, 19},
        CutCase{"FlagsAreNeverCut", "\U0001F1EB\U0001F1F7\U0001F1E9\U0001F1EA", 1, 16},
        CutCase{"SkinToneStaysWithItsEmoji", "\U0001F44D\U0001F3FDx", 1, 8},
        CutCase{"HangulJamoStayTogether", "\u1100\u1161\u11A8 x", 1, 10},
        // a b, first-strong isolate (3) at 2, c d, pop (3) at 7, e at 10, f at 11.
        CutCase{"NotInsideAnIsolate", "ab\u2068cd\u2069ef", 3, 11},
        CutCase{"IsolatesDoNotMatterInLeftToRightText", "ab\u2066cd", 3, 6},
        // Hebrew letter (2), isolate (3) at 2, then a at 5.
        CutCase{"IsolateNeverClosedInRightToLeftTextMayBeCut", "\u05E9\u2066abc", 6, 6},
        CutCase{"FirstStrongIsolateWaitsForALetterInside", "\u05E9\u2068!!ab", 5, 8},
        // Hebrew letter (2), isolate (3) at 2, b at 5, line feed, c at 7, pop (3), d.
        CutCase{"PopInALaterParagraphClosesNothing", "\u05E9\u2066b\nc\u2069d", 5, 6},
        CutCase{"LeftToRightTextCutsAfterPunctuation", "abc, 123 def", 4, 4},
        // Four Hebrew letters of 2 bytes, comma at 8, space, 1 2 3 at 10, space, a at 14.
        CutCase{"RightToLeftTextCutsRightAfterALetter", "\u05E9\u05DC\u05D5\u05DD, 123 abc", 8, 8},
        CutCase{"RightToLeftTextCutsAfterADigit", "\u05E9\u05DC\u05D5\u05DD, 123 abc", 9, 11},
        CutCase{"RightToLeftTextSkipsPunctuation", "\u05E9\u05DC\u05D5\u05DD, !? abc", 9, 14},
        CutCase{"NeutralsToTheEndOfTheParagraphCanBeCut", "\u05E9!!!!\nx", 3, 3}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace platform
