#include "letterforge/layout/reading_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

RenderItem at(const std::string& id, double x, double y, double w, double h) {
  return RenderItem{.ids = {id}, .rect = {x, y, w, h}};
}

std::vector<std::string> idsOf(const std::vector<RenderItem>& items) {
  std::vector<std::string> ids;
  for (const RenderItem& item : items) ids.push_back(item.ids.front());
  return ids;
}

struct OrderCase {
  const char* name;
  Rect a, b;
  bool aFirst, bFirst;
};
class ReadsBeforeTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(ReadsBeforeTest, ComparesBothWays) {
  const OrderCase& c = GetParam();
  EXPECT_EQ(readsBefore(RenderItem{.rect = c.a}, RenderItem{.rect = c.b}), c.aFirst);
  EXPECT_EQ(readsBefore(RenderItem{.rect = c.b}, RenderItem{.rect = c.a}), c.bFirst);
}

// In every row b's bottom edge is higher but a lies further left, so the two rules disagree.
INSTANTIATE_TEST_SUITE_P(
    Cases, ReadsBeforeTest,
    ::testing::Values(
        OrderCase{"SameRowLeftEdgeFirst", {0, 100, 50, 20}, {100, 104, 50, 20}, true, false},
        OrderCase{"CentresJustUnderTolerance", {0, 100, 50, 20}, {100, 107.9, 50, 20}, true, false},
        OrderCase{"CentresAtTolerance", {0, 100, 50, 20}, {100, 108, 50, 20}, false, true},
        OrderCase{"CentresBeyondTolerance", {0, 100, 50, 20}, {100, 300, 50, 20}, false, true},
        OrderCase{"ShortWideBoxRightOfTallBox", {0, 60, 20, 100}, {200, 90, 150, 20}, false, true},
        OrderCase{"SameRowEqualLeftEdgesTie", {10, 100, 50, 20}, {10, 102, 80, 20}, false, false},
        OrderCase{"OtherRowsEqualBottomEdgesTie", {0, 100, 50, 20}, {10, 100, 50, 40}, false, false},
        OrderCase{"TopEdgesPlayNoPart", {0, 100, 50, 100}, {10, 101, 50, 20}, false, true},
        OrderCase{"NegativeSizesStandardised", {50, 120, -50, -20}, {100, 108, 50, 20}, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadingOrderTest, EmptyAndSingleListsUnchanged) {
  std::vector<RenderItem> none;
  sortReadingOrder(none);
  EXPECT_TRUE(none.empty());
  std::vector<RenderItem> one = {at("a", 5, 5, 10, 10)};
  sortReadingOrder(one);
  EXPECT_EQ(idsOf(one), std::vector<std::string>{"a"});
}

TEST(ReadingOrderTest, RowsTopDownThenLeftToRight) {
  std::vector<RenderItem> items = {at("bottom-right", 300, 100, 80, 20),
                                   at("top-right", 300, 500, 80, 20),
                                   at("bottom-left", 10, 102, 80, 20),
                                   at("middle", 150, 300, 80, 20),
                                   at("top-left", 10, 497, 80, 20)};
  sortReadingOrder(items);
  EXPECT_EQ(idsOf(items), (std::vector<std::string>{"top-left", "top-right", "middle",
                                                    "bottom-left", "bottom-right"}));
  const std::vector<RenderItem> sorted = items;
  sortReadingOrder(items);
  EXPECT_EQ(items, sorted);
}

TEST(ReadingOrderTest, TiesKeepInputOrder) {
  std::vector<RenderItem> items = {at("first", 10, 100, 50, 20), at("second", 10, 103, 90, 20),
                                   at("third", 10, 98, 30, 20)};
  sortReadingOrder(items);
  EXPECT_EQ(idsOf(items), (std::vector<std::string>{"first", "second", "third"}));
}

// A and B share a row, B and C share a row, A and C do not: C before B before A before C.
struct ChainCase {
  const char* name;
  std::vector<std::string> input;
  std::vector<std::string> expected;
};
class NonTransitiveChainTest : public ::testing::TestWithParam<ChainCase> {};

TEST_P(NonTransitiveChainTest, InsertionProcedureFixesResult) {
  const ChainCase& c = GetParam();
  std::vector<RenderItem> items;
  for (const std::string& id : c.input) {
    if (id == "A") items.push_back(at("A", 100, 102, 50, 20));  // centre 112
    if (id == "B") items.push_back(at("B", 50, 96, 50, 20));    // centre 106
    if (id == "C") items.push_back(at("C", 0, 90, 50, 20));     // centre 100
  }
  sortReadingOrder(items);
  EXPECT_EQ(idsOf(items), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, NonTransitiveChainTest,
    ::testing::Values(ChainCase{"ABC", {"A", "B", "C"}, {"B", "A", "C"}},
                      ChainCase{"CBA", {"C", "B", "A"}, {"C", "B", "A"}},
                      ChainCase{"ACB", {"A", "C", "B"}, {"A", "C", "B"}},
                      ChainCase{"BCA", {"B", "C", "A"}, {"C", "B", "A"}},
                      ChainCase{"CAB", {"C", "A", "B"}, {"A", "C", "B"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Rows 100 px apart, three items a row, two of them with equal left edges (a tie). The
// expected order comes from a stable sort on explicit (row, left edge) keys.
class LongListTest : public ::testing::TestWithParam<int> {};

TEST_P(LongListTest, MatchesStableSortOnExplicitKeys) {
  const int count = GetParam();
  struct Keyed {
    int row;
    double left;
    RenderItem item;
  };
  std::vector<Keyed> keyed;
  for (int i = 0; i < count; ++i) {
    const int row = i / 3;
    const double left = (i % 3 == 0) ? 0.0 : 100.0;
    keyed.push_back({row, left, at(std::to_string(i), left, 10000.0 - 100.0 * row, 60, 20)});
  }
  std::mt19937 random(42);
  std::shuffle(keyed.begin(), keyed.end(), random);

  std::vector<RenderItem> items;
  for (const Keyed& k : keyed) items.push_back(k.item);
  std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    return a.row != b.row ? a.row < b.row : a.left < b.left;
  });
  std::vector<RenderItem> expected;
  for (const Keyed& k : keyed) expected.push_back(k.item);

  sortReadingOrder(items);
  EXPECT_EQ(idsOf(items), idsOf(expected));
}

INSTANTIATE_TEST_SUITE_P(Counts, LongListTest, ::testing::Values(2, 63, 64, 65, 97, 130, 2000));

}  // namespace
}  // namespace letterforge
