#include "letterforge/inputs/mode_words.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

enum class Fruit { kApple, kPear, kPlum };
constexpr ModeWord<Fruit> kFruitWords[] = {
    {"apple", Fruit::kApple}, {"pear", Fruit::kPear}, {"plum", Fruit::kPlum}, {"pome", Fruit::kApple}};

TEST(ModeWordsTest, WordsAreTakenInAnyLetterCaseButNotTrimmed) {
  EXPECT_EQ(choiceOfWord(kFruitWords, "PEAR"), Fruit::kPear);
  EXPECT_EQ(choiceOfWord(kFruitWords, "Pome"), Fruit::kApple);
  EXPECT_EQ(choiceOfWord(kFruitWords, "pear "), std::nullopt);
  EXPECT_EQ(choiceOfWord(kFruitWords, ""), std::nullopt);
  EXPECT_EQ(wordOfChoice(kFruitWords, Fruit::kApple), "apple");  // the first row for it
}

TEST(ModeWordsTest, ListsJoinTheLastWordWithOr) {
  EXPECT_EQ(wordList({}), "");
  EXPECT_EQ(wordList({"one"}), "one");
  EXPECT_EQ(wordList({"one", "two"}), "one or two");
  EXPECT_EQ(wordList(wordsOf(kFruitWords)), "apple, pear, plum or pome");
}

struct NearestCase {
  const char* name;
  std::string word;
  std::string nearest;
};
class NearestWordTest : public ::testing::TestWithParam<NearestCase> {};

TEST_P(NearestWordTest, FewestEditsFirstListedOnATie) {
  EXPECT_EQ(nearestWord({"white_fill", "text_inpaint", "bubble_clean", "none"}, GetParam().word),
            GetParam().nearest);
}

INSTANTIATE_TEST_SUITE_P(Table, NearestWordTest, ::testing::Values(
    NearestCase{"LetterLeftOut", "bubbleclean", "bubble_clean"},
    NearestCase{"NeighboursSwapped", "whtie_fill", "white_fill"},
    NearestCase{"LetterChanged", "text_inpaimt", "text_inpaint"},
    NearestCase{"LetterAdded", "nonee", "none"},
    NearestCase{"EmptyIsNearestTheShortest", "", "none"},
    NearestCase{"TieGoesToTheEarlierWord", "zzzzzzzzzzzz", "white_fill"},
    NearestCase{"LongValueComparedByItsBeginning", "bubble_clean" + std::string(100000, 'x'),
                "bubble_clean"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ModeWordsTest, RefusalNamesTheWordsTheValueAndTheNearest) {
  std::string failure;
  EXPECT_EQ(strictChoiceOfWord(kFruitWords, "fruit", "PLUMS", failure), std::nullopt);
  EXPECT_EQ(failure, "fruit: expected apple, pear, plum or pome, found \"PLUMS\" (nearest: plum)");
  EXPECT_EQ(strictChoiceOfWord(kFruitWords, "fruit", "a\x1b[2J", failure), std::nullopt);
  EXPECT_EQ(failure,
            "fruit: expected apple, pear, plum or pome, found \"a\\x1b[2J\" (nearest: apple)");
}

}  // namespace
}  // namespace letterforge
