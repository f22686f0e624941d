// Runs pages with translations set in columns: which blocks the job's and the overrides'
// direction sets so, and the debug image.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "letterforge/driver/engine_test_support.h"
#include "letterforge/raster/test_pages.h"
#include "platform/test_bitmaps.h"

namespace letterforge {
namespace {

using namespace test_pages;
using namespace engine_test;

// A tall area and a wide one holding Japanese, and a tall one holding English.
const std::vector<Line> kLines = {{"tall", 30, 40, 70, 200, "こんにちは、元気ですか？"},
                                  {"wide", 130, 200, 240, 40, "また明日ね"},
                                  {"latin", 140, 20, 60, 150, "See you"}};

std::vector<bool> verticalBlocks(const RenderResult& r) {
  std::vector<bool> vertical;
  for (const BlockOutcome& block : r.blocks) vertical.push_back(block.typeset.vertical);
  return vertical;
}

struct DirectionCase {
  const char* name;
  RenderSettings settings;
  std::vector<bool> vertical;  // per block of kLines
};
class VerticalRunTest : public ::testing::TestWithParam<DirectionCase> {};

TEST_P(VerticalRunTest, DirectionDecidesWhichBlocksAreSetInColumns) {
  const DirectionCase& c = GetParam();
  const RenderResult r = render(makePage(400, 280, kWhite), kLines, c.settings);
  ASSERT_EQ(r.blocks.size(), 3u);
  EXPECT_EQ(verticalBlocks(r), c.vertical);
  for (const BlockOutcome& block : r.blocks) {
    EXPECT_TRUE(block.typeset.drawn) << block.id;
    EXPECT_FALSE(block.flags.noVerticalForms) << block.id;
  }
}

RenderSettings withDirection(TextDirection direction, std::string blocks = {}) {
  RenderSettings settings{.groupingEnabled = false, .blocks = std::move(blocks)};
  settings.typeset.direction = direction;
  return settings;
}

INSTANTIATE_TEST_SUITE_P(Table, VerticalRunTest, ::testing::Values(
    DirectionCase{"HorizontalByDefault", RenderSettings{.groupingEnabled = false}, {false, false, false}},
    DirectionCase{"VerticalSetsEveryBlock", withDirection(TextDirection::kVertical), {true, true, true}},
    DirectionCase{"AutoSetsJapaneseInTallAreas", withDirection(TextDirection::kAuto), {true, false, false}},
    DirectionCase{"OverrideTurnsOneBlock",
                  withDirection(TextDirection::kHorizontal, R"({"wide": {"direction": "vertical"}})"),
                  {false, true, false}},
    DirectionCase{"OverrideKeepsOneBlockInLines",
                  withDirection(TextDirection::kVertical, R"({"tall": {"direction": "horizontal"}})"),
                  {false, true, true}}),
    [](const auto& info) { return std::string(info.param.name); });

// The page's debug image, drawn over the untouched page.
PageBitmap debugImage(TextDirection direction) {
  RunFailure failure;
  auto result = tryRender(makePage(400, 280, kWhite), kLines, withDirection(direction), failure, true);
  EXPECT_TRUE(result && result->debug && result->debug->bitmap) << failure.message;
  if (!result || !result->debug || !result->debug->bitmap) return makePage(1, 1, kWhite);
  return std::move(*result->debug->bitmap);
}

TEST(VerticalRunDebugTest, ItemsInColumnsAreOutlinedAsItemsInLines) {
  EXPECT_TRUE(platform::samePixels(debugImage(TextDirection::kVertical),
                                   debugImage(TextDirection::kHorizontal)));
}

}  // namespace
}  // namespace letterforge
