#include "platform/page_bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/page_bitmap_testing.h"
#include "platform/test_bitmaps.h"
#include "platform/test_case_names.h"

namespace platform {
namespace {

using test_cases::PrintTo;

const Rgb8 kWhite8{255, 255, 255};
const Rgb8 kBlack8{0, 0, 0};

TEST(PageBitmapTest, RefusesImpossibleSizes) {
  EXPECT_FALSE(PageBitmap::create(0, 10).has_value());
  EXPECT_FALSE(PageBitmap::create(10, -1).has_value());
  EXPECT_FALSE(PageBitmap::create(kMaxImageSide + 1, 1).has_value());
}

// A bitmap drawn in kept memory starts cleared as a new one does, and gives its memory back.
TEST(PageBitmapTest, KeptMemoryIsClearedAndTakenBackWhenTheBitmapIsLetGo) {
  PixelMemory memory;
  constexpr std::size_t kBytes = 40 * 30 * 4;
  PixelBuffer dirty = allocatePixels(kBytes, false);
  std::fill_n(dirty.get(), kBytes, std::uint8_t{0xA7});
  const std::uint8_t* address = dirty.get();
  memory.keep(std::move(dirty), kBytes);

  auto page = PageBitmap::create(40, 30, &memory);
  ASSERT_TRUE(page.has_value());
  EXPECT_EQ(memory.take(1), nullptr);
  for (std::int64_t y = 0; y < 30; ++y) {
    for (std::int64_t x = 0; x < 40; ++x) ASSERT_EQ(page->rowWords(y)[x], 0u) << x << ", " << y;
  }
  page->fillRect({0, 0, 40, 30}, kBlack);
  keepPixels(std::move(*page), memory);
  EXPECT_EQ(memory.take(kBytes).get(), address);

  // Without memory of its own the bitmap gives nothing back.
  auto plain = PageBitmap::create(40, 30);
  ASSERT_TRUE(plain.has_value());
  keepPixels(std::move(*plain), memory);
  EXPECT_EQ(memory.take(1), nullptr);
}

TEST(PageBitmapTest, DrawingYZeroIsTheBottomRow) {
  PageBitmap page = whitePage(4, 3);
  page.fillRect({0, 0, 4, 1}, kBlack);
  EXPECT_EQ(page.pixel(2, 0), kBlack8);
  EXPECT_EQ(page.pixel(2, 1), kWhite8);
  // Storage is top row first: the bottom drawing row is the last storage row.
  EXPECT_EQ(page.rowWords(0)[0] & 0xFFFFFFu, 0u);
}

TEST(PageBitmapTest, PixelCoversItsUnitSquare) {
  PageBitmap page = whitePage(5, 5);
  page.fillRect({2, 3, 1, 1}, kBlack);
  for (std::int64_t y = 0; y < 5; ++y) {
    for (std::int64_t x = 0; x < 5; ++x) {
      EXPECT_EQ(page.pixel(x, y), (x == 2 && y == 3) ? kBlack8 : kWhite8) << x << "," << y;
    }
  }
}

TEST(PageBitmapTest, SetPixelIsSeenByLaterDrawing) {
  PageBitmap page = whitePage(3, 3);
  page.setPixel(1, 1, {10, 20, 30});
  EXPECT_EQ(page.pixel(1, 1), (Rgb8{10, 20, 30}));
  EXPECT_EQ(page.rowWords(1)[1] >> 24, 255u);
  page.fillRect({0, 0, 1, 1}, kBlack);
  EXPECT_EQ(page.pixel(1, 1), (Rgb8{10, 20, 30}));
}

TEST(PageBitmapTest, RoundedRectCoversInsideButNotTheCorner) {
  PageBitmap page = whitePage(40, 40);
  page.fillRoundedRect({0, 0, 40, 40}, 12, kBlack);
  EXPECT_EQ(page.pixel(20, 20), kBlack8);
  EXPECT_EQ(page.pixel(0, 20), kBlack8);
  EXPECT_EQ(page.pixel(0, 0), kWhite8);
  EXPECT_EQ(page.pixel(39, 39), kWhite8);
}

TEST(PageBitmapTest, ErasedRoundedRectLeavesTransparencyInsideAndTheCornerAsItWas) {
  PageBitmap page = *PageBitmap::create(40, 40);
  page.fillRect({0, 0, 40, 40}, Color{0.0, 0.0, 1.0, 1.0});
  page.eraseRoundedRect({0, 0, 40, 40}, 12);
  EXPECT_EQ(page.rowWords(20)[20] >> 24, 0u);
  EXPECT_EQ(page.rowWords(0)[0], 0xFF0000FFu);  // the corner outside the arc
}

TEST(PageBitmapTest, CopiesThePixelsOfABitmapOfItsSizeOnly) {
  PageBitmap from = *PageBitmap::create(6, 4), to = *PageBitmap::create(6, 4);
  from.setPixel(2, 1, Rgb8{9, 8, 7});
  ASSERT_TRUE(to.copyPixelsFrom(from));
  EXPECT_EQ(to.pixel(2, 1), (Rgb8{9, 8, 7}));
  to.fillRect({0, 0, 1, 1}, Color{1.0, 0.0, 0.0, 1.0});  // drawing sees the copied pixels
  EXPECT_EQ(to.pixel(2, 1), (Rgb8{9, 8, 7}));
  PageBitmap other = *PageBitmap::create(6, 5);
  EXPECT_FALSE(other.copyPixelsFrom(from));
}

TEST(PageBitmapTest, ClipLastsUntilRestore) {
  PageBitmap page = whitePage(10, 10);
  page.save();
  page.clipToRect({0, 0, 5, 10});
  page.fillRect({0, 0, 10, 10}, kBlack);
  page.restore();
  EXPECT_EQ(page.pixel(4, 5), kBlack8);
  EXPECT_EQ(page.pixel(5, 5), kWhite8);
  page.fillRect({0, 0, 10, 10}, kBlack);
  EXPECT_EQ(page.pixel(9, 9), kBlack8);
}

TEST(PageBitmapTest, StrokeIsCentredOnTheEdges) {
  PageBitmap page = whitePage(20, 20);
  page.strokeRect({5, 5, 10, 10}, 2, kBlack);
  EXPECT_EQ(page.pixel(4, 10), kBlack8);
  EXPECT_EQ(page.pixel(5, 10), kBlack8);
  EXPECT_EQ(page.pixel(6, 10), kWhite8);
  EXPECT_EQ(page.pixel(10, 10), kWhite8);
}

TEST(PageBitmapTest, ImageDrawnOneToOneOverWhiteTurnsTransparencyWhite) {
  PageBitmap page = whitePage(2, 1);
  DecodedImage image{.width = 2, .height = 1, .rgba = allocatePixels(8, true)};
  const std::uint8_t pixels[8] = {255, 0, 0, 255, 0, 0, 0, 0};
  std::copy(pixels, pixels + 8, image.rgba.get());
  page.drawImage(image, {0, 0, 2, 1});
  EXPECT_EQ(page.pixel(0, 0), (Rgb8{255, 0, 0}));
  EXPECT_EQ(page.pixel(1, 0), kWhite8);
}

TEST(PageBitmapTest, ImageDrawnIntoAClippedPageRespectsTheClip) {
  PageBitmap page = whitePage(2, 1);
  DecodedImage image{.width = 2, .height = 1, .rgba = allocatePixels(8, true)};
  std::fill(image.rgba.get(), image.rgba.get() + 8, 255);
  image.rgba[0] = image.rgba[1] = image.rgba[2] = 0;
  image.rgba[4] = image.rgba[5] = image.rgba[6] = 0;
  page.save();
  page.clipToRect({0, 0, 1, 1});
  page.drawImage(image, {0, 0, 2, 1});
  page.restore();
  EXPECT_EQ(page.pixel(0, 0), kBlack8);
  EXPECT_EQ(page.pixel(1, 0), kWhite8);
}

TEST(PageBitmapTest, NonFiniteOrEmptyShapesDrawNothing) {
  PageBitmap page = whitePage(4, 4);
  page.fillRect({NAN, 0, 4, 4}, kBlack);
  page.fillRoundedRect({0, 0, INFINITY, 4}, 2, kBlack);
  page.strokeRect({0, 0, 4, 4}, NAN, kBlack);
  DecodedImage image{.width = 1, .height = 1, .rgba = allocatePixels(4, true)};
  page.drawImage(image, {0, 0, 0, 0});
  page.fillRect({0, 0, 1, 1}, kBlack);  // the context still draws afterwards
  EXPECT_EQ(page.pixel(0, 0), kBlack8);
  EXPECT_EQ(page.pixel(3, 3), kWhite8);
}

// --- Pages larger than one drawing surface --------------------------------------------------

struct LongPageCase {
  const char* name;
  std::int64_t width, height;
};
class LongPageTest : public ::testing::TestWithParam<LongPageCase> {};

// A red pixel at either end and a black band over the 32767th pixel along the long side,
// beyond which one surface of the drawing library cannot reach.
TEST_P(LongPageTest, DrawsAlongTheWholeLength) {
  const LongPageCase& c = GetParam();
  PageBitmap page = whitePage(c.width, c.height);
  ASSERT_FALSE(fitsOneSurface(page));
  const bool wide = c.width > c.height;
  const std::int64_t length = wide ? c.width : c.height;
  auto across = [&](double along, double size) {  // a band across the short side
    return wide ? Rect{along, 0, size, double(c.height)} : Rect{0, double(length) - along - size, double(c.width), size};
  };
  page.fillRect(across(0, 1), {1, 0, 0, 1});
  page.fillRect(across(double(length) - 1, 1), {1, 0, 0, 1});
  page.fillRect(across(32762, 8), kBlack);
  auto middle = [&](std::int64_t along) {  // the pixel `along` pixels from the start, mid-width
    return wide ? page.pixel(along, c.height / 2) : page.pixel(c.width / 2, length - 1 - along);
  };
  const Rgb8 red{255, 0, 0};
  EXPECT_EQ(middle(0), red);
  EXPECT_EQ(middle(1), kWhite8);
  EXPECT_EQ(middle(32761), kWhite8);
  for (std::int64_t along = 32762; along < std::min<std::int64_t>(32770, length); ++along) {
    EXPECT_EQ(middle(along), kBlack8) << along;
  }
  if (length > 32771) {
    EXPECT_EQ(middle(length - 1), red);
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, LongPageTest, ::testing::Values(
    LongPageCase{"TallerThanOneSurfaceByOne", 2, 32768},
    LongPageCase{"WiderThanOneSurfaceByOne", 32768, 2},
    LongPageCase{"WidestPage", 65535, 1},
    LongPageCase{"TallestPage", 3, 65535}),
    [](const auto& info) { return std::string(info.param.name); });

// Drawings of every kind at random places, sizes and colours, fractions of pixels included,
// none wider or taller than about `extent`; scaled images only when asked for.
using Drawing = std::function<void(PageBitmap&)>;

std::vector<Drawing> randomDrawings(double width, double height, double extent, int count, bool images) {
  std::mt19937 random(20240611);
  auto uniform = [&](double low, double high) {
    return low + (high - low) * (static_cast<double>(random()) / static_cast<double>(std::mt19937::max()));
  };
  auto rect = [&] {
    return Rect{uniform(-10, width), uniform(-10, height), uniform(-extent, extent), uniform(-extent, extent)};
  };
  auto color = [&] {
    const double alphas[] = {1.0, 0.9, 0.78, 0.45};
    return Color{uniform(0, 1), uniform(0, 1), uniform(0, 1), alphas[random() % 4]};
  };
  auto image = std::make_shared<DecodedImage>(*allocateImage(7, 5));
  for (std::int64_t i = 0; i < 7 * 5 * 4; ++i) image->rgba[i] = static_cast<std::uint8_t>(random());
  std::vector<Drawing> drawings;
  for (int i = 0; i < count; ++i) {
    const Rect r = rect();
    const Color c = color();
    switch (random() % (images ? 6 : 5)) {
      case 0: drawings.push_back([=](PageBitmap& p) { p.fillRect(r, c); }); break;
      case 1: {
        const double radius = uniform(0, extent / 2);
        drawings.push_back([=](PageBitmap& p) { p.fillRoundedRect(r, radius, c); });
        break;
      }
      case 2: {
        const double lineWidths[] = {0.7, 1.2, 1.8, 2.0, 2.4, 6.0};
        const double lineWidth = lineWidths[random() % 6];
        drawings.push_back([=](PageBitmap& p) { p.strokeRect(r, lineWidth, c); });
        break;
      }
      case 3: {
        const Rect clip = rect();
        drawings.push_back([=](PageBitmap& p) {
          p.save();
          p.clipToRect(clip);
          p.fillRoundedRect(r, 12, c);
          p.restore();
        });
        break;
      }
      case 4: {
        const auto x = static_cast<std::int64_t>(uniform(0, width - 1));
        const auto y = static_cast<std::int64_t>(uniform(0, height - 1));
        drawings.push_back([=](PageBitmap& p) { p.setPixel(x, y, {0, 90, 0}); });
        break;
      }
      default: drawings.push_back([=](PageBitmap& p) { p.drawImage(*image, r); }); break;
    }
  }
  return drawings;
}

// The page drawn on one surface and drawn through surfaces of at most `side` pixels.
std::pair<PageBitmap, PageBitmap> drawnBothWays(std::int64_t width, std::int64_t height, std::int64_t side,
                                                const std::vector<Drawing>& drawings) {
  PageBitmap whole = whitePage(width, height);
  EXPECT_TRUE(fitsOneSurface(whole));
  for (const Drawing& draw : drawings) draw(whole);
  const ScopedSurfaceSide small(side);
  PageBitmap parts = whitePage(width, height);
  EXPECT_FALSE(fitsOneSurface(parts));
  for (const Drawing& draw : drawings) draw(parts);
  return {std::move(whole), std::move(parts)};
}

// How many pixels differ at all, and by how much at most in a colour component.
struct Difference {
  std::int64_t pixels = 0;
  int most = 0;
};

Difference differenceOf(const PageBitmap& a, const PageBitmap& b) {
  Difference d;
  for (std::int64_t y = 0; y < a.height(); ++y) {
    for (std::int64_t x = 0; x < a.width(); ++x) {
      const Rgb8 p = a.pixel(x, y), q = b.pixel(x, y);
      const int most = std::max({std::abs(p.red - q.red), std::abs(p.green - q.green), std::abs(p.blue - q.blue)});
      d.pixels += most > 0 ? 1 : 0;
      d.most = std::max(d.most, most);
    }
  }
  return d;
}

class SurfaceSideTest : public ::testing::TestWithParam<std::int64_t> {};

TEST_P(SurfaceSideTest, DrawingsThatFitOneSurfaceComeOutAsOnAPageSizedOne) {
  const auto [whole, parts] = drawnBothWays(300, 260, GetParam(), randomDrawings(300, 260, 40, 400, false));
  EXPECT_TRUE(samePixels(whole, parts));
  EXPECT_GT(differenceOf(parts, whitePage(300, 260)).pixels, 300 * 260 / 2);
}


// The drawing library samples a scaled image relative to the surface it draws on, so the
// blend of neighbouring image pixels may differ by a shade; the image lands in the same place.
TEST_P(SurfaceSideTest, ScaledImagesComeOutWithinAShadeOfAPageSizedSurface) {
  const auto [whole, parts] = drawnBothWays(300, 260, GetParam(), randomDrawings(300, 260, 40, 400, true));
  EXPECT_LE(differenceOf(whole, parts).most, 2);
}

INSTANTIATE_TEST_SUITE_P(Sides, SurfaceSideTest, ::testing::Values(50, 97, 128, 259));

// A drawing larger than one surface is cut into surfaces: its rectangles come out exactly,
// its curves within a few shades along the cuts.
TEST(PageBitmapTest, DrawingsLargerThanOneSurfaceAreCut) {
  std::mt19937 random(7);
  std::vector<Drawing> rectangles;
  for (int i = 0; i < 200; ++i) {
    const Rect r{random() % 3000 / 10.0 - 20, random() % 2600 / 10.0 - 20, random() % 2000 / 10.0,
                 random() % 2000 / 10.0};
    const Color c{random() % 256 / 255.0, random() % 256 / 255.0, 0.5, i % 2 ? 1.0 : 0.6};
    if (i % 3 == 0) {
      rectangles.push_back([=](PageBitmap& p) { p.strokeRect(r, 0.6 + i % 7, c); });
    } else {
      rectangles.push_back([=](PageBitmap& p) { p.fillRect(r, c); });
    }
  }
  const auto [whole, parts] = drawnBothWays(300, 260, 16, rectangles);
  EXPECT_TRUE(samePixels(whole, parts));

  const auto [curvesWhole, curvesCut] = drawnBothWays(300, 260, 16, randomDrawings(300, 260, 150, 400, false));
  const Difference d = differenceOf(curvesWhole, curvesCut);
  EXPECT_LE(d.most, 8);
  EXPECT_LT(d.pixels, 300 * 260 / 1000);
}

}  // namespace
}  // namespace platform
