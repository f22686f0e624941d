#include "letterforge/cleanup/enclosing_paper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "letterforge/raster/test_pages.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;
using namespace test_pages;
using platform::PageBitmap;
using platform::Rgb8;

constexpr Rgb8 kBlue{40, 60, 200};
constexpr Rgb8 kCaption{250, 230, 120};
constexpr std::int64_t kSize = 80;
// The block's core: cells 20 <= column < 60, 30 <= row < 50.
constexpr CellRange kCore{20, 30, 60, 50};

// Bars of ink 3 cells wide every 7 across the core: the lettering.
void paintLetters(PageBitmap& page, Rgb8 ink) {
  for (std::int64_t x = kCore.c0 + 2; x + 3 <= kCore.c1 - 2; x += 7) paintRect(page, x, kCore.r0 + 3, 3, 14, ink);
}

struct PaperCase {
  const char* name;
  std::function<void(PageBitmap&)> paint;
  bool boxed;
  Rgb8 paper = kCaption;  // the colour the ground model found
  PaperEdge edge = PaperEdge::kOutlined;
  CellRange inside = {12, 22, 68, 58};  // the paper found
};

class EnclosingPaperTest : public ::testing::TestWithParam<PaperCase> {};

// Each cell is judged by its largest channel difference from the paper's colour.
TEST_P(EnclosingPaperTest, FindsTheBoxOnlyWhereAnOutlineParts) {
  const PaperCase& c = GetParam();
  PageBitmap page = makePage(kSize, kSize, kBlue);
  c.paint(page);
  const PixelWindow window = copyWindow(page, PixelBounds{0, kSize, 0, kSize, kSize, kSize});
  std::vector<float> distance(static_cast<std::size_t>(window.cells()));
  for (std::int64_t i = 0; i < window.cells(); ++i) {
    const float* v = window.at(i);
    distance[static_cast<std::size_t>(i)] = std::max({std::abs(v[0] - c.paper.red), std::abs(v[1] - c.paper.green),
                                                      std::abs(v[2] - c.paper.blue)});
  }
  const LetteringArea area{.core = kCore, .reach = {10, 20, 70, 60}, .otherText = emptyGrid(kSize, kSize)};
  const auto paper = enclosingPaper(window, distance, 14.0f, area, c.edge);
  ASSERT_EQ(paper.has_value(), c.boxed);
  if (!paper) return;
  // The caption's inside, letters and all; never its outline or the ground beyond.
  for (std::int64_t r = 0; r < kSize; ++r) {
    for (std::int64_t cl = 0; cl < kSize; ++cl) {
      const bool inside = c.inside.contains(cl, r);
      EXPECT_EQ(paper->cells[static_cast<std::size_t>(r * kSize + cl)] != 0, inside) << cl << "," << r;
    }
  }
}

// A caption box from (10, 20) to (70, 60) with an outline 2 cells wide.
void paintCaption(PageBitmap& page, Rgb8 outline, Rgb8 paper = kCaption) {
  paintRect(page, 10, 20, 60, 40, outline);
  paintRect(page, 12, 22, 56, 36, paper);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EnclosingPaperTest,
    ::testing::Values(
        PaperCase{"TightCaptionOnAnotherGround", [](PageBitmap& p) { paintCaption(p, kBlack); paintLetters(p, kBlack); },
                  true},
        PaperCase{"HairlineFromOutlineToLettersIsClosedOver",
                  [](PageBitmap& p) {
                    paintCaption(p, kBlack);
                    paintLetters(p, kBlack);
                    // A dark chain of grain one cell thick from the outline to the first letter.
                    paintRect(p, 12, 40, 10, 1, grey(60));
                  },
                  true},
        PaperCase{"HaloWithTheSameGroundOnBothSides",
                  [](PageBitmap& p) {
                    paintRect(p, 16, 26, 48, 28, kCaption);
                    paintLetters(p, kBlack);
                  },
                  false},
        PaperCase{"OutlineOnGroundOfThePapersColour",
                  [](PageBitmap& p) {
                    paintRect(p, 0, 0, kSize, kSize, kCaption);
                    paintCaption(p, kBlack);
                    paintLetters(p, kBlack);
                  },
                  false},
        // A line of its own is enough where the ground beyond may be the paper's colour.
        PaperCase{"LineOnGroundOfThePapersColour",
                  [](PageBitmap& p) {
                    paintRect(p, 0, 0, kSize, kSize, kCaption);
                    paintCaption(p, kBlack);
                    paintLetters(p, kBlack);
                  },
                  true, kCaption, PaperEdge::kLine},
        // A box running past its balloon's bottom edge into a gutter of the paper's colour:
        // the balloon's paper alone, not the gutter the box takes in.
        PaperCase{"BoxRunningPastTheBalloonsEdge",
                  [](PageBitmap& p) {
                    paintRect(p, 0, 46, kSize, kSize - 46, kCaption);
                    paintRect(p, 10, 20, 60, 26, kBlack);
                    paintRect(p, 12, 22, 56, 22, kCaption);
                    for (std::int64_t x = kCore.c0 + 2; x + 3 <= kCore.c1 - 2; x += 7) paintRect(p, x, 33, 3, 8, kBlack);
                  },
                  true, kCaption, PaperEdge::kLine, {12, 22, 68, 44}},
        PaperCase{"LineOfTheGroundsOwnColourIsNone",
                  [](PageBitmap& p) {
                    paintRect(p, 16, 26, 48, 28, kCaption);
                    paintLetters(p, kBlack);
                  },
                  false, kCaption, PaperEdge::kLine},
        PaperCase{"BoxHoldingHalfTheCore",
                  [](PageBitmap& p) {
                    paintRect(p, 10, 20, 30, 40, kBlack);
                    paintRect(p, 12, 22, 26, 36, kCaption);
                    paintLetters(p, kBlack);
                  },
                  false},
        PaperCase{"LightGroundAroundADarkRimIsNoOutline",
                  [](PageBitmap& p) {
                    paintCaption(p, kCaption, kBlack);
                    paintLetters(p, kWhite);
                  },
                  false, kBlack},
        PaperCase{"TwoColouredLineIsNoOutline",
                  [](PageBitmap& p) {
                    paintCaption(p, kBlack);
                    for (std::int64_t x = 10; x < 70; x += 2) paintRect(p, x, 20, 1, 40, kRed);
                    paintRect(p, 12, 22, 56, 36, kCaption);
                    paintLetters(p, kBlack);
                  },
                  false},
        // A JPEG blurs the paper's colour, not its lightness, 2 cells into the outline: the
        // line is found past that band, and the paper is what lies within it.
        PaperCase{"OutlineBlurredIntoThePaperByAJpeg",
                  [](PageBitmap& p) {
                    paintCaption(p, kBlack, Rgb8{236, 222, 142});
                    paintRect(p, 14, 24, 52, 32, kCaption);
                    paintLetters(p, kBlack);
                  },
                  true, kCaption, PaperEdge::kOutlined, {14, 24, 66, 56}},
        // A white halo's soft edge onto a darker ground is a band of another lightness: no
        // blur, and the ground beyond it no outline.
        PaperCase{"SoftEdgeOfAHaloIsNoBlur",
                  [](PageBitmap& p) {
                    paintCaption(p, grey(150), grey(225));
                    paintRect(p, 14, 24, 52, 32, kWhite);
                    paintLetters(p, kBlack);
                  },
                  false, kWhite}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace letterforge
