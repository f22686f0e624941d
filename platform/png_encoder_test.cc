#include "platform/png_encoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/test_case_names.h"

namespace platform {
namespace {

using test_cases::PrintTo;

// The colour type byte of the IHDR chunk: 2 for RGB, 6 for RGBA.
int colourType(const std::vector<std::uint8_t>& png) { return png.size() > 25 ? png[25] : -1; }

DecodedImage gradientImage(std::int64_t width, std::int64_t height, bool withAlpha) {
  auto image = allocateImage(width, height);
  EXPECT_TRUE(image.has_value());
  for (std::int64_t y = 0; y < height; ++y) {
    for (std::int64_t x = 0; x < width; ++x) {
      std::uint8_t* p = image->row(y) + x * 4;
      p[0] = static_cast<std::uint8_t>(x * 37);
      p[1] = static_cast<std::uint8_t>(y * 53);
      p[2] = static_cast<std::uint8_t>((x + y) * 11);
      p[3] = withAlpha ? static_cast<std::uint8_t>(x * 64 + y) : 255;
    }
  }
  return std::move(*image);
}

void expectSamePixels(const DecodedImage& a, const DecodedImage& b) {
  ASSERT_EQ(a.width, b.width);
  ASSERT_EQ(a.height, b.height);
  for (std::int64_t y = 0; y < a.height; ++y) {
    const std::vector<std::uint8_t> rowA(a.row(y), a.row(y) + a.width * 4);
    const std::vector<std::uint8_t> rowB(b.row(y), b.row(y) + b.width * 4);
    EXPECT_EQ(rowA, rowB) << "row " << y;
  }
}

struct SettingsCase {
  const char* name;
  PngSettings settings;
};

class PngEncoderRoundTripTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(PngEncoderRoundTripTest, OpaqueImageComesBackAsRgb) {
  const DecodedImage image = gradientImage(7, 5, false);
  std::string failure;
  const auto png = encodePng(image, GetParam().settings, failure);
  ASSERT_TRUE(png.has_value()) << failure;
  EXPECT_EQ(colourType(*png), GetParam().settings.alwaysRgba ? 6 : 2);
  const auto back = decodeImage(*png);
  ASSERT_TRUE(back.has_value());
  expectSamePixels(image, *back);
}

TEST_P(PngEncoderRoundTripTest, TranslucentImageKeepsStraightAlpha) {
  const DecodedImage image = gradientImage(4, 3, true);
  std::string failure;
  const auto png = encodePng(image, GetParam().settings, failure);
  ASSERT_TRUE(png.has_value()) << failure;
  EXPECT_EQ(colourType(*png), 6);
  const auto back = decodeImage(*png);
  ASSERT_TRUE(back.has_value());
  expectSamePixels(image, *back);
}

INSTANTIATE_TEST_SUITE_P(Settings, PngEncoderRoundTripTest, ::testing::Values(
    SettingsCase{"Chosen", PngSettings{}},
    SettingsCase{"LibraryDefaults", PngSettings{.libraryDefaults = true}},
    SettingsCase{"AdaptiveFiltersLevel6", PngSettings{.filters = PngFilters::kAdaptive, .zlibLevel = 6,
                                                      .strategy = PngStrategy::kFiltered}},
    SettingsCase{"StoredWithoutCompression", PngSettings{.zlibLevel = 0, .strategy = PngStrategy::kDefault}},
    SettingsCase{"RunLengthLevel3", PngSettings{.zlibLevel = 3, .strategy = PngStrategy::kRle}},
    SettingsCase{"AlwaysRgba", PngSettings{.alwaysRgba = true}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PngEncoderTest, PageBitmapIsWrittenTopRowFirst) {
  // Drawing row 0 is the bottom of the page, so it must be the last row of the file.
  auto bitmap = PageBitmap::create(3, 2);
  ASSERT_TRUE(bitmap.has_value());
  for (std::int64_t x = 0; x < 3; ++x) {
    bitmap->setPixel(x, 0, Rgb8{10, 20, 30});
    bitmap->setPixel(x, 1, Rgb8{200, 150, 100});
  }
  bitmap->setPixel(2, 1, Rgb8{1, 2, 3});
  std::string failure;
  const auto png = encodePng(*bitmap, failure);
  ASSERT_TRUE(png.has_value()) << failure;
  EXPECT_EQ(colourType(*png), 2);
  const auto back = decodeImage(*png);
  ASSERT_TRUE(back.has_value());
  const std::vector<std::uint8_t> top(back->row(0), back->row(0) + 12);
  const std::vector<std::uint8_t> bottom(back->row(1), back->row(1) + 12);
  EXPECT_EQ(top, (std::vector<std::uint8_t>{200, 150, 100, 255, 200, 150, 100, 255, 1, 2, 3, 255}));
  EXPECT_EQ(bottom, (std::vector<std::uint8_t>{10, 20, 30, 255, 10, 20, 30, 255, 10, 20, 30, 255}));
}

TEST(PngEncoderTest, TranslucentPageBitmapIsWrittenUnpremultiplied) {
  // A fresh bitmap is fully transparent; half-transparent red over it is stored
  // premultiplied as about (128, 0, 0, 128) and must come out as straight red.
  auto bitmap = PageBitmap::create(2, 1);
  ASSERT_TRUE(bitmap.has_value());
  bitmap->fillRect(Rect{0, 0, 1, 1}, Color{1.0, 0.0, 0.0, 0.5});
  std::string failure;
  const auto png = encodePng(*bitmap, failure);
  ASSERT_TRUE(png.has_value()) << failure;
  EXPECT_EQ(colourType(*png), 6);
  const auto back = decodeImage(*png);
  ASSERT_TRUE(back.has_value());
  const std::uint8_t* red = back->row(0);
  EXPECT_EQ(red[0], 255);
  EXPECT_EQ(red[1], 0);
  EXPECT_NEAR(red[3], 128, 1);
  EXPECT_EQ(back->row(0)[7], 0);  // the untouched pixel stays transparent
}

TEST(PngEncoderTest, ImageWithoutPixelsIsAFailure) {
  std::string failure;
  EXPECT_FALSE(encodePng(DecodedImage{}, failure).has_value());
  EXPECT_FALSE(failure.empty());
}

}  // namespace
}  // namespace platform
