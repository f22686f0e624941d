// Cleanup planning on small synthetic pages: which method each block gets, what is recorded,
// the report lines written as the blocks are decided, and what happens to the pixels.
#include "letterforge/driver/cleanup_planning.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "letterforge/cleanup/background_classification.h"
#include "letterforge/raster/pixel_sampling.h"
#include "letterforge/raster/test_pages.h"
#include "platform/test_case_names.h"

namespace letterforge {

// Rows of the word tables are printed by their words.
using test_cases::PrintTo;

namespace {

using enum CleanupMode;

using test_cases::PrintTo;

using namespace test_pages;
using platform::PageBitmap;
using platform::Rgb8;

RenderItem block(std::string id, const Rect& rect) {
  return RenderItem{.ids = {std::move(id)}, .rect = rect, .text = "some words"};
}

Rect pageRectOf(const PageBitmap& page) {
  return {0, 0, double(page.width()), double(page.height())};
}

CleanupPlan planFor(const PageBitmap& page, const std::vector<RenderItem>& blocks,
                    const std::vector<RenderItem>& renders) {
  std::string failure;
  auto plan = prepareCleanup(page, blocks, renders, pageRectOf(page), failure);
  EXPECT_TRUE(plan.has_value()) << failure;
  return plan.value_or(CleanupPlan{});
}

// Every block is its own render item.
CleanupPlan planFor(const PageBitmap& page, const std::vector<RenderItem>& blocks) {
  return planFor(page, blocks, blocks);
}

struct PassOutput {
  CleanupRecord record{};
  std::string report{};  // every report line, each with a line feed
};

PassOutput runPass(PageBitmap& page, CleanupMode mode, const std::vector<RenderItem>& blocks,
                   const CleanupPlan& plan) {
  PassOutput out;
  runCleanupPass(page, mode, blocks, plan, pageRectOf(page), out.record,
                 [&](std::string_view line) { (out.report += line) += '\n'; });
  return out;
}

// Diagonal bands of two dark greys: busy artwork, never bubble paper, never plain.
PageBitmap texturedPage(std::int64_t width, std::int64_t height) {
  PageBitmap page = makePage(width, height);
  for (std::int64_t y = 0; y < height; ++y) {
    for (std::int64_t x = 0; x < width; ++x) page.setPixel(x, y, (x + y) / 3 % 2 ? grey(40) : grey(120));
  }
  return page;
}

// Paper over (x0, y0, width, height) inside a 4-pixel black outline.
void paintBubble(PageBitmap& page, std::int64_t x0, std::int64_t y0, std::int64_t width,
                 std::int64_t height, Rgb8 paper) {
  paintRect(page, x0 - 4, y0 - 4, width + 8, height + 8, kBlack);
  paintRect(page, x0, y0, width, height, paper);
}

// A line of `count` letters, each a 3 x 7 bar, 8 pixels apart.
void paintLetters(PageBitmap& page, std::int64_t x0, std::int64_t y0, int count, Rgb8 ink = kBlack) {
  for (int i = 0; i < count; ++i) paintRect(page, x0 + 8 * i, y0, 3, 7, ink);
}

// Pixels outside the range [x0, x1) x [y0, y1) keep the fixture's colours.
void expectUntouchedOutside(const PageBitmap& page, const PageBitmap& fixture, std::int64_t x0,
                            std::int64_t y0, std::int64_t x1, std::int64_t y1) {
  std::int64_t changed = 0;
  for (std::int64_t y = 0; y < page.height(); ++y) {
    for (std::int64_t x = 0; x < page.width(); ++x) {
      if (x >= x0 && x < x1 && y >= y0 && y < y1) continue;
      changed += page.pixel(x, y) == fixture.pixel(x, y) ? 0 : 1;
    }
  }
  EXPECT_EQ(changed, 0);
}

// Number of pixels of the range that do not have the colour.
std::int64_t pixelsNotOf(const PageBitmap& page, std::int64_t x0, std::int64_t y0,
                         std::int64_t width, std::int64_t height, Rgb8 colour) {
  std::int64_t other = 0;
  for (std::int64_t y = y0; y < y0 + height; ++y) {
    for (std::int64_t x = x0; x < x0 + width; ++x) other += page.pixel(x, y) == colour ? 0 : 1;
  }
  return other;
}

std::int64_t darkPixels(const PageBitmap& page) {
  std::int64_t dark = 0;
  for (std::int64_t y = 0; y < page.height(); ++y) {
    for (std::int64_t x = 0; x < page.width(); ++x) dark += luminance(page.pixel(x, y)) < 0.5 ? 1 : 0;
  }
  return dark;
}

// --- A block inside a speech bubble on a textured page ---------------------------------------
//
// Bubble paper (44, 34, 212, 132) on a 300 x 200 textured page. Block p1 at (100, 75, 100, 50)
// has margin 10, so R = (90, 65, 120, 70); growth 0.65 x 50 = 32.5 gives the bubble
// (67.5, 42.5, 165, 115), all paper. Ten bars grow by 2 into 7 x 11 cells: 770 of 8400 cells.

const RenderItem kBubbleBlock = block("p1", {100, 75, 100, 50});
const Rect kBubbleBlockR{90, 65, 120, 70};

PageBitmap letteredBubblePage(Rgb8 paper, bool lettered) {
  PageBitmap page = texturedPage(300, 200);
  paintBubble(page, 44, 34, 212, 132, paper);
  if (lettered) paintLetters(page, 110, 95, 10);
  return page;
}

struct PaperCase {
  const char* name;
  Rgb8 paper;
  Rgb8 patch;
  const char* report;
};
class BubblePatchTest : public ::testing::TestWithParam<PaperCase> {};

TEST_P(BubblePatchTest, LetteringIsPatchedInThePaperColourAndTheMaskKept) {
  const PaperCase& c = GetParam();
  PageBitmap page = letteredBubblePage(c.paper, true);
  const auto plan = planFor(page, {kBubbleBlock});
  const auto out = runPass(page, kBubbleClean, {kBubbleBlock}, plan);

  EXPECT_EQ(out.report, c.report);
  ASSERT_EQ(out.record.debugRegions.size(), 2u);
  EXPECT_EQ(out.record.debugRegions[0].rect, (Rect{67.5, 42.5, 165, 115}));
  EXPECT_EQ(out.record.debugRegions[0].color, systemPurpleColor);
  EXPECT_EQ(out.record.debugRegions[1],
            (BubbleDebugRegion{kBubbleBlockR, "patch_text:p1", systemYellowColor}));
  ASSERT_EQ(out.record.cleanedMasks.size(), 1u);
  EXPECT_EQ(out.record.cleanedMasks[0].rect, kBubbleBlockR);
  EXPECT_EQ(out.record.cleanedMasks[0].pixels.count(), 770);
  EXPECT_TRUE(out.record.cleanupNotes.empty());

  // The letters are gone, R away from its rounded corners is the patch colour, and nothing
  // outside R changed.
  EXPECT_EQ(pixelsNotOf(page, 110, 95, 75, 7, c.patch), 0);
  EXPECT_EQ(pixelsNotOf(page, 102, 65, 96, 70, c.patch), 0);
  expectUntouchedOutside(page, letteredBubblePage(c.paper, false), 90, 65, 210, 135);
}

INSTANTIATE_TEST_SUITE_P(Papers, BubblePatchTest, ::testing::Values(
    // Ring median 0.9999999999999999, all paper bright: 1.0 and more, capped at 0.99.
    PaperCase{"White", kWhite, kWhite,
              "bubble_clean patched p1 coverage=0.09 confidence=0.99\n"},
    // 0.3 x 230/255 + 0.38 + 0.16 + 0.16 = 0.9706; bright and grey, so patched white.
    PaperCase{"LightGrey", grey(230), kWhite,
              "bubble_clean patched p1 coverage=0.09 confidence=0.97\n"},
    // Luminance 0.7378, saturation 0.1: 0.3 x 0.7378 + 0.7 = 0.9214; the tint is kept.
    PaperCase{"Tinted", {180, 190, 200}, {180, 190, 200},
              "bubble_clean patched p1 coverage=0.09 confidence=0.92\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BubblePatchTest, PatchOnMatchingPaperLeavesExactlyTheBubbleWithoutLetters) {
  for (const Rgb8 paper : {kWhite, Rgb8{180, 190, 200}}) {
    PageBitmap page = letteredBubblePage(paper, true);
    runPass(page, kBubbleClean, {kBubbleBlock}, planFor(page, {kBubbleBlock}));
    EXPECT_EQ(differingPixels(page, letteredBubblePage(paper, false)), 0);
  }
}

// The bubble paper reaches `reach` pixels beyond the block on every side; beyond it lie the
// outline and the texture. Growths 32.5, 19 and 12 are tried in turn.
struct ReachCase {
  const char* name;
  std::int64_t reach;
  Rect bubble;
};
class BubbleGrowthTest : public ::testing::TestWithParam<ReachCase> {};

TEST_P(BubbleGrowthTest, GrowthThatReachesArtworkFailsAndSmallerOnesAreTried) {
  const ReachCase& c = GetParam();
  PageBitmap page = texturedPage(300, 200);
  paintBubble(page, 100 - c.reach, 75 - c.reach, 100 + 2 * c.reach, 50 + 2 * c.reach, kWhite);
  paintLetters(page, 110, 95, 10);
  const auto out = runPass(page, kBubbleClean, {kBubbleBlock}, planFor(page, {kBubbleBlock}));

  EXPECT_EQ(out.report, "bubble_clean patched p1 coverage=0.09 confidence=0.99\n");
  ASSERT_FALSE(out.record.debugRegions.empty());
  EXPECT_EQ(out.record.debugRegions[0],
            (BubbleDebugRegion{c.bubble, "bubble 0.99:p1", systemPurpleColor}));
  EXPECT_EQ(findBlockBubble(page, kBubbleBlock, planFor(page, {kBubbleBlock}), pageRectOf(page))
                ->rect,
            c.bubble);
}

INSTANTIATE_TEST_SUITE_P(Reaches, BubbleGrowthTest, ::testing::Values(
    ReachCase{"WideBubbleTakesTheFirstGrowth", 33, {67.5, 42.5, 165, 115}},
    ReachCase{"MediumBubbleTakesTheSecond", 20, {81, 56, 138, 88}},
    ReachCase{"TightBubbleTakesTheThird", 13, {88, 63, 124, 74}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BubbleGrowthTest, BubbleTighterThanEveryGrowthFallsBack) {
  PageBitmap page = texturedPage(300, 200);
  paintBubble(page, 95, 70, 110, 60, kWhite);  // paper 5 pixels beyond the block
  paintLetters(page, 110, 95, 10);
  const auto out = runPass(page, kBubbleClean, {kBubbleBlock}, planFor(page, {kBubbleBlock}));
  EXPECT_EQ(out.report,
            "bubble_clean fallback reasons: fallback_low_bubble_confidence:p1\n");
  // R takes in the outline, so the safety gate keeps the page as it was.
  PageBitmap fixture = texturedPage(300, 200);
  paintBubble(fixture, 95, 70, 110, 60, kWhite);
  paintLetters(fixture, 110, 95, 10);
  EXPECT_EQ(differingPixels(page, fixture), 0);
  EXPECT_TRUE(out.record.cleanedMasks.empty());
}

TEST(BubbleEmptyMaskTest, BlockWithoutLetteringIsPatchedWhole) {
  // Saturated red ink is no lettering: no mask, yet the confident bubble is patched.
  PageBitmap page = letteredBubblePage(kWhite, false);
  paintRect(page, 110, 90, 40, 12, {200, 30, 30});
  const auto out = runPass(page, kBubbleClean, {kBubbleBlock}, planFor(page, {kBubbleBlock}));

  EXPECT_EQ(out.report, "bubble_clean patched empty p1 confidence=0.99\n");
  ASSERT_EQ(out.record.debugRegions.size(), 2u);
  EXPECT_EQ(out.record.debugRegions[0].label, "bubble 0.99:p1");
  EXPECT_EQ(out.record.debugRegions[1],
            (BubbleDebugRegion{kBubbleBlockR, "patch_empty_mask:p1", systemYellowColor}));
  EXPECT_TRUE(out.record.cleanedMasks.empty());
  EXPECT_TRUE(out.record.cleanupNotes.empty());
  EXPECT_EQ(differingPixels(page, letteredBubblePage(kWhite, false)), 0);
}

// A solid block of ink grows by 2 on each side; R holds 8400 cells.
struct DensityCase {
  const char* name;
  std::int64_t inkHeight;
  std::int64_t cells;
  const char* label;
  const char* report;
};
class BubbleDensityTest : public ::testing::TestWithParam<DensityCase> {};

TEST_P(BubbleDensityTest, MasksOverTheDensityLimitArePatchedButNotKept) {
  const DensityCase& c = GetParam();
  PageBitmap page = letteredBubblePage(kWhite, false);
  paintRect(page, 110, 81, 80, c.inkHeight, kBlack);
  const auto out = runPass(page, kBubbleClean, {kBubbleBlock}, planFor(page, {kBubbleBlock}));

  EXPECT_EQ(out.report, c.report);
  ASSERT_EQ(out.record.debugRegions.size(), 2u);
  EXPECT_EQ(out.record.debugRegions[1], (BubbleDebugRegion{kBubbleBlockR, c.label, systemYellowColor}));
  const bool kept = c.cells > 0;
  ASSERT_EQ(out.record.cleanedMasks.size(), kept ? 1u : 0u);
  if (kept) {
    EXPECT_EQ(out.record.cleanedMasks[0].pixels.count(), c.cells);
  }
  EXPECT_EQ(differingPixels(page, letteredBubblePage(kWhite, false)), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, BubbleDensityTest, ::testing::Values(
    // 84 x 42 = 3528 cells: exactly 0.42, still lettering.
    DensityCase{"AtTheLimit", 38, 3528, "patch_text:p1",
                "bubble_clean patched p1 coverage=0.42 confidence=0.99\n"},
    // 84 x 43 = 3612 cells: 0.43.
    DensityCase{"AboveTheLimit", 39, 0, "patch_dense_mask:p1",
                "bubble_clean patched dense p1 coverage=0.43 confidence=0.99\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Blocks that find no bubble of their own -------------------------------------------------

TEST(GroupBubbleUseTest, BubbleOfTheGroupServesBlocksTooSmallForTheirOwn) {
  // Two 8 x 8 blocks: their own growth of 8 makes the search 9 times their area, too large.
  // Their group (100, 84, 8, 24) is searched within 10 pixels: (92, 76, 24, 40), 5 times its area.
  PageBitmap page = makePage(200, 200);
  paintRect(page, 103, 101, 2, 6, kBlack);
  paintRect(page, 103, 85, 2, 6, kBlack);
  const std::vector<RenderItem> blocks = {block("a", {100, 100, 8, 8}), block("b", {100, 84, 8, 8})};
  const RenderItem group{.ids = {"a", "b"}, .rect = {100, 84, 8, 24}, .text = "a b"};
  const auto plan = planFor(page, blocks, {group});
  ASSERT_EQ(plan.groupBubbles, (std::vector<BubbleRegion>{{{92, 76, 24, 40}, 0.99}}));
  EXPECT_FALSE(findBlockBubble(page, blocks[0], plan, pageRectOf(page)).has_value());

  const auto out = runPass(page, kBubbleClean, blocks, plan);
  // Each 2 x 6 stroke grows into 6 x 10 cells of its 16 x 16 area: 60 / 256.
  EXPECT_EQ(out.report,
            "bubble_clean patched a coverage=0.23 confidence=0.99\n"
            "bubble_clean patched b coverage=0.23 confidence=0.99\n");
  EXPECT_EQ(out.record.debugRegions,
            (std::vector<BubbleDebugRegion>{
                {{92, 76, 24, 40}, "bubble 0.99:a", systemPurpleColor},
                {{96, 96, 16, 16}, "patch_text:a", systemYellowColor},
                {{92, 76, 24, 40}, "bubble 0.99:b", systemPurpleColor},
                {{96, 80, 16, 16}, "patch_text:b", systemYellowColor}}));
  EXPECT_EQ(out.record.cleanedMasks.size(), 2u);
  EXPECT_EQ(darkPixels(page), 0);
}

// A white page with one 6 x 12 block p1 at (100, 100): R = (96, 96, 14, 20), too small for a
// bubble of its own, so only a bubble handed in by the plan can serve it.
struct HandedBubbleCase {
  const char* name;
  std::vector<BubbleRegion> bubbles;
  bool lettered;
  const char* report;
  std::vector<std::string> labels;
};
class HandedBubbleTest : public ::testing::TestWithParam<HandedBubbleCase> {};

TEST_P(HandedBubbleTest, GroupBubbleIsUsedWithItsOwnConfidence) {
  const HandedBubbleCase& c = GetParam();
  PageBitmap page = makePage(200, 200);
  // A 4 x 10 stroke grows into 8 x 14 = 112 cells of 280: coverage 0.40.
  if (c.lettered) paintRect(page, 101, 101, 4, 10, kBlack);
  paintRect(page, 102, 112, 2, 2, {200, 30, 30});  // red ink, never a stroke
  const RenderItem item = block("p1", {100, 100, 6, 12});
  CleanupPlan plan = planFor(page, {item});
  plan.groupBubbles = c.bubbles;
  const auto out = runPass(page, kBubbleClean, {item}, plan);

  EXPECT_EQ(out.report, c.report);
  std::vector<std::string> labels;
  for (const auto& region : out.record.debugRegions) labels.push_back(region.label);
  EXPECT_EQ(labels, c.labels);
  // Every branch taken here cleans the area: nothing dark or red is left.
  EXPECT_EQ(pixelsNotOf(page, 96, 96, 14, 20, kWhite), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, HandedBubbleTest, ::testing::Values(
    HandedBubbleCase{"MaskBranchesIgnoreWeakConfidence", {{{80, 80, 60, 60}, 0.6875}}, true,
                     "bubble_clean patched p1 coverage=0.40 confidence=0.69\n",
                     {"bubble 0.69:p1", "patch_text:p1"}},
    HandedBubbleCase{"ConfidenceOfTheFirstOverlappingBubble",
                     {{{0, 0, 20, 20}, 0.9}, {{80, 80, 60, 60}, 0.7391}, {{90, 90, 40, 40}, 0.8}},
                     true, "bubble_clean patched p1 coverage=0.40 confidence=0.74\n",
                     {"bubble 0.74:p1", "patch_text:p1"}},
    HandedBubbleCase{"EmptyMaskAtTheConfidenceLimitIsPatched", {{{80, 80, 60, 60}, 0.68}}, false,
                     "bubble_clean patched empty p1 confidence=0.68\n",
                     {"bubble 0.68:p1", "patch_empty_mask:p1"}},
    // The fallback cleans the plain white area with a white fill.
    HandedBubbleCase{"EmptyMaskBelowTheLimitFallsBack", {{{80, 80, 60, 60}, 0.6799}}, false,
                     "bubble_clean fallback reasons: fallback_empty_mask:p1\n",
                     {"bubble 0.68:p1", "fallback_empty_mask:p1"}},
    // Sharing only R's corner, it leaves no area to mask: the whole of R is patched.
    HandedBubbleCase{"BubbleTouchingOnlyACornerServes", {{{110, 60, 30, 36}, 0.75}}, true,
                     "bubble_clean patched empty p1 confidence=0.75\n",
                     {"bubble 0.75:p1", "patch_empty_mask:p1"}},
    HandedBubbleCase{"FirstOverlappingAmongManyInListOrder",
                     [] {
                       std::vector<BubbleRegion> bubbles;
                       for (int i = 0; i < 60; ++i) bubbles.push_back({{200.0 + 70 * i, 10, 60, 60}, 0.9});
                       bubbles.push_back({{80, 80, 60, 60}, 0.7391});
                       bubbles.push_back({{90, 90, 40, 40}, 0.8});
                       return bubbles;
                     }(),
                     true, "bubble_clean patched p1 coverage=0.40 confidence=0.74\n",
                     {"bubble 0.74:p1", "patch_text:p1"}},
    HandedBubbleCase{"NoOverlappingBubbleFallsBack", {{{0, 0, 20, 20}, 0.9}}, true,
                     "bubble_clean fallback reasons: fallback_low_bubble_confidence:p1\n",
                     {"fallback_low_bubble_confidence:p1"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HandedBubbleTest, FallbackRegionsAreOrangeAndTheirLabelsNoted) {
  PageBitmap page = makePage(200, 200);
  const RenderItem item = block("p7", {100, 100, 6, 12});
  CleanupPlan plan = planFor(page, {item});
  plan.groupBubbles = {{{80, 80, 60, 60}, 0.5}};
  const auto out = runPass(page, kBubbleClean, {item}, plan);
  EXPECT_EQ(out.record.debugRegions,
            (std::vector<BubbleDebugRegion>{
                {{80, 80, 60, 60}, "bubble 0.50:p7", systemPurpleColor},
                {{96, 96, 14, 20}, "fallback_empty_mask:p7", systemOrangeColor}}));
  EXPECT_EQ(out.record.cleanupNotes, (std::vector<std::string>{"fallback_empty_mask:p7"}));
  EXPECT_TRUE(out.record.cleanedMasks.empty());  // clean white paper takes a plain fill
}

// --- Group evidence --------------------------------------------------------------------------

// A mid-grey page, never bubble paper: block (100, 80, 50, 50) with R = (90, 70, 70, 70).
// Optionally the six points 12 pixels outside R that the surround probe reads are white.
struct EvidenceCase {
  const char* name;
  std::vector<std::string> ids;
  std::vector<std::string> grouped;
  std::vector<std::pair<std::string, std::int64_t>> sizes;
  bool probeDots;
  const char* report;
};
class GroupEvidenceTest : public ::testing::TestWithParam<EvidenceCase> {};

PageBitmap greyPage(bool probeDots) {
  PageBitmap page = makePage(300, 220, grey(100));
  if (probeDots) {
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{
             {78, 58}, {172, 58}, {78, 152}, {172, 152}, {125, 58}, {125, 152}}) {
      paintRect(page, x - 1, y - 1, 3, 3, kWhite);
    }
  }
  paintLetters(page, 110, 100, 3);
  return page;
}

TEST_P(GroupEvidenceTest, GroupedBlocksArePatchedWhiteOnlyWithEvidence) {
  const EvidenceCase& c = GetParam();
  PageBitmap page = greyPage(c.probeDots);
  const RenderItem item{.ids = c.ids, .rect = {100, 80, 50, 50}, .text = "words"};
  CleanupPlan plan{.blockCleanRects = {.rects = {{90, 70, 70, 70}}}};
  plan.groupedIds.insert(c.grouped.begin(), c.grouped.end());
  plan.groupSizes.insert(c.sizes.begin(), c.sizes.end());
  const auto out = runPass(page, kBubbleClean, {item}, plan);

  EXPECT_EQ(out.report, c.report);
  ASSERT_EQ(out.record.debugRegions.size(), 1u);
  const bool patched = out.record.cleanupNotes.empty();
  const std::string label = blockLabel(item);
  EXPECT_EQ(out.record.debugRegions[0],
            (BubbleDebugRegion{{90, 70, 70, 70},
                               (patched ? "patch_grouped:" : "fallback_low_bubble_confidence:") + label,
                               patched ? systemYellowColor : systemOrangeColor}));
  // A patch is white; a fallback on this dark page is refused by the safety gate.
  if (patched) {
    EXPECT_EQ(pixelsNotOf(page, 102, 70, 46, 70, kWhite), 0);
  } else {
    EXPECT_EQ(differingPixels(page, greyPage(c.probeDots)), 0);
  }
  EXPECT_TRUE(out.record.cleanedMasks.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, GroupEvidenceTest, ::testing::Values(
    EvidenceCase{"SurroundProbe", {"p1"}, {"p1"}, {{"p1", 2}}, true,
                 "bubble_clean patched grouped p1\n"},
    EvidenceCase{"GroupOfFour", {"p1"}, {"p1"}, {{"p1", 4}}, false,
                 "bubble_clean patched grouped p1\n"},
    EvidenceCase{"GroupOfThree", {"p1"}, {"p1"}, {{"p1", 3}}, false,
                 "bubble_clean fallback reasons: fallback_low_bubble_confidence:p1\n"},
    EvidenceCase{"NotGroupedDespiteTheProbe", {"p1"}, {}, {{"p1", 5}}, true,
                 "bubble_clean fallback reasons: fallback_low_bubble_confidence:p1\n"},
    EvidenceCase{"EveryIdMustBeInALargeGroup", {"a", "b"}, {"a", "b"}, {{"a", 4}, {"b", 3}}, false,
                 "bubble_clean fallback reasons: fallback_low_bubble_confidence:a+b\n"},
    EvidenceCase{"EveryIdInALargeGroup", {"a", "b"}, {"a", "b"}, {{"a", 4}, {"b", 6}}, false,
                 "bubble_clean patched grouped a+b\n"},
    EvidenceCase{"NoIds", {}, {}, {{"x", 1}}, false, "bubble_clean patched grouped \n"},
    EvidenceCase{"NoIdsAndNoLookup", {}, {}, {}, false,
                 "bubble_clean fallback reasons: fallback_low_bubble_confidence:\n"},
    // The plan holds ids in their composed form; the label keeps the id as written.
    EvidenceCase{"CanonicallyEquivalentId", {"e\u0301"}, {"\u00e9"}, {{"\u00e9", 4}}, false,
                 "bubble_clean patched grouped e\u0301\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GroupEvidenceTest, HatchedPaperAroundAGroupIsABubbleSurround) {
  // Every fourth column black: a quarter dark and full of edges, too busy for a bubble search
  // but light enough around the blocks for the surround test.
  auto hatched = [] {
    PageBitmap page = makePage(300, 200);
    for (std::int64_t x = 0; x < 300; x += 4) paintRect(page, x, 0, 1, 200, kBlack);
    paintRect(page, 100, 100, 40, 20, kWhite);
    paintRect(page, 100, 70, 40, 20, kWhite);
    paintLetters(page, 105, 106, 4);
    paintLetters(page, 105, 76, 4);
    return page;
  };
  PageBitmap page = hatched();
  const std::vector<RenderItem> blocks = {block("a", {100, 100, 40, 20}), block("b", {100, 70, 40, 20})};
  const RenderItem group{.ids = {"a", "b"}, .rect = {100, 70, 40, 50}, .text = "a b"};
  const auto plan = planFor(page, blocks, {group});
  ASSERT_TRUE(plan.groupBubbles.empty());
  ASSERT_TRUE(isBubbleSurround(page, plan.blockCleanRects.rects[0], plan.blockCleanRects));

  const auto out = runPass(page, kBubbleClean, blocks, plan);
  EXPECT_EQ(out.report, "bubble_clean patched grouped a\nbubble_clean patched grouped b\n");
  EXPECT_EQ(out.record.debugRegions.size(), 2u);
  EXPECT_EQ(out.record.debugRegions[1].label, "patch_grouped:b");
  // Margin 4.4: R of a spans x 95.6 to 144.4, y 95.6 to 124.4.
  EXPECT_EQ(pixelsNotOf(page, 100, 96, 40, 28, kWhite), 0);
  expectUntouchedOutside(page, hatched(), 95, 65, 145, 125);
}

// --- Blocks over artwork ---------------------------------------------------------------------

// Left: a 2 x 2 checkerboard screentone; right: a colourful photo-like gradient.
PageBitmap artworkPage() {
  PageBitmap page = makePage(300, 200);
  for (std::int64_t y = 0; y < 200; ++y) {
    for (std::int64_t x = 0; x < 300; ++x) {
      const auto level = static_cast<std::uint8_t>(x / 2 % 2 == y / 2 % 2 ? 0 : 255);
      const Rgb8 photo{static_cast<std::uint8_t>(x * 3 % 256), static_cast<std::uint8_t>(y * 5 % 256),
                       static_cast<std::uint8_t>((x + y) % 256)};
      page.setPixel(x, y, x < 150 ? Rgb8{level, level, level} : photo);
    }
  }
  return page;
}

TEST(ArtworkFallbackTest, BlocksOverScreentoneAndPhotosFallBackAndStayUntouched) {
  PageBitmap page = artworkPage();
  const std::vector<RenderItem> blocks = {block("p1", {40, 80, 50, 50}),
                                          block("p2", {190, 80, 50, 50}),
                                          block("p3", {60, 20, 40, 30})};
  const auto out = runPass(page, kBubbleClean, blocks, planFor(page, blocks));

  EXPECT_EQ(out.report,
            "bubble_clean fallback reasons: fallback_low_bubble_confidence:p1,"
            "fallback_low_bubble_confidence:p2,fallback_low_bubble_confidence:p3\n");
  EXPECT_EQ(out.record.cleanupNotes,
            (std::vector<std::string>{"fallback_low_bubble_confidence:p1",
                                      "fallback_low_bubble_confidence:p2",
                                      "fallback_low_bubble_confidence:p3"}));
  ASSERT_EQ(out.record.debugRegions.size(), 3u);
  EXPECT_EQ(out.record.debugRegions[1],
            (BubbleDebugRegion{{180, 70, 70, 70}, "fallback_low_bubble_confidence:p2",
                               systemOrangeColor}));
  for (const auto& region : out.record.debugRegions) EXPECT_EQ(region.color, systemOrangeColor);
  EXPECT_TRUE(out.record.cleanedMasks.empty());
  EXPECT_EQ(differingPixels(page, artworkPage()), 0);
}

TEST(ArtworkFallbackTest, NotesListLabelsOfBothFallbacksInBlockOrder) {
  PageBitmap page = artworkPage();
  paintRect(page, 150, 0, 150, 200, kWhite);  // the right half is plain paper
  const std::vector<RenderItem> blocks = {block("p3", {40, 80, 50, 50}), block("p7", {200, 100, 6, 12})};
  CleanupPlan plan = planFor(page, blocks);
  plan.groupBubbles = {{{180, 80, 60, 60}, 0.6}};
  const auto out = runPass(page, kBubbleClean, blocks, plan);
  EXPECT_EQ(out.report,
            "bubble_clean fallback reasons: fallback_low_bubble_confidence:p3,fallback_empty_mask:p7\n");
}

// --- The inpaint pass ------------------------------------------------------------------------

// Four 100-pixel columns: screentone, white paper, grey paper, photo. Each holds a 50 x 50
// block at x + 25, y 75 (margin 10, R 70 x 70) with three letters, except the artwork ones.
PageBitmap inpaintPage() {
  PageBitmap page = artworkPage();  // screentone on 0..150, photo from 150 on
  PageBitmap wide = makePage(400, 200);
  for (std::int64_t y = 0; y < 200; ++y) {
    for (std::int64_t x = 0; x < 100; ++x) {
      wide.setPixel(x, y, page.pixel(x, y));
      wide.setPixel(x + 300, y, page.pixel(x + 200, y));
    }
  }
  paintRect(wide, 100, 0, 100, 200, kWhite);
  paintRect(wide, 200, 0, 100, 200, grey(200));
  for (int column = 0; column < 4; ++column) paintLetters(wide, 100 * column + 35, 96, 3);
  return wide;
}

std::vector<RenderItem> inpaintBlocks() {
  return {block("p1", {25, 75, 50, 50}), block("p2", {125, 75, 50, 50}),
          block("p3", {225, 75, 50, 50}), block("p4", {325, 75, 50, 50})};
}

TEST(InpaintPassTest, RefusedBlocksAreListedAndTheOthersCleaned) {
  PageBitmap page = inpaintPage();
  const auto blocks = inpaintBlocks();
  const auto out = runPass(page, kTextInpaint, blocks, planFor(page, blocks));

  EXPECT_EQ(out.report, "cleanup skipped (safety gate) for ids: p1,p4\n");
  EXPECT_EQ(out.record.cleanupNotes, (std::vector<std::string>{"p1", "p4"}));
  EXPECT_TRUE(out.record.debugRegions.empty());
  // p2: clean white paper, filled white. p3: grey paper, its letters inpainted; the mask of
  // three bars grown by 7 is 33 x 21 cells.
  ASSERT_EQ(out.record.cleanedMasks.size(), 1u);
  EXPECT_EQ(out.record.cleanedMasks[0].rect, (Rect{215, 65, 70, 70}));
  EXPECT_EQ(out.record.cleanedMasks[0].pixels.count(), 33 * 21);
  EXPECT_EQ(pixelsNotOf(page, 100, 0, 100, 200, kWhite), 0);
  std::int64_t darkInGrey = 0;
  for (std::int64_t y = 0; y < 200; ++y) {
    for (std::int64_t x = 200; x < 300; ++x) darkInGrey += page.pixel(x, y).red < 200 ? 1 : 0;
  }
  EXPECT_EQ(darkInGrey, 0);
  // The refused columns keep their lettering.
  PageBitmap fixture = inpaintPage();
  expectUntouchedOutside(page, fixture, 100, 0, 300, 200);
}

TEST(InpaintPassTest, NoLineWhenEveryBlockPassesTheGate) {
  PageBitmap page = inpaintPage();
  const auto all = inpaintBlocks();
  const std::vector<RenderItem> blocks = {all[1], all[2]};
  const auto out = runPass(page, kTextInpaint, blocks, planFor(page, blocks));
  EXPECT_EQ(out.report, "");
  EXPECT_TRUE(out.record.cleanupNotes.empty());
  EXPECT_EQ(out.record.cleanedMasks.size(), 1u);
}

// Grey paper with two 7-pixel lines of ink `length` long in R = (90, 65, 120, 70). On this
// clean paper each grows by 7: 2 x 21 x (length + 14) cells of 8400.
struct InpaintDensityCase {
  const char* name;
  std::int64_t length;
  bool inpainted;
};
class InpaintDensityTest : public ::testing::TestWithParam<InpaintDensityCase> {};

TEST_P(InpaintDensityTest, DenseMasksAreFilledWhiteAndDropped) {
  const InpaintDensityCase& c = GetParam();
  PageBitmap page = makePage(300, 200, grey(200));
  paintRect(page, 99, 75, c.length, 7, kBlack);
  paintRect(page, 99, 105, c.length, 7, kBlack);
  const auto out = runPass(page, kTextInpaint, {kBubbleBlock}, planFor(page, {kBubbleBlock}));

  EXPECT_EQ(out.report, "");
  ASSERT_EQ(out.record.cleanedMasks.size(), c.inpainted ? 1u : 0u);
  if (c.inpainted) {
    EXPECT_EQ(out.record.cleanedMasks[0].pixels.count(), 2 * 21 * (c.length + 14));
    EXPECT_EQ(pixelsNotOf(page, 102, 65, 96, 70, kWhite) > 0, true);  // grey paper kept
  } else {
    EXPECT_EQ(pixelsNotOf(page, 102, 65, 96, 70, kWhite), 0);
  }
  EXPECT_EQ(darkPixels(page), 0);
  expectUntouchedOutside(page, makePage(300, 200, grey(200)), 90, 65, 210, 135);
}

INSTANTIATE_TEST_SUITE_P(Table, InpaintDensityTest, ::testing::Values(
    InpaintDensityCase{"AtTheLimit", 102, true},        // 4872 cells: exactly 0.58
    InpaintDensityCase{"AboveTheLimit", 103, false}),   // 4914 cells: 0.585
    [](const auto& info) { return std::string(info.param.name); });

// --- Modes without a pass --------------------------------------------------------------------

class NoPassModeTest : public ::testing::TestWithParam<ModeWord<CleanupMode>> {};

TEST_P(NoPassModeTest, NothingIsWrittenRecordedOrPainted) {
  PageBitmap page = letteredBubblePage(kWhite, true);
  const auto out = runPass(page, GetParam().choice, {kBubbleBlock}, planFor(page, {kBubbleBlock}));
  EXPECT_EQ(out.report, "");
  EXPECT_TRUE(out.record.cleanedMasks.empty());
  EXPECT_TRUE(out.record.debugRegions.empty());
  EXPECT_TRUE(out.record.cleanupNotes.empty());
  EXPECT_EQ(differingPixels(page, letteredBubblePage(kWhite, true)), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, NoPassModeTest,
                         ::testing::Values(ModeWord<CleanupMode>{"white_fill", kWhiteFill},
                                           ModeWord<CleanupMode>{"none", kNone}),
                         [](const auto& info) { return std::string(info.param.word); });

// --- Preparation -----------------------------------------------------------------------------

TEST(PrepareCleanupTest, CleanRectsAreTheBlocksGrownByTheirMarginAndKeptOnThePage) {
  const auto page = makePage(400, 300);
  const std::vector<RenderItem> blocks = {
      block("a", {100, 100, 10, 10}),   // margin 4
      block("b", {20, 20, 100, 150}),   // margin 10
      block("c", {2, 280, 50, 50}),     // margin 10, cut at the left and top
      block("d", {390, 10, 300, 40})};  // margin 8.8, mostly off the page on the right
  const auto plan = planFor(page, blocks);
  ASSERT_EQ(plan.blockCleanRects.rects.size(), 4u);
  EXPECT_EQ(plan.blockCleanRects.rects[0], (Rect{96, 96, 18, 18}));
  EXPECT_EQ(plan.blockCleanRects.rects[1], (Rect{10, 10, 120, 170}));
  EXPECT_EQ(plan.blockCleanRects.rects[2], (Rect{0, 270, 62, 30}));
  EXPECT_DOUBLE_EQ(plan.blockCleanRects.rects[3].x, 390 - 8.8);
  EXPECT_DOUBLE_EQ(plan.blockCleanRects.rects[3].width, 400 - (390 - 8.8));
}

TEST(PrepareCleanupTest, GroupsGiveBubblesGroupedIdsAndSizes) {
  auto page = makePage(400, 300);
  paintRect(page, 250, 150, 150, 150, grey(60));  // the third group sits on dark artwork
  const std::vector<RenderItem> blocks = {
      block("a", {20, 20, 40, 20}), block("b", {100, 100, 100, 20}), block("c", {100, 80, 100, 20}),
      block("d", {300, 200, 40, 20}), block("e", {300, 180, 40, 20})};
  const std::vector<RenderItem> renders = {
      blocks[0],
      RenderItem{.ids = {"b", "c"}, .rect = {100, 80, 100, 40}, .text = "b c"},
      RenderItem{.ids = {"d", "e"}, .rect = {300, 180, 40, 40}, .text = "d e"}};
  const auto plan = planFor(page, blocks, renders);
  // Margin max(0.75 x 5.2, 10) = 10 bounds the search to (90, 70, 120, 60), which growth 26
  // fills; clean white paper scores the cap.
  EXPECT_EQ(plan.groupBubbles, (std::vector<BubbleRegion>{{{90, 70, 120, 60}, 0.99}}));
  EXPECT_EQ(plan.groupedIds, (std::unordered_set<std::string>{"b", "c", "d", "e"}));
  EXPECT_EQ(plan.groupSizes, (std::unordered_map<std::string, std::int64_t>{
                                 {"a", 1}, {"b", 2}, {"c", 2}, {"d", 2}, {"e", 2}}));
}

TEST(PrepareCleanupTest, GroupedIdsAreKeptInComposedForm) {
  const auto page = makePage(100, 100);
  const std::vector<RenderItem> renders = {
      RenderItem{.ids = {"e\u0301", "x"}, .rect = {10, 10, 40, 40}, .text = "t"}};
  const auto plan = planFor(page, {}, renders);
  EXPECT_TRUE(plan.groupedIds.contains("\u00e9"));
  EXPECT_EQ(plan.groupSizes.at("\u00e9"), 2);
}

struct DuplicateCase {
  const char* name;
  std::vector<std::vector<std::string>> renderIds;
  const char* failure;  // empty when the ids are all distinct
};
class DuplicateIdTest : public ::testing::TestWithParam<DuplicateCase> {};

TEST_P(DuplicateIdTest, RepeatedIdEndsThePreparation) {
  const DuplicateCase& c = GetParam();
  const auto page = makePage(100, 100);
  std::vector<RenderItem> renders;
  for (const auto& ids : c.renderIds) renders.push_back(RenderItem{.ids = ids, .rect = {10, 10, 20, 20}});
  std::string failure;
  const auto plan = prepareCleanup(page, {}, renders, pageRectOf(page), failure);
  EXPECT_EQ(plan.has_value(), std::string(c.failure).empty());
  EXPECT_EQ(failure, c.failure);
}

INSTANTIATE_TEST_SUITE_P(Table, DuplicateIdTest, ::testing::Values(
    DuplicateCase{"InTwoItems", {{"a"}, {"b"}, {"a"}}, "Duplicate values for key: 'a'"},
    DuplicateCase{"TwiceInOneItem", {{"a", "b", "b"}}, "Duplicate values for key: 'b'"},
    DuplicateCase{"ComposedAfterDecomposed", {{"e\u0301"}, {"\u00e9"}},
                  "Duplicate values for key: '\u00e9'"},
    DuplicateCase{"DecomposedAfterComposed", {{"\u00e9", "z"}, {"e\u0301"}},
                  "Duplicate values for key: 'e\u0301'"},
    DuplicateCase{"CaseAndSpacesCount", {{"a", "A"}, {"a "}}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Many blocks stacked on one box inside the bubble and many over the artwork: the padded text
// areas are marked on the page once, and every decision is the one the listed areas give.
TEST(PrepareCleanupTest, ManyBlocksAreDecidedAsWithTheAreasListed) {
  std::vector<RenderItem> blocks;
  for (int i = 0; i < 24; ++i) {
    blocks.push_back(block("b" + std::to_string(i), kBubbleBlock.rect));
    blocks.push_back(block("t" + std::to_string(i), {10.0 + 7 * i, 170, 30, 12}));
  }
  PageBitmap marked = letteredBubblePage(kWhite, true);
  const CleanupPlan plan = planFor(marked, blocks);
  ASSERT_FALSE(plan.blockCleanRects.coveredBits.empty());
  CleanupPlan listedPlan = plan;
  listedPlan.blockCleanRects = Exclusions{.rects = plan.blockCleanRects.rects};
  PageBitmap listed = letteredBubblePage(kWhite, true);

  const auto out = runPass(marked, kBubbleClean, blocks, plan);
  const auto reference = runPass(listed, kBubbleClean, blocks, listedPlan);
  EXPECT_EQ(out.report, reference.report);
  EXPECT_EQ(out.record.debugRegions, reference.record.debugRegions);
  EXPECT_EQ(out.record.cleanupNotes, reference.record.cleanupNotes);
  EXPECT_EQ(out.record.cleanedMasks, reference.record.cleanedMasks);
  EXPECT_EQ(differingPixels(marked, listed), 0);
  // Each block in the bubble is patched; each over the artwork falls back.
  EXPECT_EQ(out.record.debugRegions.size(), 24u * 2 + 24u);
  EXPECT_EQ(out.record.cleanupNotes.size(), 24u);
}

// --- Bubble search around one block ----------------------------------------------------------

TEST(FindBlockBubbleTest, SearchIsCutToThePage) {
  const auto page = makePage(300, 200);
  const CleanupPlan plan{};
  // Growth 8 (0.65 x 12 is raised to 8) from (-10, -10, 12, 12) is cut to (0, 0, 10, 10).
  const auto corner = findBlockBubble(page, block("p", {-10, -10, 12, 12}), plan, pageRectOf(page));
  ASSERT_TRUE(corner.has_value());
  EXPECT_EQ(corner->rect, (Rect{0, 0, 10, 10}));
  // From (-16, -16, 12, 12) only 4 pixels are left in each direction.
  EXPECT_FALSE(findBlockBubble(page, block("p", {-16, -16, 12, 12}), plan, pageRectOf(page)));
  // A block under one pixel of area would need a search under 7.5 pixels of area.
  EXPECT_FALSE(findBlockBubble(page, block("p", {100, 100, 0.5, 0.5}), plan, pageRectOf(page)));
}

TEST(BlockLabelTest, IdsAreJoinedWithPlus) {
  EXPECT_EQ(blockLabel(block("p1", {})), "p1");
  EXPECT_EQ(blockLabel(RenderItem{.ids = {"a", "b", "c"}}), "a+b+c");
  EXPECT_EQ(blockLabel(RenderItem{}), "");
}

}  // namespace
}  // namespace letterforge
