#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace platform {
namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lf-files-XXXXXX";
    root_ = mkdtemp(pattern);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(root_, fs::perms::owner_all, ignored);
    fs::remove_all(root_, ignored);
  }
  static std::vector<std::uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }
  static std::string contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  // Names of everything in the folder, to see that no temporary file is left behind.
  static std::vector<std::string> entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
    return names;
  }
  fs::path root_;
};

TEST_F(FilesTest, WriteCreatesMissingParentsAndReplacesExistingFile) {
  const fs::path target = root_ / "a" / "b" / "out.png";
  std::string failure;
  ASSERT_TRUE(writeFileReplacing(target, bytes("first"), failure)) << failure;
  ASSERT_TRUE(writeFileReplacing(target, bytes("second"), failure)) << failure;
  EXPECT_EQ(contents(target), "second");
  EXPECT_EQ(entries(target.parent_path()), std::vector<std::string>{"out.png"});
}

TEST_F(FilesTest, WrittenFileHasOrdinaryPermissions) {
  const fs::path target = root_ / "out.png";
  std::string failure;
  ASSERT_TRUE(writeFileReplacing(target, bytes("x"), failure));
  const mode_t mask = umask(0);
  umask(mask);
  struct stat info {};
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

TEST_F(FilesTest, ParentThatIsAFileFailsWithoutWriting) {
  std::string failure;
  ASSERT_TRUE(writeFileReplacing(root_ / "plain", bytes("keep"), failure));
  EXPECT_FALSE(writeFileReplacing(root_ / "plain" / "out.png", bytes("x"), failure));
  EXPECT_EQ(failure, "cannot create directory " + (root_ / "plain").string() + ": Not a directory");
  EXPECT_EQ(contents(root_ / "plain"), "keep");
}

TEST_F(FilesTest, DirectoryInPlaceOfTheFileFailsAndLeavesNoTemporary) {
  fs::create_directory(root_ / "out.png");
  std::string failure;
  EXPECT_FALSE(writeFileReplacing(root_ / "out.png", bytes("x"), failure));
  EXPECT_EQ(failure, "Is a directory");
  EXPECT_EQ(entries(root_), std::vector<std::string>{"out.png"});
}

TEST_F(FilesTest, ReadOnlyDirectoryFailsAndKeepsExistingFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
  std::string failure;
  ASSERT_TRUE(writeFileReplacing(root_ / "out.png", bytes("old"), failure));
  fs::permissions(root_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(writeFileReplacing(root_ / "out.png", bytes("new"), failure));
  EXPECT_EQ(contents(root_ / "out.png"), "old");
}

TEST_F(FilesTest, ReadsWholeFileAndRefusesOversizedOrMissing) {
  std::string failure;
  ASSERT_TRUE(writeFileReplacing(root_ / "data", bytes("0123456789"), failure));
  EXPECT_EQ(readWholeFile(root_ / "data", 10, failure), "0123456789");
  EXPECT_FALSE(readWholeFile(root_ / "data", 9, failure).has_value());
  EXPECT_NE(failure.find("larger"), std::string::npos);
  EXPECT_FALSE(readWholeFile(root_ / "missing", 100, failure).has_value());
  EXPECT_EQ(failure, "No such file or directory");
  EXPECT_FALSE(readWholeFile(root_, 100, failure).has_value());
  EXPECT_EQ(failure, "Is a directory");
}

TEST_F(FilesTest, EmptyFileReadsAsEmpty) {
  std::string failure;
  ASSERT_TRUE(writeFileReplacing(root_ / "empty", {}, failure));
  EXPECT_EQ(readWholeFile(root_ / "empty", 100, failure), "");
}

}  // namespace
}  // namespace platform
