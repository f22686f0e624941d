#include "letterforge/batch/batch_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "letterforge/driver/exit_status.h"

namespace letterforge {
namespace {

namespace fs = std::filesystem;

class BatchRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lf-batch-run-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The sample page, written to `output` in the cleanup mode.
  ManifestEntry samplePage(std::int64_t line, const std::string& output, const char* mode) {
    const fs::path examples = fs::path(LF_SOURCE_DIR) / "examples";
    ManifestEntry entry{.job = {.line = line,
                                .image = examples / "page.png",
                                .ocr = examples / "ocr.json",
                                .translation = examples / "translation.json",
                                .output = dir_ / output}};
    entry.job.options.settings.cleanupMode = *choiceOfWord(kCleanupModeWords, mode);
    return entry;
  }

  std::vector<PageReport> run(const std::vector<ManifestEntry>& entries, int workers,
                              std::atomic<bool>& stop, bool stopAfterFirst = false) {
    std::vector<PageReport> reports;
    const std::int64_t count = runBatch(entries, workers, stop, [&](const PageReport& report) {
      reports.push_back(report);
      if (stopAfterFirst) stop = true;
    });
    EXPECT_EQ(count, static_cast<std::int64_t>(reports.size()));
    return reports;
  }

  fs::path dir_;
};

TEST_F(BatchRunTest, ABadPageNeverStopsTheOthers) {
  std::vector<ManifestEntry> entries = {
      samplePage(1, "a.png", "bubble_clean"),
      {.job = {.line = 2}, .failure = "not valid JSON at byte 1: x"},
      samplePage(3, "c.png", "white_fill"),
      samplePage(4, "d.png", "text_inpaint"),
      samplePage(5, "e.png", "white_fill")};
  entries[2].job.image = (dir_ / "missing.png").string();
  std::atomic<bool> stop{false};
  std::vector<PageReport> reports = run(entries, 3, stop);
  std::sort(reports.begin(), reports.end(),
            [](const PageReport& a, const PageReport& b) { return a.line < b.line; });
  ASSERT_EQ(reports.size(), 5u);
  EXPECT_FALSE(reports[0].failure);
  EXPECT_FALSE(reports[0].reportLines.empty());  // bubble_clean reports its blocks
  EXPECT_EQ(reports[1].failure, (RunFailure{"not valid JSON at byte 1: x", kExitUsage}));
  EXPECT_EQ(reports[2].failure,
            (RunFailure{"Could not open image: " + (dir_ / "missing.png").string(),
                        kExitImageUnreadable}));
  EXPECT_FALSE(reports[3].failure);
  EXPECT_FALSE(reports[4].failure);
  EXPECT_TRUE(fs::exists(dir_ / "a.png") && fs::exists(dir_ / "d.png") && fs::exists(dir_ / "e.png"));
  EXPECT_FALSE(fs::exists(dir_ / "c.png"));
}

TEST_F(BatchRunTest, NoPageIsTakenOnceStopped) {
  const std::vector<ManifestEntry> entries = {samplePage(1, "a.png", "white_fill"),
                                              samplePage(2, "b.png", "white_fill")};
  std::atomic<bool> stop{true};
  EXPECT_TRUE(run(entries, 2, stop).empty());
  stop = false;
  // One worker: the stop set while reporting the first page keeps the second from starting.
  const auto reports = run(entries, 1, stop, true);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].line, 1);
  EXPECT_TRUE(fs::exists(dir_ / "a.png"));
  EXPECT_FALSE(fs::exists(dir_ / "b.png"));
}

}  // namespace
}  // namespace letterforge
