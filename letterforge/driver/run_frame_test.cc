// Runs the built letterforge program on tiny generated pages and checks its files, its
// standard output and error, and its exit status exactly.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "letterforge/driver/exit_status.h"
#include "letterforge/driver/program_run_test_support.h"
#include "platform/files.h"
#include "platform/image.h"
#include "platform/png_encoder.h"

namespace letterforge {
namespace {

namespace fs = std::filesystem;
using program_run::ProgramRun;
using program_run::readFile;

class LetterforgeRunTest : public program_run::ScratchDirectoryTest {
 protected:
  // A 6 x 4 page: left half opaque red, right half fully transparent.
  void writeHalfTransparentPage(const std::string& name) {
    auto image = platform::allocateImage(6, 4);
    ASSERT_TRUE(image.has_value());
    for (std::int64_t y = 0; y < 4; ++y) {
      for (std::int64_t x = 0; x < 6; ++x) {
        std::uint8_t* p = image->row(y) + 4 * x;
        const bool red = x < 3;
        p[0] = red ? 255 : 0, p[1] = 0, p[2] = 0, p[3] = red ? 255 : 0;
      }
    }
    std::string failure;
    const auto png = platform::encodePng(*image, failure);
    ASSERT_TRUE(png.has_value()) << failure;
    ASSERT_TRUE(platform::writeFileReplacing(dir_ / name, *png, failure)) << failure;
  }
  void writeEmptyPayloads() {
    writeText("ocr.json", R"({"width": 6, "height": 4, "blocks": []})");
    writeText("tr.json", R"({"translations": []})");
  }
};

TEST_F(LetterforgeRunTest, TooFewArgumentsPrintsUsageAndExitsTwo) {
  const ProgramRun r = run({"page.png", "ocr.json", "tr.json"});
  EXPECT_EQ(r.status, kExitUsage);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Usage: letterforge <image> <ocr-json> <translation-json> <output-png>\n");
}

TEST_F(LetterforgeRunTest, MissingImageExitsOneWithItsPathAndWritesNothing) {
  writeEmptyPayloads();
  const ProgramRun r = run({"no/such.png", "ocr.json", "tr.json", "out.png"});
  EXPECT_EQ(r.status, kExitImageUnreadable);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Could not open image: no/such.png\n");
  EXPECT_FALSE(fs::exists(dir_ / "out.png"));
}

TEST_F(LetterforgeRunTest, FileThatIsNotAnImageCannotBeOpened) {
  writeEmptyPayloads();
  writeText("page.png", "this is text, not a picture");
  const ProgramRun r = run({"page.png", "ocr.json", "tr.json", "out.png"});
  EXPECT_EQ(r.status, kExitImageUnreadable);
  EXPECT_EQ(r.err, "Could not open image: page.png\n");
}

TEST_F(LetterforgeRunTest, PipeWithoutWriterAsImageFailsAtOnce) {
  writeEmptyPayloads();
  ASSERT_EQ(mkfifo((dir_ / "page.png").c_str(), 0600), 0);
  const ProgramRun r = run({"page.png", "ocr.json", "tr.json", "out.png"});
  EXPECT_EQ(r.status, kExitImageUnreadable);
  EXPECT_EQ(r.err, "Could not open image: page.png\n");
}

// A private page stays private, and a link to it stays a link.
TEST_F(LetterforgeRunTest, OutputReachedThroughALinkKeepsTheLinkAndTheMode) {
  writeHalfTransparentPage("page.png");
  writeEmptyPayloads();
  fs::create_directory(dir_ / "pages");
  writeText("pages/out.png", "old contents");
  fs::permissions(dir_ / "pages/out.png", fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("pages/out.png", dir_ / "link.png");
  const ProgramRun r = run({"page.png", "ocr.json", "tr.json", "link.png"});
  EXPECT_EQ(r.status, kExitSuccess);
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.png"));
  EXPECT_TRUE(platform::decodeImageFile(dir_ / "pages/out.png").has_value());
  EXPECT_EQ(fs::status(dir_ / "pages/out.png").permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(LetterforgeRunTest, PageWithoutBlocksIsCopiedOnWhite) {
  writeHalfTransparentPage("page.png");
  writeEmptyPayloads();
  const ProgramRun r = run({"page.png", "ocr.json", "tr.json", "out/deeper/result.png"});
  EXPECT_EQ(r.status, kExitSuccess);
  EXPECT_EQ(r.out, "Rendered out/deeper/result.png\n");
  EXPECT_EQ(r.err, "");
  const auto out = platform::decodeImageFile(dir_ / "out/deeper/result.png");
  ASSERT_TRUE(out.has_value());
  ASSERT_EQ(out->width, 6);
  ASSERT_EQ(out->height, 4);
  for (std::int64_t y = 0; y < 4; ++y) {
    for (std::int64_t x = 0; x < 6; ++x) {
      const std::uint8_t* p = out->row(y) + 4 * x;
      const std::vector<int> expected = x < 3 ? std::vector<int>{255, 0, 0, 255}
                                              : std::vector<int>{255, 255, 255, 255};
      EXPECT_EQ((std::vector<int>{p[0], p[1], p[2], p[3]}), expected) << x << "," << y;
    }
  }
}

TEST_F(LetterforgeRunTest, ExistingOutputIsOverwritten) {
  writeHalfTransparentPage("page.png");
  writeEmptyPayloads();
  writeText("out.png", "old contents");
  const ProgramRun r = run({"page.png", "ocr.json", "tr.json", "out.png"});
  EXPECT_EQ(r.status, kExitSuccess);
  EXPECT_TRUE(platform::decodeImageFile(dir_ / "out.png").has_value());
}

TEST_F(LetterforgeRunTest, UnwritableOutputFailsWithoutCompletionLineOrPartialFile) {
  writeHalfTransparentPage("page.png");
  writeEmptyPayloads();
  writeText("blocker", "a file where a directory should be");
  const ProgramRun r = run({"page.png", "ocr.json", "tr.json", "blocker/out.png"});
  EXPECT_EQ(r.status, kExitWriteFailure);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Could not write blocker/out.png: cannot create directory blocker: Not a directory\n");
  EXPECT_EQ(readFile(dir_ / "blocker"), "a file where a directory should be");
}

TEST_F(LetterforgeRunTest, DirectoryInPlaceOfOutputFails) {
  writeHalfTransparentPage("page.png");
  writeEmptyPayloads();
  fs::create_directory(dir_ / "out.png");
  const ProgramRun r = run({"page.png", "ocr.json", "tr.json", "out.png"});
  EXPECT_EQ(r.status, kExitWriteFailure);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(fs::is_directory(dir_ / "out.png"));
}

TEST_F(LetterforgeRunTest, DebugImageFailureKeepsTheFinishedOutput) {
  writeHalfTransparentPage("page.png");
  writeEmptyPayloads();
  fs::create_directory(dir_ / "debug.png");
  const ProgramRun r = run({"page.png", "ocr.json", "tr.json", "out.png", "18", "38", "1", "1.12",
                            "bold", "true", "balanced", "debug.png"});
  EXPECT_EQ(r.status, kExitWriteFailure);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(platform::decodeImageFile(dir_ / "out.png").has_value());
}

TEST_F(LetterforgeRunTest, DebugPathEqualToOutputPathIsWrittenSecond) {
  writeHalfTransparentPage("page.png");
  // One translated block, so that the debug image (its outline over the untouched page)
  // differs from the output (a white patch and the translation).
  writeText("ocr.json", R"({"width": 6, "height": 4, "blocks": [{"id": "b1", "text": "x",
      "confidence": 1, "bbox": {"x": 1, "y": 1, "w": 4, "h": 2}}]})");
  writeText("tr.json",
            R"({"translations": [{"id": "b1", "source_text": "x", "translated_text": "Hi"}]})");
  const std::vector<std::string> options{"18", "38", "1", "1.12", "bold", "true", "balanced"};
  std::vector<std::string> apart{"page.png", "ocr.json", "tr.json", "out.png"};
  apart.insert(apart.end(), options.begin(), options.end());
  apart.push_back("debug.png");
  ASSERT_EQ(run(apart).status, kExitSuccess);
  ASSERT_NE(readFile(dir_ / "out.png"), readFile(dir_ / "debug.png"));

  std::vector<std::string> same{"page.png", "ocr.json", "tr.json", "same.png"};
  same.insert(same.end(), options.begin(), options.end());
  same.push_back(" same.png ");
  const ProgramRun r = run(same);
  EXPECT_EQ(r.status, kExitSuccess);
  EXPECT_EQ(r.out, "Rendered same.png\n");
  EXPECT_EQ(readFile(dir_ / "same.png"), readFile(dir_ / "debug.png"));
}

}  // namespace
}  // namespace letterforge
