#include "letterforge/typeset/installed_fonts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "letterforge/inputs/text_rules.h"

namespace letterforge {
namespace {

const FontFamily* find(const std::vector<FontFamily>& families, const std::string& name) {
  const auto found = std::find_if(families.begin(), families.end(),
                                  [&name](const FontFamily& f) { return f.name == name; });
  return found == families.end() ? nullptr : &*found;
}

bool has(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

// The families scripts/setup.sh installs.
TEST(InstalledFontsTest, FamiliesComeWithTheirStylesAndScripts) {
  const auto families = installedFontFamilies();
  const FontFamily* comic = find(families, "Comic Neue");
  ASSERT_NE(comic, nullptr);
  EXPECT_TRUE(has(comic->styles, "Bold"));
  EXPECT_TRUE(has(comic->scripts, "Latin"));
  EXPECT_FALSE(has(comic->scripts, "Han"));
  const FontFamily* cjk = find(families, "Noto Sans CJK JP");
  ASSERT_NE(cjk, nullptr);
  for (const char* script : {"Han", "Hiragana", "Katakana", "Hangul", "Latin"}) {
    EXPECT_TRUE(has(cjk->scripts, script)) << script;
  }
  const FontFamily* emoji = find(families, "Noto Color Emoji");
  ASSERT_NE(emoji, nullptr);
  EXPECT_TRUE(has(emoji->scripts, "Emoji"));
  EXPECT_TRUE(std::is_sorted(families.begin(), families.end(), [](const FontFamily& a, const FontFamily& b) {
    return caseFoldedText(a.name) < caseFoldedText(b.name);
  }));
}

struct NearestCase {
  const char* name;
  const char* asked;
  std::vector<std::string> expected;
};
class NearestFontFamiliesTest : public ::testing::TestWithParam<NearestCase> {};

const std::vector<FontFamily> kFamilies = {
    {.name = "Comic Neue"}, {.name = "Inter"}, {.name = "Inter Display"}, {.name = "Noto Sans"},
    {.name = "Noto Sans CJK JP"}, {.name = "Noto Serif"}, {.name = "DejaVu Sans"}};

TEST_P(NearestFontFamiliesTest, NamesThoseTheCallerMostLikelyMeant) {
  const NearestCase& c = GetParam();
  EXPECT_EQ(nearestFontFamilies(c.asked, kFamilies, 3), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Names, NearestFontFamiliesTest, ::testing::Values(
    NearestCase{"Misspelt", "Comic Nue", {"Comic Neue", "Inter", "Noto Sans"}},
    NearestCase{"CaseAndSpacesAside", "comicneue", {"Comic Neue", "Inter", "Noto Sans"}},
    NearestCase{"PartOfSeveral", "noto sans", {"Noto Sans", "Noto Sans CJK JP", "Noto Serif"}},
    NearestCase{"LongerThanTheFamily", "Inter Bold", {"Inter", "Inter Display", "Noto Sans"}},
    NearestCase{"NothingAlike", "Zapfino", {"Inter", "Noto Sans", "Comic Neue"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NearestFontFamiliesTest, FewerFamiliesThanAskedForAreAllNamed) {
  EXPECT_EQ(nearestFontFamilies("x", {{.name = "Inter"}}, 3), std::vector<std::string>{"Inter"});
  EXPECT_EQ(nearestFontFamilies("x", {}, 3), std::vector<std::string>{});
}

}  // namespace
}  // namespace letterforge
