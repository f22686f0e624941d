#include "platform/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/test_case_names.h"

namespace platform {
namespace {

using test_cases::PrintTo;

namespace fs = std::filesystem;

// A read or write that should return at once but waits for a pipe's other end ends the test
// executable after this long instead of hanging it.
constexpr unsigned kHangLimitSeconds = 60;

// Sets or clears the immutable flag, which stops even root from changing a directory.
bool setImmutable(const fs::path& dir, bool immutable) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  int flags = 0;
  bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  if (fd >= 0) close(fd);
  return done;
}

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lf-files-XXXXXX";
    root_ = mkdtemp(pattern);
  }
  void TearDown() override {
    std::error_code ignored;
    if (geteuid() == 0) setImmutable(root_, false);
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

// Links laid out in the folder (link name, its target), and a path written among them: where
// the write lands, relative to the folder. "@" in a target stands for the folder.
struct WrittenPathCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> links;
  std::string path;
  std::string landsAt;
};
class WrittenPathTest : public FilesTest, public ::testing::WithParamInterface<WrittenPathCase> {};

// The path named before the write is the file the write makes, found again after it.
TEST_P(WrittenPathTest, NamesTheFileTheWriteMakes) {
  const WrittenPathCase& c = GetParam();
  fs::create_directories(root_ / "d");
  for (const auto& [link, target] : c.links) {
    std::string to = target;
    if (const auto at = to.find('@'); at != std::string::npos) to.replace(at, 1, root_.string());
    fs::create_symlink(to, root_ / link);
  }
  const std::string written = writtenPath(root_ / c.path);
  EXPECT_EQ(written, (root_ / c.landsAt).string());
  std::string failure;
  ASSERT_TRUE(writeFileReplacing(root_ / c.path, bytes("page"), failure)) << failure;
  EXPECT_EQ(fs::canonical(written), written);
  EXPECT_EQ(contents(written), "page");
}

INSTANTIATE_TEST_SUITE_P(Links, WrittenPathTest, ::testing::Values(
    WrittenPathCase{"PlainPath", {}, "d/p.png", "d/p.png"},
    WrittenPathCase{"DotsTakenOut", {}, "d/./x/../p.png", "d/p.png"},
    WrittenPathCase{"LinkToAMissingFile", {{"d/l.png", "t.png"}}, "d/l.png", "d/t.png"},
    WrittenPathCase{"ChainToAMissingFile", {{"d/a.png", "b.png"}, {"d/b.png", "../c.png"}},
                    "d/a.png", "c.png"},
    WrittenPathCase{"AbsoluteTarget", {{"d/l.png", "@/e/t.png"}}, "d/l.png", "e/t.png"},
    WrittenPathCase{"LinkToAFolderNotMadeYet", {{"d/sub", "made"}}, "d/sub/p.png", "d/made/p.png"},
    WrittenPathCase{"DotsAfterALinkTakenFromItsTarget", {{"d/up", "@/e/f"}}, "d/up/../p.png",
                    "e/p.png"},
    WrittenPathCase{"LinkInsideAFolderLink", {{"d/sub", "made"}, {"e", "d"}}, "e/sub/p.png",
                    "d/made/p.png"}),
    [](const auto& info) { return std::string(info.param.name); });

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
  std::string failure;
  ASSERT_TRUE(writeFileReplacing(root_ / "out.png", bytes("old"), failure));
  // Root writes into directories that only their mode protects.
  if (geteuid() != 0) {
    fs::permissions(root_, fs::perms::owner_read | fs::perms::owner_exec);
  } else if (!setImmutable(root_, true)) {
    GTEST_SKIP() << "root without the right to make a directory immutable";
  }
  for (const TemporaryFile temporary : {TemporaryFile::kUnnamedWhereSupported, TemporaryFile::kNamed}) {
    EXPECT_FALSE(writeFileReplacing(root_ / "out.png", bytes("new"), failure, temporary));
    EXPECT_EQ(contents(root_ / "out.png"), "old");
    EXPECT_EQ(entries(root_), std::vector<std::string>{"out.png"});
  }
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

// --- Paths that can only name a directory ----------------------------------------------

class DirectoryPathTest : public FilesTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DirectoryPathTest, IsReportedAsADirectoryAndCreatesNothing) {
  fs::create_directory(root_ / "d");
  std::string failure;
  EXPECT_FALSE(writeFileReplacing(root_.string() + "/" + GetParam(), bytes("x"), failure));
  EXPECT_EQ(failure, "Is a directory");
  EXPECT_EQ(entries(root_), std::vector<std::string>{"d"});
  EXPECT_TRUE(fs::is_empty(root_ / "d"));
}

INSTANTIATE_TEST_SUITE_P(Paths, DirectoryPathTest,
                         ::testing::Values(".", "..", "d/", "d/.", "d/..", "missing/", "missing/."),
                         [](const auto& info) { return std::to_string(info.index); });

// --- Symbolic links ------------------------------------------------------------------------

TEST_F(FilesTest, LinkIsWrittenThroughInItsTargetsDirectory) {
  fs::create_directories(root_ / "links");
  fs::create_directories(root_ / "pages");
  std::string failure;
  ASSERT_TRUE(writeFileReplacing(root_ / "pages" / "page.png", bytes("old"), failure));
  fs::create_symlink("../pages/page.png", root_ / "links" / "second");
  fs::create_symlink("second", root_ / "links" / "first");
  ASSERT_TRUE(writeFileReplacing(root_ / "links" / "first", bytes("new"), failure)) << failure;
  EXPECT_TRUE(fs::is_symlink(root_ / "links" / "first"));
  EXPECT_TRUE(fs::is_symlink(root_ / "links" / "second"));
  EXPECT_EQ(contents(root_ / "pages" / "page.png"), "new");
  EXPECT_EQ(entries(root_ / "pages"), std::vector<std::string>{"page.png"});
}

TEST_F(FilesTest, LinkLeadingNowhereCreatesItsTarget) {
  fs::create_symlink("made.png", root_ / "link");
  std::string failure;
  ASSERT_TRUE(writeFileReplacing(root_ / "link", bytes("new"), failure)) << failure;
  EXPECT_TRUE(fs::is_symlink(root_ / "link"));
  EXPECT_EQ(contents(root_ / "made.png"), "new");
}

// --- Mode and owner of a replaced file -----------------------------------------------------

struct ModeCase {
  const char* name;
  mode_t mode;
  TemporaryFile temporary;
};
class ReplacedModeTest : public FilesTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(ReplacedModeTest, ReplacementKeepsTheOldMode) {
  const ModeCase& c = GetParam();
  const fs::path target = root_ / "out.png";
  std::string failure;
  ASSERT_TRUE(writeFileReplacing(target, bytes("old"), failure));
  ASSERT_EQ(chmod(target.c_str(), c.mode), 0);
  ASSERT_TRUE(writeFileReplacing(target, bytes("new"), failure, c.temporary)) << failure;
  struct stat info {};
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, c.mode);
  EXPECT_EQ(contents(target), "new");
}

INSTANTIATE_TEST_SUITE_P(Modes, ReplacedModeTest, ::testing::Values(
    ModeCase{"PrivatePage", 0600, TemporaryFile::kUnnamedWhereSupported},
    ModeCase{"PrivatePageThroughNamedFile", 0600, TemporaryFile::kNamed},
    ModeCase{"GroupReadable", 0640, TemporaryFile::kUnnamedWhereSupported},
    ModeCase{"ReadOnlyForAll", 0444, TemporaryFile::kUnnamedWhereSupported},
    ModeCase{"ExecutableWithSetGroupId", 02751, TemporaryFile::kNamed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FilesTest, ReplacementKeepsTheOldOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may give a file away";
  const fs::path target = root_ / "out.png";
  std::string failure;
  ASSERT_TRUE(writeFileReplacing(target, bytes("old"), failure));
  ASSERT_EQ(chown(target.c_str(), 1234, 5678), 0);
  for (const TemporaryFile temporary : {TemporaryFile::kUnnamedWhereSupported, TemporaryFile::kNamed}) {
    ASSERT_TRUE(writeFileReplacing(target, bytes("new"), failure, temporary)) << failure;
    struct stat info {};
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 5678u);
  }
}

// --- Devices, pipes and sockets ------------------------------------------------------------

struct SpecialFileCase {
  const char* name;
  mode_t type;
  unsigned major, minor;
  const char* failure;  // empty when the write succeeds
};
class SpecialFileTest : public FilesTest, public ::testing::WithParamInterface<SpecialFileCase> {};

TEST_P(SpecialFileTest, IsWrittenIntoOrRefusedButNeverReplaced) {
  const SpecialFileCase& c = GetParam();
  const fs::path node = root_ / "node";
  if (mknod(node.c_str(), c.type | 0600, makedev(c.major, c.minor)) != 0) {
    GTEST_SKIP() << "cannot make device nodes here";
  }
  std::string failure;
  alarm(kHangLimitSeconds);
  const bool written = writeFileReplacing(node, bytes("page"), failure);
  alarm(0);
  EXPECT_EQ(written, *c.failure == '\0');
  EXPECT_EQ(failure, c.failure);
  struct stat info {};
  ASSERT_EQ(lstat(node.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & S_IFMT, c.type);
  EXPECT_EQ(entries(root_), std::vector<std::string>{"node"});
}

INSTANTIATE_TEST_SUITE_P(Nodes, SpecialFileTest, ::testing::Values(
    SpecialFileCase{"NullDevice", S_IFCHR, 1, 3, ""},
    SpecialFileCase{"FullDevice", S_IFCHR, 1, 7, "No space left on device"},
    SpecialFileCase{"BlockDevice", S_IFBLK, 7, 0, "Is a block device"},
    SpecialFileCase{"PipeWithoutReader", S_IFIFO, 0, 0, "No process is reading the pipe"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FilesTest, PipeWithAReaderGetsTheBytes) {
  const fs::path fifo = root_ / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  std::string failure;
  EXPECT_TRUE(writeFileReplacing(fifo, bytes("page"), failure)) << failure;
  char got[16] = {};
  EXPECT_EQ(read(reader, got, sizeof got), 4);
  EXPECT_EQ(std::string(got), "page");
  close(reader);
}

TEST_F(FilesTest, PipeWithoutWriterReadsAsEmptyAtOnce) {
  const fs::path fifo = root_ / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string failure;
  alarm(kHangLimitSeconds);
  const auto text = readWholeFile(fifo, 100, failure);
  alarm(0);
  EXPECT_EQ(text, "");
}

// As a shell's <(...) gives it: a pipe that a running process fills past the pipe's buffer.
TEST_F(FilesTest, PipeIsReadUntilItsWriterCloses) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const std::string sent(1 << 20, 'p');
  const pid_t child = fork();
  if (child == 0) {
    close(ends[0]);
    std::string ignored;
    _exit(writeFileReplacing("/proc/self/fd/" + std::to_string(ends[1]), bytes(sent), ignored) ? 0 : 1);
  }
  close(ends[1]);
  std::string failure;
  const auto text = readWholeFile("/proc/self/fd/" + std::to_string(ends[0]), 2 << 20, failure);
  close(ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(status, 0);
  ASSERT_TRUE(text.has_value()) << failure;
  EXPECT_EQ(*text, sent);
}

TEST_F(FilesTest, DeviceIsNotReadAsAFile) {
  std::string failure;
  EXPECT_FALSE(readWholeFile("/dev/zero", 100, failure).has_value());
  EXPECT_EQ(failure, "Not a regular file");
}

// --- Signals and limits while the bytes are being written ----------------------------------

// A child process that writes a large file into `dir` again and again until it is killed.
class WritingChild {
 public:
  WritingChild(const fs::path& target, TemporaryFile temporary, bool replacing) {
    pid_ = fork();
    if (pid_ != 0) return;
    const std::vector<std::uint8_t> large(16 << 20, 'n');
    std::string ignored;
    while (true) {
      if (!replacing) unlink(target.c_str());
      writeFileReplacing(target, large, ignored, temporary);
    }
  }
  ~WritingChild() {
    if (pid_ > 0) kill(pid_, SIGKILL), wait();
  }
  // True once the child holds open a file in `dir` other than the target: the bytes being
  // gathered, in a named temporary file or an unnamed one.
  bool waitUntilGathering(const fs::path& dir, const fs::path& target) const {
    const std::string descriptors = "/proc/" + std::to_string(pid_) + "/fd";
    for (int attempt = 0; attempt < 600000; ++attempt) {
      std::error_code error;
      for (const auto& entry : fs::directory_iterator(descriptors, error)) {
        const std::string open = fs::read_symlink(entry.path(), error).string();
        if (open.starts_with(dir.string() + "/") && open != target.string()) return true;
      }
      usleep(100);
    }
    return false;
  }
  int wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

struct SignalCase {
  const char* name;
  int signal;
  TemporaryFile temporary;
  bool replacing;  // an old file is there; otherwise each write makes the file anew
};
class WriteSignalTest : public FilesTest, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(WriteSignalTest, LeavesOnlyAWholeFileBehind) {
  const SignalCase& c = GetParam();
  const fs::path target = root_ / "out.png";
  std::string failure;
  for (int round = 0; round < 5; ++round) {
    if (c.replacing) {
      ASSERT_TRUE(writeFileReplacing(target, bytes("old"), failure));
    }
    WritingChild child(target, c.temporary, c.replacing);
    ASSERT_TRUE(child.waitUntilGathering(root_, target));
    kill(child.pid(), c.signal);
    const int status = child.wait();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
    // The target alone, whole: the old bytes or all the new ones. A file made anew on every
    // round may not be there yet.
    const auto left = entries(root_);
    EXPECT_TRUE(left == std::vector<std::string>{"out.png"} || (!c.replacing && left.empty()))
        << left.size() << " files, the first " << (left.empty() ? "" : left[0]);
    if (!left.empty()) {
      const auto size = fs::file_size(root_ / left[0]);
      EXPECT_TRUE(size == 3 || size == (16u << 20)) << size;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Signals, WriteSignalTest, ::testing::Values(
    SignalCase{"TerminatedWhileUnnamed", SIGTERM, TemporaryFile::kUnnamedWhereSupported, true},
    SignalCase{"InterruptedWhileUnnamed", SIGINT, TemporaryFile::kUnnamedWhereSupported, true},
    SignalCase{"KilledWhileUnnamedNewFile", SIGKILL, TemporaryFile::kUnnamedWhereSupported, false},
    SignalCase{"TerminatedWhileNamed", SIGTERM, TemporaryFile::kNamed, true},
    SignalCase{"InterruptedWhileNamed", SIGINT, TemporaryFile::kNamed, true},
    SignalCase{"HungUpWhileNamedNewFile", SIGHUP, TemporaryFile::kNamed, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct RouteCase {
  const char* name;
  TemporaryFile temporary;
};
class FileSizeLimitTest : public FilesTest, public ::testing::WithParamInterface<RouteCase> {};

TEST_P(FileSizeLimitTest, WriteBeyondTheLimitFailsAndLeavesTheOldFile) {
  const fs::path target = root_ / "out.png";
  std::string failure;
  ASSERT_TRUE(writeFileReplacing(target, bytes("old"), failure));
  const pid_t child = fork();
  if (child == 0) {
    const rlimit limit{100 << 10, 100 << 10};
    reportOversizedWritesAsFailures();
    const std::vector<std::uint8_t> large(1 << 20, 'n');
    const bool written =
        setrlimit(RLIMIT_FSIZE, &limit) == 0 && writeFileReplacing(target, large, failure, GetParam().temporary);
    _exit(!written && failure == "File too large" ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(entries(root_), std::vector<std::string>{"out.png"});
  EXPECT_EQ(contents(target), "old");
}

INSTANTIATE_TEST_SUITE_P(Routes, FileSizeLimitTest,
                         ::testing::Values(RouteCase{"Unnamed", TemporaryFile::kUnnamedWhereSupported},
                                           RouteCase{"Named", TemporaryFile::kNamed}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace platform
