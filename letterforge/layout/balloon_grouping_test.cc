#include "letterforge/layout/balloon_grouping.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace letterforge {
namespace {

struct Line {
  std::string id;
  double x, y, w, h;  // drawing coordinates
  std::optional<std::size_t> balloon;
};

struct GroupingCase {
  const char* name;
  std::vector<Line> lines;  // in OCR order
  std::vector<std::vector<std::string>> items;  // ids of each render item, in item order
};
class BalloonGroupingTest : public ::testing::TestWithParam<GroupingCase> {};

TEST_P(BalloonGroupingTest, OneItemPerBalloonInReadingOrder) {
  const GroupingCase& c = GetParam();
  std::vector<RenderItem> blocks;
  BalloonOfBlock balloonOf;
  for (const Line& line : c.lines) {
    blocks.push_back(RenderItem{.ids = {line.id}, .rect = {line.x, line.y, line.w, line.h},
                                .text = "a line of translation " + line.id});
    balloonOf.push_back(line.balloon);
  }
  std::vector<std::vector<std::string>> ids;
  for (const RenderItem& item : groupByBalloons(blocks, balloonOf)) ids.push_back(item.ids);
  EXPECT_EQ(ids, c.items);
}

INSTANTIATE_TEST_SUITE_P(Pages, BalloonGroupingTest, ::testing::Values(
    // Two speakers' balloons overlap: their lines interleave in height and share columns.
    GroupingCase{"OverlappingBalloonsOfTwoSpeakers",
                 {{"a1", 100, 500, 200, 20, 0}, {"b1", 180, 488, 200, 20, 1},
                  {"a2", 100, 476, 200, 20, 0}, {"b2", 180, 464, 200, 20, 1},
                  {"a3", 110, 452, 180, 20, 0}},
                 {{"a1", "a2", "a3"}, {"b1", "b2"}}},
    // A caption box right above a balloon, lined up in one column, 4 pixels apart.
    GroupingCase{"CaptionAboveABalloon",
                 {{"c1", 100, 500, 300, 20, 0}, {"c2", 100, 478, 300, 20, 0},
                  {"s1", 120, 454, 260, 20, 1}, {"s2", 140, 432, 220, 20, 1}},
                 {{"c1", "c2"}, {"s1", "s2"}}},
    // Five centred lines of one balloon, given out of order, with a short one among them.
    GroupingCase{"BalloonWithFiveLines",
                 {{"l3", 120, 456, 160, 20, 0}, {"l1", 100, 500, 200, 20, 0},
                  {"l5", 170, 412, 60, 20, 0}, {"l2", 110, 478, 180, 20, 0},
                  {"l4", 130, 434, 140, 20, 0}},
                 {{"l1", "l2", "l3", "l4", "l5"}}},
    // Balloons touching side by side: their lines share rows, one column apart.
    GroupingCase{"TouchingBalloons",
                 {{"a1", 100, 500, 150, 20, 0}, {"b1", 262, 500, 150, 20, 1},
                  {"a2", 110, 478, 130, 20, 0}, {"b2", 272, 478, 130, 20, 1}},
                 {{"a1", "a2"}, {"b1", "b2"}}},
    // Over the art the balanced preset decides, and never joins a balloon's lines.
    GroupingCase{"TextOverTheArtBesideABalloon",
                 {{"s1", 100, 500, 200, 20, std::nullopt}, {"s2", 100, 478, 200, 20, std::nullopt},
                  {"b1", 100, 456, 200, 20, 0}, {"b2", 100, 434, 200, 20, 0},
                  {"f1", 600, 100, 200, 20, std::nullopt}},
                 {{"s1", "s2"}, {"b1", "b2"}, {"f1"}}},
    // Two balloons whose paper runs together count as one; the wide gap between their
    // texts still parts them. 30 = 1.5 × 20 is the largest gap inside one text.
    GroupingCase{"GapInsideOneBalloon",
                 {{"h1", 100, 500, 200, 20, 0}, {"h2", 100, 470, 200, 20, 0},
                  {"o1", 100, 419, 200, 20, 0}, {"o2", 100, 397, 200, 20, 0}},
                 {{"h1", "h2"}, {"o1", "o2"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BalloonGroupingTest, NoBlocksNoGroups) {
  EXPECT_TRUE(formBalloonGroups({}, {}).empty());
}

}  // namespace
}  // namespace letterforge
