#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "platform/test_bitmaps.h"
#include "platform/test_case_names.h"
#include "platform/text_layout.h"
#include "platform/text_layout_testing.h"

namespace platform {
namespace {

using test_cases::PrintTo;

// A text measured in one style and then drawn in another: the drawing takes the measured
// layout only when nothing that places a glyph differs, and its pixels are those of a context
// that never measured.
struct Drawing {
  TextStyle style{};
  std::string text{};
  double width = 0.0;
};

struct ReuseCase {
  const char* name;
  void (*change)(Drawing&);
  std::size_t layoutsMade;  // by the measurement and the drawing together
  bool vertical = false;    // both set in columns
};

class RecentLayoutsTest : public ::testing::TestWithParam<ReuseCase> {};

constexpr double kAlong = 300.0;  // the drawing's height, along a column of vertical text

Drawing measured() {
  return {.style = TextStyle{.size = 24.0}, .text = "12 Hello layout world, again and again",
          .width = 280.0};
}

PageBitmap drawn(TextContext& context, const Drawing& d) {
  PageBitmap page = whitePage(320, 320);
  drawText(context, page, d.text, {10, 10, d.width, kAlong}, d.style);
  return page;
}

TEST_P(RecentLayoutsTest, DrawsAsAContextThatNeverMeasured) {
  const ReuseCase& c = GetParam();
  Drawing first = measured();
  first.style.vertical = c.vertical;
  Drawing second = first;
  c.change(second);

  TextContext context;
  measureTextHeights(context, first.text, first.style.vertical ? kAlong : first.width,
                     first.style, 1e9);
  const PageBitmap reused = drawn(context, second);
  EXPECT_EQ(layoutsMade(context), c.layoutsMade);

  TextContext fresh;
  EXPECT_TRUE(samePixels(reused, drawn(fresh, second)));
}

INSTANTIATE_TEST_SUITE_P(
    Changes, RecentLayoutsTest,
    ::testing::Values(
        ReuseCase{"NothingChanges", [](Drawing&) {}, 1},
        ReuseCase{"ColourAndOutlineOnly",
                  [](Drawing& d) {
                    d.style.color = Color{0.8, 0.1, 0.1, 1.0};
                    d.style.outlined = true;
                    d.style.strokeColor = kBlack;
                    d.style.strokeLineWidth = 3.0;
                  },
                  1},
        ReuseCase{"AcrossRunsOfLinesAreIgnored",
                  [](Drawing& d) { d.style.acrossRuns = {{0, 2}}; }, 1},
        ReuseCase{"Size", [](Drawing& d) { d.style.size = 25.0; }, 2},
        ReuseCase{"Weight", [](Drawing& d) { d.style.weight = FontWeight::regular; }, 2},
        ReuseCase{"Family", [](Drawing& d) { d.style.family = "Comic Neue"; }, 2},
        ReuseCase{"LineSpacing", [](Drawing& d) { d.style.lineSpacing = 12.0; }, 2},
        ReuseCase{"Alignment", [](Drawing& d) { d.style.alignment = TextAlignment::left; }, 2},
        ReuseCase{"Width", [](Drawing& d) { d.width = 200.0; }, 2},
        ReuseCase{"Text", [](Drawing& d) { d.text.back() = 'm'; }, 2},
        ReuseCase{"Vertical", [](Drawing& d) { d.style.vertical = true; }, 2},
        // The column and its cell set across, each laid out on its own.
        ReuseCase{"AcrossRunsOfColumns", [](Drawing& d) { d.style.acrossRuns = {{0, 2}}; }, 3, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace platform
