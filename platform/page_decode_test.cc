#include "platform/page_decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/png_encoder.h"
#include "platform/test_bitmaps.h"
#include "platform/test_case_names.h"

namespace platform {
namespace {

using test_cases::PrintTo;

// The page as a white fill and the decoded image drawn over it one to one make it.
PageBitmap drawnOverWhite(const DecodedImage& image) {
  PageBitmap page = whitePage(image.width, image.height);
  page.drawImage(image, {0, 0, static_cast<double>(image.width), static_cast<double>(image.height)});
  return page;
}

// Widths around the four-pixel steps of the row painters and their tails: RGB files from
// opaque images, RGBA ones where every fifth pixel is translucent. The bitmap's memory is kept
// junk, so that a pixel left unpainted shows.
struct PaintedPngCase {
  const char* name;
  std::int64_t width;
  std::int64_t height;
  bool translucent;
};

class PaintedPngTest : public ::testing::TestWithParam<PaintedPngCase> {};

TEST_P(PaintedPngTest, ComesOutAsTheDecodedImageDrawnOverWhite) {
  const PaintedPngCase& c = GetParam();
  auto image = allocateImage(c.width, c.height);
  ASSERT_TRUE(image.has_value());
  for (std::int64_t i = 0; i < c.width * c.height; ++i) {
    const std::uint8_t pixel[4] = {static_cast<std::uint8_t>(i * 37 + 11), static_cast<std::uint8_t>(i * 91 + i / c.width),
                                   static_cast<std::uint8_t>(i ^ (i >> 3)),
                                   static_cast<std::uint8_t>(c.translucent && i % 5 == 2 ? i * 53 % 255 : 255)};
    std::copy(pixel, pixel + 4, image->rgba.get() + 4 * i);
  }
  std::string why;
  const auto png = encodePng(*image, why);
  ASSERT_TRUE(png.has_value()) << why;
  std::fill_n(image->rgba.get(), c.width * c.height * 4, std::uint8_t{0x5A});
  PixelMemory memory;
  memory.keep(*image);

  ImageDecodeFailure failure{};
  auto page = decodePage(*png, failure, memory);
  ASSERT_TRUE(page.has_value() && std::holds_alternative<PageBitmap>(*page));
  EXPECT_TRUE(samePixels(std::get<PageBitmap>(*page), drawnOverWhite(*decodeImage(*png))));
}

INSTANTIATE_TEST_SUITE_P(Sizes, PaintedPngTest, ::testing::Values(
    PaintedPngCase{"OnePixel", 1, 1, false},
    PaintedPngCase{"OneTranslucentRow", 7, 1, true},
    PaintedPngCase{"RgbTailOfOneToThree", 9, 4, false},
    PaintedPngCase{"RgbWholeSteps", 16, 3, false},
    PaintedPngCase{"RgbaTailOfOneToThree", 11, 5, true},
    PaintedPngCase{"WideRgba", 517, 6, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Every sample PNG of 8-bit RGB or RGBA comes painted as the page its decoded image draws.
TEST(DecodePageTest, EveryPaintedSampleIsThePageItsDecodedImageDraws) {
  int painted = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(LF_SOURCE_DIR) / "platform" / "testdata")) {
    SCOPED_TRACE(entry.path().filename().string());
    PixelMemory memory;
    ImageDecodeFailure failure{};
    auto page = decodePageFile(entry.path().string(), failure, memory);
    if (!page || !std::holds_alternative<PageBitmap>(*page)) continue;
    EXPECT_TRUE(samePixels(std::get<PageBitmap>(*page), drawnOverWhite(*decodeImageFile(entry.path().string()))));
    ++painted;
  }
  EXPECT_GE(painted, 3);  // the region and half-alpha PNGs at least
}

}  // namespace
}  // namespace platform
