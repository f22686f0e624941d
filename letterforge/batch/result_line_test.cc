#include "letterforge/batch/result_line.h"

#include <gtest/gtest.h>

#include "letterforge/batch/json_lines.h"

namespace letterforge {
namespace {

TEST(ResultLineTest, RenderedPageWithEveryKindOfBlock) {
  PageReport report{.line = 7, .image = "p.png", .output = "out/p.png", .debug = "d.png",
                    .milliseconds = 812, .reportLines = {"bubble_clean patched b1 coverage=0.25"}};
  report.blocks = {
      {.id = "b1", .item = "b1+b2",
       .cleanup = {.action = CleanupAction::kPatched, .coverage = 0.25, .confidence = 0.5},
       .typeset = {.drawn = true, .size = 23.5}},
      {.id = "b2", .item = "b1+b2",
       .cleanup = {.action = CleanupAction::kFallback, .confidence = 0.125,
                   .fallbackReason = "low_bubble_confidence",
                   .fallbackAction = CleanupAction::kInpainted},
       .typeset = {.drawn = true, .size = 23.5}},
      {.id = "b\n3", .item = "b\n3", .cleanup = {.action = CleanupAction::kRefused},
       .typeset = {.drawn = false, .overflowed = true, .unknownCharacters = 2},
       .flags = {.uncleaned = true, .overflowed = true, .unknownCharacters = true,
                 .spansBalloons = true}}};
  EXPECT_EQ(resultLine(report),
            R"({"line":7,"image":"p.png","output":"out/p.png","debug":"d.png","ok":true,)"
            R"("status":0,"milliseconds":812,"report":["bubble_clean patched b1 coverage=0.25"],)"
            R"("blocks":[{"id":"b1","item":"b1+b2","cleanup":"patched","coverage":0.25,)"
            R"("confidence":0.5,"drawn":true,"font_size":23.5,"overflowed":false,)"
            R"("unknown_characters":0,"flags":[]},{"id":"b2","item":"b1+b2","cleanup":"fallback",)"
            R"("confidence":0.125,"fallback_reason":"low_bubble_confidence",)"
            R"("fallback_cleanup":"inpainted","drawn":true,"font_size":23.5,"overflowed":false,)"
            R"("unknown_characters":0,"flags":[]},{"id":"b\n3","item":"b\n3","cleanup":"refused",)"
            R"("drawn":false,"overflowed":true,"unknown_characters":2,)"
            R"("flags":["uncleaned","overflowed","unknown_characters","spans_balloons"]}],"warnings":[]})");
}

TEST(ResultLineTest, FailedPageNamesItsClassAndMessageAndOnlyThePathsKnown) {
  const PageReport report{.line = 2, .failure = RunFailure{"not valid JSON at byte 1: x", 2}};
  EXPECT_EQ(resultLine(report),
            R"({"line":2,"ok":false,"status":2,"message":"not valid JSON at byte 1: x",)"
            R"("milliseconds":0,"report":[],"blocks":[],"warnings":[]})");
}

TEST(ResultLineTest, SkippedPageSaysWhyAndWarningsAreListed) {
  PageReport report{.line = 4, .image = "ch.cbz:4.png", .output = "out/4.png", .skipped = "done earlier"};
  report.warnings = {"1 translation id is not in the OCR: 'b9'"};
  EXPECT_EQ(resultLine(report),
            R"({"line":4,"image":"ch.cbz:4.png","output":"out/4.png","ok":true,"status":0,)"
            R"("skipped":"done earlier","milliseconds":0,"report":[],"blocks":[],)"
            R"("warnings":["1 translation id is not in the OCR: 'b9'"]})");
}

TEST(CheckLineTest, ListsEveryProblemWithItsStatusAndTheWarnings) {
  const PageCheckReport report{
      .line = 3, .image = "p3.png", .output = "out/p3.png",
      .problems = {{"Could not open image: p3.png", 1}, {"p3.ocr.json: blocks: expected an array, found null", 3}},
      .warnings = {"w"}};
  EXPECT_EQ(checkLine(report),
            R"({"line":3,"image":"p3.png","output":"out/p3.png","ok":false,"problems":[)"
            R"({"status":1,"message":"Could not open image: p3.png"},)"
            R"({"status":3,"message":"p3.ocr.json: blocks: expected an array, found null"}],)"
            R"("warnings":["w"]})");
  EXPECT_EQ(checkLine(PageCheckReport{.line = 1}), R"({"line":1,"ok":true,"problems":[],"warnings":[]})");
}

TEST(ResultLineTest, IsAlwaysOneObjectOnOneLine) {
  const PageReport report{.line = 1, .image = "a\nb\xC3", .output = "\x1b[2J",
                          .failure = RunFailure{"Could not open image: a\nb", 1}};
  const std::string line = resultLine(report);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_EQ(line.find('\x1b'), std::string::npos);
  std::string failure;
  EXPECT_TRUE(parseJsonObjectLine(line, failure)) << failure;
}

}  // namespace
}  // namespace letterforge
