#include "letterforge/batch/chapter_jobs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace letterforge {
namespace {

ChapterFile member(const std::string& name) {
  return ChapterFile{.path = "/tmp/unpacked/" + name, .label = "ch.cbz:" + name};
}

Chapter sampleChapter() {
  Chapter chapter{.source = "ch.cbz"};
  chapter.pages = {
      {.name = "1.png", .image = member("1.png"), .ocr = member("1.ocr.json"), .translation = member("1.translation.json")},
      {.name = "2.jpg", .image = member("2.jpg")},
      {.name = "3.tif", .image = member("3.tif"), .ocr = member("3.ocr.json"), .translation = member("3.translation.json")},
      {.name = "ch/4.webp", .image = member("ch/4.webp"), .ocr = member("ch/4.ocr.json"),
       .translation = ChapterFile{.label = "ch.cbz:ch/4.translation.json"}}};
  return chapter;
}

struct OutputCase {
  const char* name;
  std::string format;  // empty: none given
  std::vector<std::string> outputs;
};
class ChapterEntriesTest : public ::testing::TestWithParam<OutputCase> {};

TEST_P(ChapterEntriesTest, PagesKeepTheirNamesInTheFormatWritten) {
  JobOptions options;
  std::string failure;
  if (!GetParam().format.empty()) {
    ASSERT_TRUE(setJobOption(options, "format", GetParam().format, failure)) << failure;
  }
  std::vector<std::string> outputs;
  for (const ManifestEntry& entry : chapterEntries(sampleChapter(), "out", options)) outputs.push_back(entry.job.output);
  EXPECT_EQ(outputs, GetParam().outputs);
}

INSTANTIATE_TEST_SUITE_P(Formats, ChapterEntriesTest, ::testing::Values(
    OutputCase{"OwnFormatWhereWritten", "", {"out/1.png", "out/2.jpg", "out/3.png", "out/ch/4.webp"}},
    OutputCase{"FormatOptionForRenderedPages", "jpeg", {"out/1.jpg", "out/2.jpg", "out/3.jpg", "out/ch/4.jpg"}},
    OutputCase{"Webp", "webp", {"out/1.webp", "out/2.jpg", "out/3.webp", "out/ch/4.webp"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChapterEntriesTest, MembersAreReadFromTheirCopiesUnderTheirOwnNames) {
  const auto entries = chapterEntries(sampleChapter(), "out", JobOptions{});
  ASSERT_EQ(entries.size(), 4u);
  const PageJob& first = entries[0].job;
  EXPECT_EQ(first.line, 1);
  EXPECT_EQ(first.image, "/tmp/unpacked/1.png");
  EXPECT_EQ(shownImage(first), "ch.cbz:1.png");
  EXPECT_EQ(first.translationName, "ch.cbz:1.translation.json");
  EXPECT_EQ(first.archive, "ch.cbz");
  EXPECT_FALSE(first.copyImage);
  EXPECT_TRUE(entries[1].job.copyImage);  // no payloads: copied
  // One payload missing: rendered, failing on the file it lacks, named as the chapter names it.
  const PageJob& fourth = entries[3].job;
  EXPECT_FALSE(fourth.copyImage);
  EXPECT_EQ(fourth.translation, "ch.cbz:ch/4.translation.json");
  EXPECT_EQ(fourth.translationName, "");
  EXPECT_EQ(entries[3].job.line, 4);
}

}  // namespace
}  // namespace letterforge
