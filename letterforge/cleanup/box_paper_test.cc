#include "letterforge/cleanup/box_paper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

#include "letterforge/cleanup/repaint.h"
#include "letterforge/raster/test_pages.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;
using namespace test_pages;
using platform::PageBitmap;
using platform::Rgb8;

constexpr std::int64_t kWidth = 140, kHeight = 80;
constexpr Rgb8 kPaper{235, 225, 110};
constexpr Rgb8 kBeyond{60, 40, 200};
constexpr Rgb8 kInk{25, 20, 20};
// The lettering: bars 3 pixels wide every 7 across the box.
constexpr std::int64_t kBoxX = 24, kBoxY = 32, kBoxW = 80, kBoxH = 16;

struct BoxPaperCase {
  const char* name;
  Rgb8 dotInk;
  std::int64_t dot;    // side of the dots, one in every cell of the print (0: plain paper)
  std::int64_t pitch;  // side of the print's cells
  std::optional<Rgb8> beyond;  // the ground beyond the caption's outline; none: no outline
  std::optional<std::int64_t> dotSize;  // what the paper's dots measure; absent: no box paper
  bool dotted = true;
  bool joinedToALine = false;  // the last four strokes stand on a line running off the page
  // A ring one pixel wide, two pixels out from the strokes, of this colour (a scan's or a
  // JPEG's paler, greyer fringe); it is lettering too.
  std::optional<Rgb8> fringe = std::nullopt;
  // The outline's top side, 8 pixels above the box, runs off the page, and a mark 3 pixels
  // wide stands from it into the paper down to a stroke (an exclamation mark joined to its
  // balloon's line).
  bool markOnTheOutline = false;
  // The paper reaches only this far around the box (a halo hugging its strokes); 0: the
  // caption's whole rectangle.
  std::int64_t margin = 0;
  // The paper more than 6 pixels out from the box is of this colour (print darkening towards a
  // caption's border).
  std::optional<Rgb8> paperAround = std::nullopt;
};

// The caption printed in dots, each placed in its cell by a hash of the cell (print is not a
// perfect grid), inside an outline 2 pixels wide or running on over the whole page.
PageBitmap cleanPage(const BoxPaperCase& c) {
  const bool outlined = c.beyond.has_value();
  PageBitmap page = makePage(kWidth, kHeight, c.beyond.value_or(kPaper));
  std::int64_t x0 = outlined ? 12 : 0, y0 = !outlined ? 0 : c.markOnTheOutline ? kBoxY - 8 : 16;
  std::int64_t x1 = outlined ? 128 : kWidth, y1 = outlined ? 64 : kHeight;
  if (c.margin > 0) {
    x0 = kBoxX - c.margin, y0 = kBoxY - c.margin, x1 = kBoxX + kBoxW + c.margin, y1 = kBoxY + kBoxH + c.margin;
  }
  if (outlined) paintRect(page, x0 - 2, y0 - 2, x1 - x0 + 4, y1 - y0 + 4, kBlack);
  if (c.markOnTheOutline) paintRect(page, 0, y0 - 2, kWidth, 2, kBlack);
  paintRect(page, x0, y0, x1 - x0, y1 - y0, c.paperAround.value_or(kPaper));
  if (c.paperAround) paintRect(page, kBoxX - 6, kBoxY - 6, kBoxW + 12, kBoxH + 12, kPaper);
  for (std::int64_t cy = y0; c.dot > 0 && cy + c.pitch <= y1; cy += c.pitch) {
    for (std::int64_t cx = x0; cx + c.pitch <= x1; cx += c.pitch) {
      const auto hash = static_cast<std::uint64_t>(cx * 7919 + cy * 104729) * 0x9E3779B97F4A7C15u;
      const std::int64_t room = c.pitch - c.dot + 1;
      paintRect(page, cx + static_cast<std::int64_t>((hash >> 40) % room),
                cy + static_cast<std::int64_t>((hash >> 50) % room), c.dot, c.dot, c.dotInk);
    }
  }
  return page;
}

bool isLettering(std::int64_t x, std::int64_t y) {
  return x >= kBoxX && x < kBoxX + kBoxW && y >= kBoxY && y < kBoxY + kBoxH && (x - kBoxX) % 7 < 3 &&
         x - (x - kBoxX) % 7 + 3 <= kBoxX + kBoxW;
}

bool nearLettering(std::int64_t x, std::int64_t y, std::int64_t by) {
  for (std::int64_t dy = -by; dy <= by; ++dy) {
    for (std::int64_t dx = -by; dx <= by; ++dx) {
      if (isLettering(x + dx, y + dy)) return true;
    }
  }
  return false;
}

std::array<double, 3> meanOverLettering(const PageBitmap& page, std::array<double, 3>* spread) {
  std::array<double, 3> sum{}, squares{};
  double n = 0;
  for (std::int64_t y = kBoxY; y < kBoxY + kBoxH; ++y) {
    for (std::int64_t x = kBoxX; x < kBoxX + kBoxW; ++x) {
      if (!isLettering(x, y)) continue;
      const Rgb8 p = page.pixel(x, y);
      const std::array<double, 3> v{double(p.red), double(p.green), double(p.blue)};
      for (int ch = 0; ch < 3; ++ch) {
        sum[ch] += v[ch];
        squares[ch] += v[ch] * v[ch];
      }
      n += 1;
    }
  }
  for (int ch = 0; ch < 3; ++ch) {
    sum[ch] /= n;
    (*spread)[ch] = std::sqrt(std::max(0.0, squares[ch] / n - sum[ch] * sum[ch]));
  }
  return sum;
}

// The box paper of the block in the test's box, the whole page its window.
std::optional<BoxPaper> boxPaperOfTheBlock(const PageBitmap& page) {
  const PixelWindow window = copyWindow(page, PixelBounds{0, kWidth, 0, kHeight, kWidth, kHeight});
  CellGrid usable = emptyGrid(kWidth, kHeight);
  fillRange(usable, CellRange{0, 0, kWidth, kHeight});
  const LetteringArea area{.core = {kBoxX - 2, kBoxY - 2, kBoxX + kBoxW + 2, kBoxY + kBoxH + 2},
                           .reach = {kBoxX - 12, kBoxY - 12, kBoxX + kBoxW + 12, kBoxY + kBoxH + 12},
                           .otherText = emptyGrid(kWidth, kHeight)};
  return findBoxPaper(window, area, usable);
}

class BoxPaperTest : public ::testing::TestWithParam<BoxPaperCase> {};

TEST_P(BoxPaperTest, DarkStrokesWiderThanTheDotsAreReplacedByThePapersDots) {
  const BoxPaperCase& c = GetParam();
  const PageBitmap clean = cleanPage(c);
  PageBitmap page = cleanPage(c);
  for (std::int64_t y = kBoxY; y < kBoxY + kBoxH; ++y) {
    for (std::int64_t x = kBoxX; x < kBoxX + kBoxW; ++x) {
      if (isLettering(x, y)) page.setPixel(x, y, kInk);
    }
  }
  if (c.joinedToALine) paintRect(page, kBoxX + 56, kBoxY + kBoxH, kWidth, 2, kInk);
  if (c.markOnTheOutline) paintRect(page, kBoxX + 28, kBoxY - 8, 3, 8, kInk);
  for (std::int64_t y = 0; c.fringe && y < kHeight; ++y) {
    for (std::int64_t x = 0; x < kWidth; ++x) {
      if (nearLettering(x, y, 2) && !nearLettering(x, y, 1)) page.setPixel(x, y, *c.fringe);
    }
  }
  const auto found = boxPaperOfTheBlock(page);
  ASSERT_EQ(found.has_value(), c.dotSize.has_value());
  if (!found) return;
  EXPECT_EQ(found->dotSize, *c.dotSize);
  EXPECT_EQ(found->dotted, c.dotted);

  const RepaintOutcome outcome =
      repaintLettering(page, Rect{double(kBoxX), double(kBoxY), double(kBoxW), double(kBoxH)}, {}, 5);
  EXPECT_TRUE(outcome.cleaned);
  EXPECT_EQ(outcome.ground, GroundKind::kPaper);
  // Where the strokes were: the paper's mean colour, with its dots (no flat slab).
  std::array<double, 3> cleanSpread{}, spread{};
  const auto cleanMean = meanOverLettering(clean, &cleanSpread);
  const auto mean = meanOverLettering(page, &spread);
  for (int ch = 0; ch < 3; ++ch) {
    EXPECT_NEAR(mean[ch], cleanMean[ch], 12.0) << "channel " << ch;
    EXPECT_GE(spread[ch], 0.5 * cleanSpread[ch]) << "channel " << ch;
  }
  // Nothing else changed: not the outline, nor the dots beyond those that touch a stroke; on
  // plain paper the strokes' fringe is gone.
  std::int64_t changed = 0, fringeLeft = 0;
  for (std::int64_t y = 0; y < kHeight; ++y) {
    for (std::int64_t x = 0; x < kWidth; ++x) {
      const bool near = nearLettering(x, y, std::max<std::int64_t>(c.dot + 1, c.fringe ? 2 : 0));
      changed += !near && page.pixel(x, y) != clean.pixel(x, y) ? 1 : 0;
      fringeLeft += near && page.pixel(x, y) != clean.pixel(x, y) && !c.dotted ? 1 : 0;
    }
  }
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(fringeLeft, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BoxPaperTest,
    ::testing::Values(
        BoxPaperCase{"ColouredDotsOfOnePixel", {90, 140, 160}, 1, 4, kBeyond, 1},
        BoxPaperCase{"ColouredDotsTwoPixelsWide", {120, 160, 60}, 2, 4, kBeyond, 1},
        // Beyond the outline a ground as dark as the outline: the dots tell the paper.
        BoxPaperCase{"ColouredDotsOnADarkGround", {90, 140, 160}, 1, 4, grey(30), 1},
        BoxPaperCase{"BlackDotsOfOnePixel", {30, 30, 30}, 1, 4, kBeyond, 2},
        BoxPaperCase{"BlackDotsTwoPixelsWide", {30, 30, 30}, 2, 6, kBeyond, 3},
        BoxPaperCase{"PlainPaper", {}, 0, 4, kBeyond, 1, false},
        BoxPaperCase{"MarkJoinedToTheOutline", {}, 0, 4, kBeyond, 1, false, false, std::nullopt, true},
        // A balloon drawn on a gutter of its own paper's colour: the line alone parts them.
        BoxPaperCase{"PlainPaperOnAGroundOfItsColour", {}, 0, 4, kPaper, 1, false},
        BoxPaperCase{"PlainPaperWithAFringeAroundTheStrokes", {}, 0, 4, kBeyond, 1, false, false, Rgb8{240, 232, 126}},
        // Dots as wide as the strokes cannot be told from them.
        BoxPaperCase{"BlackDotsAsWideAsTheStrokes", {30, 30, 30}, 3, 6, kBeyond, std::nullopt},
        // Black dots over a quarter of the paper: a grey tone rather than paper.
        BoxPaperCase{"BlackDotsCoveringAQuarter", {30, 30, 30}, 2, 4, kBeyond, std::nullopt},
        // Without an outline the dotted ground may be a tone or a drawing running on.
        BoxPaperCase{"NoOutlineAroundThePaper", {90, 140, 160}, 1, 4, std::nullopt, std::nullopt},
        // Lettering that runs into a drawing's lines is left to the texture fill.
        BoxPaperCase{"StrokesJoinedToALine", {90, 140, 160}, 1, 4, kBeyond, std::nullopt, true, true},
        // Plain paper on a ground as dark as its edge: a box (a narrow balloon on dark art)
        // when its paper reaches far from the strokes, a halo when it hugs them.
        BoxPaperCase{"PlainPaperOnADarkGround", {}, 0, 4, grey(30), 1, false},
        BoxPaperCase{"HaloOnADarkGround", {}, 0, 4, grey(30), std::nullopt, false, false, std::nullopt, false, 5},
        // Printed paper darkens towards a caption's border; flat paper lighter among the
        // letters than around them is a halo.
        BoxPaperCase{"DottedPaperDarkerTowardsItsBorder", {90, 140, 160}, 1, 4, kBeyond, 1, true, false, std::nullopt,
                     false, 0, Rgb8{221, 203, 84}},
        BoxPaperCase{"FlatPaperDarkerAroundTheLetters", {}, 0, 4, kBeyond, std::nullopt, false, false, std::nullopt,
                     false, 0, Rgb8{221, 203, 84}},
        // Around the box the print carries more of the paper's own ink (yellower, 50 levels
        // off in blue).
        BoxPaperCase{"DottedPaperWithMoreOfItsInkAround", {90, 140, 160}, 1, 4, kBeyond, 1, true, false, std::nullopt,
                     false, 0, Rgb8{224, 210, 60}}),
    [](const auto& info) { return std::string(info.param.name); });

// Two lines of lettering, each a block of its own, in a white halo or in a plain caption on a
// dark teal ground: the halo around the next line reaches far from this line's strokes, but hugs
// the next line's, and is no paper.
TEST(BoxPaperTest, HaloAroundThisLineAndTheNextIsNoPaper) {
  constexpr std::int64_t kTop = 14, kNextTop = 34, kLineH = 12, kLeft = 24, kRight = 104;
  for (const bool halo : {true, false}) {
    PageBitmap page = makePage(kWidth, kHeight, Rgb8{30, 55, 55});
    if (halo) {
      paintRect(page, kLeft - 5, kTop - 5, kRight - kLeft + 10, kNextTop + kLineH - kTop + 10, kWhite);
    } else {
      paintRect(page, 10, 4, 120, 72, kBlack);
      paintRect(page, 12, 6, 116, 68, kWhite);
    }
    for (const std::int64_t top : {kTop, kNextTop}) {
      for (std::int64_t x = kLeft; x + 3 <= kRight; x += 7) paintRect(page, x, top, 3, kLineH, Rgb8{20, 20, 60});
    }
    const PixelWindow window = copyWindow(page, PixelBounds{0, kWidth, 0, kHeight, kWidth, kHeight});
    CellGrid usable = emptyGrid(kWidth, kHeight);
    fillRange(usable, CellRange{0, 0, kWidth, kHeight});
    fillRange(usable, CellRange{kLeft - 2, kNextTop - 2, kRight + 2, kNextTop + kLineH + 2}, 0);
    LetteringArea area{.core = {kLeft - 2, kTop - 2, kRight + 2, kTop + kLineH + 2},
                       .reach = {kLeft - 12, 0, kRight + 12, kTop + kLineH + 12},
                       .otherText = emptyGrid(kWidth, kHeight)};
    fillRange(area.otherText, CellRange{kLeft - 12, kNextTop - 12, kRight + 12, kHeight});
    EXPECT_EQ(findBoxPaper(window, area, usable).has_value(), !halo) << (halo ? "halo" : "caption");
  }
}

// A line of lettering whose last strokes run past the caption's outline onto the ground
// beyond: the caption's paper is not the whole line's ground.
TEST(BoxPaperTest, LetteringRunningOffThePaperIsNotItsPapers) {
  PageBitmap page = makePage(kWidth, kHeight, kBeyond);
  paintRect(page, 10, 14, 78, 52, kBlack);
  paintRect(page, 12, 16, 74, 48, kPaper);
  for (std::int64_t x = kBoxX; x + 3 <= kBoxX + kBoxW; x += 7) paintRect(page, x, kBoxY, 3, kBoxH, kInk);
  EXPECT_FALSE(boxPaperOfTheBlock(page).has_value());
}

}  // namespace
}  // namespace letterforge
