#include "letterforge/layout/override_grouping.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "letterforge/layout/block_grouping.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

// Three lines of one column (grouped as one item) and one apart, in drawing coordinates.
std::vector<RenderItem> blockItems() {
  std::vector<RenderItem> blocks;
  const std::pair<const char*, double> lines[] = {{"a", 500}, {"b", 478}, {"c", 456}};
  for (const auto& [id, y] : lines) {
    blocks.push_back(RenderItem{.ids = {id}, .rect = {100, y, 200, 20}, .text = std::string("line ") + id});
  }
  blocks.push_back(RenderItem{.ids = {"d"}, .rect = {700, 100, 200, 20}, .text = "line d"});
  return blocks;
}

struct RegroupCase {
  const char* name;
  std::vector<BlockOverride> overrides;
  std::vector<std::string> items;  // each item's ids joined with "+", in item order
  std::string lastText;            // the last item's text
};
class RegroupTest : public ::testing::TestWithParam<RegroupCase> {};

TEST_P(RegroupTest, OverriddenBlocksLeaveTheirItemsAndFormTheirGroups) {
  const RegroupCase& c = GetParam();
  const std::vector<RenderItem> blocks = blockItems();
  const std::vector<RenderItem> usual = groupRenderItems(blocks, true, GroupingPreset::kBalanced);
  ASSERT_EQ(usual.size(), 2u);  // a+b+c and d
  const std::vector<RenderItem> items = regroupByOverrides(blocks, usual, c.overrides);
  std::vector<std::string> labels;
  for (const RenderItem& item : items) labels.push_back(blockLabel(item));
  EXPECT_EQ(labels, c.items);
  ASSERT_FALSE(items.empty());
  EXPECT_EQ(items.back().text, c.lastText);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RegroupTest,
    ::testing::Values(
        RegroupCase{"StylesOnlyKeepTheItems", {{.id = "a", .fontSize = 20}}, {"a+b+c", "d"}, "line d"},
        RegroupCase{"NullGroupKeepsABlockAlone", {{.id = "b", .grouped = true}},
                    {"a+c", "d", "b"}, "line b"},
        RegroupCase{"OneValueJoinsBlocksInTheOrderGiven",
                    {{.id = "d", .grouped = true, .group = "\"x\""},
                     {.id = "a", .grouped = true, .group = "\"x\""}},
                    {"b+c", "d+a"}, "line d line a"},
        RegroupCase{"TwoValuesTwoItems",
                    {{.id = "a", .grouped = true, .group = "1"},
                     {.id = "b", .grouped = true, .group = "\"1\""},
                     {.id = "c", .grouped = true, .group = "1"}},
                    {"d", "a+c", "b"}, "line b"},
        RegroupCase{"SkippedBlockStandsAloneWhateverItsGroup",
                    {{.id = "c", .grouped = true, .group = "\"x\"", .skip = true}},
                    {"a+b", "d", "c"}, "line c"},
        RegroupCase{"UnknownIdIsPassedOver", {{.id = "z", .grouped = true}}, {"a+b+c", "d"},
                    "line d"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace letterforge
