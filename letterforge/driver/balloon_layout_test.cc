// Renders small pages with balloons through the engine: the balloon preset's items, the text
// of balloon fitting kept inside the balloon's interior, the flags of each block.
#include "letterforge/driver/balloon_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "letterforge/cleanup/balloon_finder.h"
#include "letterforge/driver/engine_test_support.h"
#include "letterforge/layout/rect_geometry.h"
#include "letterforge/raster/test_pages.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using namespace test_pages;
using namespace engine_test;
using platform::PageBitmap;
using test_cases::PrintTo;

// Two speakers' balloons drawn over each other, their lines interleaved in height.
PageBitmap twoSpeakers() {
  auto page = makePage(500, 300, grey(110));
  paintEllipse(page, 170, 170, 120, 70, kWhite, kBlack);
  paintEllipse(page, 330, 130, 120, 70, kWhite, kBlack);
  paintLetters(page, 100, 190, 12);
  paintLetters(page, 105, 172, 11);
  paintLetters(page, 280, 135, 10);
  paintLetters(page, 285, 117, 9);
  return page;
}

const std::vector<Line> kTwoSpeakerLines = {
    {"a1", 98, 188, 120, 14, "Où étais-tu passé"}, {"a2", 103, 170, 110, 14, "toute la journée ?"},
    {"b1", 278, 133, 100, 14, "Je cherchais"},      {"b2", 283, 115, 90, 14, "le chat, voyons."}};

std::vector<std::string> itemsOf(const RenderResult& result) {
  std::vector<std::string> items;
  for (const BlockOutcome& b : result.blocks) items.push_back(b.item);
  return items;
}

TEST(BalloonLayoutTest, BalloonPresetKeepsEachSpeakersLinesApart) {
  RenderSettings settings{.groupingPreset = GroupingPreset::kBalloon, .cleanupMode = CleanupMode::kBubbleClean};
  EXPECT_EQ(itemsOf(render(twoSpeakers(), kTwoSpeakerLines, settings)),
            (std::vector<std::string>{"a1+a2", "a1+a2", "b1+b2", "b1+b2"}));
  // Grouping off keeps every block apart whatever the preset.
  settings.groupingEnabled = false;
  EXPECT_EQ(itemsOf(render(twoSpeakers(), kTwoSpeakerLines, settings)),
            (std::vector<std::string>{"a1", "a2", "b1", "b2"}));
}

TEST(BalloonLayoutTest, ItemsAcrossTwoBalloonsAreFlaggedWhenBalloonsAreLookedFor) {
  // Two lines of two balloons on the same column are one item for the balanced preset.
  // Their balloons, one above the other, part them: the lines lie 10 pixels apart.
  auto page = makePage(400, 300, grey(110));
  paintEllipse(page, 200, 200, 160, 45, kWhite, kBlack);
  paintEllipse(page, 200, 108, 160, 45, kWhite, kBlack);
  paintLetters(page, 170, 162, 6);
  paintLetters(page, 170, 138, 6);
  const std::vector<Line> lines = {{"a", 168, 160, 60, 14, "Première ligne"},
                                   {"b", 168, 136, 60, 14, "Seconde bulle"}};
  RenderSettings settings{.cleanupMode = CleanupMode::kWhiteFill};
  const RenderResult plain = render(page, lines, settings);
  ASSERT_EQ(plain.blocks.size(), 2u);
  EXPECT_FALSE(plain.blocks[0].flags.spansBalloons);  // balloons are not looked for
  settings.fitBalloon = true;
  const RenderResult fitted = render(page, lines, settings);
  EXPECT_EQ(fitted.blocks[0].item, "a+b");
  EXPECT_TRUE(fitted.blocks[0].flags.spansBalloons);
  EXPECT_TRUE(fitted.blocks[1].flags.spansBalloons);
  settings.groupingPreset = GroupingPreset::kBalloon;
  const RenderResult byBalloon = render(page, lines, settings);
  EXPECT_EQ(itemsOf(byBalloon), (std::vector<std::string>{"a", "b"}));
  EXPECT_FALSE(byBalloon.blocks[0].flags.spansBalloons);
}

// The dark pixels of the finished page that the page did not have before.
template <typename Visit>
void forNewInk(const PageBitmap& before, const PageBitmap& after, Visit visit) {
  for (std::int64_t y = 0; y < after.height(); ++y) {
    for (std::int64_t x = 0; x < after.width(); ++x) {
      const auto p = after.pixel(x, y);
      if (p.red < 100 && p.green < 100 && p.blue < 100 && before.pixel(x, y).red >= 100) visit(x, y);
    }
  }
}

struct FitCase {
  const char* name;
  std::string text;
  bool fits;
};
class BalloonFitTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(BalloonFitTest, InkStaysInsideTheBalloonsInterior) {
  auto page = makePage(400, 300, {60, 90, 150});
  paintEllipse(page, 200, 150, 150, 90, {240, 232, 210}, kBlack);
  paintLetters(page, 160, 150, 8);
  const Line line{"a", 158, 148, 80, 14, GetParam().text};
  const auto balloon = findBalloon(page, {line.x, line.y, line.w, line.h});
  ASSERT_TRUE(balloon.has_value());
  const RenderResult result =
      render(page, {line}, RenderSettings{.cleanupMode = CleanupMode::kBubbleClean, .fitBalloon = true});
  ASSERT_TRUE(result.page.bitmap.has_value());
  std::int64_t inside = 0, outside = 0;
  // The text goes into one of the balloon's interiors, whichever lets it be largest.
  forNewInk(page, *result.page.bitmap, [&](std::int64_t x, std::int64_t y) {
    bool in = false;
    for (const Rect& r : balloon->interiors) {
      in = in || (x >= r.x && x + 1 <= r.x + r.width && y >= r.y && y + 1 <= r.y + r.height);
    }
    (in ? inside : outside) += 1;
  });
  EXPECT_GT(inside, 100);
  EXPECT_EQ(outside, 0);
  // Text that fits is larger than the 10-pixel lettering it replaces, filling the balloon.
  EXPECT_EQ(result.blocks[0].flags.overflowed, !GetParam().fits);
  if (GetParam().fits) {
    EXPECT_GT(result.blocks[0].typeset.size, 14.0);
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, BalloonFitTest, ::testing::Values(
    FitCase{"Short", "Salut !", true},
    FitCase{"Long", "Une phrase bien plus longue que la ligne qu'elle remplace, qui doit tenir "
                    "dans la bulle sur plusieurs lignes sans jamais en sortir.", true},
    FitCase{"TooLongToFit", std::string(3000, 'W'), false}),
    [](const auto& info) { return std::string(info.param.name); });

// A balloon of a square body and a long arm, the lettering in the arm: every interior, each
// the largest rectangle of some height, lies in the body.
PageBitmap armedBalloon() {
  auto page = makePage(500, 300, grey(110));
  paintRect(page, 38, 38, 164, 164, kBlack);
  paintRect(page, 40, 40, 160, 160, kWhite);
  paintRect(page, 198, 148, 264, 44, kBlack);
  paintRect(page, 198, 150, 260, 40, kWhite);
  paintLetters(page, 300, 163, 11);
  return page;
}

PageBitmap stripedArt() {
  auto page = makePage(500, 300, grey(200));
  for (std::int64_t x = 0; x < 500; x += 7) paintRect(page, x, 0, 3, 300, {40, 120, 60});
  paintLetters(page, 300, 163, 11);
  return page;
}

// Where balloon fitting sets the text: as without it (the usual area), or in the lettering's box.
enum class FitPlace { kAsUsual, kLetteringBox };
struct FitGuardCase {
  const char* name;
  PageBitmap (*page)();
  Line line;
  bool balloonFound;
  FitPlace place;
};
class BalloonFitGuardTest : public ::testing::TestWithParam<FitGuardCase> {};

// Text never goes into an interior away from its lettering: without a balloon, or with one
// whose interiors all miss the lettering, it is set as without balloon fitting; a lettering's
// box that the balloon holds whole is the room left.
TEST_P(BalloonFitGuardTest, TextStaysOverItsLettering) {
  const FitGuardCase& c = GetParam();
  const PageBitmap page = c.page();
  const Rect rect{c.line.x, c.line.y, c.line.w, c.line.h};
  const auto balloon = findBalloon(page, rect);
  ASSERT_EQ(balloon.has_value(), c.balloonFound);
  for (const Rect& interior : balloon ? balloon->interiors : std::vector<Rect>{}) {
    ASSERT_FALSE(intersects(interior, rect)) << "the case needs interiors away from the lettering";
  }
  RenderSettings settings{.cleanupMode = CleanupMode::kBubbleClean};
  const RenderResult usual = render(page, {c.line}, settings);
  settings.fitBalloon = true;
  const RenderResult fitted = render(page, {c.line}, settings);
  ASSERT_TRUE(fitted.page.bitmap && usual.page.bitmap);
  if (c.place == FitPlace::kAsUsual) {
    EXPECT_EQ(differingPixels(*fitted.page.bitmap, *usual.page.bitmap), 0);
    return;
  }
  std::int64_t inside = 0, outside = 0;
  forNewInk(page, *fitted.page.bitmap, [&](std::int64_t x, std::int64_t y) {
    (x >= rect.x && x + 1 <= rect.x + rect.width && y >= rect.y && y + 1 <= rect.y + rect.height ? inside : outside) += 1;
  });
  EXPECT_GT(inside, 30);
  EXPECT_EQ(outside, 0);
  EXPECT_GT(differingPixels(*fitted.page.bitmap, *usual.page.bitmap), 0);
}

INSTANTIATE_TEST_SUITE_P(Places, BalloonFitGuardTest, ::testing::Values(
    FitGuardCase{"NoBalloonOverTheArt", stripedArt, {"a", 298, 161, 112, 14, "Salut !"}, false, FitPlace::kAsUsual},
    // The box runs 20 pixels past the arm's end: the balloon holds under 97 % of it.
    FitGuardCase{"InteriorsMissTheLettering", armedBalloon, {"a", 298, 161, 180, 14, "Salut !"}, true,
                 FitPlace::kAsUsual},
    FitGuardCase{"LetteringBoxHeldWhole", armedBalloon, {"a", 298, 161, 112, 14, "Salut !"}, true,
                 FitPlace::kLetteringBox}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BalloonLayoutTest, TextOverTheArtKeepsTheUsualAreaAndGrouping) {
  auto page = makePage(400, 200, grey(200));
  for (std::int64_t x = 0; x < 400; x += 7) paintRect(page, x, 0, 3, 200, {40, 120, 60});
  const std::vector<Line> lines = {{"a", 100, 120, 200, 20, "Une enseigne"},
                                   {"b", 100, 95, 200, 20, "sur le mur"}};
  const RenderResult usual = render(page, lines, RenderSettings{});
  const RenderResult byBalloon =
      render(page, lines, RenderSettings{.groupingPreset = GroupingPreset::kBalloon, .fitBalloon = true});
  EXPECT_EQ(itemsOf(byBalloon), itemsOf(usual));
  EXPECT_EQ(byBalloon.blocks[0].typeset, usual.blocks[0].typeset);
  EXPECT_FALSE(byBalloon.blocks[0].flags.spansBalloons);
}

TEST(BlockFlagsTest, RefusedAreaIsUncleanedOnlyWhenACleanupModeRan) {
  auto page = makePage(400, 200, grey(200));
  for (std::int64_t x = 0; x < 400; x += 4) paintRect(page, x, 0, 2, 200, {30, 30, 30});
  const std::vector<Line> lines = {{"a", 100, 90, 200, 20, "Texte"}};
  EXPECT_TRUE(render(page, lines, RenderSettings{.cleanupMode = CleanupMode::kTextInpaint}).blocks[0].flags.uncleaned);
  EXPECT_FALSE(render(page, lines, RenderSettings{.cleanupMode = CleanupMode::kNone}).blocks[0].flags.uncleaned);
  EXPECT_FALSE(render(page, lines, RenderSettings{.cleanupMode = CleanupMode::kWhiteFill}).blocks[0].flags.uncleaned);
}

TEST(BlockFlagsTest, OverflowAndUnknownCharactersFollowTheTypesetting) {
  const auto page = makePage(300, 100);
  const std::vector<Line> lines = {{"a", 100, 40, 80, 20, std::string(2000, 'W') + "\xF3\xB0\x80\x80"}};
  const RenderResult result = render(page, lines, RenderSettings{});
  EXPECT_TRUE(result.blocks[0].flags.overflowed);
  EXPECT_EQ(result.blocks[0].flags.unknownCharacters, result.blocks[0].typeset.unknownCharacters > 0);
}

}  // namespace
}  // namespace letterforge
