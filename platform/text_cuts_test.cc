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
  std::string ending{};  // what the part is laid out with after it
};
class TextCutTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(TextCutTest, CutFallsBetweenCharactersThatStandApart) {
  const CutCase& c = GetParam();
  const LayoutCut cut = layoutCutAtOrAfter(c.text, c.from);
  EXPECT_EQ(cut.at, c.expected);
  EXPECT_EQ(cut.ending, c.ending);
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
        // A paragraph's first letter goes with a cut at its start.
        CutCase{"CarriageReturnKeepsItsLineFeed", "ab\r\ncd", 3, 4, "c"},
        // a, man (4), joiner (3), woman (4), joiner (3), girl (4), b at 19.
        CutCase{"EmojiSequenceStaysWhole", "a\U0001F468\u200D\U0001F469\u200D\U0001F467b", 2, 19},
        CutCase{"FlagsAreNeverCut", "\U0001F1EB\U0001F1F7\U0001F1E9\U0001F1EA", 1, 16},
        CutCase{"SkinToneStaysWithItsEmoji", "\U0001F44D\U0001F3FDx", 1, 8, "x"},
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
        CutCase{"NeutralsToTheEndOfTheParagraphCanBeCut", "\u05E9!!!!\nx", 3, 3},
        // Numbers, then Hebrew (2 bytes a letter): the part's numbers take the script and the
        // direction of the first letter after them, laid out after the part.
        CutCase{"NumbersBeforeHebrewTakeItsScriptAndDirection", "1 2 3 \u05E9\u05DC", 3, 3,
                "\u05E9"},
        // Fullwidth bracket and digits (3 bytes each), then kana.
        CutCase{"PunctuationBeforeKanaTakesItsScript", "\u300C\uFF11\uFF12\u300D\u304B", 3, 3,
                "\u304B"},
        // A paragraph of numbers takes the direction of the paragraph after it, the first with
        // a strong character: a right-to-left mark gives the part that direction.
        CutCase{"NeutralParagraphTakesTheDirectionOfTheText", "1 2 3\n\u05E9", 2, 3, "\u200F"},
        CutCase{"LaterParagraphsKeepTheirOwnDirection", "a\n1 2 3\n\u05E9", 4, 5},
        // An opening bracket takes the direction of the first strong character after it when
        // the pair is cut, and of the Latin letter inside it in the whole left-to-right text:
        // the part takes the whole paragraph, and the cut falls after it.
        CutCase{"BracketPairsAreNotCutWhereTheyWouldTurn",
                "a \u05E9 (\u05E9 \u05E9 \u05E9 b) c\nx", 7, 20, "x"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace platform
