#include "letterforge/chapter/member_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace letterforge {
namespace {

struct NameCase {
  const char* name;
  std::string stored;
  std::string expected;  // empty: refused
  std::string problem;
};
class ChapterMemberNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(ChapterMemberNameTest, IsKeptTidiedOrRefusedWithItsReason) {
  const NameCase& c = GetParam();
  std::string problem;
  const auto name = chapterMemberName(c.stored, problem);
  EXPECT_EQ(name.value_or(""), c.expected);
  EXPECT_EQ(problem, c.problem);
}

INSTANTIATE_TEST_SUITE_P(Names, ChapterMemberNameTest, ::testing::Values(
    NameCase{"Plain", "001.png", "001.png", ""},
    NameCase{"InAFolder", "ch1/001.png", "ch1/001.png", ""},
    NameCase{"DotAndEmptyPartsDropped", "./ch1//./001.png", "ch1/001.png", ""},
    NameCase{"BackslashesAreSlashes", "ch1\\001.png", "ch1/001.png", ""},
    NameCase{"UnicodeKept", "章/ページ.png", "章/ページ.png", ""},
    NameCase{"DotsInsideAPartAreNoClimb", "a..b/..c.png", "a..b/..c.png", ""},
    NameCase{"ClimbingOut", "../001.png", "", "its name climbs out of the archive with \"..\""},
    NameCase{"ClimbingOutInTheMiddle", "ch1/../../001.png", "", "its name climbs out of the archive with \"..\""},
    NameCase{"ClimbingOutWithBackslashes", "ch1\\..\\..\\x.png", "", "its name climbs out of the archive with \"..\""},
    NameCase{"Absolute", "/etc/passwd", "", "its name is an absolute path"},
    NameCase{"AbsoluteWithBackslash", "\\temp\\x.png", "", "its name is an absolute path"},
    NameCase{"DriveLetter", "C:x.png", "", "its name is an absolute path"},
    NameCase{"NotUtf8", "caf\xe9.png", "", "its name is not UTF-8"},
    NameCase{"OverlongSlash", "a\xc0\xaf.png", "", "its name is not UTF-8"},
    NameCase{"LineFeed", "a\nb.png", "", "its name holds a control character"},
    NameCase{"Nul", std::string("a\0b.png", 7), "", "its name holds a control character"},
    NameCase{"Empty", "", "", "its name is empty"},
    NameCase{"OnlyDots", "./.", "", "its name is empty"}),
    [](const auto& info) { return std::string(info.param.name); });

struct SkipCase {
  const char* name;
  const char* member;
  bool skipped;
};
class SkippedMemberTest : public ::testing::TestWithParam<SkipCase> {};

TEST_P(SkippedMemberTest, LeavesOutMacFoldersAndHiddenFiles) {
  EXPECT_EQ(isSkippedMember(GetParam().member), GetParam().skipped);
}

INSTANTIATE_TEST_SUITE_P(Members, SkippedMemberTest, ::testing::Values(
    SkipCase{"Page", "ch1/001.png", false},
    SkipCase{"MacFolder", "__MACOSX/ch1/._001.png", true},
    SkipCase{"MacFolderInside", "ch1/__MACOSX/001.png", true},
    SkipCase{"HiddenFile", "ch1/.DS_Store", true},
    SkipCase{"AppleDouble", "._001.png", true},
    SkipCase{"HiddenFolder", ".thumbnails/001.png", true},
    SkipCase{"DotInsideName", "ch1/page.1.png", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NaturalOrderTest, SortsNumbersByValueAndTextWithoutCase) {
  // Each name belongs after the one before it; the list is shuffled, sorted and compared.
  const std::vector<std::string> ordered = {
      "1.png", "2.png", "02b.png", "10.png", "100.png", "a.png", "a1.png", "a2.png", "a10.png",
      "B.png", "ch2/1.png", "ch2/9.png", "ch10/1.png", "Page 2.png", "page 3.png", "Page 11.png"};
  std::vector<std::string> shuffled(ordered.rbegin(), ordered.rend());
  std::rotate(shuffled.begin(), shuffled.begin() + 5, shuffled.end());
  std::sort(shuffled.begin(), shuffled.end(),
            [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
  EXPECT_EQ(shuffled, ordered);
}

TEST(NaturalOrderTest, NamesEqualButForZerosOrCaseStillHaveAnOrder) {
  EXPECT_TRUE(naturalLess("001.png", "1.png") != naturalLess("1.png", "001.png"));
  EXPECT_TRUE(naturalLess("A.png", "a.png") != naturalLess("a.png", "A.png"));
  EXPECT_FALSE(naturalLess("a.png", "a.png"));
}

TEST(MemberExtensionTest, IsLowerCasedAndBelongsToTheLastPart) {
  EXPECT_EQ(memberExtension("ch1/Page.PNG"), ".png");
  EXPECT_EQ(memberStem("ch1/Page.PNG"), "ch1/Page");
  EXPECT_EQ(memberExtension("ch.1/page"), "");
  EXPECT_EQ(memberStem("ch.1/page"), "ch.1/page");
  EXPECT_EQ(memberStem("002.ocr.json"), "002.ocr");
}

}  // namespace
}  // namespace letterforge
