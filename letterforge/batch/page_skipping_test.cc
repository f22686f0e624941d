#include "letterforge/batch/page_skipping.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace letterforge {
namespace {

namespace fs = std::filesystem;

class PageSkippingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lf-skipping-XXXXXX";
    dir_ = ::mkdtemp(pattern);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string write(const std::string& name, const std::string& text, int secondsFromNow = 0) {
    const fs::path path = dir_ / name;
    std::ofstream(path) << text;
    fs::last_write_time(path, fs::file_time_type::clock::now() + std::chrono::seconds(secondsFromNow));
    return path;
  }
  PageJob job(int outputAge) {
    return PageJob{.image = write("p.png", "i"), .ocr = write("p.ocr.json", "o"),
                   .translation = write("p.translation.json", "t"), .output = write("out.png", "x", outputAge)};
  }
  fs::path dir_;
};

TEST_F(PageSkippingTest, OnlyLinesReportingOkCountAndOthersArePassedOver) {
  const std::string results = write("r.jsonl",
      R"({"line":1,"image":"a.png","output":"out/a.png","ok":true,"status":0})" "\n"
      R"({"line":2,"image":"b.png","output":"out/b.png","ok":false,"status":1})" "\n"
      "4/40 pages, 38.1 pages/min\n"
      R"({"line":3,"image":"c.png","output":"out/c.png","ok":"yes"})" "\n"
      R"({"line":4,"image":"d.png","output":"out/d.png","ok":tr)");
  std::string failure;
  const auto done = loadDonePages(results, failure);
  ASSERT_TRUE(done) << failure;
  EXPECT_EQ(done->pages, (std::set<std::pair<std::string, std::string>>{{"a.png", "out/a.png"}}));
  EXPECT_FALSE(loadDonePages((dir_ / "none.jsonl").string(), failure));
  EXPECT_EQ(failure, (dir_ / "none.jsonl").string() + ": cannot be read: No such file or directory");
}

TEST_F(PageSkippingTest, APageDoneEarlierIsSkippedWhileItsOutputIsThere) {
  PageJob page = job(-10);
  DonePages done{.pages = {{page.image, page.output}}};
  EXPECT_EQ(skipReason(page, &done, false), kSkippedDone);
  fs::remove(page.output);
  EXPECT_EQ(skipReason(page, &done, false), std::nullopt);
  EXPECT_EQ(skipReason(job(10), nullptr, false), std::nullopt);
}

struct AgeCase {
  const char* name;
  int outputAge;    // seconds from now
  int debugAge;     // 0: no debug image asked for; 99: asked for but missing
  bool skipped;
};
class SkipExistingTest : public PageSkippingTest, public ::testing::WithParamInterface<AgeCase> {};

TEST_P(SkipExistingTest, OutputsMustBeNewerThanEveryInput) {
  const AgeCase& c = GetParam();
  PageJob page = job(c.outputAge);
  if (c.debugAge == 99) page.debug = (dir_ / "debug.png").string();
  if (c.debugAge != 0 && c.debugAge != 99) page.debug = write("debug.png", "d", c.debugAge);
  EXPECT_EQ(skipReason(page, nullptr, true).has_value(), c.skipped);
}

INSTANTIATE_TEST_SUITE_P(Ages, SkipExistingTest, ::testing::Values(
    AgeCase{"OutputNewer", 10, 0, true},
    AgeCase{"OutputOlder", -10, 0, false},
    AgeCase{"DebugImageNewerToo", 10, 10, true},
    AgeCase{"DebugImageOlder", 10, -10, false},
    AgeCase{"DebugImageMissing", 10, 99, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PageSkippingTest, AMemberOfAnArchiveIsAsOldAsTheArchive) {
  PageJob page = job(10);
  page.imageName = "ch.cbz:p.png";
  page.archive = write("ch.cbz", "a", 20);  // changed after the output was written
  EXPECT_EQ(skipReason(page, nullptr, true), std::nullopt);
  page.archive = write("ch.cbz", "a", 5);
  EXPECT_EQ(skipReason(page, nullptr, true), kSkippedExists);
}

}  // namespace
}  // namespace letterforge
