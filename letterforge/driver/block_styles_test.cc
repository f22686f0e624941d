// Renders a small page through the engine with a job's per-block overrides.
#include "letterforge/driver/block_styles.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "letterforge/driver/engine_test_support.h"
#include "letterforge/driver/exit_status.h"
#include "letterforge/raster/test_pages.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using namespace test_pages;
using namespace engine_test;
using test_cases::PrintTo;

// A white page with lettering at block a, and block b far below it.
PageBitmap lettered() {
  auto page = makePage(400, 240, kWhite);
  paintLetters(page, 110, 184, 8);
  return page;
}

const std::vector<Line> kLines = {{"a", 100, 180, 200, 24, "Bonjour à tous"},
                                  {"b", 100, 40, 200, 24, "Au revoir"}};

// Pixels of the page in the drawing rectangle that `is` picks.
std::int64_t pixelsWhere(const PageBitmap& page, const platform::Rect& r,
                         const std::function<bool(platform::Rgb8)>& is) {
  std::int64_t n = 0;
  for (auto y = std::int64_t(r.y); y < std::int64_t(r.y + r.height); ++y) {
    for (auto x = std::int64_t(r.x); x < std::int64_t(r.x + r.width); ++x) n += is(page.pixel(x, y)) ? 1 : 0;
  }
  return n;
}

const platform::Rect kAreaOfA{90, 170, 220, 44};

struct StyleCase {
  const char* name;
  std::string blocks;
  CleanupMode mode;
  std::function<void(const RenderResult&, const PageBitmap& before)> check;
};
class BlockStyleTest : public ::testing::TestWithParam<StyleCase> {};

TEST_P(BlockStyleTest, OverridesChangeTheirBlockOnly) {
  const StyleCase& c = GetParam();
  const PageBitmap before = lettered();
  const RenderResult result = render(before, kLines, RenderSettings{.cleanupMode = c.mode, .blocks = c.blocks});
  ASSERT_EQ(result.blocks.size(), 2u);
  ASSERT_TRUE(result.page.bitmap.has_value());
  c.check(result, before);
  if (c.blocks.find("\"b\"") != std::string::npos) return;
  // Block b, not overridden, is set as always.
  const RenderResult plain = render(before, kLines, RenderSettings{.cleanupMode = c.mode});
  EXPECT_EQ(result.blocks[1].typeset, plain.blocks[1].typeset);
}

const auto dark = [](platform::Rgb8 p) { return p.red < 100 && p.green < 100 && p.blue < 100; };

INSTANTIATE_TEST_SUITE_P(
    Table, BlockStyleTest,
    ::testing::Values(
        StyleCase{"SkipCleansButDrawsNothing", R"({"a": {"skip": true}})", CleanupMode::kWhiteFill,
                  [](const RenderResult& r, const PageBitmap&) {
                    EXPECT_FALSE(r.blocks[0].typeset.drawn);
                    EXPECT_EQ(r.blocks[0].cleanup.action, CleanupAction::kWhiteFill);
                    EXPECT_EQ(pixelsWhere(*r.page.bitmap, kAreaOfA, dark), 0);
                  }},
        StyleCase{"KeepAndSkipLeaveThePageAsItWas", R"({"a": {"cleanup": "keep", "skip": true}})",
                  CleanupMode::kWhiteFill,
                  [](const RenderResult& r, const PageBitmap& before) {
                    EXPECT_EQ(r.blocks[0].cleanup.action, CleanupAction::kLeftAlone);
                    EXPECT_FALSE(r.blocks[0].flags.uncleaned);
                    EXPECT_EQ(pixelsWhere(*r.page.bitmap, kAreaOfA, dark),
                              pixelsWhere(before, kAreaOfA, dark));
                  }},
        StyleCase{"CleanupOfItsOwnUnderAnotherMode", R"({"a": {"cleanup": "WHITE_FILL"}})",
                  CleanupMode::kNone,
                  [](const RenderResult& r, const PageBitmap&) {
                    EXPECT_EQ(r.blocks[0].cleanup.action, CleanupAction::kWhiteFill);
                    EXPECT_EQ(r.blocks[1].cleanup.action, CleanupAction::kLeftAlone);
                  }},
        StyleCase{"TextColour", R"({"a": {"text_color": "#D00000", "stroke_width": 0}})",
                  CleanupMode::kWhiteFill,
                  [](const RenderResult& r, const PageBitmap&) {
                    const auto red = [](platform::Rgb8 p) { return p.red > 150 && p.green < 80; };
                    EXPECT_GT(pixelsWhere(*r.page.bitmap, kAreaOfA, red), 20);
                    EXPECT_EQ(pixelsWhere(*r.page.bitmap, kAreaOfA, dark), 0);
                  }},
        StyleCase{"StrokeColour", R"({"a": {"stroke_color": "00C000", "stroke_width": 40}})",
                  CleanupMode::kWhiteFill,
                  [](const RenderResult& r, const PageBitmap&) {
                    const auto green = [](platform::Rgb8 p) { return p.green > 150 && p.red < 80; };
                    EXPECT_GT(pixelsWhere(*r.page.bitmap, kAreaOfA, green), 20);
                  }},
        StyleCase{"FixedSize", R"({"a": {"font_size": 11}})", CleanupMode::kWhiteFill,
                  [](const RenderResult& r, const PageBitmap&) {
                    EXPECT_EQ(r.blocks[0].typeset.size, 11.0);
                    EXPECT_FALSE(r.blocks[0].flags.overflowed);
                  }},
        StyleCase{"FixedSizeTooLargeOverflows", R"({"a": {"font_size": 70}})", CleanupMode::kWhiteFill,
                  [](const RenderResult& r, const PageBitmap&) {
                    EXPECT_EQ(r.blocks[0].typeset.size, 70.0);
                    EXPECT_TRUE(r.blocks[0].flags.overflowed);
                  }},
        StyleCase{"GroupJoinsBlocksInTheOrderGiven",
                  R"({"b": {"group": "x"}, "a": {"group": "x"}})", CleanupMode::kWhiteFill,
                  [](const RenderResult& r, const PageBitmap&) {
                    EXPECT_EQ(r.blocks[0].item, "b+a");
                    EXPECT_EQ(r.blocks[1].item, "b+a");
                  }}),
    [](const auto& info) { return std::string(info.param.name); });

// The leftmost and rightmost dark columns of the drawn text of block a.
std::pair<std::int64_t, std::int64_t> inkColumns(const std::string& align) {
  const std::string blocks = R"({"a": {"font_size": 14, "align": ")" + align + R"("}})";
  const std::vector<Line> lines = {{"a", 40, 100, 320, 60, "Une ligne assez longue pour deux\nCourte"}};
  const RenderResult r = render(makePage(400, 240, kWhite), lines,
                                RenderSettings{.cleanupMode = CleanupMode::kWhiteFill, .blocks = blocks});
  std::int64_t left = 400, right = -1;
  for (std::int64_t y = 0; y < 240; ++y) {
    for (std::int64_t x = 0; x < 400; ++x) {
      if (dark(r.page.bitmap->pixel(x, y))) left = std::min(left, x), right = std::max(right, x);
    }
  }
  return {left, right};
}

TEST(BlockStyleTest, AlignmentMovesTheShortLine) {
  const auto [centreLeft, centreRight] = inkColumns("center");
  const auto [leftLeft, leftRight] = inkColumns("left");
  const auto [rightLeft, rightRight] = inkColumns("right");
  ASSERT_GT(centreRight, centreLeft);
  // The long line spans the same columns each way; the short one moves the ink's far edges
  // only when the text is no longer centred, so the whole block stays within the area.
  EXPECT_LE(leftLeft, centreLeft);
  EXPECT_GE(rightRight, centreRight);
  EXPECT_LT(leftLeft + leftRight, rightLeft + rightRight);
}

struct FailureCase {
  const char* name;
  std::string blocks;
  int status;
  std::string message;
};
class BlockOverrideFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(BlockOverrideFailureTest, FailsThePageNamingTheBlockAndField) {
  const FailureCase& c = GetParam();
  RunFailure failure;
  EXPECT_FALSE(tryRender(lettered(), kLines, RenderSettings{.blocks = c.blocks}, failure).has_value());
  EXPECT_EQ(failure.exitStatus, c.status);
  EXPECT_EQ(failure.message.substr(0, c.message.size()), c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BlockOverrideFailureTest,
    ::testing::Values(
        FailureCase{"UnknownId", R"({"a": {}, "z9": {"skip": true}})", kExitPayloadUnreadable,
                    "blocks: z9: no translated block has this id"},
        FailureCase{"FontNotInstalled", R"({"a": {"font": "No Such Family Here"}})",
                    kExitFontUnavailable, "blocks: a: font: Could not use font No Such Family Here: "},
        FailureCase{"FileMissing", "/nonexistent/overrides.json", kExitPayloadUnreadable,
                    "/nonexistent/overrides.json: cannot be read: "},
        FailureCase{"FieldFault", R"({"a": {"text_color": "red"}})", kExitPayloadUnreadable,
                    "blocks: a: text_color: expected six hex digits, found \"red\""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace letterforge
