// Decoding a region of an image: every format must give exactly the pixels that cutting the
// region out of the whole decoded image gives, whatever shortcut its decoder takes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/image.h"
#include "platform/png_encoder.h"
#include "platform/test_case_names.h"

namespace platform {
namespace {

using test_cases::PrintTo;

using Bytes = std::vector<std::uint8_t>;

std::string sample(const std::string& name) {
  return (std::filesystem::path(LF_SOURCE_DIR) / "platform" / "testdata" / name).string();
}

ImageRegionChoice always(std::optional<ImageRegion> region) {
  return [region](std::int64_t, std::int64_t) { return region; };
}

// The rectangles tried on a width × height image: corners, single pixels, whole rows and
// columns, odd sizes at odd places, the whole image and the image less its border.
std::vector<ImageRegion> regionsOf(std::int64_t w, std::int64_t h) {
  const std::vector<ImageRegion> all = {{0, 0, 1, 1},          {w - 1, h - 1, 1, 1},      {w - 1, 0, 1, 1},       {0, h - 1, 1, 1},
          {0, 0, w, h},          {1, 1, w - 2, h - 2},      {w / 2, h / 3, 17, 13}, {w - 7, 0, 7, h},
          {0, h - 5, w, 5},      {0, h / 2, w, 1},          {w / 3, 0, 1, h},       {w - 9, h - 11, 9, 11},
          {5, 3, w / 2 - 1, 19}, {w / 2 + 3, 0, w / 2 - 3, h / 2 + 1}};
  std::vector<ImageRegion> inside;
  for (const ImageRegion& r : all) {
    if (r.x + r.width <= w && r.y + r.height <= h) inside.push_back(r);
  }
  return inside;
}

struct RegionSample {
  const char* name;
  const char* file;
};

class ImageRegionDecodeTest : public ::testing::TestWithParam<RegionSample> {};

TEST_P(ImageRegionDecodeTest, MatchesTheRegionCutFromTheWholeImage) {
  const auto whole = decodeImageFile(sample(GetParam().file));
  ASSERT_TRUE(whole.has_value());
  for (const ImageRegion& region : regionsOf(whole->width, whole->height)) {
    SCOPED_TRACE(testing::Message() << "region " << region.x << "," << region.y << " " << region.width << " x "
                                    << region.height);
    std::int64_t toldWidth = 0, toldHeight = 0;
    ImageDecodeFailure failure{};
    const auto piece = decodeImageFileRegion(
        sample(GetParam().file),
        [&](std::int64_t w, std::int64_t h) {
          toldWidth = w, toldHeight = h;
          return std::optional<ImageRegion>(region);
        },
        failure);
    EXPECT_EQ(toldWidth, whole->width);
    EXPECT_EQ(toldHeight, whole->height);
    ASSERT_TRUE(piece.has_value());
    ASSERT_EQ(piece->width, region.width);
    ASSERT_EQ(piece->height, region.height);
    for (std::int64_t y = 0; y < region.height; ++y) {
      const std::uint8_t* expected = whole->row(region.y + y) + region.x * 4;
      ASSERT_EQ(std::memcmp(piece->row(y), expected, static_cast<std::size_t>(region.width * 4)), 0) << "row " << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, ImageRegionDecodeTest, ::testing::Values(
    RegionSample{"PngRgb", "region.png"},
    RegionSample{"PngInterlaced", "region_interlaced.png"},
    RegionSample{"PngPalette", "region_palette.png"},
    RegionSample{"Png16Bit", "region_16bit.png"},
    RegionSample{"PngAlpha", "region_alpha.png"},
    RegionSample{"PngPaletteTransparency", "quadrants_transparent_palette.png"},
    RegionSample{"Jpeg420", "region_420.jpg"},
    RegionSample{"Jpeg422Progressive", "region_422_progressive.jpg"},
    RegionSample{"Jpeg444", "region_444.jpg"},
    RegionSample{"JpegGrey", "region_grey.jpg"},
    RegionSample{"JpegCmyk", "region_cmyk.jpg"},
    RegionSample{"Webp", "region.webp"},
    RegionSample{"Tiff", "region.tif"},
    RegionSample{"Gif", "region.gif"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImageRegionDecodeTest, NoRegionGivesTheWholeImage) {
  for (const char* file : {"region.png", "region_420.jpg", "region.gif"}) {
    const auto whole = decodeImageFile(sample(file));
    ImageDecodeFailure failure{};
    const auto same = decodeImageFileRegion(sample(file), always(std::nullopt), failure);
    ASSERT_TRUE(whole.has_value() && same.has_value()) << file;
    ASSERT_EQ(same->width, whole->width);
    ASSERT_EQ(same->height, whole->height);
    EXPECT_EQ(std::memcmp(same->rgba.get(), whole->rgba.get(), static_cast<std::size_t>(whole->width * whole->height * 4)), 0)
        << file;
  }
}

struct OutsideCase {
  const char* name;
  ImageRegion region;  // on the 48 x 36 and 150 x 110 samples
};

class ImageRegionOutsideTest : public ::testing::TestWithParam<OutsideCase> {};

TEST_P(ImageRegionOutsideTest, IsAbsentAsUndecodable) {
  for (const char* file : {"region.png", "region_420.jpg", "region.tif"}) {
    ImageDecodeFailure failure{};
    EXPECT_FALSE(decodeImageFileRegion(sample(file), always(GetParam().region), failure).has_value()) << file;
    EXPECT_EQ(failure, ImageDecodeFailure::kCannotDecode) << file;
  }
}

INSTANTIATE_TEST_SUITE_P(Regions, ImageRegionOutsideTest, ::testing::Values(
    OutsideCase{"NegativeLeft", {-1, 0, 5, 5}},
    OutsideCase{"NegativeTop", {0, -1, 5, 5}},
    OutsideCase{"NoWidth", {3, 3, 0, 5}},
    OutsideCase{"NoHeight", {3, 3, 5, 0}},
    OutsideCase{"PastTheRightEdge", {40, 0, 200, 5}},
    OutsideCase{"PastTheBottom", {0, 30, 5, 200}},
    OutsideCase{"WhollyOutside", {1000, 1000, 1, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

// Rows below the region are never read: a PNG cut short halfway (its data is stored in
// chunks of 8 KiB) still gives a region at the top, but not one that reaches into the
// missing rows.
TEST(ImageRegionDecodeTest, PngRegionAboveMissingRowsIsDecoded) {
  auto image = allocateImage(64, 256);
  ASSERT_TRUE(image.has_value());
  std::uint32_t state = 1;
  for (std::int64_t i = 0; i < 64 * 256 * 4; ++i) {
    state = state * 1664525u + 1013904223u;
    image->rgba[i] = (i % 4 == 3) ? 255 : static_cast<std::uint8_t>(state >> 24);  // noise: no compression
  }
  std::string failure;
  auto png = encodePng(*image, failure);
  ASSERT_TRUE(png.has_value()) << failure;
  png->resize(png->size() / 2);
  ImageDecodeFailure decodeFailure{};
  const auto top = decodeImageRegion(*png, always(ImageRegion{10, 0, 20, 8}), decodeFailure);
  ASSERT_TRUE(top.has_value());
  EXPECT_EQ(std::memcmp(top->row(7), image->row(7) + 40, 80), 0);
  EXPECT_FALSE(decodeImageRegion(*png, always(ImageRegion{10, 200, 20, 8}), decodeFailure).has_value());
  EXPECT_FALSE(decodeImage(*png).has_value());
}

}  // namespace
}  // namespace platform
