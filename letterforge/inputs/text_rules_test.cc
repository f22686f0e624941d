#include "letterforge/inputs/text_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

struct TrimCase {
  const char* name;
  std::string text;
  std::string expected;
};
class TrimmedTextTest : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimmedTextTest, RemovesOnlyOuterWhiteSpace) {
  const TrimCase& c = GetParam();
  EXPECT_EQ(trimmedText(c.text), c.expected);
  EXPECT_EQ(isBlank(c.text), c.expected.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrimmedTextTest,
    ::testing::Values(
        TrimCase{"Empty", "", ""},
        TrimCase{"SpacesTabsAndLineBreaks", " \t\r\n \n", ""},
        TrimCase{"NoBreakSpacesOnly", "\u00A0\u00A0", ""},
        TrimCase{"IdeographicSpaceIsSpaceSeparator", "\u3000Hi\u3000", "Hi"},
        TrimCase{"NextLineAndSeparators", "\u0085\u2028Hi\u2029", "Hi"},
        TrimCase{"VerticalTabAndFormFeed", "\v\fHi\v\f", "Hi"},
        TrimCase{"InnerLineFeedStays", "\n Hello\nthere \n", "Hello\nthere"},
        TrimCase{"InnerSpacesStay", "  a  b  ", "a  b"},
        TrimCase{"AccentedLettersKept", " \u00E9t\u00E9 ", "\u00E9t\u00E9"},
        TrimCase{"TrailingCombiningAccentKept", "e\u0301 ", "e\u0301"},
        TrimCase{"ZeroWidthSpaceIsNotTrimmed", "\u200BHi", "\u200BHi"},
        TrimCase{"IllFormedByteKept", " \xFF ", "\xFF"}),
    [](const auto& info) { return std::string(info.param.name); });

struct CountCase {
  const char* name;
  std::string text;
  std::int64_t expected;
};
class CharacterCountTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(CharacterCountTest, CountsUserPerceivedCharacters) {
  const CountCase& c = GetParam();
  EXPECT_EQ(characterCount(c.text), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CharacterCountTest,
    ::testing::Values(
        CountCase{"Empty", "", 0},
        CountCase{"Ascii", "Hello", 5},
        CountCase{"CarriageReturnLineFeedIsOne", "a\r\nb", 3},
        CountCase{"LoneCarriageReturnAndLineFeed", "\r\r\n\n", 3},
        CountCase{"PrecomposedAccent", "\u00E9", 1},
        CountCase{"CombiningAccent", "e\u0301", 1},
        CountCase{"EightLettersWithCombiningAccents",
                  "a\u0301b\u0301c\u0301d\u0301e\u0301f\u0301g\u0301h\u0301", 8},
        CountCase{"Flag", "\U0001F1EB\U0001F1F7", 1},
        CountCase{"TwoFlags", "\U0001F1EB\U0001F1F7\U0001F1E9\U0001F1EA", 2},
        CountCase{"EmojiWithSkinTone", "\U0001F44D\U0001F3FD", 1},
        CountCase{"FamilyJoinedByZeroWidthJoiners",
                  "\U0001F468\u200D\U0001F469\u200D\U0001F467", 1},
        CountCase{"HangulSyllableFromJamo", "\u1100\u1161\u11A8", 1},
        CountCase{"MixedAsciiAndAccentAndCrLf", "ca\u0301\r\nfe\u0301", 5},
        CountCase{"ThreeByteCharacters", "\u65E5\u672C\u8A9E", 3}),
    [](const auto& info) { return std::string(info.param.name); });

struct JoinCase {
  const char* name;
  std::vector<std::string> texts;
  std::string expected;
};
class JoinedTextTest : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinedTextTest, JoinsTrimmedPieces) {
  const JoinCase& c = GetParam();
  EXPECT_EQ(joinedText(c.texts), c.expected);
}

const std::string k14 = "abcdefghijklmn";
const std::string k15 = "abcdefghijklmno";
// Fourteen user-perceived characters in 28 code points.
const std::string k14Accented =
    "a\u0301a\u0301a\u0301a\u0301a\u0301a\u0301a\u0301a\u0301a\u0301a\u0301a\u0301a\u0301a"
    "\u0301a\u0301";

INSTANTIATE_TEST_SUITE_P(
    Cases, JoinedTextTest,
    ::testing::Values(
        JoinCase{"NoPieces", {}, ""},
        JoinCase{"OnlyBlankPieces", {" ", "\n", "\u00A0"}, ""},
        JoinCase{"OnePieceIsTrimmed", {"  Hello\n"}, "Hello"},
        JoinCase{"OneLongPieceKeepsInnerLineFeed", {"  a\nb  ", " "}, "a\nb"},
        JoinCase{"TwoShortPiecesBySpace", {"abc", "def"}, "abc def"},
        JoinCase{"BlankPiecesDropped", {"abc", "  ", "def"}, "abc def"},
        JoinCase{"FourteenCharactersStillBySpace", {k14, "ab"}, k14 + " ab"},
        JoinCase{"FifteenCharactersByLineFeed", {k15, "ab"}, k15 + "\nab"},
        JoinCase{"FourteenClustersWithAccentsBySpace", {k14Accented, "x"}, k14Accented + " x"},
        JoinCase{"LengthIsJudgedAfterTrimming", {"  " + k14 + "  ", "x"}, k14 + " x"},
        JoinCase{"FiveShortPiecesBySpace", {"a", "b", "c", "d", "e"}, "a b c d e"},
        JoinCase{"SixShortPiecesByLineFeed",
                 {"a", "b", "c", "d", "e", "f"},
                 "a\nb\nc\nd\ne\nf"},
        JoinCase{"SixPiecesCountedAfterDroppingBlanks",
                 {"a", "b", " ", "c", "d", "e", "\n"},
                 "a b c d e"},
        JoinCase{"InnerLineFeedForcesLineFeeds", {"a\nb", "c"}, "a\nb\nc"},
        JoinCase{"InnerSpacesAndCaseKept", {"Hi  There", "YOU"}, "Hi  There YOU"},
        JoinCase{"WordAndSentence",
                 {"Hey!", "What are you doing over there?"},
                 "Hey!\nWhat are you doing over there?"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace letterforge

namespace letterforge {
namespace {

TEST(FirstCharactersTest, CutsAfterWholeClusters) {
  EXPECT_EQ(firstCharacters("abcdef", 3), "abc");
  EXPECT_EQ(firstCharacters("ab", 5), "ab");
  EXPECT_EQ(firstCharacters("a\r\nb", 2), "a\r\n");
  EXPECT_EQ(firstCharacters("e\xCC\x81" "e\xCC\x81" "x", 2), "e\xCC\x81" "e\xCC\x81");  // é é
  EXPECT_EQ(firstCharacters("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7!", 1), "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7");
  EXPECT_EQ(firstCharacters("abc", 0), "");
}

// A letter followed by `marks` combining acute accents (2 bytes each).
std::string accented(char letter, int marks) {
  std::string text(1, letter);
  for (int i = 0; i < marks; ++i) text += "\xCC\x81";
  return text;
}

// `count` copies of a piece of text.
std::string repeated(const std::string& piece, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += piece;
  return text;
}

struct CutCase {
  const char* name;
  std::string text;
  std::string expected;
};
class MarkStacksCutTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(MarkStacksCutTest, KeepsTheFirstMarksOfEachStack) {
  EXPECT_EQ(withMarkStacksCut(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MarkStacksCutTest,
    ::testing::Values(
        CutCase{"AsciiUnchanged", "plain a\r\nb", "plain a\r\nb"},
        CutCase{"ThirtyKept", accented('a', 30), accented('a', 30)},
        CutCase{"ThirtyFirstDropped", accented('a', 31), accented('a', 30)},
        CutCase{"EveryStackOnItsOwn", accented('a', 5000) + " b " + accented('c', 40) + "d",
                accented('a', 30) + " b " + accented('c', 30) + "d"},
        // Accents above (class 230) and below (220) stack together.
        CutCase{"ClassesCountTogether", repeated("\u0301\u0323", 20) + "x",
                repeated("\u0301\u0323", 15) + "x"},
        // Thai vowel signs above are marks of class 0; so is the grapheme joiner that
        // stream-safe text puts between runs of 30 accents.
        CutCase{"ThaiVowelSignsStack", "\u0e01" + repeated("\u0e31", 40),
                "\u0e01" + repeated("\u0e31", 30)},
        CutCase{"GraphemeJoinerDoesNotEndAStack",
                "a" + repeated(repeated("\u0301", 30) + "\u034F", 3), accented('a', 30)},
        CutCase{"InvisibleJoinersDoNotEndAStack", "a" + repeated("\u0301\u200D", 40),
                "a" + repeated("\u0301\u200D", 30) + repeated("\u200D", 10)},
        // One character of 20 emoji and 19 joiners; a consonant with 40 spacing vowel signs.
        CutCase{"EmojiJoinedByJoinersWhole", repeated("\U0001F468\u200D", 19) + "\U0001F469",
                repeated("\U0001F468\u200D", 19) + "\U0001F469"},
        CutCase{"SpacingVowelSignsWhole", "\u0915" + repeated("\u093E", 40),
                "\u0915" + repeated("\u093E", 40)},
        CutCase{"InvalidBytesKept", "\xFF" + accented('e', 2) + "\xFE",
                "\xFF" + accented('e', 2) + "\xFE"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LowercasedTextTest, UsesFullMapping) {
  EXPECT_EQ(lowercasedText("BUBBLE_Clean"), "bubble_clean");
  EXPECT_EQ(lowercasedText("\xC3\x89T\xC3\x89"), "\xC3\xA9t\xC3\xA9");  // ÉTÉ
  EXPECT_EQ(lowercasedText("\xC4\xB0"), "i\xCC\x87");                   // İ keeps its dot
}

struct VisibleTextCase {
  const char* name;
  std::string text;
  std::string shown;
};
class VisibleTextTest : public ::testing::TestWithParam<VisibleTextCase> {};

TEST_P(VisibleTextTest, EscapesControlCharactersOnly) {
  EXPECT_EQ(visibleText(GetParam().text), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Table, VisibleTextTest, ::testing::Values(
    VisibleTextCase{"PlainId", "p12", "p12"},
    VisibleTextCase{"Empty", "", ""},
    VisibleTextCase{"SpacesAndPunctuation", "a b,c:d+e", "a b,c:d+e"},
    VisibleTextCase{"BackslashStaysAsItIs", "a\\nb", "a\\nb"},
    // é, a CJK letter, an emoji, a no-break space (C2 A0, just past the C1 block) and U+2028.
    VisibleTextCase{"NonControlUnicode", "\xC3\xA9\xE5\xAD\x97\xF0\x9F\x98\x80\xC2\xA0\xE2\x80\xA8",
                    "\xC3\xA9\xE5\xAD\x97\xF0\x9F\x98\x80\xC2\xA0\xE2\x80\xA8"},
    VisibleTextCase{"LineFeedCarriageReturnTab", "a\nb\rc\td", "a\\nb\\rc\\td"},
    VisibleTextCase{"Nul", std::string("a\0b", 3), "a\\x00b"},
    VisibleTextCase{"EscapeSequence", "\x1b[2Jp1", "\\x1b[2Jp1"},
    VisibleTextCase{"LastC0AndDelete", "\x1f\x7f", "\\x1f\\x7f"},
    VisibleTextCase{"FirstAndLastC1", "\xC2\x80\xC2\x9F", "\\u0080\\u009f"},
    VisibleTextCase{"NextLine", "a\xC2\x85" "b", "a\\u0085b"},
    VisibleTextCase{"IllFormedBytesStay", "\xFF\xC2", "\xFF\xC2"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace letterforge
