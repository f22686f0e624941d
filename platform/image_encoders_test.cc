#include "platform/image_encoders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/image.h"
#include "platform/test_bitmaps.h"

namespace platform {
namespace {

// Four coloured quadrants over white with a black bar along the bottom row, so that a file
// stored upside down or with its channels swapped shows it.
PageBitmap quadrantPage() {
  PageBitmap page = whitePage(64, 48);
  page.fillRect({0, 24, 32, 24}, {1, 0, 0, 1});   // top left: red
  page.fillRect({32, 24, 32, 24}, {0, 1, 0, 1});  // top right: green
  page.fillRect({0, 0, 32, 24}, {0, 0, 1, 1});    // bottom left: blue
  page.fillRect({0, 0, 64, 2}, kBlack);
  return page;
}

// Pixel (x, y) of a decoded file, rows counted from the top, against the drawing row.
void expectNear(const DecodedImage& image, std::int64_t x, std::int64_t drawingY, Rgb8 expected,
                int tolerance) {
  const std::uint8_t* p = image.row(image.height - 1 - drawingY) + 4 * x;
  EXPECT_LE(std::abs(p[0] - expected.red), tolerance) << x << "," << drawingY;
  EXPECT_LE(std::abs(p[1] - expected.green), tolerance) << x << "," << drawingY;
  EXPECT_LE(std::abs(p[2] - expected.blue), tolerance) << x << "," << drawingY;
  EXPECT_EQ(p[3], 255);
}

void expectQuadrants(const DecodedImage& image, int tolerance) {
  ASSERT_EQ(image.width, 64);
  ASSERT_EQ(image.height, 48);
  expectNear(image, 10, 40, {255, 0, 0}, tolerance);
  expectNear(image, 50, 40, {0, 255, 0}, tolerance);
  expectNear(image, 10, 10, {0, 0, 255}, tolerance);
  expectNear(image, 50, 10, {255, 255, 255}, tolerance);
  expectNear(image, 50, 0, {0, 0, 0}, tolerance);
}

TEST(ImageEncodersTest, JpegKeepsThePictureUpright) {
  std::string failure;
  const auto jpeg = encodeJpeg(quadrantPage(), 90, failure);
  ASSERT_TRUE(jpeg.has_value()) << failure;
  EXPECT_EQ((*jpeg)[0], 0xFF);  // a JPEG start-of-image marker
  EXPECT_EQ((*jpeg)[1], 0xD8);
  const auto back = decodeImage(*jpeg);
  ASSERT_TRUE(back.has_value());
  expectQuadrants(*back, 12);
}

TEST(ImageEncodersTest, JpegQualityTradesSizeForFidelity) {
  std::string failure;
  const PageBitmap page = quadrantPage();
  const auto low = encodeJpeg(page, 10, failure);
  const auto high = encodeJpeg(page, 100, failure);
  ASSERT_TRUE(low && high);
  EXPECT_LT(low->size(), high->size());
  // Qualities outside 1..100 are brought within instead of refused.
  const auto clamped = encodeJpeg(page, 1000, failure);
  ASSERT_TRUE(clamped.has_value());
  EXPECT_EQ(*clamped, *high);
}

TEST(ImageEncodersTest, LosslessWebpGivesBackEveryPixel) {
  std::string failure;
  const PageBitmap page = quadrantPage();
  const auto webp = encodeWebp(page, std::nullopt, failure);
  ASSERT_TRUE(webp.has_value()) << failure;
  EXPECT_EQ(std::string(webp->begin() + 8, webp->begin() + 12), "WEBP");
  const auto back = decodeImage(*webp);
  ASSERT_TRUE(back.has_value());
  expectQuadrants(*back, 0);
}

TEST(ImageEncodersTest, LossyWebpKeepsTheColoursClose) {
  std::string failure;
  const PageBitmap page = quadrantPage();
  const auto lossy = encodeWebp(page, 50, failure);
  ASSERT_TRUE(lossy.has_value()) << failure;
  const auto back = decodeImage(*lossy);
  ASSERT_TRUE(back.has_value());
  expectQuadrants(*back, 40);
}

}  // namespace
}  // namespace platform
