#include "letterforge/batch/progress.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

struct ProgressCase {
  const char* name;
  Progress progress;
  std::string line;
  std::string summary;
};
class ProgressTextTest : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(ProgressTextTest, ShowsCountsRateAndTimeLeft) {
  EXPECT_EQ(progressLine(GetParam().progress), GetParam().line);
  EXPECT_EQ(summaryLine(GetParam().progress), GetParam().summary);
}

INSTANTIATE_TEST_SUITE_P(Table, ProgressTextTest, ::testing::Values(
    ProgressCase{"NothingDoneYet", {0, 0, 40, 5.0}, "0/40 pages, -- pages/min, --:-- left",
                 "40 pages in 0:05 (-- pages/min): 0 rendered, 40 not started"},
    ProgressCase{"TenOfFortyInHalfAMinute", {10, 0, 40, 30.0}, "10/40 pages, 20.0 pages/min, 1:30 left",
                 "40 pages in 0:30 (20.0 pages/min): 10 rendered, 30 not started"},
    ProgressCase{"FailuresCounted", {3, 1, 4, 2.5}, "3/4 pages, 1 failed, 72.0 pages/min, 0:01 left",
                 "4 pages in 0:03 (72.0 pages/min): 2 rendered, 1 failed, 1 not started"},
    ProgressCase{"AllDone", {4, 0, 4, 1.0}, "4/4 pages, 240.0 pages/min, 0:00 left",
                 "4 pages in 0:01 (240.0 pages/min): 4 rendered"},
    ProgressCase{"HoursLeft", {1, 0, 100, 3600.0}, "1/100 pages, 0.0 pages/min, 99:00:00 left",
                 "100 pages in 1:00:00 (0.0 pages/min): 1 rendered, 99 not started"},
    ProgressCase{"FlaggedBlocksCounted", {40, 0, 40, 60.0, 3, 2, 5, 1, 2},
                 "40/40 pages, 3 uncleaned, 5 overflowed, 1 with unknown characters, "
                 "2 spanning balloons, 40.0 pages/min, 0:00 left",
                 "40 pages in 1:00 (40.0 pages/min): 40 rendered; 3 blocks left uncleaned on 2 "
                 "pages, 5 overflowed, 1 with unknown characters, 2 spanning balloons"},
    ProgressCase{"OneUncleanedBlockAlone", {1, 1, 1, 60.0, 1, 1},
                 "1/1 pages, 1 failed, 1 uncleaned, 1.0 pages/min, 0:00 left",
                 "1 pages in 1:00 (1.0 pages/min): 0 rendered, 1 failed; 1 block left uncleaned "
                 "on 1 page"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProgressBarTest, BarFillsWithThePagesDoneAndNeverWrapsTheLine) {
  const Progress half{20, 0, 40, 60.0};
  const std::string text = progressLine(half);
  const std::string wide = progressBar(half, 200);
  EXPECT_EQ(wide, "[" + std::string(20, '#') + std::string(20, '.') + "] " + text);
  const std::string fitted = progressBar(half, 70);
  EXPECT_EQ(fitted.size(), 69u);
  EXPECT_TRUE(fitted.ends_with(text));
  EXPECT_EQ(progressBar(half, 30), text.substr(0, 29));
}

TEST(ProgressBarTest, DurationsRoundUpToWholeSeconds) {
  EXPECT_EQ(formatDuration(0.0), "0:00");
  EXPECT_EQ(formatDuration(0.2), "0:01");
  EXPECT_EQ(formatDuration(59.5), "1:00");
  EXPECT_EQ(formatDuration(3599.0), "59:59");
  EXPECT_EQ(formatDuration(3600.5), "1:00:01");
}

}  // namespace
}  // namespace letterforge
