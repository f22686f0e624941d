#include "letterforge/cleanup/repaint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <ostream>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "letterforge/raster/test_pages.h"

namespace letterforge {
namespace {

using platform::PageBitmap;
using platform::Rgb8;
using namespace test_pages;

using Ground = std::function<Rgb8(std::int64_t x, std::int64_t y)>;

PageBitmap pageOf(std::int64_t w, std::int64_t h, const Ground& ground) {
  PageBitmap page = makePage(w, h);
  for (std::int64_t y = 0; y < h; ++y) {
    for (std::int64_t x = 0; x < w; ++x) page.setPixel(x, y, ground(x, y));
  }
  return page;
}

// A page whose ground is known, with lettering drawn over it: bars 3 pixels wide every 7
// across the box (the strokes), each in a ring of `rim` pixels of the rim colour.
struct Scene {
  PageBitmap clean;
  PageBitmap page;
  std::set<std::pair<std::int64_t, std::int64_t>> lettering{};
  Rect box{};
};

Scene sceneOf(std::int64_t w, std::int64_t h, const Ground& ground, Rect box, Rgb8 ink,
              std::int64_t rim = 0, Rgb8 rimColour = kWhite) {
  Scene s{.clean = pageOf(w, h, ground), .page = pageOf(w, h, ground), .box = box};
  const auto x0 = static_cast<std::int64_t>(box.x), y0 = static_cast<std::int64_t>(box.y);
  const auto x1 = static_cast<std::int64_t>(box.x + box.width);
  const auto y1 = static_cast<std::int64_t>(box.y + box.height);
  for (std::int64_t bx = x0; bx + 3 <= x1; bx += 7) {
    for (std::int64_t y = y0 - rim; y < y1 + rim; ++y) {
      for (std::int64_t x = bx - rim; x < bx + 3 + rim; ++x) {
        const bool stroke = x >= bx && x < bx + 3 && y >= y0 && y < y1;
        s.page.setPixel(x, y, stroke ? ink : rimColour);
        s.lettering.insert({x, y});
      }
    }
  }
  return s;
}

int worstChannel(Rgb8 a, Rgb8 b) {
  return std::max({std::abs(a.red - b.red), std::abs(a.green - b.green), std::abs(a.blue - b.blue)});
}

// Share of the lettering's pixels more than 40 levels off the clean page.
double residual(const Scene& s) {

  std::int64_t off = 0;
  for (const auto& [x, y] : s.lettering) off += worstChannel(s.page.pixel(x, y), s.clean.pixel(x, y)) > 40;
  return static_cast<double>(off) / static_cast<double>(s.lettering.size());
}

// Pixels that differ from the clean page more than `margin` beyond the box.
std::int64_t damageBeyond(const Scene& s, double margin) {
  std::int64_t changed = 0;
  for (std::int64_t y = 0; y < s.page.height(); ++y) {
    for (std::int64_t x = 0; x < s.page.width(); ++x) {
      const bool near = x >= s.box.x - margin && x < s.box.x + s.box.width + margin &&
                        y >= s.box.y - margin && y < s.box.y + s.box.height + margin;
      if (!near && s.page.pixel(x, y) != s.clean.pixel(x, y)) ++changed;
    }
  }
  return changed;
}

// A fixed noise in -amplitude..amplitude.
int noise(std::int64_t x, std::int64_t y, int amplitude) {
  std::uint64_t h = static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15u ^
                    static_cast<std::uint64_t>(y) * 0xC2B2AE3D27D4EB4Fu;
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9u;
  h ^= h >> 32;
  return static_cast<int>(h % static_cast<std::uint64_t>(2 * amplitude + 1)) - amplitude;
}

std::uint8_t level(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

TEST(RepaintTest, RepaintsPaperAndKeepsTheBalloonLineBesideTheLetters) {
  const Rgb8 paper{240, 235, 220};
  Scene s = sceneOf(120, 80, [&](std::int64_t x, std::int64_t) { return x == 14 || x == 15 ? kBlack : paper; },
                    Rect{24, 30, 60, 14}, kBlack);
  const RepaintOutcome outcome = repaintLettering(s.page, s.box, {}, 1);
  EXPECT_TRUE(outcome.cleaned);
  EXPECT_EQ(outcome.ground, GroundKind::kPaper);
  EXPECT_EQ(residual(s), 0.0);
  EXPECT_EQ(damageBeyond(s, 0.0), 0);  // the line at x = 14 lies in the reach and is kept
  EXPECT_GT(outcome.mask.pixels.count(), 0);
}

TEST(RepaintTest, ALetterJoinedToTheBalloonLineGoesAndTheLineStays) {
  // The first stroke touches the balloon's line (running off the page) by a blob 3 pixels tall.
  const Rgb8 paper{240, 235, 220};
  Scene s = sceneOf(120, 80, [&](std::int64_t x, std::int64_t) { return x == 14 || x == 15 ? kBlack : paper; },
                    Rect{20, 30, 60, 14}, kBlack);
  paintRect(s.page, 16, 36, 4, 3, kBlack);
  const RepaintOutcome outcome = repaintLettering(s.page, s.box, {}, 1);
  EXPECT_EQ(outcome.ground, GroundKind::kPaper);
  EXPECT_EQ(residual(s), 0.0);
  EXPECT_EQ(damageBeyond(s, 0.0), 0);  // the blob is gone, the line kept whole
}

TEST(RepaintTest, TightCaptionKeepsItsPaperAndOutline) {
  // A caption box 6 pixels around its letters, its outline well within the block's reach, on a
  // ground of another colour.
  const Ground ground = [](std::int64_t x, std::int64_t y) {
    if (x >= 18 && x < 110 && y >= 30 && y < 58) return Rgb8{250, 214, 90};
    if (x >= 15 && x < 113 && y >= 27 && y < 61) return kBlack;
    return Rgb8{60, 40, 220};
  };
  Scene s = sceneOf(130, 90, ground, Rect{24, 36, 80, 16}, Rgb8{30, 20, 20});
  const RepaintOutcome outcome = repaintLettering(s.page, s.box, {}, 2);
  EXPECT_EQ(outcome.ground, GroundKind::kPaper);
  EXPECT_EQ(residual(s), 0.0);
  // Nothing but the lettering changed: the outline and the ground beyond are as they were.
  std::int64_t changed = 0;
  for (std::int64_t y = 0; y < 90; ++y) {
    for (std::int64_t x = 0; x < 130; ++x) {
      changed += s.lettering.count({x, y}) == 0 && s.page.pixel(x, y) != s.clean.pixel(x, y) ? 1 : 0;
    }
  }
  EXPECT_EQ(changed, 0);
}

TEST(RepaintTest, SoftLetteringLeavesNoGhostOnItsPaper) {
  // Strokes whose edges fade into the paper over five pixels, as on an enlarged scan: the
  // fade is lettering too, and no grey trace of it stays.
  const Rgb8 paper{252, 252, 250};
  Scene s = sceneOf(120, 80, [&](std::int64_t, std::int64_t) { return paper; }, Rect{24, 30, 60, 14}, kBlack);
  constexpr std::array<int, 5> kFade{40, 18, 9, 7, 5};  // levels below the paper, 1 to 5 pixels out
  for (std::int64_t y = 25; y < 49; ++y) {
    for (std::int64_t x = 19; x < 89; ++x) {
      if (s.lettering.count({x, y}) != 0) continue;
      int nearest = 6;
      for (const auto& [lx, ly] : s.lettering) {
        nearest = std::min<int>(nearest, static_cast<int>(std::max(std::abs(lx - x), std::abs(ly - y))));
      }
      if (nearest > 5) continue;
      const int v = paper.red - kFade[static_cast<std::size_t>(nearest - 1)];
      s.page.setPixel(x, y, Rgb8{level(v), level(v), level(v - 2)});
    }
  }
  repaintLettering(s.page, s.box, {}, 5);
  int worst = 0;
  for (std::int64_t y = 20; y < 54; ++y) {
    for (std::int64_t x = 14; x < 94; ++x) worst = std::max(worst, worstChannel(s.page.pixel(x, y), paper));
  }
  EXPECT_LE(worst, 3);
}

TEST(RepaintTest, NewsprintIsRepaintedWithItsColourAndGrain) {
  Scene s = sceneOf(140, 90, [](std::int64_t x, std::int64_t y) {
    return Rgb8{level(230 + noise(x, y, 5)), level(214 + noise(x + 7, y, 5)), level(178 + noise(x, y + 7, 5))};
  }, Rect{30, 36, 70, 16}, Rgb8{20, 20, 60});
  const RepaintOutcome outcome = repaintLettering(s.page, s.box, {}, 7);
  EXPECT_EQ(outcome.ground, GroundKind::kPaper);
  double sum = 0, squares = 0;
  std::int64_t n = 0;
  for (const auto& [x, y] : s.lettering) {
    const double v = s.page.pixel(x, y).red;
    sum += v, squares += v * v, ++n;
  }
  const double mean = sum / static_cast<double>(n);
  EXPECT_NEAR(mean, 230.0, 2.0);
  EXPECT_GT(std::sqrt(squares / static_cast<double>(n) - mean * mean), 1.5);  // not a flat slab
  EXPECT_EQ(residual(s), 0.0);
}

TEST(RepaintTest, HaloAndStrokesOnAGradientTakeTheGradient) {
  Scene s = sceneOf(160, 90, [](std::int64_t x, std::int64_t y) {
    return Rgb8{level(40 + static_cast<int>(x)), 120, level(200 - static_cast<int>(y))};
  }, Rect{40, 36, 80, 16}, kBlack, 2, kWhite);
  const RepaintOutcome outcome = repaintLettering(s.page, s.box, {}, 3);
  EXPECT_EQ(outcome.ground, GroundKind::kSmooth);
  int worst = 0;
  for (const auto& [x, y] : s.lettering) worst = std::max(worst, worstChannel(s.page.pixel(x, y), s.clean.pixel(x, y)));
  EXPECT_LE(worst, 12);
  EXPECT_EQ(damageBeyond(s, 12.0), 0);
}

TEST(RepaintTest, ScreentoneComesBackInPhaseUnderAHalo) {
  // Dots of 2 x 2 every 6 pixels, and letters in a white halo that wipes the tone around them.
  const Ground tone = [](std::int64_t x, std::int64_t y) { return x % 6 < 2 && y % 6 < 2 ? kBlack : kWhite; };
  Scene s = sceneOf(180, 100, tone, Rect{50, 40, 80, 18}, kBlack, 3, kWhite);
  const RepaintOutcome outcome = repaintLettering(s.page, s.box, {}, 5);
  EXPECT_EQ(outcome.ground, GroundKind::kTexture);
  EXPECT_LE(residual(s), 0.05);
  EXPECT_EQ(damageBeyond(s, 12.0), 0);
}

// Letters in a light halo over art that no colour of theirs tells apart from it: dark letters
// across a drawing of pale paper and dark shading, found only as what stands out of the
// ground (the halo has to go with them or the fill takes it for paper); or letters on a smooth
// ground whose halo touches a bright shape running out of the window, which they join.
struct HaloOnArtCase {
  const char* name;
  Ground drawing;
  Rgb8 ink;
  Rgb8 halo;
  std::int64_t haloWidth;
  double residualMax = 0.05;
};

void PrintTo(const HaloOnArtCase& c, std::ostream* os) { *os << c.name; }

Ground shadedDrawing(int paper) {
  return [paper](std::int64_t x, std::int64_t y) {
    const bool shade = ((x + y / 2) / 31) % 2 == 0;
    return shade ? Rgb8{level(22 + noise(x, y, 5)), level(22 + noise(x, y, 5)), 45}
                 : Rgb8{level(paper + noise(x, y, 6)), level(paper - 4 + noise(x, y, 6)), level(paper - 12)};
  };
}

// Grass with a pale shape `wide` pixels wide from column 104, row `top` down off the page.
Ground grassOverAShape(std::int64_t wide, std::int64_t top) {
  return [wide, top](std::int64_t x, std::int64_t y) {
    if (x >= 104 && x < 104 + wide && y >= top) return Rgb8{level(215 + noise(x, y, 4)), level(220 + noise(x, y, 4)), 110};
    return Rgb8{level(95 + noise(x, y, 5)), level(112 + noise(x, y, 5)), 38};
  };
}

class HaloOnArtTest : public ::testing::TestWithParam<HaloOnArtCase> {};

TEST_P(HaloOnArtTest, LettersAndHaloAreBothRemoved) {
  const HaloOnArtCase& c = GetParam();
  Scene s = sceneOf(180, 110, c.drawing, Rect{50, 46, 80, 18}, c.ink, c.haloWidth, c.halo);
  const RepaintOutcome outcome = repaintLettering(s.page, s.box, {}, 3);
  EXPECT_EQ(outcome.ground, GroundKind::kTexture);
  std::int64_t unmasked = 0;
  const TextMask& mask = outcome.mask;
  for (const auto& [x, y] : s.lettering) {
    const auto c = x - static_cast<std::int64_t>(mask.rect.x), r = y - static_cast<std::int64_t>(mask.rect.y);
    unmasked += c < 0 || r < 0 || c >= mask.width || r >= mask.height || !mask.pixels.contains(r * mask.width + c) ? 1 : 0;
  }
  EXPECT_EQ(unmasked, 0);
  EXPECT_LE(residual(s), c.residualMax);
  EXPECT_EQ(damageBeyond(s, 12.0), 0);
}

constexpr Rgb8 kInk{40, 40, 40}, kNavy{30, 30, 90};

INSTANTIATE_TEST_SUITE_P(
    RepaintTest, HaloOnArtTest,
    ::testing::Values(HaloOnArtCase{"CreamHaloNearThePaper", shadedDrawing(230), kInk, Rgb8{250, 245, 200}, 4},
                      HaloOnArtCase{"CreamHaloOnDarkerPaper", shadedDrawing(220), kInk, Rgb8{250, 245, 200}, 3},
                      HaloOnArtCase{"GreyHaloOnGreyPaper", shadedDrawing(200), kInk, Rgb8{235, 235, 235}, 3},
                      HaloOnArtCase{"YellowHaloOnPalePaper", shadedDrawing(230), kInk, Rgb8{255, 250, 150}, 3},
                      // The halos of the last four letters (down to row 64) touch the shape: all
                      // are masked, but the fill carries the shape's edge up into the holes.
                      HaloOnArtCase{"HaloOfAWordTouchingAShapeOnGrass", grassOverAShape(30, 65), kNavy, kWhite, 1, 0.2}),
    [](const ::testing::TestParamInfo<HaloOnArtCase>& info) { return std::string(info.param.name); });

// Rimmed letters found by their colours across art: each hole is a mix of the texture fill
// and the smooth one, and nothing of the letters' colour may come back with either. The error
// is the mean over the lettering's pixels and channels, in levels: the smooth fill alone reads
// 27, 50 and 47 on these grounds, a mix with the letters' own colours 15, 17 and 32.
struct ArtFillCase {
  const char* name;
  Ground drawing;
  double errorMax;
};

void PrintTo(const ArtFillCase& c, std::ostream* os) { *os << c.name; }

double meanError(const Scene& s) {
  double sum = 0;
  for (const auto& [x, y] : s.lettering) {
    const Rgb8 a = s.page.pixel(x, y), b = s.clean.pixel(x, y);
    sum += std::abs(a.red - b.red) + std::abs(a.green - b.green) + std::abs(a.blue - b.blue);
  }
  return sum / (3.0 * static_cast<double>(s.lettering.size()));
}

class ArtFillTest : public ::testing::TestWithParam<ArtFillCase> {};

TEST_P(ArtFillTest, TheHolesTakeTheDrawingAndNoneOfTheLetters) {
  const ArtFillCase& c = GetParam();
  Scene s = sceneOf(180, 110, c.drawing, Rect{50, 46, 80, 18}, Rgb8{250, 220, 30}, 2, kBlack);
  const RepaintOutcome outcome = repaintLettering(s.page, s.box, {}, 9);
  EXPECT_EQ(outcome.ground, GroundKind::kTexture);
  EXPECT_LE(residual(s), 0.25);
  EXPECT_LE(meanError(s), c.errorMax);
  EXPECT_EQ(damageBeyond(s, 12.0), 0);
}

INSTANTIATE_TEST_SUITE_P(
    RepaintTest, ArtFillTest,
    ::testing::Values(
        // Bands of two colours with a faint texture.
        ArtFillCase{"DiagonalBands", [](std::int64_t x, std::int64_t y) {
                      const bool dark = ((x + y / 3) / 23) % 2 == 0;
                      return dark ? Rgb8{level(40 + noise(x, y, 6)), level(90 + noise(x, y, 6)), 60}
                                  : Rgb8{level(220 + noise(x, y, 6)), level(140 + noise(x, y, 6)), 70};
                    }, 9},
        ArtFillCase{"ShadedDrawing", shadedDrawing(200), 12},
        // Dark lines a pixel or two wide, wavy and unevenly spaced, on pale paper.
        ArtFillCase{"WavyLines", [](std::int64_t x, std::int64_t y) {
                      const double v = static_cast<double>(y) + 6.0 * std::sin(static_cast<double>(x) / 11.0);
                      const bool line = std::fmod(v + 0.07 * v * v / 40.0, 9.0) < 1.6;
                      return line ? Rgb8{level(50 + noise(x, y, 6)), 45, 40} : Rgb8{level(225 + noise(x, y, 6)), 215, 190};
                    }, 27}),
    [](const ::testing::TestParamInfo<ArtFillCase>& info) { return std::string(info.param.name); });

// Yellow letters in a black rim, found by their colour, on a drawing with purple specks that the
// box takes in above and below them: the specks stand out of the ground as the rims do, but
// they are the drawing's, and no hole is made of them.
TEST(RepaintTest, SpecksOfTheDrawingBesideLettersFoundByColourStay) {
  const Ground specked = [](std::int64_t x, std::int64_t y) {
    if (x % 9 < 2 && y % 9 < 2) return Rgb8{150, 30, 150};
    const bool dark = ((x + y / 3) / 23) % 2 == 0;
    return dark ? Rgb8{level(40 + noise(x, y, 6)), level(90 + noise(x, y, 6)), 60}
                : Rgb8{level(220 + noise(x, y, 6)), level(140 + noise(x, y, 6)), 70};
  };
  Scene s = sceneOf(180, 110, specked, Rect{50, 46, 80, 18}, Rgb8{250, 220, 30}, 2, kBlack);
  s.box = Rect{50, 36, 80, 38};
  const RepaintOutcome outcome = repaintLettering(s.page, s.box, {}, 9);
  EXPECT_EQ(outcome.ground, GroundKind::kTexture);
  EXPECT_LE(residual(s), 0.25);
  std::int64_t specks = 0, changed = 0;
  for (std::int64_t y = 36; y < 74; ++y) {
    for (std::int64_t x = 50; x < 130; ++x) {
      if (y >= 42 && y < 68) continue;  // the letters, their rims and the cell the mask grows by
      if (x % 9 >= 2 || y % 9 >= 2) continue;
      ++specks;
      changed += s.page.pixel(x, y) != s.clean.pixel(x, y) ? 1 : 0;
    }
  }
  EXPECT_GT(specks, 0);
  EXPECT_EQ(changed, 0);
}

// Lettering whose box of text recognition is not where the lettering ends: the box runs past
// a balloon drawn without an outline on a flat tint, or punctuation lies past the box's end.
// `gone` is ink that belongs to the lettering; `stays` is ink beyond the balloon or another
// block's (whose boxes, still to be cleaned, are `pending`), and nothing `untouched` other than
// the lettering may change.
struct BoxEndCase {
  const char* name;
  Ground ground;
  Rect letters;  // the strokes
  Rect block;    // the box given
  std::vector<Rect> gone{};
  std::vector<Rect> stays{};
  std::function<bool(std::int64_t, std::int64_t)> untouched = [](std::int64_t, std::int64_t) { return false; };
  std::vector<Rect> pending{};
  GroundKind kind = GroundKind::kPaper;
  // Paper printed in dots gets dots back, not where the clean page has them.
  double residualMax = 0.0;
};

void PrintTo(const BoxEndCase& c, std::ostream* os) { *os << c.name; }

class BoxEndTest : public ::testing::TestWithParam<BoxEndCase> {};

TEST_P(BoxEndTest, TheLetteringGoesAndNothingElse) {
  const BoxEndCase& c = GetParam();
  Scene s = sceneOf(200, 110, c.ground, c.letters, kBlack);
  for (const Rect& r : c.gone) {
    paintRect(s.page, static_cast<std::int64_t>(r.x), static_cast<std::int64_t>(r.y), static_cast<std::int64_t>(r.width),
              static_cast<std::int64_t>(r.height), kBlack);
    for (auto y = static_cast<std::int64_t>(r.y); y < r.y + r.height; ++y) {
      for (auto x = static_cast<std::int64_t>(r.x); x < r.x + r.width; ++x) s.lettering.insert({x, y});
    }
  }
  for (const Rect& r : c.stays) {
    paintRect(s.page, static_cast<std::int64_t>(r.x), static_cast<std::int64_t>(r.y), static_cast<std::int64_t>(r.width),
              static_cast<std::int64_t>(r.height), kBlack);
  }
  PageBitmap before = makePage(200, 110);
  before.copyPixelsFrom(s.page);
  const RepaintOutcome outcome = repaintLettering(s.page, c.block, c.pending, 4);
  EXPECT_TRUE(outcome.cleaned);
  EXPECT_EQ(outcome.ground, c.kind);
  EXPECT_LE(residual(s), c.residualMax);
  for (const Rect& r : c.stays) {
    EXPECT_EQ(s.page.pixel(static_cast<std::int64_t>(r.x + 1), static_cast<std::int64_t>(r.y + 1)), kBlack);
  }
  std::int64_t changed = 0;
  for (std::int64_t y = 0; y < 110; ++y) {
    for (std::int64_t x = 0; x < 200; ++x) {
      changed += c.untouched(x, y) && s.lettering.count({x, y}) == 0 && s.page.pixel(x, y) != before.pixel(x, y) ? 1 : 0;
    }
  }
  EXPECT_EQ(changed, 0);
}

bool inBalloon(std::int64_t x, std::int64_t y) { return x >= 10 && x < 190 && y >= 10 && y < 62; }

const Ground kBalloonOnTeal = [](std::int64_t x, std::int64_t y) {
  return inBalloon(x, y) ? kWhite : Rgb8{171, 220, 209};
};
const Ground kPlainPaper = [](std::int64_t, std::int64_t) { return Rgb8{250, 248, 240}; };
const Ground kNewsprint = [](std::int64_t x, std::int64_t y) {
  return Rgb8{level(228 + noise(x, y, 4)), level(212 + noise(x + 5, y, 4)), level(176 + noise(x, y + 5, 4))};
};
// A newsprint balloon whose line runs across the page at y = 60 and 61, hatched tone below it.
const Ground kBalloonOverHatching = [](std::int64_t x, std::int64_t y) {
  if (y == 60 || y == 61) return kBlack;
  if (y > 61) return (x + y) % 6 < 2 ? Rgb8{120, 190, 180} : Rgb8{170, 222, 212};
  return kNewsprint(x, y);
};
// The same balloon with a red band 4 pixels wide inside its line: as light as the paper by its
// largest channel, no dot of it.
const Ground kRedLinedBalloonOverHatching = [](std::int64_t x, std::int64_t y) {
  return y >= 56 && y < 60 ? Rgb8{225, 70, 60} : kBalloonOverHatching(x, y);
};
// A caption printed in yellow with blue dots, one in every 4 x 4 cell, inside a black outline
// 2 pixels wide around x = 6 to 193, y = 6 to 103.
const Ground kDottedCaption = [](std::int64_t x, std::int64_t y) {
  if (x < 4 || y < 4 || x >= 196 || y >= 106) return Rgb8{60, 40, 200};
  if (x < 6 || y < 6 || x >= 194 || y >= 104) return kBlack;
  return x % 4 == (y / 4) % 4 && y % 4 == 1 ? Rgb8{90, 140, 160} : Rgb8{235, 232, 90};
};
// The same caption with no border under its first line: from y = 45 down, a drawing's area
// hatched in two blues, as light as the paper by their largest channel.
const Ground kDottedCaptionOverADrawing = [](std::int64_t x, std::int64_t y) {
  if (y < 45 || y >= 104 || x < 6 || x >= 194) return kDottedCaption(x, y);
  return (x + y) % 6 < 2 ? Rgb8{52, 105, 165} : Rgb8{70, 140, 220};
};
// A balloon's top line 2 pixels thick, drawn by hand (rows 19 to 22, stepping every 9 pixels),
// running off the page, the same paper on both sides.
const Ground kPaperUnderALine = [](std::int64_t x, std::int64_t y) {
  const std::int64_t top = 19 + std::array<std::int64_t, 5>{0, 1, 2, 1, 0}[static_cast<std::size_t>(x / 9 % 5)];
  return y == top || y == top + 1 ? kBlack : Rgb8{240, 235, 220};
};
// A small caption (or a round white balloon) on a flat blue, its paper 6 pixels from the
// letters of the cases below (x = 30 to 149, y = 30 to 43), in a black outline 2 pixels wide at
// its top and bottom. `blueEdge` is under 1 on the paper and under 1.12 on the outline.
double blueEdge(std::int64_t x, std::int64_t y, bool round) {
  const double u = std::abs(static_cast<double>(x) - 89.5) / (round ? 68 : 66);
  const double v = std::abs(static_cast<double>(y) - 36.5) / (round ? 17 : 13);
  return round ? std::sqrt(u * u + v * v) : std::max(u, v);
}
Ground onBlue(bool round) {
  return [round](std::int64_t x, std::int64_t y) {
    const double d = blueEdge(x, y, round);
    return d < 1 ? (round ? kWhite : Rgb8{235, 232, 90}) : d < 1.12 ? kBlack : Rgb8{60, 40, 200};
  };
}
// A balloon's line at x = 100 and 101, running off the page.
const Ground kPaperWithALine = [](std::int64_t x, std::int64_t) {
  return x == 100 || x == 101 ? kBlack : Rgb8{250, 248, 240};
};

INSTANTIATE_TEST_SUITE_P(
    RepaintTest, BoxEndTest,
    ::testing::Values(
        // The box runs 14 pixels past the balloon's bottom into the tint: the tint stays.
        BoxEndCase{.name = "BoxPastABalloonWithoutOutline", .ground = kBalloonOnTeal, .letters = Rect{30, 28, 120, 22},
                   .block = Rect{30, 28, 120, 48},
                   .untouched = [](std::int64_t x, std::int64_t y) { return !inBalloon(x, y); }},
        BoxEndCase{.name = "ExclamationMarkPastTheEnd", .ground = kPlainPaper, .letters = Rect{24, 40, 60, 14},
                   .block = Rect{24, 40, 60, 14}, .gone = {Rect{88, 40, 3, 9}, Rect{88, 51, 3, 3}}},
        // The last dot lies past the block's reach.
        BoxEndCase{.name = "EllipsisOnNewsprintPastTheReach", .ground = kNewsprint, .letters = Rect{24, 40, 60, 14},
                   .block = Rect{24, 40, 60, 14}, .gone = {Rect{87, 51, 3, 3}, Rect{92, 51, 3, 3}, Rect{97, 51, 3, 3}}},
        BoxEndCase{.name = "LeadingMarkBeforeTheStart", .ground = kPlainPaper, .letters = Rect{40, 40, 60, 14},
                   .block = Rect{40, 40, 60, 14}, .gone = {Rect{33, 40, 3, 9}}},
        // A mark beyond the balloon's line and the letters of another block farther on stay.
        BoxEndCase{.name = "InkBeyondTheLineStays", .ground = kPaperWithALine, .letters = Rect{30, 40, 60, 14},
                   .block = Rect{30, 40, 60, 14}, .stays = {Rect{104, 40, 3, 9}},
                   .untouched = [](std::int64_t x, std::int64_t) { return x >= 100; }},
        // A loose box reaching 3 pixels past the balloon's line into the tone: the line is no
        // lettering joined to a drawing, the tone no paper.
        BoxEndCase{.name = "LooseBoxOverTheBalloonsLine", .ground = kBalloonOverHatching,
                   .letters = Rect{30, 36, 120, 16}, .block = Rect{26, 32, 128, 32}, .stays = {Rect{40, 59, 100, 3}},
                   .untouched = [](std::int64_t, std::int64_t y) { return y >= 60; }},
        // A loose box whose core takes in the balloon's top line: the line, as dark as the
        // letters, is no shape they join.
        BoxEndCase{.name = "LooseBoxOverTheBalloonsTopLine", .ground = kPaperUnderALine,
                   .letters = Rect{30, 30, 60, 14}, .block = Rect{22, 22, 76, 30},
                   .untouched = [](std::int64_t, std::int64_t y) { return y < 24; }},
        // A box loose by 6 pixels: the caption's whole paper, its outline and (at the round
        // balloon's corners) the blue beyond lie in its core.
        BoxEndCase{.name = "LooseBoxOverASmallCaptionOnBlue", .ground = onBlue(false),
                   .letters = Rect{30, 30, 120, 14}, .block = Rect{24, 24, 132, 26},
                   .untouched = [](std::int64_t x, std::int64_t y) { return blueEdge(x, y, false) >= 1; }},
        BoxEndCase{.name = "LooseBoxOverARoundBalloonOnBlue", .ground = onBlue(true),
                   .letters = Rect{30, 30, 120, 14}, .block = Rect{24, 24, 132, 26},
                   .untouched = [](std::int64_t x, std::int64_t y) { return blueEdge(x, y, true) >= 1; }},
        BoxEndCase{.name = "LooseBoxOverARedLinedBalloon", .ground = kRedLinedBalloonOverHatching,
                   .letters = Rect{30, 36, 120, 14}, .block = Rect{26, 32, 128, 32}, .stays = {Rect{40, 59, 100, 3}},
                   .untouched = [](std::int64_t, std::int64_t y) { return y >= 56; }},
        // A loose box taking in the top 4 rows of the next line's letters, another block's.
        BoxEndCase{.name = "LooseBoxOverTheNextLinesLetters", .ground = kDottedCaption,
                   .letters = Rect{30, 30, 120, 14}, .block = Rect{26, 26, 128, 28},
                   .stays = {Rect{30, 50, 3, 14}, Rect{44, 50, 3, 14}, Rect{58, 50, 3, 14}},
                   .untouched = [](std::int64_t, std::int64_t y) { return y >= 48; },
                   .pending = {Rect{30, 50, 31, 14}}, .residualMax = 0.15},
        // Another block's loose box, still to be cleaned, takes in most of these letters: what
        // lies in this block's own box is its lettering, not ground to keep.
        BoxEndCase{.name = "AnotherLooseBoxOverTheseLetters", .ground = kDottedCaption,
                   .letters = Rect{30, 30, 120, 14}, .block = Rect{26, 26, 128, 22},
                   .pending = {Rect{60, 20, 120, 60}}, .residualMax = 0.15},
        // A loose box taking in the drawing under the caption's last line: the drawing stays.
        BoxEndCase{.name = "LooseBoxOverADrawingUnderTheCaption", .ground = kDottedCaptionOverADrawing,
                   .letters = Rect{30, 30, 120, 14}, .block = Rect{26, 20, 128, 29},
                   .untouched = [](std::int64_t, std::int64_t y) { return y >= 45; }, .residualMax = 0.15},
        BoxEndCase{.name = "AWordFarPastTheEndStays", .ground = kPlainPaper, .letters = Rect{24, 40, 60, 14},
                   .block = Rect{24, 40, 60, 14}, .stays = {Rect{120, 40, 3, 14}, Rect{127, 40, 3, 14}},
                   .untouched = [](std::int64_t x, std::int64_t) { return x >= 110; }}),
    [](const ::testing::TestParamInfo<BoxEndCase>& info) { return std::string(info.param.name); });

// Lines of lettering (bars 3 pixels wide every 7, 14 high, 10 apart) over the whole box.
void letterLines(PageBitmap& page, Rect box, Rgb8 ink) {
  const auto x0 = static_cast<std::int64_t>(box.x), x1 = static_cast<std::int64_t>(box.x + box.width);
  const auto y0 = static_cast<std::int64_t>(box.y), y1 = static_cast<std::int64_t>(box.y + box.height);
  for (std::int64_t top = y0; top + 14 <= y1; top += 24) {
    for (std::int64_t x = x0; x + 3 <= x1; x += 7) paintRect(page, x, top, 3, 14, ink);
  }
}

// One line of large lettering: bars the whole box high.
void letterLine(PageBitmap& page, Rect box, Rgb8 ink) {
  for (auto x = static_cast<std::int64_t>(box.x); x + 3 <= static_cast<std::int64_t>(box.x + box.width); x += 7) {
    paintRect(page, x, static_cast<std::int64_t>(box.y), 3, static_cast<std::int64_t>(box.height), ink);
  }
}

// A block larger than any line of lettering is cleaned when its lettering is the smaller part
// of it, and left as it is, said not cleaned, when what stands out is most of it (a box over
// panels of art or over the whole page).
struct LargeBlockCase {
  const char* name;
  Ground ground;
  Rect letters;
  Rect block;
  bool cleaned;
  bool oneLine = false;  // the letters are one line of large lettering (else lines of it)
  std::int64_t width = 320, height = 240;
};
void PrintTo(const LargeBlockCase& c, std::ostream* os) { *os << c.name; }

class LargeBlockTest : public ::testing::TestWithParam<LargeBlockCase> {};

TEST_P(LargeBlockTest, IsCleanedOnlyWhenItsLetteringIsTheSmallerPart) {
  const LargeBlockCase& c = GetParam();
  const auto letter = c.oneLine ? letterLine : letterLines;
  PageBitmap page = pageOf(c.width, c.height, c.ground);
  letter(page, c.letters, kBlack);
  PageBitmap before = pageOf(c.width, c.height, c.ground);
  letter(before, c.letters, kBlack);
  const RepaintOutcome outcome = repaintLettering(page, c.block, {}, 1);
  EXPECT_EQ(outcome.cleaned, c.cleaned);
  if (c.cleaned) {
    EXPECT_EQ(differingPixels(page, pageOf(c.width, c.height, c.ground)), 0);
  } else {
    EXPECT_EQ(differingPixels(page, before), 0);
  }
}

// Two panels: a dark red shading with a black border, and blue dots on pale paper.
const Ground kTwoPanels = [](std::int64_t x, std::int64_t y) {
  if (x < 6 || x >= 314 || y < 6 || y >= 234 || (x >= 154 && x < 166)) return kWhite;
  if (x < 9 || x >= 311 || y < 9 || y >= 231 || (x >= 151 && x < 169)) return kBlack;
  if (x < 160) return Rgb8{level(120 + static_cast<int>(y) / 3), 20, 30};
  return x % 6 < 3 && y % 6 < 3 ? Rgb8{60, 90, 200} : Rgb8{235, 235, 225};
};

INSTANTIATE_TEST_SUITE_P(
    RepaintTest, LargeBlockTest,
    ::testing::Values(
        LargeBlockCase{.name = "ALargeBalloonOfManyLines", .ground = [](std::int64_t, std::int64_t) { return kWhite; },
                       .letters = Rect{60, 40, 200, 158}, .block = Rect{60, 40, 200, 158}, .cleaned = true},
        // A line's tight box on a scan of high resolution: larger than 128 pixels a side and
        // mostly lettering, but a small part of its page.
        LargeBlockCase{.name = "OneLineOfLargeLetteringOnALargePage",
                       .ground = [](std::int64_t, std::int64_t) { return Rgb8{240, 232, 210}; },
                       .letters = Rect{200, 300, 500, 130}, .block = Rect{200, 300, 500, 130}, .cleaned = true,
                       .oneLine = true, .width = 1200, .height = 1000},
        LargeBlockCase{.name = "ABoxOverTwoPanelsOfArt", .ground = kTwoPanels, .letters = Rect{190, 100, 60, 38},
                       .block = Rect{0, 0, 320, 240}, .cleaned = false}),
    [](const ::testing::TestParamInfo<LargeBlockCase>& info) { return std::string(info.param.name); });

TEST(RepaintTest, ABlockWithNothingOnItsPaperIsNotCleaned) {
  PageBitmap page = makePage(80, 60, Rgb8{200, 220, 240});
  const RepaintOutcome outcome = repaintLettering(page, Rect{20, 20, 30, 12}, {}, 1);
  EXPECT_FALSE(outcome.cleaned);
  EXPECT_EQ(differingPixels(page, makePage(80, 60, Rgb8{200, 220, 240})), 0);
}

TEST(RepaintTest, PendingLetteringOfAnotherBlockIsLeftAlone) {
  Scene s = sceneOf(160, 80, [](std::int64_t, std::int64_t) { return kWhite; }, Rect{20, 40, 50, 14}, kBlack);
  // A second block just below, still to be cleaned.
  paintRect(s.page, 30, 20, 3, 14, kBlack);
  paintRect(s.page, 44, 20, 3, 14, kBlack);
  repaintLettering(s.page, s.box, {Rect{30, 20, 17, 14}}, 1);
  EXPECT_EQ(residual(s), 0.0);
  EXPECT_EQ(s.page.pixel(31, 25), kBlack);
  EXPECT_EQ(s.page.pixel(45, 30), kBlack);
}

// Two lines of dark letters in one white halo over art. The first line's mask takes the halo
// the two share; the second line's lettering is found as it was printed, halo and all.
TEST(RepaintTest, ALineWhoseHaloTheLineAboveTookIsFoundAsPrinted) {
  const Ground art = [](std::int64_t x, std::int64_t y) {
    if ((x + 2 * y) % 29 < 3) return Rgb8{25, 25, 35};
    return Rgb8{level(50 + noise(x, y, 8)), level(120 + noise(x, y, 8)), level(200 + noise(x, y, 8))};
  };
  const Rect above{50, 30, 80, 12}, below{50, 46, 80, 12};
  // Of the second line's strokes and halo, those its mask leaves out.
  const auto unmaskedBelow = [&](bool asPrinted) {
    Scene s = sceneOf(180, 100, art, below, kInk, 3, kWhite);
    const Scene top = sceneOf(180, 100, art, above, kInk, 3, kWhite);
    for (const auto& [x, y] : top.lettering) {
      if (!s.lettering.contains({x, y})) s.page.setPixel(x, y, top.page.pixel(x, y));
    }
    const RepaintOutcome first = repaintLettering(s.page, above, {below}, 1);
    const RepaintOutcome* before[] = {&first};
    const RepaintOutcome second = repaintLettering(
        s.page, below, {}, 2, asPrinted ? std::span<const RepaintOutcome* const>(before) : std::span<const RepaintOutcome* const>());
    std::int64_t unmasked = 0;
    const TextMask& mask = second.mask;
    for (const auto& [x, y] : s.lettering) {
      const auto c = x - static_cast<std::int64_t>(mask.rect.x), r = y - static_cast<std::int64_t>(mask.rect.y);
      unmasked += c < 0 || r < 0 || c >= mask.width || r >= mask.height || !mask.pixels.contains(r * mask.width + c) ? 1 : 0;
    }
    return unmasked;
  };
  EXPECT_GT(unmaskedBelow(false), 0);
  EXPECT_EQ(unmaskedBelow(true), 0);
}

TEST(RepaintTest, ABlockCoveringThePageWithNoGroundToFillFromIsLeft) {
  Scene s = sceneOf(90, 60, [](std::int64_t x, std::int64_t) { return Rgb8{level(100 + static_cast<int>(x)), 150, 90}; },
                    Rect{0, 0, 90, 60}, kBlack);
  // Bars from edge to edge leave no ground to fill from: nothing is painted, and nothing is
  // said cleaned.
  const RepaintOutcome outcome = repaintLettering(s.page, s.box, {}, 1);
  EXPECT_FALSE(outcome.cleaned);
  Scene unchanged = sceneOf(90, 60, [](std::int64_t x, std::int64_t) { return Rgb8{level(100 + static_cast<int>(x)), 150, 90}; },
                            Rect{0, 0, 90, 60}, kBlack);
  EXPECT_EQ(differingPixels(s.page, unchanged.page), 0);
}

}  // namespace
}  // namespace letterforge
