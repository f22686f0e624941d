// Runs letterforge on small pages, as the built program and in memory, and checks where and
// how each render item's translation lands: the text area's insets, the fitting flags, the
// white fill of a later item, a case worked out by hand from the font's metrics, the sizes
// and area of short groups, the bubble around a block, and the layers of the debug image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "letterforge/debug/debug_overlay.h"
#include "letterforge/driver/exit_status.h"
#include "letterforge/driver/program_run_test_support.h"
#include "letterforge/driver/render_engine.h"
#include "letterforge/raster/image_files.h"
#include "letterforge/raster/test_pages.h"
#include "platform/files.h"
#include "platform/image.h"
#include "platform/png_encoder.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

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

struct Block {
  std::string id;
  double x, y, width, height;  // drawing coordinates
  std::string text;            // as written in the JSON file, escapes included
};

// The OCR file of the blocks on the page, boxes turned over into top-left coordinates.
std::string ocrJson(const PageBitmap& page, const std::vector<Block>& blocks) {
  std::string json = R"({"width": )" + std::to_string(page.width()) + R"(, "height": )" +
                     std::to_string(page.height()) + R"(, "blocks": [)";
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const Block& b = blocks[i];
    json += (i ? ", " : "") + std::string(R"({"id": ")") + b.id +
            R"(", "text": "x", "confidence": 0.9, "bbox": {"x": )" + std::to_string(b.x) +
            ", \"y\": " + std::to_string(double(page.height()) - b.y - b.height) + ", \"w\": " +
            std::to_string(b.width) + ", \"h\": " + std::to_string(b.height) + "}}";
  }
  return json + "]}";
}

std::string translationJson(const std::vector<Block>& blocks) {
  std::string json = R"({"translations": [)";
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    json += (i ? ", " : "") + std::string(R"({"id": ")") + blocks[i].id +
            R"(", "source_text": "x", "translated_text": ")" + blocks[i].text + "\"}";
  }
  return json + "]}";
}

class TypesettingRunTest : public program_run::ScratchDirectoryTest {
 protected:
  static constexpr std::int64_t kWidth = 600;
  static constexpr std::int64_t kHeight = 300;

  void writeInputs(const PageBitmap& page, const std::vector<Block>& blocks) {
    std::string failure;
    const auto png = platform::encodePng(page, failure);
    ASSERT_TRUE(png.has_value()) << failure;
    ASSERT_TRUE(platform::writeFileReplacing(dir_ / "page.png", *png, failure)) << failure;
    writeText("ocr.json", ocrJson(page, blocks));
    writeText("tr.json", translationJson(blocks));
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

// --- The typesetting loop in memory -------------------------------------------------------

// The page's pixels as a decoded image: rows top first, opaque.
platform::DecodedImage decodedFrom(const PageBitmap& page) {
  platform::DecodedImage image = *platform::allocateImage(page.width(), page.height());
  for (std::int64_t y = 0; y < page.height(); ++y) {
    std::uint8_t* row = image.row(page.height() - 1 - y);
    for (std::int64_t x = 0; x < page.width(); ++x) {
      const Rgb8 c = page.pixel(x, y);
      const std::uint8_t rgba[] = {c.red, c.green, c.blue, 255};
      std::copy(rgba, rgba + 4, row + 4 * x);
    }
  }
  return image;
}

constexpr platform::Color kRedOutline{1.0, 0.0, 0.0, 1.0};
bool reddish(Rgb8 c) { return c.red > c.green; }

// Components 0 to 255 of a colour worked out by hand.
struct Shade {
  double red, green, blue;
};

// `top` at the given alpha over `under`.
Shade over(const platform::Color& top, double alpha, Shade under) {
  const auto mix = [&](double c, double below) { return 255.0 * c * alpha + below * (1.0 - alpha); };
  return {mix(top.red, under.red), mix(top.green, under.green), mix(top.blue, under.blue)};
}

void expectShade(Rgb8 got, Shade want) {
  EXPECT_NEAR(got.red, want.red, 3);
  EXPECT_NEAR(got.green, want.green, 3);
  EXPECT_NEAR(got.blue, want.blue, 3);
}

class TypesettingLoopTest : public ::testing::Test {
 protected:
  static constexpr std::int64_t kWidth = 600;
  static constexpr std::int64_t kHeight = 300;

  // The blocks over the page in "bubble_clean" mode, every option at its default but the
  // outline's width and colour.
  RenderResult render(const PageBitmap& page, const std::vector<Block>& blocks, double stroke,
                      platform::Color strokeColor, bool debugImage = false) {
    RenderJob job{.image = decodedFrom(page),
                  .ocr = PayloadText{ocrJson(page, blocks), "ocr"},
                  .translations = PayloadText{translationJson(blocks), "tr"},
                  .debugImage = debugImage};
    job.settings.cleanupMode = CleanupMode::kBubbleClean;
    job.settings.typeset.strokeWidth = stroke;
    job.settings.typeset.strokeColor = strokeColor;
    RunFailure failure;
    auto result = engine_.render(std::move(job), [](std::string_view) {}, failure);
    EXPECT_TRUE(result.has_value()) << failure.message;
    if (!result || !result->page.bitmap) return RenderResult{};
    return std::move(*result);
  }

  PageBitmap renderPage(const PageBitmap& page, const std::vector<Block>& blocks, double stroke,
                        platform::Color strokeColor) {
    RenderResult result = render(page, blocks, stroke, strokeColor);
    if (!result.page.bitmap) return test_pages::makePage(page.width(), page.height());
    return std::move(*result.page.bitmap);
  }

  RenderEngine engine_;
};

// A render item of 3 or 4 blocks whose joined text has at most 80 user-perceived characters
// is a short group in "bubble_clean" mode: on plain paper its text area grows, and its text
// is fitted between larger sizes.
struct ShortGroupCase {
  const char* name;
  int ids;
  int characters;
  bool shortGroup;
};
void PrintTo(const ShortGroupCase& c, std::ostream* out) { *out << c.name; }
class ShortGroupTest : public TypesettingLoopTest,
                       public ::testing::WithParamInterface<ShortGroupCase> {
 protected:
  // A first line of l with a combining acute (two scalars, three bytes each) and 30 lines of
  // a bar: the characters are the acute l's, 30 bars and 30 line feeds.
  static std::vector<std::string> lines(int characters) {
    std::string first;
    for (int i = 0; i < characters - 60; ++i) first += "l\u0301";
    std::vector<std::string> result{first};
    result.insert(result.end(), 30, "|");
    return result;
  }

  // The lines shared out among `ids` blocks stacked in one column that spans (200, 100) to
  // (400, 200); grouping joins them back into one item with line feeds between the blocks.
  static std::vector<Block> stacked(const std::vector<std::string>& lines, int ids) {
    std::vector<Block> blocks;
    const double h = 100.0 / ids;
    for (int k = 0; k < ids; ++k) {
      std::string text;
      for (std::size_t i = k * lines.size() / ids; i < (k + 1) * lines.size() / ids; ++i) {
        text += (text.empty() ? "" : "\\n") + lines[i];
      }
      blocks.push_back({"b" + std::to_string(k), 200, 200 - (k + 1) * h, 200, h, text});
    }
    return blocks;
  }
};

// The item is 200 x 100, its margin 13. 31 lines overflow every area (at 11.2 without line
// spacing they are over 400 high), so the text is drawn from the area's top at the smallest
// size tried and its thick red outline is cut at the bottom of the text rectangle, the area
// inset by 5.85.
// A short group's area grows by 48 and 34 beyond the margin: bottom 100 - 13 - 34 + 5.85 =
// 58.85. Any other item has long text and takes the bubble around it: the search grows the
// item by 36 and 18 (pad 42, cut to the search bounds), inset by 4: bottom 100 - 14 + 5.85 =
// 91.85. A short group starts at the floor 18.9 and stops at 15.9, above its minimum 15.48;
// any other bubble item starts at 16.2 and stops at 11.2, above 10.5.
// Each item is compared with a pair of blocks holding the same text: never a short group.
TEST_P(ShortGroupTest, GrowsTheAreaAndRaisesTheSizes) {
  const ShortGroupCase& c = GetParam();
  const PageBitmap white = test_pages::makePage(kWidth, kHeight);
  const std::vector<std::string> text = lines(c.characters);
  const PageBitmap out = renderPage(white, stacked(text, c.ids), 40, kRedOutline);
  const PageBitmap pair = renderPage(white, stacked(text, 2), 40, kRedOutline);
  const Box page{0, 0, kWidth, kHeight};
  EXPECT_EQ(boundsOf(out, page, reddish).y0, c.shortGroup ? 58 : 91);
  EXPECT_EQ(boundsOf(pair, page, reddish).y0, 91);
  if (!c.shortGroup) {
    EXPECT_EQ(test_pages::differingPixels(out, pair), 0);
    return;
  }
  // The widest line is the first; its width follows the size drawn.
  const Box ink = boundsOf(out, page, dark);
  const Box pairInk = boundsOf(pair, page, dark);
  ASSERT_GT(pairInk.x1 - pairInk.x0, 20);
  EXPECT_NEAR(double(ink.x1 - ink.x0) / double(pairInk.x1 - pairInk.x0), 15.9 / 11.2, 0.1);
}

INSTANTIATE_TEST_SUITE_P(IdsAndCharacters, ShortGroupTest, ::testing::Values(
    ShortGroupCase{"TwoIds80Characters", 2, 80, false},
    ShortGroupCase{"TwoIds81Characters", 2, 81, false},
    // 80 characters are 100 scalars and 120 bytes.
    ShortGroupCase{"ThreeIds80Characters", 3, 80, true},
    ShortGroupCase{"ThreeIds81Characters", 3, 81, false},
    ShortGroupCase{"FourIds80Characters", 4, 80, true},
    ShortGroupCase{"FourIds81Characters", 4, 81, false},
    ShortGroupCase{"FiveIds80Characters", 5, 80, false},
    ShortGroupCase{"FiveIds81Characters", 5, 81, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A speech bubble cut by the page's left edge: white inside x < 300, 50 <= y < 250, outlined
// in black 3 pixels wide along its other sides, on grey paper. One block, 200 x 80 at
// (20, 110), margin 10.4: its own area reaches 9.6 to 230.4 across.
class BubbleAreaTest : public TypesettingLoopTest {
 protected:
  static PageBitmap bubblePage() {
    PageBitmap page = test_pages::makePage(kWidth, kHeight, test_pages::grey(110));
    test_pages::paintRect(page, 0, 47, 303, 206, test_pages::kBlack);
    test_pages::paintRect(page, 0, 50, 300, 200, test_pages::kWhite);
    return page;
  }
  static Block block(const std::string& text) { return {"a", 20, 110, 200, 80, text}; }
};

// The bubble search grows the block by 42 (0.65 x 80, capped), cut by the bounds it may not
// leave (64 and 25.6 around the block) and by the page: 0 to 262 across, 84.4 to 215.6 up,
// all bubble paper. Inset by 5 and then by 8.112 and 4.68, the text rectangle spans
// 13.112 to 248.888 across and 94.08 to 205.92 up; the block's own area would give
// 17.712 to 222.288 and 104.28 to 195.72.
TEST_F(BubbleAreaTest, OverflowingTextFillsTheBubbleInteriorBeyondTheBlockArea) {
  const PageBitmap page = bubblePage();
  const Box bubble{0, 50, 300, 250};
  // As with the inset of plain text, the thick outline of narrow letters reaches both sides
  // of the clip and bars reach its bottom; the first line stays below its top.
  const Box letters =
      boundsOf(renderPage(page, {block(std::string(1200, 'l'))}, 40, kRedOutline), bubble, reddish);
  EXPECT_EQ(letters.x0, 13);
  EXPECT_EQ(letters.x1 - 1, 248);
  EXPECT_LE(letters.y1 - 1, 205);
  const Box bars =
      boundsOf(renderPage(page, {block(std::string(1200, '|'))}, 40, kRedOutline), bubble, reddish);
  EXPECT_EQ(bars.y0, 94);
}

TEST_F(BubbleAreaTest, TextIsCentredInTheBubbleInteriorNotInTheBlockArea) {
  // The text rectangle's middle is 131 across; the block's own area has its middle at 120.
  const PageBitmap out =
      renderPage(bubblePage(), {block("Hello there, friend")}, 25, platform::kWhite);
  const Box ink = boundsOf(out, {0, 50, 300, 250}, dark);
  ASSERT_GT(ink.x1 - ink.x0, 50);
  EXPECT_NEAR((ink.x0 + ink.x1) / 2.0, 131.0, 2.0);
}

// The debug image of a "bubble_clean" run draws the item outlines, then the decision
// regions, then the tint of the cleaned masks.
TEST_F(TypesettingLoopTest, DebugImageTintsMasksOverRegionsOverItemOutlines) {
  // A block 120 x 16 at (100.5, 100) on white: its cleanup margin and its text margin are
  // both 4, so the patch region (yellow, 1.8 wide) and the render item's outline (green, 2.4
  // wide) share the left edge x = 96.5 and both cover column 96 whole. A stroke of
  // lettering at columns 97 and 98, rows 102 to 105, sticks out of the tight box; the bubble
  // mask marks it grown by 2, which reaches column 96 on rows 100 to 107.
  PageBitmap page = test_pages::makePage(300, 200);
  test_pages::paintRect(page, 97, 102, 2, 4, test_pages::kBlack);
  RenderResult result =
      render(page, {{"a", 100.5, 100, 120, 16, "Hello there friend"}}, 25, platform::kWhite, true);
  ASSERT_TRUE(result.debug && result.debug->bitmap);
  const PageBitmap& debug = *result.debug->bitmap;
  const Shade outline = over(systemGreenColor, 1.0, {255, 255, 255});
  const Shade region = over(systemYellowColor, 0.9, outline);
  // Below the mask the region shows over the outline; on the mask the tint lies over both.
  expectShade(debug.pixel(96, 98), region);
  expectShade(debug.pixel(96, 103), over(systemRedColor, 0.45, region));
}

}  // namespace
}  // namespace letterforge
