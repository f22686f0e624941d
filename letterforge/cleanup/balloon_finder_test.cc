#include "letterforge/cleanup/balloon_finder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "letterforge/raster/test_pages.h"

namespace letterforge {
namespace {

using namespace test_pages;
using platform::Rgb8;

// Whether every corner of the rectangle lies inside the ellipse.
bool insideEllipse(const Rect& r, double cx, double cy, double rx, double ry) {
  for (const double x : {r.x, r.x + r.width}) {
    for (const double y : {r.y, r.y + r.height}) {
      if ((x - cx) * (x - cx) / (rx * rx) + (y - cy) * (y - cy) / (ry * ry) > 1.0) return false;
    }
  }
  return true;
}

// The box an OCR engine gives a line of `count` letters painted at (x, y): 2 pixels around.
Rect lettersRect(double x, double y, int count) { return {x - 2, y - 2, 10.0 * count, 14.0}; }

struct PaperCase {
  const char* name;
  Rgb8 paper;
  Rgb8 ground;
};
class BalloonPaperTest : public ::testing::TestWithParam<PaperCase> {};

// A balloon 160 x 90 with two lines of lettering in the middle of a page of another colour.
TEST_P(BalloonPaperTest, FoundWithItsPaperAndAnInteriorInsideTheOutline) {
  const PaperCase& c = GetParam();
  auto page = makePage(300, 200, c.ground);
  paintEllipse(page, 150, 100, 80, 45, c.paper, kBlack);
  paintLetters(page, 110, 102, 9);
  paintLetters(page, 115, 86, 8);
  const auto balloon = findBalloon(page, lettersRect(110, 102, 9));
  ASSERT_TRUE(balloon.has_value());
  EXPECT_NEAR(balloon->paper.red * 255, c.paper.red, 2);
  EXPECT_NEAR(balloon->paper.green * 255, c.paper.green, 2);
  EXPECT_NEAR(balloon->paper.blue * 255, c.paper.blue, 2);
  EXPECT_TRUE(insideEllipse(balloon->interior, 150, 100, 80, 45));
  // An ellipse holds a rectangle of half its box at most; the interior keeps a margin too.
  EXPECT_GE(balloon->interior.width * balloon->interior.height, 0.35 * 160 * 90);
  EXPECT_TRUE(balloonHolds(*balloon, lettersRect(115, 86, 8)));
  EXPECT_LE(balloon->bounds.width, 161);
  EXPECT_LE(balloon->bounds.height, 91);
}

INSTANTIATE_TEST_SUITE_P(Papers, BalloonPaperTest, ::testing::Values(
    PaperCase{"WhiteOnGrey", kWhite, grey(128)},
    PaperCase{"OffWhiteNewsprintOnBlue", {236, 226, 200}, {60, 90, 160}},
    PaperCase{"CaptionYellowOnRed", {250, 232, 110}, {170, 30, 30}},
    PaperCase{"TintedBlueOnDarkGreen", {200, 222, 245}, {20, 80, 40}},
    PaperCase{"WhiteOnNearWhitePaint", kWhite, {226, 220, 214}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BalloonFinderTest, LetteringOverTheArtHasNoBalloon) {
  auto page = makePage(300, 200, grey(200));
  for (std::int64_t x = 0; x < 300; x += 7) paintRect(page, x, 0, 3, 200, {40, 120, 60});
  paintLetters(page, 100, 95, 10);
  EXPECT_FALSE(findBalloon(page, lettersRect(100, 95, 10)).has_value());
}

TEST(BalloonFinderTest, LetteringOnAnOpenPageHasNoBalloon) {
  auto page = makePage(400, 300);
  paintLetters(page, 150, 145, 6);
  EXPECT_FALSE(findBalloon(page, lettersRect(150, 145, 6)).has_value());
}

TEST(BalloonFinderTest, RectangleUnderTwoPixelsHasNoBalloon) {
  auto page = makePage(300, 200, grey(128));
  paintEllipse(page, 150, 100, 80, 45, kWhite, kBlack);
  EXPECT_FALSE(findBalloon(page, {150, 100, 1, 10}).has_value());
  EXPECT_FALSE(findBalloon(page, {150, 100, 10, 1.5}).has_value());
}

// Two balloons whose outlines touch side by side, lettering on the same rows in both.
TEST(BalloonFinderTest, TouchingBalloonsAreTwo) {
  auto page = makePage(400, 200, grey(120));
  paintEllipse(page, 110, 100, 90, 50, kWhite, kBlack);
  paintEllipse(page, 290, 100, 90, 50, kWhite, kBlack);
  paintLetters(page, 70, 102, 9);
  paintLetters(page, 250, 102, 9);
  paintLetters(page, 74, 86, 8);
  paintLetters(page, 254, 86, 8);
  const PageBalloons found = findPageBalloons(
      page, {lettersRect(70, 102, 9), lettersRect(250, 102, 9), lettersRect(74, 86, 8),
             lettersRect(254, 86, 8)});
  ASSERT_EQ(found.balloons.size(), 2u);
  EXPECT_EQ(found.ofRect, (std::vector<std::optional<std::size_t>>{0, 1, 0, 1}));
}

// Two balloons drawn over each other with their paper run together through a narrow join.
TEST(BalloonFinderTest, OverlappingBalloonsAreCutAtTheirJoin) {
  auto page = makePage(400, 260, grey(120));
  paintEllipse(page, 120, 170, 100, 55, kWhite, kBlack);
  paintEllipse(page, 270, 80, 100, 55, kWhite, kBlack);
  // The paper of both, the outlines inside the other balloon painted over.
  paintEllipse(page, 120, 170, 97, 52, kWhite, kWhite, 0);
  paintEllipse(page, 270, 80, 97, 52, kWhite, kWhite, 0);
  paintLetters(page, 75, 175, 10);
  paintLetters(page, 80, 160, 9);
  paintLetters(page, 225, 85, 10);
  paintLetters(page, 230, 70, 9);
  const PageBalloons found = findPageBalloons(
      page, {lettersRect(75, 175, 10), lettersRect(80, 160, 9), lettersRect(225, 85, 10),
             lettersRect(230, 70, 9)});
  ASSERT_EQ(found.balloons.size(), 2u);
  EXPECT_EQ(found.ofRect, (std::vector<std::optional<std::size_t>>{0, 0, 1, 1}));
}

// A balloon breaking out of its panel's top edge into the white gutter and page margin.
TEST(BalloonFinderTest, BalloonIsCutFromTheGutterItRunsInto) {
  auto page = makePage(500, 400);
  paintRect(page, 20, 20, 460, 346, {90, 60, 50});  // the gutter above it is 34 pixels wide
  paintEllipse(page, 250, 330, 110, 60, kWhite, kBlack);
  paintRect(page, 190, 366, 120, 26, kWhite);  // no outline where it leaves the panel
  paintLetters(page, 200, 330, 11);
  paintLetters(page, 205, 314, 10);
  const auto balloon = findBalloon(page, lettersRect(200, 330, 11));
  ASSERT_TRUE(balloon.has_value());
  EXPECT_LE(balloon->bounds.width, 230);
  EXPECT_GE(balloon->bounds.minX, 135);  // not along the gutter
  EXPECT_TRUE(balloonHolds(*balloon, lettersRect(205, 314, 10)));
}

}  // namespace
}  // namespace letterforge
