// What reaches the disk before a write reports success, seen from outside: the write runs in a
// child under strace, and the order of its system calls is read back.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/system_call_trace_test_support.h"
#include "platform/test_case_names.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using test_cases::PrintTo;
using namespace system_call_trace;

// Run only by SyncedWriteTest, under strace: writes LF_TRACED_PATH by the route
// LF_TRACED_ROUTE names ("named" or "unnamed").
TEST(TracedWrite, DISABLED_Write) {
  const char* path = std::getenv("LF_TRACED_PATH");
  const char* route = std::getenv("LF_TRACED_ROUTE");
  ASSERT_TRUE(path && route);
  const std::vector<std::uint8_t> bytes(4096, 'p');
  std::string failure;
  ASSERT_TRUE(writeFileReplacing(path, bytes, failure,
                                 std::string(route) == "named" ? TemporaryFile::kNamed
                                                               : TemporaryFile::kUnnamedWhereSupported))
      << failure;
}

struct SyncCase {
  const char* name;
  const char* route;
  bool replacing;
  std::string path;  // below the test's folder; folders on it are made by the write
};
class SyncedWriteTest : public ::testing::TestWithParam<SyncCase> {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lf-sync-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path root_;
};

// The bytes are synced before the file takes its name, and the folder holding the name after
// it, before the write returns; a folder the write makes is synced into its parent.
TEST_P(SyncedWriteTest, BytesThenNameReachTheDiskBeforeSuccess) {
  const SyncCase& c = GetParam();
  const fs::path target = root_ / c.path;
  if (c.replacing) {
    fs::create_directories(target.parent_path());
    std::ofstream(target) << "old";
  }
  setenv("LF_TRACED_PATH", target.c_str(), 1);
  setenv("LF_TRACED_ROUTE", c.route, 1);
  int status = 0;
  const auto calls = traceCommand(
      "'" + fs::read_symlink("/proc/self/exe").string() +
          "' --gtest_also_run_disabled_tests --gtest_filter=TracedWrite.DISABLED_Write "
          ">/dev/null 2>&1",
      "fsync,linkat,rename,renameat,renameat2,mkdir,mkdirat", root_ / "trace.log", status);
  if (!calls) GTEST_SKIP() << "strace is missing or cannot trace here";
  ASSERT_EQ(status, 0);

  const std::string folder = target.parent_path().string();
  const auto placed = findCall(*calls, 0, [&](const Call& call) { return names(call, target); });
  ASSERT_TRUE(placed) << "the file never took its name";
  const auto fileSynced = findCall(*calls, 0, [&](const Call& call) {
    return call.name == "fsync" && call.arguments.find("<" + folder + "/") != std::string::npos;
  });
  ASSERT_TRUE(fileSynced) << "the bytes were never synced";
  EXPECT_LT(*fileSynced, *placed);
  EXPECT_TRUE(findCall(*calls, *placed, [&](const Call& call) { return syncs(call, folder); }))
      << "the folder was not synced after the name was given";
  for (std::size_t i = 0; i < calls->size(); ++i) {
    const std::string& arguments = (*calls)[i].arguments;
    if (!(*calls)[i].name.starts_with("mkdir")) continue;
    const auto quoted = arguments.find('"');
    const fs::path made = arguments.substr(quoted + 1, arguments.find('"', quoted + 1) - quoted - 1);
    EXPECT_TRUE(findCall(*calls, i, [&](const Call& call) { return syncs(call, made.parent_path()); }))
        << made << " was not synced into its parent";
  }
}

INSTANTIATE_TEST_SUITE_P(Routes, SyncedWriteTest, ::testing::Values(
    SyncCase{"NewFileUnnamed", "unnamed", false, "out.png"},
    SyncCase{"ReplacedFileUnnamed", "unnamed", true, "out.png"},
    SyncCase{"NewFoldersUnnamed", "unnamed", false, "a/b/out.png"},
    SyncCase{"NewFileNamed", "named", false, "out.png"},
    SyncCase{"ReplacedFileNamed", "named", true, "out.png"},
    SyncCase{"NewFoldersNamed", "named", false, "a/b/out.png"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace platform
