#include "letterforge/batch/shared_files.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

ManifestEntry page(std::int64_t line, std::string image, std::string output, std::string debug = "") {
  return {.job = {.line = line, .image = std::move(image), .ocr = "o.json",
                  .translation = "t.json", .output = std::move(output), .debug = std::move(debug)}};
}

struct SharedCase {
  const char* name;
  std::vector<ManifestEntry> entries;
  std::optional<std::string> fault{};
};
class SharedFileFaultTest : public ::testing::TestWithParam<SharedCase> {};

TEST_P(SharedFileFaultTest, NamesTheLinesThatMeetOnAFile) {
  EXPECT_EQ(sharedFileFault(GetParam().entries), GetParam().fault);
}

INSTANTIATE_TEST_SUITE_P(Table, SharedFileFaultTest, ::testing::Values(
    SharedCase{"FilesOfTheirOwn", {page(1, "a.png", "out/a.png", "out/a-d.png"), page(2, "b.png", "out/b.png")}},
    SharedCase{"SameOutput", {page(1, "a.png", "out/p.png"), page(3, "b.png", "out/p.png")},
               "lines 1 and 3 both write out/p.png"},
    SharedCase{"SameOutputSpelledAnotherWay",
               {page(1, "a.png", "out/p.png"), page(2, "b.png", "./out/x/../p.png")},
               "lines 1 and 2 both write ./out/x/../p.png"},
    SharedCase{"OutputIsAnotherPagesDebugImage",
               {page(1, "a.png", "out/a.png", "out/d.png"), page(2, "b.png", "out/d.png")},
               "lines 1 and 2 both write out/d.png"},
    SharedCase{"DebugImageIsItsOwnOutput", {page(4, "a.png", "out/a.png", "out/a.png")},
               "line 4 writes out/a.png as its output and as its debug image"},
    SharedCase{"OutputIsAnotherPagesImage", {page(1, "a.png", "b.png"), page(2, "b.png", "out/b.png")},
               "line 1 writes b.png as its output, which line 2 reads"},
    SharedCase{"OutputIsAnotherPagesOverrides",
               {page(1, "a.png", "o.blocks.json"), [] {
                  ManifestEntry e = page(2, "b.png", "out/b.png");
                  e.job.options.settings.blocks = "o.blocks.json";
                  return e;
                }()},
               "line 1 writes o.blocks.json as its output, which line 2 reads"},
    SharedCase{"AnImageReplacedByItsOwnPage", {page(1, "a.png", "a.png")}},
    SharedCase{"AnyNumberOfPagesIntoDevNull",
               {page(1, "a.png", "/dev/null", "/dev/null"), page(2, "b.png", "/dev/null")}},
    SharedCase{"UnreadableLinesWriteNothing",
               {page(1, "a.png", "out/p.png"), {.job = page(2, "b.png", "out/p.png").job, .failure = "x"}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace letterforge
