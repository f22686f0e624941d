#include "letterforge/batch/console.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "letterforge/driver/exit_status.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

constexpr std::string_view kClearLine = "\r\x1b[K";

// What the console wrote, in order: 'o' for a standard-output line, 'e' for error text.
struct Written {
  char stream;
  std::string text;
};

struct ConsoleCase {
  const char* name;
  ProgressStyle style;
  std::vector<std::string> errorLines;  // the lines left on standard error, without figures
};
class BatchConsoleTest : public ::testing::TestWithParam<ConsoleCase> {};

// A line of standard error without the figures of time and speed, which change from run to run.
std::string withoutTimes(const std::string& line) {
  const auto in = line.find(" in "), figuresEnd = line.find("): ");
  if (in != std::string::npos && figuresEnd != std::string::npos) {
    return line.substr(0, in) + line.substr(figuresEnd + 1);
  }
  if (const auto rate = line.find(" pages/min"); rate != std::string::npos) {
    return line.substr(0, line.rfind(", ", rate));
  }
  return line;
}

// One page rendered, one failed, a note, the summary: every style gives the two result lines
// on standard output; standard error as the style has it.
TEST_P(BatchConsoleTest, ShowsTheRunAsItsStyleSays) {
  std::vector<Written> written;
  BatchConsole console(
      {.output = [&](std::string_view line, std::string&) {
         written.push_back({'o', std::string(line)});
         return true;
       },
       .error = [&](std::string_view text) { written.push_back({'e', std::string(text)}); }},
      GetParam().style, 2, 100);
  console.pageFinished(PageReport{.line = 1, .image = "a.png", .output = "a-out.png"});
  console.note("a note");
  console.pageFinished(PageReport{.line = 3, .failure = RunFailure{"it\nbroke", kExitUsage}});
  console.finish();

  std::vector<std::string> output;
  std::string error;
  bool barShown = false;
  for (const Written& w : written) {
    if (w.stream == 'o') {
      EXPECT_FALSE(barShown) << "a result line written after the bar: " << w.text;
      output.push_back(w.text);
      continue;
    }
    // The bar is the text after the last clear, when it ends without a line feed.
    const auto clear = w.text.rfind(kClearLine);
    const std::string rest = clear == std::string::npos ? w.text : w.text.substr(clear + kClearLine.size());
    barShown = !rest.empty() && !rest.ends_with('\n');
    if (barShown) {
      EXPECT_TRUE(rest.starts_with("[")) << rest;
      EXPECT_LT(rest.size(), 100u) << "the bar would wrap";
    }
    error += w.text;
  }
  EXPECT_FALSE(barShown) << "the bar is left standing after the summary";
  ASSERT_EQ(output.size(), 2u);
  EXPECT_TRUE(output[0].starts_with("{\"line\":1,\"image\":\"a.png\",\"output\":\"a-out.png\",\"ok\":true"));
  EXPECT_TRUE(output[1].starts_with("{\"line\":3,\"ok\":false,\"status\":2,\"message\":\"it\\nbroke\""));

  // The lines left on the screen: each clear takes back what followed the last line feed.
  std::vector<std::string> lines;
  std::string current;
  for (std::size_t i = 0; i < error.size(); ++i) {
    if (error.compare(i, kClearLine.size(), kClearLine) == 0) {
      current.clear();
      i += kClearLine.size() - 1;
    } else if (error[i] == '\n') {
      lines.push_back(withoutTimes(current));
      current.clear();
    } else {
      current += error[i];
    }
  }
  EXPECT_EQ(current, "");
  EXPECT_EQ(lines, GetParam().errorLines);
  EXPECT_EQ(console.progress().done, 2);
  EXPECT_EQ(console.progress().failed, 1);
}

INSTANTIATE_TEST_SUITE_P(Styles, BatchConsoleTest, ::testing::Values(
    ConsoleCase{"Quiet", ProgressStyle::kQuiet, {}},
    ConsoleCase{"PlainLines", ProgressStyle::kLines,
                {"1/2 pages", "a note", "line 3: it\\nbroke", "2/2 pages, 1 failed",
                 "2 pages: 1 rendered, 1 failed"}},
    // On a terminal the bar is redrawn in place, never left as a line of its own.
    ConsoleCase{"TerminalBar", ProgressStyle::kTerminal,
                {"a note", "line 3: it\\nbroke", "2 pages: 1 rendered, 1 failed"}}),
    [](const auto& info) { return std::string(info.param.name); });

// From the first result line that cannot be written on, each lost one is named on standard
// error, even when quiet, and the console says so to its caller.
TEST(BatchConsoleLossTest, LostResultLinesAreNamedEvenWhenQuiet) {
  std::string error;
  int lines = 0;
  BatchConsole console({.output = [&](std::string_view, std::string& failure) {
                          failure = "Broken\npipe";
                          return ++lines < 2;
                        },
                        .error = [&](std::string_view text) { error += text; }},
                       ProgressStyle::kQuiet, 3, 100);
  console.pageFinished(PageReport{.line = 1});
  EXPECT_FALSE(console.resultsLost());
  console.pageFinished(PageReport{.line = 2});
  console.pageFinished(PageReport{.line = 4, .failure = RunFailure{"it broke", kExitUsage}});
  EXPECT_TRUE(console.resultsLost());
  EXPECT_EQ(error,
            "letterforge-batch: standard output: Broken\\npipe: result lines are lost; starting "
            "no other page\nline 2: its result line could not be written\nline 4: its result "
            "line could not be written\n");
  EXPECT_EQ(console.progress().resultsLost, 2);
  const std::string summary = summaryLine(console.progress());
  EXPECT_TRUE(summary.ends_with("): 2 rendered, 1 failed, 2 results lost")) << summary;
}

}  // namespace
}  // namespace letterforge
