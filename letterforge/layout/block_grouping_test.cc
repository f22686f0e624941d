#include "letterforge/layout/block_grouping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "letterforge/layout/reading_order.h"
#include "letterforge/layout/rect_geometry.h"
#include "platform/test_case_names.h"

namespace letterforge {

// Rows of the word tables are printed by their words.
using test_cases::PrintTo;

namespace {

using test_cases::PrintTo;

using enum GroupingPreset;

// Long enough never to count as short text.
const std::string kLine = "a line of translation";

RenderItem item(const std::string& id, double x, double y, double w, double h,
                const std::string& text = kLine) {
  return RenderItem{.ids = {id}, .rect = {x, y, w, h}, .text = text};
}

// `count` lines stacked downwards from a top edge at y = 1000, left edges at 0.
std::vector<RenderItem> stackedLines(int count, double w, double h, double gap) {
  std::vector<RenderItem> lines;
  for (int i = 0; i < count; ++i) {
    lines.push_back(item("l" + std::to_string(i + 1), 0, 1000 - h - i * (h + gap), w, h));
  }
  return lines;
}

std::vector<std::size_t> groupSizes(const std::vector<BlockGroup>& groups) {
  std::vector<std::size_t> sizes;
  for (const BlockGroup& g : groups) sizes.push_back(g.items.size());
  return sizes;
}

TranslationLookup lookupOf(const std::vector<std::pair<std::string, std::string>>& entries) {
  TranslationPayload payload;
  for (const auto& [id, text] : entries) {
    payload.translations.push_back(TranslationBlock{.id = id, .translatedText = text});
  }
  std::string failure;
  return makeTranslationLookup(payload, failure).value();
}

OcrBlock block(const std::string& id, double x, double y, double w, double h) {
  return OcrBlock{.id = id, .bbox = {.x = x, .y = y, .w = w, .h = h}};
}

TEST(BlockGroupingTest, PresetTable) {
  EXPECT_EQ(groupingConfig(kConservative),
            (GroupingConfig{7, 1.25, 14.0, 0.34, 0.25, 2.5}));
  EXPECT_EQ(groupingConfig(kAggressive), (GroupingConfig{12, 2.0, 26.0, 0.16, 0.5, 4.8}));
  const GroupingConfig balanced{10, 1.65, 20.0, 0.24, 0.38, 3.7};
  EXPECT_EQ(groupingConfig(kBalanced), balanced);
}

// Two lines 100 x 30, left edges aligned, `gap` pixels apart.
struct TwoLinesCase {
  const char* name;
  GroupingPreset preset;
  double gap;
  bool merged;
};
class TwoLinesTest : public ::testing::TestWithParam<TwoLinesCase> {};

TEST_P(TwoLinesTest, MergedWhenGapAllowed) {
  const TwoLinesCase& c = GetParam();
  const std::vector<RenderItem> items = groupRenderItems(stackedLines(2, 100, 30, c.gap), true,
                                                         c.preset);
  ASSERT_EQ(items.size(), c.merged ? 1u : 2u);
  if (c.merged) {
    EXPECT_EQ(items[0].ids, (std::vector<std::string>{"l1", "l2"}));
    EXPECT_EQ(items[0].rect, (Rect{0, 940 - c.gap, 100, 60 + c.gap}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Presets, TwoLinesTest,
    ::testing::Values(TwoLinesCase{"ConservativeTen", kConservative, 10, true},
                      TwoLinesCase{"BalancedTen", kBalanced, 10, true},
                      TwoLinesCase{"AggressiveTen", kAggressive, 10, true},
                      TwoLinesCase{"ConservativeForty", kConservative, 40, false},
                      TwoLinesCase{"BalancedForty", kBalanced, 40, true},
                      TwoLinesCase{"AggressiveForty", kAggressive, 40, true},
                      TwoLinesCase{"ConservativeAtAllowedGap", kConservative, 37.5, true},
                      TwoLinesCase{"ConservativeBeyondAllowedGap", kConservative, 37.75, false},
                      TwoLinesCase{"BalancedAtAllowedGap", kBalanced, 49.5, true},
                      TwoLinesCase{"BalancedBeyondAllowedGap", kBalanced, 49.75, false},
                      TwoLinesCase{"AggressiveAtAllowedGap", kAggressive, 60, true},
                      TwoLinesCase{"AggressiveBeyondAllowedGap", kAggressive, 60.25, false}),
    [](const auto& info) { return std::string(info.param.name); });

class PresetTest : public ::testing::TestWithParam<ModeWord<GroupingPreset>> {};

TEST_P(PresetTest, BlocksOnOneRowNeverMerged) {
  const std::vector<RenderItem> row = {item("left", 0, 500, 100, 30),
                                       item("right", 120, 500, 100, 30)};
  EXPECT_EQ(groupRenderItems(row, true, GetParam().choice).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Words, PresetTest, ::testing::ValuesIn(kGroupingPresetWords),
                         [](const auto& info) { return std::string(info.param.word); });

struct StackCase {
  const char* name;
  GroupingPreset preset;
  int count;
  double w, h, gap;
  std::vector<std::size_t> sizes;
};
class StackTest : public ::testing::TestWithParam<StackCase> {};

TEST_P(StackTest, GroupSizes) {
  const StackCase& c = GetParam();
  EXPECT_EQ(groupSizes(formGroups(stackedLines(c.count, c.w, c.h, c.gap),
                                  groupingConfig(c.preset))),
            c.sizes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StackTest,
    ::testing::Values(
        // Seven blocks fill a conservative group.
        StackCase{"EightLinesConservative", kConservative, 8, 200, 20, 5, {7, 1}},
        StackCase{"EightLinesBalanced", kBalanced, 8, 200, 20, 5, {8}},
        StackCase{"TwelveLinesBalanced", kBalanced, 12, 200, 20, 5, {10, 2}},
        // Six lines are 230 px high (2.3 x the width); a seventh would make 270 px, 2.7 > 2.5.
        StackCase{"SeventhLineTooTallConservative", kConservative, 7, 100, 30, 10, {6, 1}},
        StackCase{"SevenLinesBalanced", kBalanced, 7, 100, 30, 10, {7}},
        // Ten lines make 390 px, 3.9 > 3.7, so balanced stops at nine (350 px).
        StackCase{"TenLinesTooTallBalanced", kBalanced, 10, 100, 30, 10, {9, 1}},
        // 0.5 px wide lines are judged by their height alone: 2.4 <= 2.5 but 2.6 > 2.5.
        StackCase{"SliverUnionWithinHeight", kConservative, 2, 0.5, 1.2, 0, {2}},
        StackCase{"SliverUnionTooHigh", kConservative, 2, 0.5, 1.3, 0, {1, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

// A group of one 100 x 120 line; the candidate, as tall, sits `gap` px under it.
struct RatioCase {
  const char* name;
  double gap;
  bool accepted;
};
class HeightToWidthTest : public ::testing::TestWithParam<RatioCase> {};

TEST_P(HeightToWidthTest, ConservativeLimitIsInclusive) {
  const RatioCase& c = GetParam();
  const RenderItem top = item("top", 0, 500, 100, 120);
  const BlockGroup group{.items = {top}, .bounds = top.rect};
  EXPECT_EQ(canMerge(item("under", 0, 380 - c.gap, 100, 120), group,
                     groupingConfig(kConservative)),
            c.accepted);
}

INSTANTIATE_TEST_SUITE_P(Edges, HeightToWidthTest,
                         ::testing::Values(RatioCase{"UnionRatioExactly", 10, true},
                                           RatioCase{"UnionRatioAbove", 11, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A group of one item and a candidate, placed by hand.
struct MergeCase {
  const char* name;
  GroupingPreset preset;
  Rect group;
  std::string groupText;
  Rect candidate;
  std::string candidateText;
  bool accepted;
};
class CanMergeTest : public ::testing::TestWithParam<MergeCase> {};

TEST_P(CanMergeTest, MatchesHandWorkedAnswer) {
  const MergeCase& c = GetParam();
  const BlockGroup group{.items = {RenderItem{.ids = {"g"}, .rect = c.group, .text = c.groupText}},
                         .bounds = c.group};
  const RenderItem candidate{.ids = {"c"}, .rect = c.candidate, .text = c.candidateText};
  EXPECT_EQ(canMerge(candidate, group, groupingConfig(c.preset)), c.accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CanMergeTest,
    ::testing::Values(
        // A 0.25 px sliver inside the group's width overlaps by 0.25 of a pixel (below 0.34),
        // so its centre must lie within 0.25 x 100 = 25 px of the group's centre at 50.
        MergeCase{"CentreAtLimit", kConservative, {0, 100, 100, 30}, kLine,
                  {74.875, 65, 0.25, 30}, kLine, true},
        MergeCase{"CentreBeyondLimit", kConservative, {0, 100, 100, 30}, kLine,
                  {75, 65, 0.25, 30}, kLine, false},
        // A floating sliver without enough overlap may lie at most 0.75 x 20 = 15 px away.
        MergeCase{"FloatingSliverAtGapLimit", kBalanced, {0, 100, 200, 30}, kLine,
                  {99.95, 55, 0.1, 30}, "Hi", true},
        MergeCase{"FloatingSliverBeyondGapLimit", kBalanced, {0, 100, 200, 30}, kLine,
                  {99.95, 54.5, 0.1, 30}, "Hi", false},
        MergeCase{"SliverWithEnoughOverlapIsOneColumn", kBalanced, {0, 100, 200, 30}, kLine,
                  {99.85, 40, 0.3, 30}, "Hi", true},
        // Only the candidate is tested for floating, never the group.
        MergeCase{"FloatingGroupDoesNotRefuse", kBalanced, {99.95, 100, 0.1, 30}, "Hi",
                  {0, 40, 200, 30}, kLine, true},
        MergeCase{"OverlappingRowsHaveNoGap", kBalanced, {0, 100, 100, 30}, kLine,
                  {10, 90, 100, 30}, kLine, true},
        // The union would be infinitely wide and high; their ratio is no number at all.
        MergeCase{"UnionBeyondDoublesRefused", kAggressive, {-1e308, -1e308, 1.7e308, 1e308},
                  kLine, {-0.7e308, 0, 1.7e308, 1e308}, kLine, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BlockGroupingTest, EmptyGroupAcceptsAnyItem) {
  EXPECT_TRUE(canMerge(item("a", 0, 0, 10, 10), BlockGroup{}, groupingConfig(kBalanced)));
}

TEST(BlockGroupingTest, EarlierGroupWins) {
  // Two columns on the top row, then a wide line under both that either group would accept.
  const std::vector<RenderItem> items = {item("wide", 0, 160, 250, 30),
                                         item("right", 150, 200, 100, 30),
                                         item("left", 0, 200, 100, 30)};
  const GroupingConfig config = groupingConfig(kBalanced);
  EXPECT_TRUE(canMerge(items[0], BlockGroup{.items = {items[1]}, .bounds = items[1].rect},
                       config));
  const std::vector<BlockGroup> groups = formGroups(items, config);
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(mergeGroup(groups[0]).ids, (std::vector<std::string>{"left", "wide"}));
  EXPECT_EQ(mergeGroup(groups[1]).ids, (std::vector<std::string>{"right"}));
  EXPECT_EQ(groups[0].bounds, (Rect{0, 160, 250, 70}));
}

struct FloatingCase {
  const char* name;
  double w, h;
  std::string text;
  bool expected;
};
class IsFloatingTest : public ::testing::TestWithParam<FloatingCase> {};

TEST_P(IsFloatingTest, ShortNarrowOrTall) {
  const FloatingCase& c = GetParam();
  EXPECT_EQ(isFloating(RenderItem{.rect = {0, 0, c.w, c.h}, .text = c.text}), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, IsFloatingTest,
    ::testing::Values(
        FloatingCase{"EightCharacters", 100, 30, "12345678", true},
        FloatingCase{"NineCharacters", 100, 30, "123456789", false},
        FloatingCase{"EightAfterTrimming", 100, 30, " \n12345678\u00A0 ", true},
        FloatingCase{"EightAccentedLetters", 100, 30,
                     "a\u0301b\u0301c\u0301d\u0301e\u0301f\u0301g\u0301h\u0301", true},
        FloatingCase{"NarrowBelowSeventy", 69.9, 30, kLine, true},
        FloatingCase{"SeventyWide", 70, 30, kLine, false},
        FloatingCase{"HeightAtWidthTimesOnePointFour", 100, 140, kLine, false},
        FloatingCase{"TallerThanWidthTimesOnePointFour", 100, 140.5, kLine, true},
        FloatingCase{"NegativeWidthMeasuredAsPositive", -100, 30, kLine, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BlockGroupingTest, BlockItemsFromTranslatedBlocks) {
  const std::string precomposed = "caf\xC3\xA9";
  const std::string decomposed = "cafe\xCC\x81";
  const std::vector<OcrBlock> blocks = {
      block("b1", 10, 20, 100, 30),   block("untranslated", 0, 0, 50, 50),
      block("empty", 0, 0, 50, 50),   block("spaces", 0, 0, 50, 50),
      block("nbsp", 0, 0, 50, 50),    block(decomposed, 300, 400, 80, 40),
      block("negative", 50, 60, -20, -10)};
  const TranslationLookup lookup =
      lookupOf({{"b1", " Hello there\n"}, {"empty", ""}, {"spaces", " \t\n "},
                {"nbsp", "\u00A0\u00A0"}, {precomposed, "Coffee"}, {"negative", "x"},
                {"unused", "never looked up"}});
  const std::vector<RenderItem> expected = {
      RenderItem{.ids = {"b1"}, .rect = {10, 550, 100, 30}, .text = " Hello there\n"},
      RenderItem{.ids = {decomposed}, .rect = {300, 160, 80, 40}, .text = "Coffee"},
      RenderItem{.ids = {"negative"}, .rect = {50, 550, -20, -10}, .text = "x"}};
  EXPECT_EQ(makeBlockItems(blocks, lookup, 600), expected);
  EXPECT_TRUE(makeBlockItems(blocks, TranslationLookup{}, 600).empty());
}

TEST(BlockGroupingTest, SameIdTwiceGivesTwoItemsWhenTranslated) {
  const std::vector<OcrBlock> blocks = {block("a", 0, 0, 10, 10), block("a", 0, 50, 10, 10)};
  EXPECT_EQ(makeBlockItems(blocks, lookupOf({{"a", "text"}}), 100).size(), 2u);
  EXPECT_TRUE(makeBlockItems(blocks, lookupOf({{"a", " "}}), 100).empty());
}

TEST(BlockGroupingTest, BoxesBeyondDoubleRangeGetNoItem) {
  const std::vector<OcrBlock> blocks = {
      block("right", 1e308, 0, 1e308, 10),      // right edge overflows
      block("below", 0, -1e308, 10, -1e308),    // flipped origin overflows
      block("far", 1e308, -1e308, 0, 1e307),    // far away but finite
      block("zero", 5, 5, 0, 0)};
  const std::vector<RenderItem> items =
      makeBlockItems(blocks, lookupOf({{"right", "t"}, {"below", "t"}, {"far", "t"},
                                       {"zero", "t"}}), 100);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].ids.front(), "far");
  EXPECT_EQ(items[0].rect, (Rect{1e308, 1e308 + 100 - 1e307, 0, 1e307}));
  EXPECT_EQ(items[1].rect, (Rect{5, 95, 0, 0}));
}

TEST(BlockGroupingTest, GroupingOffKeepsOrderTextAndSetsFloating) {
  const std::vector<RenderItem> blockItems = {item("low", 0, 100, 200, 30, "Short\n"),
                                              item("high", 0, 500, 200, 30, kLine + "\n")};
  const std::vector<RenderItem> expected = {
      RenderItem{.ids = {"low"}, .rect = {0, 100, 200, 30}, .text = "Short\n", .floating = true},
      RenderItem{.ids = {"high"}, .rect = {0, 500, 200, 30}, .text = kLine + "\n"}};
  EXPECT_EQ(groupRenderItems(blockItems, false, kBalanced), expected);
}

TEST(BlockGroupingTest, EmptyInputGivesNoItems) {
  EXPECT_TRUE(groupRenderItems({}, true, kBalanced).empty());
  EXPECT_TRUE(groupRenderItems({}, false, kBalanced).empty());
  EXPECT_TRUE(formGroups({}, groupingConfig(kBalanced)).empty());
}

TEST(BlockGroupingTest, GroupOfOneIsTrimmedAndKeepsRect) {
  const std::vector<RenderItem> items =
      groupRenderItems({item("solo", 3, 4, -200, 30, "  Hey!\n")}, true, kBalanced);
  const std::vector<RenderItem> expected = {
      RenderItem{.ids = {"solo"}, .rect = {3, 4, -200, 30}, .text = "Hey!", .floating = true}};
  EXPECT_EQ(items, expected);
}

TEST(BlockGroupingTest, MergedItemReadsTopDownAndIsNotFloating) {
  // Given bottom line first, as OCR might list them.
  const std::vector<RenderItem> blockItems = {
      item("second", 0, 460, 200, 30, " What are you doing over there? "),
      item("first", 20, 500, 100, 30, "Hey!\n")};
  const std::vector<RenderItem> expected = {
      RenderItem{.ids = {"first", "second"}, .rect = {0, 460, 200, 70},
                 .text = "Hey!\nWhat are you doing over there?", .floating = false}};
  EXPECT_EQ(groupRenderItems(blockItems, true, kBalanced), expected);
}

TEST(BlockGroupingTest, ShortPiecesJoinedBySpace) {
  const std::vector<RenderItem> blockItems = {item("a", 0, 500, 100, 30, "Hey"),
                                              item("b", 0, 460, 100, 30, "you")};
  const std::vector<RenderItem> items = groupRenderItems(blockItems, true, kBalanced);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].text, "Hey you");
  EXPECT_FALSE(items[0].floating);
}

TEST(BlockGroupingTest, ExtremeBoxesNeverGiveNonFiniteItems) {
  const double values[] = {-1e308, -1e200, -5000, -1, 0, 0.5, 100, 1e200, 1e308};
  std::vector<OcrBlock> blocks;
  std::vector<std::pair<std::string, std::string>> entries;
  int n = 0;
  for (const double x : values) {
    for (const double y : values) {
      for (const double size : values) {
        const std::string id = "b" + std::to_string(n++);
        blocks.push_back(block(id, x, y, size, size));
        entries.emplace_back(id, n % 2 ? "Hi" : kLine);
      }
    }
  }
  const std::vector<RenderItem> blockItems = makeBlockItems(blocks, lookupOf(entries), 600);
  for (const GroupingPreset preset : {kConservative, kBalanced, kAggressive}) {
    std::size_t idCount = 0;
    for (const RenderItem& merged : groupRenderItems(blockItems, true, preset)) {
      idCount += merged.ids.size();
      EXPECT_TRUE(std::isfinite(minX(merged.rect)) && std::isfinite(maxX(merged.rect)) &&
                  std::isfinite(minY(merged.rect)) && std::isfinite(maxY(merged.rect)))
          << static_cast<int>(preset) << " " << merged.ids.front();
    }
    EXPECT_EQ(idCount, blockItems.size()) << static_cast<int>(preset);
  }
}

// The grouping rule as it reads: each item, in reading order, joins the first group that
// accepts it, trying every group.
std::vector<BlockGroup> groupsByScanningAll(std::vector<RenderItem> items, const GroupingConfig& config) {
  sortReadingOrder(items);
  std::vector<BlockGroup> groups;
  for (const RenderItem& it : items) {
    const auto accepting = std::find_if(groups.begin(), groups.end(),
                                        [&](const BlockGroup& g) { return canMerge(it, g, config); });
    if (accepting == groups.end()) {
      groups.push_back(BlockGroup{.items = {it}, .bounds = it.rect});
    } else {
      accepting->bounds = unionRect(accepting->bounds, it.rect);
      accepting->items.push_back(it);
    }
  }
  return groups;
}

struct LayoutCase {
  const char* name;
  std::uint32_t seed;
  double spread;  // positions fall within spread x 1.4 spread
  double size;    // largest box side
};
class GroupingByNeighboursTest : public ::testing::TestWithParam<LayoutCase> {};

// Groups are found among the neighbours of each item only; random pages of columns, rows,
// piles on one box, tall, wide, tiny and short-text boxes group exactly as a scan of all
// groups does, under every preset and under thresholds that allow joining from afar.
TEST_P(GroupingByNeighboursTest, SameGroupsAsTryingEveryGroup) {
  const LayoutCase& c = GetParam();
  std::mt19937 random(c.seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<RenderItem> items;
  for (int i = 0; i < 400; ++i) {
    const double x = std::round(unit(random) * c.spread / 4) * 4;
    const double y = std::round(unit(random) * c.spread * 1.4 / 6) * 6;
    const double w = 1 + unit(random) * c.size * (i % 7 == 0 ? 6 : 1);
    const double h = 1 + unit(random) * c.size * (i % 11 == 0 ? 8 : 0.4);
    const std::string text = i % 3 == 0 ? "short" : kLine;
    items.push_back(item("i" + std::to_string(i), x, y, w, h, text));
    if (i % 13 == 0) items.push_back(item("p" + std::to_string(i), x, y, w, h, text));
  }
  GroupingConfig farReaching = groupingConfig(kAggressive);
  farReaching.centerFactor = 0.9;
  for (const GroupingConfig& config :
       {groupingConfig(kConservative), groupingConfig(kBalanced), groupingConfig(kAggressive),
        farReaching}) {
    const std::vector<BlockGroup> groups = formGroups(items, config);
    EXPECT_EQ(groups, groupsByScanningAll(items, config)) << config.maxBlocks;
    EXPECT_LT(groups.size(), items.size());  // some did join
  }
}

INSTANTIATE_TEST_SUITE_P(Pages, GroupingByNeighboursTest, ::testing::Values(
    LayoutCase{"DensePage", 1, 600, 60},
    LayoutCase{"SparsePage", 2, 2500, 80},
    LayoutCase{"TinyBoxesCloseTogether", 3, 150, 8},
    LayoutCase{"LargeBoxesOverlapping", 4, 400, 300}),
    [](const auto& info) { return std::string(info.param.name); });

// Ten thousand lines on one box: every group fills up and is then never asked again.
TEST(BlockGroupingTest, ManyBlocksOnOneBoxFillGroupsInTurn) {
  std::vector<RenderItem> items;
  for (int i = 0; i < 10000; ++i) items.push_back(item("b" + std::to_string(i), 100, 200, 300, 60));
  const std::vector<BlockGroup> groups = formGroups(items, groupingConfig(kBalanced));
  ASSERT_EQ(groups.size(), 1000u);
  for (std::size_t g = 0; g < groups.size(); ++g) {
    ASSERT_EQ(groups[g].items.size(), 10u);
    EXPECT_EQ(groups[g].items.front().ids.front(), "b" + std::to_string(10 * g));
  }
}

// Thirty thousand small boxes too far apart to join: each stays alone.
TEST(BlockGroupingTest, ScatteredBlocksStayAlone) {
  std::vector<RenderItem> items;
  for (int row = 0; row < 150; ++row) {
    for (int column = 0; column < 200; ++column) {
      items.push_back(item(std::to_string(row) + "-" + std::to_string(column), 12.0 * column,
                           25.0 * row, 5, 3));
    }
  }
  EXPECT_EQ(formGroups(items, groupingConfig(kBalanced)).size(), items.size());
}

}  // namespace
}  // namespace letterforge
