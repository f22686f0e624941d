// The repaint pass on small synthetic pages: each block's report line, action, debug region
// and mask.
#include "letterforge/driver/repaint_pass.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "letterforge/debug/debug_overlay.h"
#include "letterforge/raster/test_pages.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;
using namespace test_pages;
using platform::PageBitmap;
using platform::Rgb8;

RenderItem block(std::string id, const Rect& rect) {
  return RenderItem{.ids = {std::move(id)}, .rect = rect, .text = "words"};
}

// Pale blue paper; p1 holds three bars of ink, p2 nothing, p3 bars on a grey gradient.
PageBitmap pageWithBlocks() {
  PageBitmap page = makePage(300, 120, Rgb8{210, 225, 245});
  for (std::int64_t x = 20; x < 80; x += 8) paintRect(page, x, 50, 3, 14, Rgb8{20, 20, 40});
  for (std::int64_t y = 0; y < 120; ++y) {
    for (std::int64_t x = 200; x < 300; ++x) page.setPixel(x, y, grey(static_cast<std::uint8_t>(60 + x / 2)));
  }
  for (std::int64_t x = 230; x < 270; x += 8) paintRect(page, x, 50, 3, 14, kBlack);
  return page;
}

const std::vector<RenderItem> kBlocks{block("p1", {20, 50, 59, 14}), block("p2", {120, 50, 40, 14}),
                                      block("p3", {230, 50, 35, 14})};

TEST(RepaintPassTest, EveryBlockIsReportedWithWhatWasDone) {
  PageBitmap page = pageWithBlocks();
  CleanupRecord record;
  std::vector<std::string> lines;
  repaintPass(page, kBlocks, record, [&](std::string_view line) { lines.emplace_back(line); });

  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("repaint repainted_paper p1 pixels=", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1], "repaint not_cleaned p2 pixels=0");
  EXPECT_EQ(lines[2].rfind("repaint inpainted_smooth p3 pixels=", 0), 0u) << lines[2];
  ASSERT_EQ(record.blockCleanups.size(), 3u);
  EXPECT_EQ(record.blockCleanups[0].action, CleanupAction::kRepaintedPaper);
  EXPECT_EQ(record.blockCleanups[1].action, CleanupAction::kNotCleaned);
  EXPECT_EQ(record.blockCleanups[2].action, CleanupAction::kInpaintedSmooth);
  EXPECT_TRUE(record.blockCleanups[0].coverage.has_value());
  EXPECT_FALSE(record.blockCleanups[1].coverage.has_value());
  // Two masks, one per cleaned block; a debug region for every block, in its own colour.
  EXPECT_EQ(record.cleanedMasks.size(), 2u);
  ASSERT_EQ(record.debugRegions.size(), 3u);
  EXPECT_EQ(record.debugRegions[0].label, "repainted_paper:p1");
  EXPECT_EQ(record.debugRegions[0].color, repaintedPaperColor);
  EXPECT_EQ(record.debugRegions[1].label, "not_cleaned:p2");
  EXPECT_EQ(record.debugRegions[1].color, systemRedColor);
  EXPECT_EQ(record.debugRegions[2].color, inpaintedSmoothColor);
  EXPECT_TRUE(record.cleanupNotes.empty());
  // No ink is left on the paper.
  for (std::int64_t x = 20; x < 80; ++x) EXPECT_GT(page.pixel(x, 57).red, 180) << x;
}

TEST(RepaintPassTest, TheSamePageGivesTheSamePixels) {
  PageBitmap first = pageWithBlocks(), second = pageWithBlocks();
  CleanupRecord a, b;
  repaintPass(first, kBlocks, a, [](std::string_view) {});
  repaintPass(second, kBlocks, b, [](std::string_view) {});
  EXPECT_EQ(differingPixels(first, second), 0);
}

TEST(RepaintPassTest, ModeWordRunsThePass) {
  PageBitmap page = pageWithBlocks();
  CleanupRecord record;
  std::string report;
  runCleanupPass(page, CleanupMode::kRepaint, kBlocks, CleanupPlan{}, Rect{0, 0, 300, 120}, record,
                 [&](std::string_view line) { (report += line) += '\n'; });
  EXPECT_EQ(record.blockCleanups.size(), 3u);
  EXPECT_NE(report.find("repaint not_cleaned p2"), std::string::npos);
}

// The order of tries, with a stand-in for the cleaning of one block: blocks are named a, b, c
// by the column of their box, and each try is written "block:pending blocks/blocks cleaned
// before it", the last those whose outcomes it is given (at the first try only). A block that
// failed stays pending for the blocks after it: its lettering is still on the page.
struct TurnCase {
  const char* name;
  ChosenBlocks chosen;
  // Whether the stand-in cleans `block` while `pending` is still on the page.
  std::function<bool(char block, const std::string& pending)> cleans;
  std::vector<std::string> tries;
  std::string cleaned;  // the blocks cleaned in the end
};
class RepaintInTurnTest : public ::testing::TestWithParam<TurnCase> {};

TEST_P(RepaintInTurnTest, TriesAgainOnlyWhatFailedOnceItsNeighboursAreDone) {
  const TurnCase& c = GetParam();
  const std::vector<RenderItem> blocks{block("a", {0, 0, 4, 4}), block("b", {1, 0, 4, 4}), block("c", {2, 0, 4, 4})};
  PageBitmap page = makePage(8, 8, kWhite);
  std::vector<std::string> tries;
  const auto outcomes = repaintInTurn(page, blocks, c.chosen,
                                      [&](PageBitmap&, const Rect& box, const std::vector<Rect>& pending, std::uint64_t,
                                          std::span<const RepaintOutcome* const> before) {
                                        const char name = static_cast<char>('a' + box.x);
                                        std::string names, earlier;
                                        for (const Rect& other : pending) names += static_cast<char>('a' + other.x);
                                        for (const RepaintOutcome* done : before) earlier += static_cast<char>('a' + done->mask.rect.x);
                                        tries.push_back(std::string(1, name) + ":" + names + "/" + earlier);
                                        return RepaintOutcome{.cleaned = c.cleans(name, names), .mask = TextMask{.rect = box}};
                                      });
  EXPECT_EQ(tries, c.tries);
  std::string cleaned;
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    if (outcomes[i].cleaned) cleaned += static_cast<char>('a' + i);
  }
  EXPECT_EQ(cleaned, c.cleaned);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RepaintInTurnTest,
    ::testing::Values(
        TurnCase{"EveryBlockCleanedAtItsFirstTry", {}, [](char, const std::string&) { return true; },
                 {"a:bc/", "b:c/a", "c:/ab"}, "abc"},
        TurnCase{"LostAmongItsNeighboursTriedAgainAfterThem", {},
                 [](char block, const std::string& pending) { return block != 'a' || pending.empty(); },
                 {"a:bc/", "b:ac/", "c:a/b", "a:/"}, "abc"},
        TurnCase{"FailingTwiceIsLeftNotCleaned", {}, [](char block, const std::string&) { return block != 'b'; },
                 {"a:bc/", "b:c/a", "c:b/a", "b:/"}, "ac"},
        TurnCase{"BlocksNotChosenStayOnThePageInEveryTry", {true, false, true},
                 [](char block, const std::string& pending) { return block != 'a' || pending == "b"; },
                 {"a:bc/", "c:ab/", "a:b/"}, "ac"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace letterforge
