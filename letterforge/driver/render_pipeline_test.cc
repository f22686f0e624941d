// Runs the built letterforge program over small drawn pages, one per cleanup mode and per
// failure, and checks its files, its report and the pixels it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "letterforge/driver/exit_status.h"
#include "letterforge/driver/program_run_test_support.h"
#include "letterforge/raster/image_files.h"
#include "letterforge/raster/test_pages.h"
#include "platform/files.h"
#include "platform/png_encoder.h"
#include "platform/test_case_names.h"
#include "platform/text_layout.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

namespace fs = std::filesystem;
using platform::PageBitmap;
using platform::Rgb8;
using program_run::ProgramRun;
using program_run::readFile;
using test_pages::kWhite;
using test_pages::paintRect;

// Source lettering is a dark blue-grey (saturation 0.33, low enough for bubble masks); the
// translations are drawn black with a white outline, so a bluish pixel is source lettering.
constexpr platform::Color kInk{40.0 / 255.0, 40.0 / 255.0, 60.0 / 255.0, 1.0};
bool isLettering(Rgb8 c) { return c.blue >= c.red + 10; }
bool isNeutral(Rgb8 c) { return c.red == c.green && c.green == c.blue; }

struct PixelBox {
  std::int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // x0 <= x < x1, y0 <= y < y1
};

PixelBox grown(const PixelBox& b, std::int64_t by) {
  return {b.x0 - by, b.y0 - by, b.x1 + by, b.y1 + by};
}

template <typename Test>
std::int64_t countIn(const PageBitmap& page, const PixelBox& b, Test test) {
  std::int64_t count = 0;
  for (std::int64_t y = std::max<std::int64_t>(b.y0, 0); y < std::min(b.y1, page.height()); ++y) {
    for (std::int64_t x = std::max<std::int64_t>(b.x0, 0); x < std::min(b.x1, page.width()); ++x)
      count += test(page.pixel(x, y)) ? 1 : 0;
  }
  return count;
}

std::int64_t letteringIn(const PageBitmap& page, const PixelBox& b) {
  return countIn(page, b, isLettering);
}

// Pixels of the box that differ between two pages of one size.
std::int64_t differingIn(const PageBitmap& a, const PageBitmap& b, const PixelBox& box) {
  std::int64_t differing = 0;
  for (std::int64_t y = std::max<std::int64_t>(box.y0, 0); y < std::min(box.y1, a.height()); ++y) {
    for (std::int64_t x = std::max<std::int64_t>(box.x0, 0); x < std::min(box.x1, a.width()); ++x)
      differing += a.pixel(x, y) == b.pixel(x, y) ? 0 : 1;
  }
  return differing;
}

// A photo-like area: neutral grey blotches of 2 x 2 pixels between 60 and 200.
void paintNoise(PageBitmap& page, const PixelBox& b) {
  std::uint32_t state = 12345;
  for (std::int64_t y = b.y0; y < b.y1; y += 2) {
    for (std::int64_t x = b.x0; x < b.x1; x += 2) {
      state = state * 1664525u + 1013904223u;
      paintRect(page, x, y, 2, 2, test_pages::grey(static_cast<std::uint8_t>(60 + (state >> 24) % 141)));
    }
  }
}

class RenderPipelineRunTest : public program_run::ScratchDirectoryTest {
 protected:
  static constexpr std::int64_t kWidth = 480;
  static constexpr std::int64_t kHeight = 320;

  struct Block {
    std::string id;
    PixelBox box;  // the lettering's bounds grown by 6, drawing coordinates
  };

  // Draws source lettering and records its block, boxed around the ink actually drawn.
  PixelBox letter(const std::string& id, const std::string& text, std::int64_t x, std::int64_t y,
                  double size = 26.0) {
    PageBitmap before = copyOf(page_);
    platform::drawTextLine(text_, page_, text, {static_cast<double>(x), static_cast<double>(y)},
                           {.size = size, .weight = platform::FontWeight::bold, .color = kInk,
                            .alignment = platform::TextAlignment::left});
    PixelBox ink{kWidth, kHeight, 0, 0};
    for (std::int64_t py = 0; py < kHeight; ++py) {
      for (std::int64_t px = 0; px < kWidth; ++px) {
        if (page_.pixel(px, py) == before.pixel(px, py)) continue;
        ink = {std::min(ink.x0, px), std::min(ink.y0, py), std::max(ink.x1, px + 1),
               std::max(ink.y1, py + 1)};
      }
    }
    const PixelBox box = grown(ink, 6);
    blocks_.push_back({id, box});
    return box;
  }

  static PageBitmap copyOf(const PageBitmap& page) {
    PageBitmap copy = test_pages::makePage(page.width(), page.height());
    for (std::int64_t y = 0; y < page.height(); ++y) {
      for (std::int64_t x = 0; x < page.width(); ++x) copy.setPixel(x, y, page.pixel(x, y));
    }
    return copy;
  }

  void savePage() {
    std::string failure;
    const auto png = platform::encodePng(page_, failure);
    ASSERT_TRUE(png.has_value()) << failure;
    ASSERT_TRUE(platform::writeFileReplacing(dir_ / "page.png", *png, failure)) << failure;
  }

  // The OCR file of the recorded blocks, boxes turned over into top-left coordinates.
  void writeOcr() {
    std::string json = R"({"width": 480, "height": 320, "blocks": [)";
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
      const PixelBox& b = blocks_[i].box;
      json += (i ? ", " : "") + std::string(R"({"id": ")") + blocks_[i].id +
              R"(", "text": "source", "confidence": 0.9, "bbox": {"x": )" + std::to_string(b.x0) +
              ", \"y\": " + std::to_string(kHeight - b.y1) + ", \"w\": " +
              std::to_string(b.x1 - b.x0) + ", \"h\": " + std::to_string(b.y1 - b.y0) + "}}";
    }
    writeText("ocr.json", json + "]}");
  }

  void writeTranslations(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string json = R"({"translations": [)";
    for (std::size_t i = 0; i < entries.size(); ++i) {
      json += (i ? ", " : "") + std::string(R"({"id": ")") + entries[i].first +
              R"(", "source_text": "source", "translated_text": ")" + entries[i].second + "\"}";
    }
    writeText("tr.json", json + "]}");
  }

  // letterforge page.png ocr.json tr.json out.png, then the optional values up to the cleanup
  // mode, with the debug path and grouping switch given.
  ProgramRun render(const std::string& mode, const std::string& debugPath = "",
                    const std::string& grouping = "true", const std::string& output = "out.png") {
    return run({"page.png", "ocr.json", "tr.json", output, "18", "38", "1", "1.12", "bold", grouping,
                "balanced", debugPath, "balanced", mode});
  }

  // A successful run: the completion line alone on standard output, `err` on standard error.
  static void expectRendered(const ProgramRun& r, const std::string& err = "") {
    EXPECT_EQ(r.status, kExitSuccess);
    EXPECT_EQ(r.out, "Rendered out.png\n");
    EXPECT_EQ(r.err, err);
  }

  PageBitmap load(const std::string& name) {
    auto image = loadPageImage((dir_ / name).string());
    EXPECT_TRUE(image.has_value()) << name;
    if (!image) return test_pages::makePage(1, 1);
    PageBitmap page = *createPageBitmap(image->width, image->height);
    drawPageImage(page, *image);
    return page;
  }

  platform::TextContext text_;
  PageBitmap page_ = test_pages::makePage(kWidth, kHeight);
  std::vector<Block> blocks_;
};

// --- Plain paper: two stacked lines and a grey corner square -----------------------------

class PlainPageTest : public RenderPipelineRunTest {
 protected:
  void SetUp() override {
    RenderPipelineRunTest::SetUp();
    paintRect(page_, 0, 0, 40, 40, test_pages::grey(90));
    first_ = letter("p1", "SOURCE WORDS", 120, 200);
    second_ = letter("p2", "MORE LETTERING", 110, 162);
    savePage();
    writeOcr();
    writeTranslations({{"p1", "Hello there"}, {"p2", "friend"}});
  }

  // Everything the page shows outside the items: the corner square and the far margins.
  void expectUntouchedAway(const PageBitmap& out) {
    EXPECT_EQ(differingIn(out, page_, {0, 0, 60, 60}), 0);
    EXPECT_EQ(differingIn(out, page_, {0, 260, kWidth, kHeight}), 0);
  }

  PixelBox first_, second_;
};

class WhiteFillTest : public PlainPageTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(WhiteFillTest, LetteringUnderTheTextAreasIsGoneAndOnlyTheCompletionLineIsWritten) {
  const ProgramRun r = render("white_fill", "", GetParam());
  expectRendered(r);
  const PageBitmap out = load("out.png");
  ASSERT_GT(letteringIn(page_, first_) + letteringIn(page_, second_), 500);
  EXPECT_EQ(letteringIn(out, grown(first_, 10)), 0);
  EXPECT_EQ(letteringIn(out, grown(second_, 10)), 0);
  // What is left over the areas is the translation: neutral ink on white.
  const PixelBox both{second_.x0, second_.y0, std::max(first_.x1, second_.x1), first_.y1};
  EXPECT_EQ(countIn(out, both, [](Rgb8 c) { return !isNeutral(c); }), 0);
  EXPECT_GT(countIn(out, both, [](Rgb8 c) { return c.red < 60; }), 50);
  expectUntouchedAway(out);
}

INSTANTIATE_TEST_SUITE_P(Grouping, WhiteFillTest, ::testing::Values("true", "false"),
                         [](const auto& info) {
                           return std::string(info.param) == "true" ? "On" : "Off";
                         });

TEST_F(PlainPageTest, WhiteFillLeavesPaperFarFromTheTranslationWhite) {
  // A short translation in a long area: the ends of the area hold no text, only paper.
  writeTranslations({{"p1", "Hi"}});
  const ProgramRun r = render("white_fill", "", "false");
  ASSERT_EQ(r.status, kExitSuccess);
  const PageBitmap out = load("out.png");
  const std::int64_t middle = (first_.x0 + first_.x1) / 2;
  const PixelBox leftEnd{first_.x0, first_.y0, middle - 50, first_.y1};
  const PixelBox rightEnd{middle + 50, first_.y0, first_.x1, first_.y1};
  ASSERT_GT(letteringIn(page_, leftEnd) + letteringIn(page_, rightEnd), 100);
  EXPECT_EQ(countIn(out, leftEnd, [](Rgb8 c) { return !(c == kWhite); }), 0);
  EXPECT_EQ(countIn(out, rightEnd, [](Rgb8 c) { return !(c == kWhite); }), 0);
  // p2 has no translation: its lettering stays.
  EXPECT_EQ(differingIn(out, page_, grown(second_, -4)), 0);
}

TEST_F(PlainPageTest, TextInpaintRemovesLetteringOnPlainPaperSilently) {
  const ProgramRun r = render("text_inpaint", "", "false");
  expectRendered(r);
  const PageBitmap out = load("out.png");
  EXPECT_EQ(letteringIn(out, grown(first_, 10)), 0);
  EXPECT_EQ(letteringIn(out, grown(second_, 10)), 0);
  expectUntouchedAway(out);
}

TEST_F(PlainPageTest, UnknownModeDrawsTranslationsOverTheUntouchedLettering) {
  const ProgramRun r = render("none");
  expectRendered(r);
  const PageBitmap out = load("out.png");
  // The translation's outline hides part of the lettering; the rest shows through.
  const std::int64_t before = letteringIn(page_, first_) + letteringIn(page_, second_);
  const std::int64_t after = letteringIn(out, first_) + letteringIn(out, second_);
  EXPECT_GT(after, before / 4);
  EXPECT_LT(after, before);
  const PixelBox both{second_.x0, second_.y0, std::max(first_.x1, second_.x1), first_.y1};
  EXPECT_GT(countIn(out, both, [](Rgb8 c) { return c.red < 30 && isNeutral(c); }), 50);
  expectUntouchedAway(out);
}

TEST_F(PlainPageTest, DebugImageShowsTheUntouchedPageUnderTheOverlay) {
  const ProgramRun r = render("white_fill", "debug/overlay.png");
  expectRendered(r);
  const PageBitmap out = load("out.png");
  const PageBitmap debug = load("debug/overlay.png");
  // Inside each block, clear of its outline and of the labels at its lower and upper left.
  for (const PixelBox& b : {first_, second_}) {
    const PixelBox inner{b.x0 + 50, b.y0 + 3, b.x1 - 4, b.y1 - 3};
    ASSERT_GT(letteringIn(page_, inner), 100);
    EXPECT_EQ(differingIn(debug, page_, inner), 0);
    EXPECT_GT(differingIn(debug, out, inner), 100);
  }
  // The overlay itself: blue block outlines, the green outline of the merged item.
  EXPECT_GT(countIn(debug, grown(first_, 1), [](Rgb8 c) { return c.blue > c.red + 60; }), 100);
  EXPECT_GT(countIn(debug, grown(first_, 16), [](Rgb8 c) { return c.green > c.red + 60; }), 100);
  EXPECT_EQ(differingIn(debug, page_, {0, 0, 60, 60}), 0);
}

TEST_F(PlainPageTest, DebugPathEqualToOutputIsOverwrittenByTheDebugImage) {
  expectRendered(render("white_fill", "out.png"));
  const PageBitmap written = load("out.png");
  const PixelBox inner{first_.x0 + 50, first_.y0 + 3, first_.x1 - 4, first_.y1 - 3};
  EXPECT_EQ(differingIn(written, page_, inner), 0);
  EXPECT_GT(countIn(written, grown(first_, 1), [](Rgb8 c) { return c.blue > c.red + 60; }), 100);
}

TEST_F(PlainPageTest, DebugWriteFailureKeepsTheOutputAsAWholeRunWritesIt) {
  ASSERT_EQ(render("white_fill").status, kExitSuccess);
  const std::string reference = readFile(dir_ / "out.png");
  fs::rename(dir_ / "out.png", dir_ / "reference.png");
  writeText("blocker", "not a directory");
  const ProgramRun r = render("white_fill", "blocker/debug.png");
  EXPECT_EQ(r.status, kExitWriteFailure);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Could not write blocker/debug.png: cannot create directory blocker: Not a directory\n");
  EXPECT_EQ(readFile(dir_ / "out.png"), reference);
}

TEST_F(PlainPageTest, TranslationOfSpacesLeavesItsBlockAlone) {
  writeTranslations({{"p1", "Hi"}, {"p2", "   "}});
  expectRendered(render("white_fill", "", "false"));
  const PageBitmap out = load("out.png");
  EXPECT_EQ(letteringIn(out, grown(first_, 10)), 0);
  // p1's text area reaches a few pixels into p2's box from above; below that p2 is untouched.
  const PixelBox lower{second_.x0 - 10, second_.y0 - 10, second_.x1 + 10, second_.y1 - 10};
  EXPECT_EQ(differingIn(out, page_, lower), 0);
  EXPECT_EQ(countIn(out, lower, [](Rgb8 c) { return c.red < 30 && isNeutral(c); }), 0);
}

TEST_F(PlainPageTest, RelativeOutputPathIsEchoedAsGiven) {
  fs::create_directory(dir_ / "sub");
  const ProgramRun r = render("white_fill", "", "true", "./sub/../result.png");
  EXPECT_EQ(r.status, kExitSuccess);
  EXPECT_EQ(r.out, "Rendered ./sub/../result.png\n");
  EXPECT_TRUE(fs::exists(dir_ / "result.png"));
}

// --- Safety gate ---------------------------------------------------------------------------

class NoisyPageTest : public RenderPipelineRunTest {
 protected:
  void SetUp() override {
    RenderPipelineRunTest::SetUp();
    paintNoise(page_, {20, 20, 220, 110});
    paintNoise(page_, {260, 20, 460, 110});
    plain_ = letter("p1", "PLAIN PAPER", 130, 220);
    leftNoise_ = letter("p3", "NOISE", 60, 50);
    rightNoise_ = letter("p4", "GRAIN", 300, 50);
    savePage();
    writeOcr();
    writeTranslations({{"p1", "Plain"}, {"p3", "Loud"}, {"p4", "Rough"}});
  }
  PixelBox plain_, leftNoise_, rightNoise_;
};

TEST_F(NoisyPageTest, TextInpaintRefusesBlocksOverNoiseAndNamesThem) {
  const ProgramRun r = render("text_inpaint");
  expectRendered(r, "cleanup skipped (safety gate) for ids: p3,p4\n");
  const PageBitmap out = load("out.png");
  EXPECT_EQ(letteringIn(out, grown(plain_, 10)), 0);
  for (const PixelBox& b : {leftNoise_, rightNoise_}) {
    // The lettering stays, except where the translation is drawn over it.
    EXPECT_GT(letteringIn(out, b), letteringIn(page_, b) / 4);
    EXPECT_GT(countIn(out, b, [](Rgb8 c) { return c.red < 30 && isNeutral(c); }), 10);
  }
}

// --- Bubbles -------------------------------------------------------------------------------

class BubblePageTest : public RenderPipelineRunTest {
 protected:
  static constexpr Rgb8 kPaper{196, 196, 196};  // luminance 0.7686: kept as the patch colour

  void SetUp() override {
    RenderPipelineRunTest::SetUp();
    paintRect(page_, 0, 0, kWidth, kHeight, test_pages::grey(110));
    paintRect(page_, 80, 120, 320, 150, test_pages::kBlack);
    paintRect(page_, 83, 123, 314, 144, kPaper);
    inBubble_ = letter("p1", "HELLO THERE", 170, 186, 22.0);
    outside_ = letter("p2", "OUTSIDE", 180, 40, 22.0);
    savePage();
    writeOcr();
    writeTranslations({{"p1", "Hi there, friend"}, {"p2", "Out"}});
  }
  PixelBox inBubble_, outside_;
};

TEST_F(BubblePageTest, PatchesTheBubbleInItsPaperColourAndReportsEachDecision) {
  const ProgramRun r = render("bubble_clean", "debug.png");
  EXPECT_EQ(r.status, kExitSuccess);
  EXPECT_EQ(r.out, "Rendered out.png\n");  // the report lines vary in their coverage
  // Confidence on grey paper: 0.3 x 0.7686 + 0.38 + 0.16 + 0.16 = 0.9306.
  const std::regex expected(
      "bubble_clean patched p1 coverage=0\\.[0-9]{2} confidence=0\\.93\n"
      "bubble_clean fallback reasons: fallback_low_bubble_confidence:p2\n");
  EXPECT_TRUE(std::regex_match(r.err, expected)) << r.err;

  const PageBitmap out = load("out.png");
  EXPECT_EQ(letteringIn(out, grown(inBubble_, 8)), 0);
  // Inside the bubble, everything but the neutral translation is the paper colour.
  EXPECT_EQ(countIn(out, {86, 126, 394, 264}, [](Rgb8 c) { return !isNeutral(c); }), 0);
  const std::int64_t middle = (inBubble_.x0 + inBubble_.x1) / 2;
  EXPECT_EQ(countIn(out, {inBubble_.x0, inBubble_.y0, middle - 60, inBubble_.y1},
                    [](Rgb8 c) { return !(c == kPaper); }),
            0);
  // Outside the bubble the safety gate keeps the lettering on the grey.
  EXPECT_GT(letteringIn(out, outside_), letteringIn(page_, outside_) / 4);

  const PageBitmap debug = load("debug.png");
  EXPECT_GT(countIn(debug, grown(inBubble_, 30),
                    [](Rgb8 c) { return c.red > c.green + 40 && c.blue > c.green + 40; }),
            50);  // the purple bubble outline
}

TEST_F(BubblePageTest, ReportLinesComeBeforeAWriteFailure) {
  writeText("blocker", "not a directory");
  const ProgramRun r = render("bubble_clean", "", "true", "blocker/out.png");
  EXPECT_EQ(r.status, kExitWriteFailure);
  EXPECT_EQ(r.out, "");
  const std::regex expected(
      "bubble_clean patched p1 coverage=0\\.[0-9]{2} confidence=0\\.93\n"
      "bubble_clean fallback reasons: fallback_low_bubble_confidence:p2\n"
      "Could not write blocker/out.png: cannot create directory blocker: Not a directory\n");
  EXPECT_TRUE(std::regex_match(r.err, expected)) << r.err;
}

// --- Failures that end the run --------------------------------------------------------------

class PayloadFailureTest : public RenderPipelineRunTest {
 protected:
  void SetUp() override {
    RenderPipelineRunTest::SetUp();
    savePage();
  }
  void expectEndedWithoutOutput(const ProgramRun& r, int status) {
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(dir_ / "out.png"));
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.back(), '\n');
  }
  static constexpr const char* kTwoBlocks =
      R"({"width": 480, "height": 320, "blocks": [)"
      R"({"id": "x", "text": "a", "confidence": 0.9, "bbox": {"x": 100, "y": 100, "w": 120, "h": 30}},)"
      R"({"id": "x", "text": "b", "confidence": 0.9, "bbox": {"x": 100, "y": 135, "w": 120, "h": 30}}]})";
};

TEST_F(PayloadFailureTest, BrokenOcrFileIsNamed) {
  writeText("ocr.json", R"({"width": 480, "height": 320, "blocks": [)");
  writeTranslations({});
  const ProgramRun r = render("white_fill");
  expectEndedWithoutOutput(r, kExitPayloadUnreadable);
  EXPECT_EQ(r.err.rfind("ocr.json: ", 0), 0u) << r.err;
}

TEST_F(PayloadFailureTest, BrokenTranslationFileIsNamed) {
  writeText("ocr.json", R"({"width": 480, "height": 320, "blocks": []})");
  writeText("tr.json", R"({"translations": [{"id": "x"}]})");
  const ProgramRun r = render("white_fill");
  expectEndedWithoutOutput(r, kExitPayloadUnreadable);
  EXPECT_EQ(r.err.rfind("tr.json: ", 0), 0u) << r.err;
}

TEST_F(PayloadFailureTest, WhenBothFilesAreBrokenOnlyTheOcrFileIsReported) {
  writeText("ocr.json", "not json");
  writeText("tr.json", "not json either");
  const ProgramRun r = render("white_fill");
  expectEndedWithoutOutput(r, kExitPayloadUnreadable);
  EXPECT_EQ(r.err.rfind("ocr.json: ", 0), 0u) << r.err;
  EXPECT_EQ(r.err.find("tr.json"), std::string::npos) << r.err;
}

TEST_F(PayloadFailureTest, DuplicateTranslationIdEndsTheRun) {
  writeText("ocr.json", R"({"width": 480, "height": 320, "blocks": []})");
  writeTranslations({{"x", "one"}, {"x", ""}});
  const ProgramRun r = render("white_fill");
  expectEndedWithoutOutput(r, kExitDuplicateId);
  EXPECT_EQ(r.err, "Duplicate values for key: 'x'\n");
}

// The id holds a line feed, an escape sequence and a NUL, as JSON escapes.
TEST_F(PayloadFailureTest, DuplicateIdWithControlCharactersIsReportedOnOneLine) {
  writeText("ocr.json", R"({"width": 480, "height": 320, "blocks": []})");
  writeTranslations({{R"(x\n\u001b[2J\u0000)", "one"}, {R"(x\n\u001b[2J\u0000)", "two"}});
  const ProgramRun r = render("white_fill");
  expectEndedWithoutOutput(r, kExitDuplicateId);
  EXPECT_EQ(r.err, "Duplicate values for key: 'x\\n\\x1b[2J\\x00'\n");
}

struct DuplicateOcrCase {
  const char* name;
  const char* grouping;
  const char* mode;
};
class DuplicateOcrIdTest : public PayloadFailureTest,
                           public ::testing::WithParamInterface<DuplicateOcrCase> {};

TEST_P(DuplicateOcrIdTest, TranslatedDuplicatesEndTheRunEvenWhenGroupedTogether) {
  writeText("ocr.json", kTwoBlocks);
  writeTranslations({{"x", "Both lines"}});
  const ProgramRun r = render(GetParam().mode, "", GetParam().grouping);
  expectEndedWithoutOutput(r, kExitDuplicateId);
  EXPECT_EQ(r.err, "Duplicate values for key: 'x'\n");
}

INSTANTIATE_TEST_SUITE_P(
    Runs, DuplicateOcrIdTest,
    ::testing::Values(DuplicateOcrCase{"GroupedWhiteFill", "true", "white_fill"},
                      DuplicateOcrCase{"UngroupedWhiteFill", "false", "white_fill"},
                      DuplicateOcrCase{"GroupedBubbleClean", "true", "bubble_clean"},
                      DuplicateOcrCase{"GroupedNoCleanup", "true", "none"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PayloadFailureTest, UntranslatedDuplicateOcrIdsAreHarmless) {
  writeText("ocr.json", kTwoBlocks);
  writeTranslations({{"y", "Nobody's block"}});
  const ProgramRun r = render("white_fill");
  expectRendered(r);
  EXPECT_EQ(test_pages::differingPixels(load("out.png"), page_), 0);
}

}  // namespace
}  // namespace letterforge
