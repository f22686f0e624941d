#include "letterforge/driver/run_report.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

struct NumberCase {
  const char* name;
  double value;
  std::string text;
};
class FormatTwoDecimalsTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(FormatTwoDecimalsTest, WritesFixedNotationWithTwoDecimals) {
  EXPECT_EQ(formatTwoDecimals(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Table, FormatTwoDecimalsTest, ::testing::Values(
    NumberCase{"TwoDecimalsAsGiven", 0.68, "0.68"},
    NumberCase{"TrailingZeroKept", 0.7, "0.70"},
    NumberCase{"One", 1.0, "1.00"},
    NumberCase{"Zero", 0.0, "0.00"},
    NumberCase{"NegativeZeroKeepsItsSign", -0.0, "-0.00"},
    NumberCase{"SmallNegativeRoundsToNegativeZero", -0.004, "-0.00"},
    NumberCase{"RoundsUp", 0.6875, "0.69"},
    NumberCase{"CoverageOfFortyPercent", 0.4, "0.40"},
    // 0.125 lies exactly between two results: the even one is taken.
    NumberCase{"ExactHalfToEven", 0.125, "0.12"},
    NumberCase{"ExactHalfToEvenUpwards", 0.375, "0.38"},
    // 2.675 is stored as 2.67499999999999982236431605997495353221893310546875.
    NumberCase{"StoredBelowTheHalf", 2.675, "2.67"},
    // 0.005 is stored slightly above the half.
    NumberCase{"StoredAboveTheHalf", 0.005, "0.01"},
    NumberCase{"CapOfTheConfidence", 0.99, "0.99"},
    NumberCase{"AlmostOne", 0.999, "1.00"},
    NumberCase{"NoGrouping", 1234567.891, "1234567.89"},
    NumberCase{"LargeValueInFixedNotation", 1e20, "100000000000000000000.00"},
    NumberCase{"Negative", -3.14159, "-3.14"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FormatTwoDecimalsTest, LargestDoublesAreWrittenInFull) {
  const std::string largest = formatTwoDecimals(DBL_MAX);
  EXPECT_EQ(largest.size(), 309u + 3u);
  EXPECT_EQ(largest.substr(0, 6), "179769");
  EXPECT_EQ(largest.substr(largest.size() - 3), ".00");
  EXPECT_EQ(formatTwoDecimals(-DBL_MAX), "-" + largest);
}

TEST(FormatTwoDecimalsTest, NonFiniteValues) {
  EXPECT_EQ(formatTwoDecimals(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(formatTwoDecimals(-std::numeric_limits<double>::infinity()), "-inf");
  EXPECT_EQ(formatTwoDecimals(std::nan("")), "nan");
}

// Every line the sink receives, each followed by a line feed.
std::string capture(const std::function<void(const ReportSink&)>& write) {
  std::string lines;
  write([&](std::string_view line) { (lines += line) += '\n'; });
  return lines;
}

TEST(ReportLineTest, PatchedLines) {
  EXPECT_EQ(capture([](auto& s) { reportPatched(s, "p3", 0.4, 0.6875); }),
            "bubble_clean patched p3 coverage=0.40 confidence=0.69\n");
  EXPECT_EQ(capture([](auto& s) { reportPatchedDense(s, "p1+p2", 0.5, 0.99); }),
            "bubble_clean patched dense p1+p2 coverage=0.50 confidence=0.99\n");
  EXPECT_EQ(capture([](auto& s) { reportPatchedEmpty(s, "b7", 0.7391); }),
            "bubble_clean patched empty b7 confidence=0.74\n");
  EXPECT_EQ(capture([](auto& s) { reportPatchedGrouped(s, "p9"); }),
            "bubble_clean patched grouped p9\n");
}

TEST(ReportLineTest, LabelsAreWrittenVerbatim) {
  EXPECT_EQ(capture([](auto& s) { reportPatchedGrouped(s, "e\u0301 x"); }),
            "bubble_clean patched grouped e\u0301 x\n");
  EXPECT_EQ(capture([](auto& s) { reportPatchedGrouped(s, ""); }),
            "bubble_clean patched grouped \n");
}

// A caller reads standard error line by line: an id cannot break a line or reach the terminal.
TEST(ReportLineTest, ControlCharactersInLabelsAndNotesAreEscaped) {
  EXPECT_EQ(capture([](auto& s) { reportPatched(s, "p1\n+p2", 0.4, 0.6875); }),
            "bubble_clean patched p1\\n+p2 coverage=0.40 confidence=0.69\n");
  EXPECT_EQ(capture([](auto& s) { reportPatchedDense(s, "\x1b[31m", 0.5, 0.99); }),
            "bubble_clean patched dense \\x1b[31m coverage=0.50 confidence=0.99\n");
  EXPECT_EQ(capture([](auto& s) { reportPatchedEmpty(s, std::string("a\0b", 3), 0.7391); }),
            "bubble_clean patched empty a\\x00b confidence=0.74\n");
  EXPECT_EQ(capture([](auto& s) { reportPatchedGrouped(s, "p\xC2\x85" "9"); }),
            "bubble_clean patched grouped p\\u00859\n");
  EXPECT_EQ(capture([](auto& s) { reportFallbackReasons(s, {"fallback_empty_mask:p\r7"}); }),
            "bubble_clean fallback reasons: fallback_empty_mask:p\\r7\n");
  EXPECT_EQ(capture([](auto& s) { reportSafetyGate(s, {"p\t1", "p4"}); }),
            "cleanup skipped (safety gate) for ids: p\\t1,p4\n");
}

TEST(ReportLineTest, NotesAreJoinedWithCommasAlone) {
  EXPECT_EQ(capture([](auto& s) {
              reportFallbackReasons(
                  s, {"fallback_low_bubble_confidence:p3", "fallback_empty_mask:p7"});
            }),
            "bubble_clean fallback reasons: fallback_low_bubble_confidence:p3,fallback_empty_mask:p7\n");
  EXPECT_EQ(capture([](auto& s) { reportSafetyGate(s, {"p1", "p4"}); }),
            "cleanup skipped (safety gate) for ids: p1,p4\n");
  EXPECT_EQ(capture([](auto& s) { reportSafetyGate(s, {"only"}); }),
            "cleanup skipped (safety gate) for ids: only\n");
}

TEST(ReportLineTest, SuccessiveLinesKeepTheirOrder) {
  EXPECT_EQ(capture([](auto& s) {
              reportPatched(s, "a", 0.125, 0.99);
              reportPatchedGrouped(s, "b");
              reportFallbackReasons(s, {"fallback_low_bubble_confidence:c"});
            }),
            "bubble_clean patched a coverage=0.12 confidence=0.99\n"
            "bubble_clean patched grouped b\n"
            "bubble_clean fallback reasons: fallback_low_bubble_confidence:c\n");
}

}  // namespace
}  // namespace letterforge
