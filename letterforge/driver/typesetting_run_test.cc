// Runs the built letterforge program on small pages and checks where and how each render
// item's translation lands: the text area's insets, the fitting flags, the white fill of a
// later item, and a case worked out by hand from the font's metrics.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "letterforge/driver/exit_status.h"
#include "letterforge/driver/program_run_test_support.h"
#include "letterforge/raster/image_files.h"
#include "letterforge/raster/test_pages.h"
#include "platform/files.h"
#include "platform/png_encoder.h"

namespace letterforge {
namespace {

using platform::PageBitmap;
using platform::Rgb8;
using program_run::ProgramRun;

// Metrics of the bold user-interface face, per point of size, read from the font: line box
// height, capital height, and the width of the ink of "Hello world".
constexpr double kLineHeight = 1.21022;
constexpr double kCapHeight = 0.72728;
constexpr double kHelloWorldInk = 5.37287;

// Columns x0 <= x < x1 and rows y0 <= y < y1 in drawing coordinates (origin bottom-left).
struct Box {
  std::int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// Bounds of the pixels of the box that pass the test; x1 <= x0 when there are none.
template <typename Test>
Box boundsOf(const PageBitmap& page, const Box& b, Test test) {
  Box found{b.x1, b.y1, b.x0, b.y0};
  for (std::int64_t y = b.y0; y < b.y1; ++y) {
    for (std::int64_t x = b.x0; x < b.x1; ++x) {
      if (!test(page.pixel(x, y))) continue;
      found = {std::min(found.x0, x), std::min(found.y0, y), std::max(found.x1, x + 1),
               std::max(found.y1, y + 1)};
    }
  }
  return found;
}

bool dark(Rgb8 c) { return c.red < 200 && c.red == c.green && c.green == c.blue; }

class TypesettingRunTest : public program_run::ScratchDirectoryTest {
 protected:
  static constexpr std::int64_t kWidth = 600;
  static constexpr std::int64_t kHeight = 300;

  struct Block {
    std::string id;
    double x, y, width, height;  // drawing coordinates
    std::string text;
  };

  void writeInputs(const PageBitmap& page, const std::vector<Block>& blocks) {
    std::string failure;
    const auto png = platform::encodePng(page, failure);
    ASSERT_TRUE(png.has_value()) << failure;
    ASSERT_TRUE(platform::writeFileReplacing(dir_ / "page.png", *png, failure)) << failure;
    std::string ocr = R"({"width": 600, "height": 300, "blocks": [)";
    std::string translations = R"({"translations": [)";
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      const Block& b = blocks[i];
      const std::string comma = i ? ", " : "";
      ocr += comma + R"({"id": ")" + b.id + R"(", "text": "x", "confidence": 0.9, "bbox": {"x": )" +
             std::to_string(b.x) + ", \"y\": " + std::to_string(kHeight - b.y - b.height) +
             ", \"w\": " + std::to_string(b.width) + ", \"h\": " + std::to_string(b.height) + "}}";
      translations += comma + R"({"id": ")" + b.id + R"(", "source_text": "x", "translated_text": ")" +
                      b.text + "\"}";
    }
    writeText("ocr.json", ocr + "]}");
    writeText("tr.json", translations + "]}");
  }

  // The optional arguments from the base size on; an empty list gives every default.
  PageBitmap render(const std::vector<std::string>& optional, const std::string& output = "out.png") {
    std::vector<std::string> arguments{"page.png", "ocr.json", "tr.json", output};
    arguments.insert(arguments.end(), optional.begin(), optional.end());
    const ProgramRun r = run(arguments);
    EXPECT_EQ(r.status, kExitSuccess) << r.err;
    EXPECT_EQ(r.out, "Rendered " + output + "\n");
    auto image = loadPageImage((dir_ / output).string());
    EXPECT_TRUE(image.has_value());
    if (!image) return test_pages::makePage(1, 1);
    PageBitmap page = *createPageBitmap(image->width, image->height);
    drawPageImage(page, *image);
    return page;
  }

  // Options up to the stroke: base 18, maximum 38, the given scale, spacing 1.12, bold, the
  // given grouping, balanced, no debug image, balanced, the mode, stroke width and colour.
  static std::vector<std::string> options(const std::string& mode, const std::string& stroke,
                                          const std::string& colour = "FFFFFF",
                                          const std::string& grouping = "true",
                                          const std::string& scale = "1") {
    return {"18", "38", scale, "1.12", "bold", grouping, "balanced", "", "balanced", mode, stroke, colour};
  }
};

// "Hello world" in a 200 x 60 block at (150, 100), white fill, no outline, on grey paper.
// Text margin 0.13 x 60 = 7.8; the white area grows the block by 7.8 on every side; the text
// rectangle is that area less 6.084 at the sides and 3.51 at top and bottom: x from 148.284,
// 203.432 wide, y from 95.71, 68.58 high. Start size 0.42 x 68.58 = 28.8036 fits at once:
// required = ceil(3.168 + 4.033 + 1.21022 x 28.8036) = 43. Slack 25.58, offset 3.168: the
// text block's top at 95.71 + 34.29 - 21.5 + 0.792 + 43 = 152.292, its baseline 27.904 lower
// at 124.388, which the glyph images put on the whole pixel 124. Capitals reach 20.948 above
// it (row 144); the bowls of o dip 0.307 below it (row 123). The line is 158.41 wide, centred
// from 170.796: the first glyph's origin lands on 171, its ink 1.82 further, at column 172,
// and the ink is 5.37287 x 28.8036 = 154.76 wide.
TEST_F(TypesettingRunTest, HandWorkedSizeAndPlacement) {
  const PageBitmap grey = test_pages::makePage(kWidth, kHeight, test_pages::grey(128));
  writeInputs(grey, {{"a", 150, 100, 200, 60, "Hello world"}});
  const PageBitmap out = render(options("white_fill", "0"));
  // The white area: 142.2 to 357.8 across, 92.2 to 167.8 up; the pixels it covers whole,
  // through its straight middle.
  const Box white = boundsOf(out, {0, 130, kWidth, 131}, [](Rgb8 c) { return c.red > 250; });
  EXPECT_EQ(white.x0, 143);
  EXPECT_EQ(white.x1, 357);
  const Box whiteColumn = boundsOf(out, {160, 0, 161, kHeight}, [](Rgb8 c) { return c.red > 250; });
  EXPECT_EQ(whiteColumn.y0, 93);
  EXPECT_EQ(whiteColumn.y1, 167);

  const Box ink = boundsOf(out, {150, 100, 350, 160}, dark);
  const double size = 0.42 * 68.58;
  EXPECT_NEAR(ink.y0, 123, 1);
  EXPECT_NEAR(ink.y1 - 1, 144, 1);
  EXPECT_NEAR(ink.y1 - ink.y0, kCapHeight * size + 0.31 + 1, 1.5);
  EXPECT_NEAR(ink.x0, 172, 1);
  EXPECT_NEAR(ink.x1 - ink.x0, kHelloWorldInk * size, 2);
}

struct InsetCase {
  const char* name;
  double x, y, width, height;  // the block, drawing coordinates
  std::int64_t left, right, bottom;  // first and last ink column, lowest ink row
};
class TextInsetRunTest : public TypesettingRunTest,
                         public ::testing::WithParamInterface<InsetCase> {};

// A long word overflows its rectangle and its thick red outline reaches the clip, the white
// area inset by 0.78 p at the sides and 0.45 p at the bottom. Narrow letters leave too little
// room at the line ends for the outline to miss the sides; bars as tall as the line box leave
// no gap between lines for the bottom edge to fall into.
TEST_P(TextInsetRunTest, OverflowingTextIsCutAtTheInsetRectangle) {
  const InsetCase& c = GetParam();
  const PageBitmap grey = test_pages::makePage(kWidth, kHeight, test_pages::grey(128));
  const Box area{static_cast<std::int64_t>(c.x) - 30, static_cast<std::int64_t>(c.y) - 30,
                 static_cast<std::int64_t>(c.x + c.width) + 30,
                 static_cast<std::int64_t>(c.y + c.height) + 30};
  const auto red = [](Rgb8 p) { return p.red > p.green; };
  writeInputs(grey, {{"a", c.x, c.y, c.width, c.height, std::string(400, 'l')}});
  const Box letters = boundsOf(render(options("white_fill", "40", "FF0000")), area, red);
  EXPECT_EQ(letters.x0, c.left);
  EXPECT_EQ(letters.x1 - 1, c.right);
  writeInputs(grey, {{"a", c.x, c.y, c.width, c.height, std::string(400, '|')}});
  EXPECT_EQ(boundsOf(render(options("white_fill", "40", "FF0000")), area, red).y0, c.bottom);
}

INSTANTIATE_TEST_SUITE_P(Items, TextInsetRunTest, ::testing::Values(
    // p = 0.13 x 60 = 7.8: sides 150 - 7.8 + 6.084 = 148.284 and 351.716, bottom
    // 100 - 7.8 + 3.51 = 95.71.
    InsetCase{"Framed", 150, 100, 200, 60, 148, 351, 95},
    // Narrower than 70, so floating: p = 0.08 x 60 = 4.8: sides 150 - 4.8 + 3.744 = 148.944
    // and 211.056, bottom 60 - 4.8 + 2.16 = 57.36.
    InsetCase{"Floating", 150, 60, 60, 150, 148, 211, 57}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TypesettingRunTest, FloatingItemInBubbleModeIsSetAsPlainText) {
  // On blank paper nothing is cleaned, so the bubble mode differs from no cleanup only by how
  // the text is fitted. A narrow item floats and is fitted as plain text; a wide one is not.
  const std::string text = "Tiny words stacked up here";
  const PageBitmap white = test_pages::makePage(kWidth, kHeight);
  writeInputs(white, {{"a", 150, 60, 60, 150, text}});
  EXPECT_EQ(test_pages::differingPixels(render(options("bubble_clean", "25", "000000")),
                                        render(options("none", "25", "000000"))),
            0);
  writeInputs(white, {{"a", 100, 100, 300, 60, text}});
  EXPECT_GT(test_pages::differingPixels(render(options("bubble_clean", "25", "000000")),
                                        render(options("none", "25", "000000"))),
            100);
}

TEST_F(TypesettingRunTest, LaterItemsWhiteFillCoversEarlierText) {
  const PageBitmap grey = test_pages::makePage(kWidth, kHeight, test_pages::grey(128));
  const Block first{"a", 100, 100, 240, 60, "Wide words here"};
  // Both outside each other's grouping reach: grouping is off.
  writeInputs(grey, {first});
  const PageBitmap alone = render(options("white_fill", "0", "FFFFFF", "false"));
  const Box overlap{266, 110, 330, 150};  // inside the second item's area, left of its dot
  ASSERT_GT(boundsOf(alone, overlap, dark).x1, overlap.x0);
  writeInputs(grey, {first, {"b", 270, 90, 150, 80, "."}});
  const PageBitmap both = render(options("white_fill", "0", "FFFFFF", "false"));
  // The second area's white covers the first text, up to where its own dot is drawn.
  EXPECT_LE(boundsOf(both, overlap, dark).x1, overlap.x0);
}

TEST_F(TypesettingRunTest, TextThatFitsOnlyWithCompactSpacingIsDrawnWithIt) {
  // Scale 0.5 makes the start the floor, 18, which is also the minimum. The text rectangle of
  // a 200 x 45 block is 45 + 1.1 x 5.85 = 51.435 high. Two lines at 18 need
  // ceil(3 + 4 + 2 x 1.21022 x 18 + 2.16) = 53 with spacing, 51 without.
  const PageBitmap white = test_pages::makePage(kWidth, kHeight);
  writeInputs(white, {{"a", 150, 100, 200, 45, "HHHH HHHH\\nHHHH HHHH"}});
  const PageBitmap out = render(options("white_fill", "0", "FFFFFF", "true", "0.5"));
  // The two baselines lie one line box apart, with no spacing between the lines.
  const Box lower = boundsOf(out, {150, 80, 350, 125}, dark);
  const Box upper = boundsOf(out, {150, 125, 350, 170}, dark);
  ASSERT_GT(lower.x1, lower.x0);
  ASSERT_GT(upper.x1, upper.x0);
  EXPECT_NEAR(upper.y0 - lower.y0, kLineHeight * 18, 1.0);
  EXPECT_NEAR(upper.y1 - upper.y0, kCapHeight * 18, 1.5);
}

TEST_F(TypesettingRunTest, InfiniteBaseSizeDrawsAtTheMaximum) {
  // The minimum size is infinite and above the start, 38: measured once and drawn at 38,
  // overflowing into the clip, like a base size of 1e300.
  const PageBitmap white = test_pages::makePage(kWidth, kHeight);
  writeInputs(white, {{"a", 100, 100, 300, 80, "Hello world"}});
  const PageBitmap infinite = render({"inf"});
  const PageBitmap huge = render({"1e300"});
  const Box ink = boundsOf(infinite, {0, 0, kWidth, kHeight}, dark);
  ASSERT_GT(ink.x1, ink.x0);
  EXPECT_NEAR(ink.x1 - ink.x0, kHelloWorldInk * 38, 3);
  EXPECT_EQ(test_pages::differingPixels(infinite, huge), 0);
}

}  // namespace
}  // namespace letterforge
