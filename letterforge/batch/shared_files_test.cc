#include "letterforge/batch/shared_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

ManifestEntry page(std::int64_t line, std::string image, std::string output, std::string debug = "",
                   std::string layers = "") {
  return {.job = {.line = line, .image = std::move(image), .ocr = "o.json",
                  .translation = "t.json", .output = std::move(output), .debug = std::move(debug),
                  .layers = std::move(layers)}};
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
    SharedCase{"LayersOfTwoPagesOnOnePrefix",
               {page(1, "a.png", "out/a.png", "", "out/l"), page(2, "b.png", "out/b.png", "", "out/l")},
               "lines 1 and 2 both write out/l.cleaned.png"},
    SharedCase{"ALayerIsItsOwnOutput", {page(5, "a.png", "out/l.psd", "", "out/l")},
               "line 5 writes out/l.psd as its output and as its layer"},
    SharedCase{"ALayerIsAnotherPagesImage",
               {page(1, "a.png", "out/a.png", "", "in/b"), page(2, "in/b.mask.png", "out/b.png")},
               "line 1 writes in/b.mask.png as its layer, which line 2 reads"},
    SharedCase{"UnreadableLinesWriteNothing",
               {page(1, "a.png", "out/p.png"), {.job = page(2, "b.png", "out/p.png").job, .failure = "x"}}}),
    [](const auto& info) { return std::string(info.param.name); });

// Links laid out in a folder (link name, target), the outputs of pages 1 and 2 in it, the
// manifest being "m.jsonl", and the fault, "@" standing for the folder.
struct LinkCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> links;
  std::string first, second;
  std::optional<std::string> fault{};
};
class SharedFileLinkTest : public ::testing::TestWithParam<LinkCase> {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lf-shared-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string in(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
};

// Outputs are compared as the writes will reach them, links followed where their targets do
// not exist yet, before any file is made.
TEST_P(SharedFileLinkTest, LinksAreFollowedAsTheWritesWillFollowThem) {
  const LinkCase& c = GetParam();
  std::filesystem::create_directory(in("out"));
  for (const auto& [link, target] : c.links) std::filesystem::create_symlink(target, in(link));
  const std::vector<ManifestEntry> entries{page(1, in("a.png"), in(c.first)),
                                           page(2, in("b.png"), in(c.second))};
  std::optional<std::string> fault = c.fault;
  if (fault) {
    for (auto at = fault->find('@'); at != std::string::npos; at = fault->find('@')) {
      fault->replace(at, 1, dir_);
    }
  }
  EXPECT_EQ(sharedFileFault(entries, in("m.jsonl")), fault);
}

INSTANTIATE_TEST_SUITE_P(Table, SharedFileLinkTest, ::testing::Values(
    LinkCase{"DanglingLinkAndItsTarget", {{"out/l.png", "t.png"}}, "out/l.png", "out/t.png",
             "lines 1 and 2 both write @/out/t.png"},
    LinkCase{"ChainOfLinksToAMissingFile", {{"out/a.png", "b.png"}, {"out/b.png", "../c.png"}},
             "c.png", "out/a.png", "lines 1 and 2 both write @/out/a.png"},
    LinkCase{"LinkToAFolderTheRunCreates", {{"out/sub", "made"}}, "out/made/p.png",
             "out/sub/p.png", "lines 1 and 2 both write @/out/sub/p.png"},
    LinkCase{"LinksToTwoMissingFiles", {{"out/l.png", "t.png"}, {"out/k.png", "u.png"}},
             "out/l.png", "out/k.png"},
    LinkCase{"OutputThroughALinkOntoTheManifest", {{"out/l.jsonl", "../m.jsonl"}}, "out/l.jsonl",
             "out/b.png", "line 1 writes @/out/l.jsonl as its output, which is the manifest"},
    LinkCase{"OutputOntoTheManifestNamedAnotherWay", {}, "out/../m.jsonl", "out/b.png",
             "line 1 writes @/out/../m.jsonl as its output, which is the manifest"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace letterforge
