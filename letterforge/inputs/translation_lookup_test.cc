#include "letterforge/inputs/translation_lookup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

TranslationPayload payloadOf(const std::vector<std::pair<std::string, std::string>>& entries) {
  TranslationPayload payload;
  for (const auto& [id, text] : entries) {
    payload.translations.push_back(TranslationBlock{.id = id, .translatedText = text});
  }
  return payload;
}

// "é" precomposed (U+00E9) and as "e" followed by a combining acute accent (U+0301).
const std::string kPrecomposed = "caf\xC3\xA9";
const std::string kDecomposed = "cafe\xCC\x81";

struct DuplicateCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> entries;
  std::string failure;  // empty when the lookup is built
};
class TranslationLookupDuplicateTest : public ::testing::TestWithParam<DuplicateCase> {};

TEST_P(TranslationLookupDuplicateTest, NamesTheIdMetSecond) {
  const DuplicateCase& c = GetParam();
  std::string failure;
  const auto lookup = makeTranslationLookup(payloadOf(c.entries), failure);
  if (c.failure.empty()) {
    EXPECT_TRUE(lookup.has_value()) << failure;
  } else {
    EXPECT_FALSE(lookup.has_value());
    EXPECT_EQ(failure, c.failure);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TranslationLookupDuplicateTest,
    ::testing::Values(
        DuplicateCase{"Empty", {}, ""},
        DuplicateCase{"DistinctIds", {{"a", "x"}, {"b", "y"}}, ""},
        DuplicateCase{"CaseIsNotFolded", {{"a", "x"}, {"A", "y"}}, ""},
        DuplicateCase{"SpacesAreNotTrimmed", {{"a", "x"}, {"a ", "y"}}, ""},
        DuplicateCase{"CompatibilityFormsStayDistinct", {{"\xEF\xAC\x81", "x"}, {"fi", "y"}}, ""},
        DuplicateCase{"SameIdTwice", {{"a", "x"}, {"a", "y"}}, "Duplicate values for key: 'a'"},
        DuplicateCase{"DuplicateWithEmptyText", {{"a", ""}, {"a", "y"}},
                      "Duplicate values for key: 'a'"},
        DuplicateCase{"CanonicallyEquivalentIds", {{kPrecomposed, "x"}, {kDecomposed, "y"}},
                      "Duplicate values for key: '" + kDecomposed + "'"},
        DuplicateCase{"ControlCharactersAreEscaped", {{"a\n\x1b[2J", "x"}, {"a\n\x1b[2J", "y"}},
                      "Duplicate values for key: 'a\\n\\x1b[2J'"},
        DuplicateCase{"FirstDuplicateInArrayOrderIsNamed",
                      {{"b", "1"}, {"a", "2"}, {"a", "3"}, {"b", "4"}},
                      "Duplicate values for key: 'a'"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TranslationLookupTest, FindsTextsExactlyAsDecoded) {
  std::string failure;
  const auto lookup =
      makeTranslationLookup(payloadOf({{"a", "  Hello\n"}, {"b", ""}, {"c", " "}}), failure);
  ASSERT_TRUE(lookup.has_value());
  EXPECT_EQ(findTranslation(*lookup, "a"), "  Hello\n");
  EXPECT_EQ(findTranslation(*lookup, "b"), "");
  EXPECT_EQ(findTranslation(*lookup, "c"), " ");
  EXPECT_EQ(findTranslation(*lookup, "d"), std::nullopt);
  EXPECT_EQ(findTranslation(*lookup, "A"), std::nullopt);
  EXPECT_EQ(findTranslation(*lookup, " a"), std::nullopt);
}

TEST(TranslationLookupTest, QueryMatchesUnderCanonicalEquivalence) {
  std::string failure;
  const auto decomposed = makeTranslationLookup(payloadOf({{kDecomposed, "x"}}), failure);
  const auto precomposed = makeTranslationLookup(payloadOf({{kPrecomposed, "y"}}), failure);
  ASSERT_TRUE(decomposed.has_value() && precomposed.has_value());
  EXPECT_EQ(findTranslation(*decomposed, kPrecomposed), "x");
  EXPECT_EQ(findTranslation(*precomposed, kDecomposed), "y");
  EXPECT_EQ(findTranslation(*precomposed, "cafe"), std::nullopt);
}

TEST(TranslationLookupTest, CanonicalOrderOfCombiningMarks) {
  // Dot below (class 220) and dot above (class 230) in either order are one text.
  std::string failure;
  const auto lookup = makeTranslationLookup(payloadOf({{"q\xCC\xA3\xCC\x87", "x"}}), failure);
  ASSERT_TRUE(lookup.has_value());
  EXPECT_EQ(findTranslation(*lookup, "q\xCC\x87\xCC\xA3"), "x");
}

}  // namespace
}  // namespace letterforge
