#include "letterforge/chapter/cbz_writing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "letterforge/chapter/chapter_test_support.h"

namespace letterforge {
namespace {

namespace fs = std::filesystem;
using testing::ChapterFolderTest;
using testing::fileContents;

class CbzWritingTest : public ChapterFolderTest {
 protected:
  static std::vector<std::pair<std::string, std::string>> members(const std::string& path) {
    return testing::archiveMembers(path);
  }
};

TEST_F(CbzWritingTest, ComicInfoComesFirstThenThePagesInTheOrderGiven) {
  const std::string info = write("src/ComicInfo.xml", "<ComicInfo/>");
  const std::vector<CbzMember> pages = {{"2.png", write("out/2.png", "two")},
                                        {"10.png", write("out/10.png", "ten")},
                                        {"ch2/1.webp", write("out/ch2/1.webp", "one")}};
  const std::string path = (root_ / "chapter.cbz").string();
  std::string failure;
  ASSERT_TRUE(writeCbz(path, pages, ChapterFile{.path = info, .label = info}, failure)) << failure;
  EXPECT_EQ(members(path), (std::vector<std::pair<std::string, std::string>>{
                               {"ComicInfo.xml", "<ComicInfo/>"}, {"2.png", "two"}, {"10.png", "ten"},
                               {"ch2/1.webp", "one"}}));
}

TEST_F(CbzWritingTest, MemberThatCannotBeReadLeavesTheOldArchiveAndNothingElse) {
  const std::string path = write("chapter.cbz", "old archive");
  const std::vector<CbzMember> pages = {{"1.png", write("1.png", "one")},
                                        {"2.png", (root_ / "missing.png").string()}};
  std::string failure;
  EXPECT_FALSE(writeCbz(path, pages, ChapterFile{}, failure));
  EXPECT_EQ(failure, "Could not write " + path + ": " + (root_ / "missing.png").string() +
                         ": cannot be read: No such file or directory");
  EXPECT_EQ(fileContents(path), "old archive");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(root_)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"1.png", "chapter.cbz"}));
}

TEST_F(CbzWritingTest, ArchiveInPlaceOfAFolderIsRefused) {
  fs::create_directories(root_ / "chapter.cbz");
  std::string failure;
  EXPECT_FALSE(writeCbz((root_ / "chapter.cbz").string(), {{"1.png", write("1.png", "one")}}, ChapterFile{}, failure));
  EXPECT_EQ(failure, "Could not write " + (root_ / "chapter.cbz").string() + ": Is a directory");
}

}  // namespace
}  // namespace letterforge
