#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "platform/page_bitmap_testing.h"
#include "platform/test_bitmaps.h"
#include "platform/test_case_names.h"
#include "platform/text_layout.h"

namespace platform {
namespace {

using test_cases::PrintTo;

// Outlined text over paper that may already be the outline's colour everywhere the outline
// reaches, when drawing it can be left out. A page cut into small surfaces always draws it:
// both must come out the same.
struct OutlineCase {
  const char* name;
  Color paper;
  Color stroke;
  double markOffset;  // a grey column this far right of the text's leftmost ink; NaN: none
  bool vertical;
  bool clipped;  // to the text's rectangle
};

class TextOutlineTest : public ::testing::TestWithParam<OutlineCase> {};

constexpr Rect kTextRect{60, 20, 260, 160};
const std::string kText = "Olá, 12 mots!";

TextStyle outlined(const OutlineCase& c) {
  return TextStyle{.size = 40.0, .outlined = true, .strokeColor = c.stroke,
                   .strokeLineWidth = 6.0, .vertical = c.vertical};
}

// The leftmost column the text inks, drawn without outline in black on white.
std::int64_t inkLeft(TextContext& context, const OutlineCase& c) {
  PageBitmap page = whitePage(400, 200);
  TextStyle plain = outlined(c);
  plain.outlined = false;
  drawText(context, page, kText, kTextRect, plain);
  for (std::int64_t x = 0; x < page.width(); ++x) {
    for (std::int64_t y = 0; y < page.height(); ++y) {
      if (page.pixel(x, y).red < 250) return x;
    }
  }
  return -1;
}

PageBitmap drawnOn(TextContext& context, const OutlineCase& c, std::int64_t markX) {
  auto page = PageBitmap::create(400, 200);
  EXPECT_TRUE(page.has_value());
  page->fillRect({0, 0, 400, 200}, c.paper);
  if (markX >= 0) page->fillRect({double(markX), 0, 1, 200}, Color{0.5, 0.5, 0.5, 1.0});
  if (c.clipped) {
    page->save();
    page->clipToRect(kTextRect);
  }
  drawText(context, *page, kText, kTextRect, outlined(c));
  if (c.clipped) page->restore();
  return std::move(*page);
}

TEST_P(TextOutlineTest, ComesOutAsWhenAlwaysStroked) {
  const OutlineCase& c = GetParam();
  TextContext context;
  const std::int64_t left = inkLeft(context, c);
  ASSERT_GE(left, 0);
  const std::int64_t markX =
      std::isnan(c.markOffset) ? -1 : left + static_cast<std::int64_t>(c.markOffset);
  const PageBitmap whole = drawnOn(context, c, markX);
  const ScopedSurfaceSide small(150);
  const PageBitmap parts = drawnOn(context, c, markX);
  ASSERT_FALSE(fitsOneSurface(parts));
  EXPECT_TRUE(samePixels(whole, parts));
}

constexpr Color kGrey{0.9, 0.9, 0.9, 1.0};
constexpr double kNone = NAN;

INSTANTIATE_TEST_SUITE_P(
    Papers, TextOutlineTest,
    ::testing::Values(
        OutlineCase{"WhiteOnWhitePaper", kWhite, kWhite, kNone, false, false},
        OutlineCase{"BlackOnWhitePaper", kWhite, kBlack, kNone, false, false},
        OutlineCase{"WhiteOnGreyPaper", kGrey, kWhite, kNone, false, false},
        OutlineCase{"MarkUnderTheOutline", kWhite, kWhite, -2, false, false},
        OutlineCase{"MarkUnderTheGlyphs", kWhite, kWhite, 5, false, false},
        OutlineCase{"MarkUnderTheOutlineInAClip", kWhite, kWhite, -2, false, true},
        OutlineCase{"VerticalWhiteOnWhitePaper", kWhite, kWhite, kNone, true, false},
        OutlineCase{"VerticalMarkUnderTheOutline", kWhite, kWhite, -2, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace platform
