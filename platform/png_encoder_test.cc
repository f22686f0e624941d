#include "platform/png_encoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/test_case_names.h"

namespace platform {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test_cases::PrintTo;

// The colour type byte of the IHDR chunk: 2 for RGB, 6 for RGBA.
int colourType(const Bytes& png) { return png.size() > 25 ? png[25] : -1; }

// The data of every IDAT chunk, in file order.
std::vector<Bytes> idatChunks(const Bytes& png) {
  std::vector<Bytes> chunks;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const std::size_t length = std::size_t{png[at]} << 24 | std::size_t{png[at + 1]} << 16 |
                               std::size_t{png[at + 2]} << 8 | png[at + 3];
    if (std::string(png.begin() + at + 4, png.begin() + at + 8) == "IDAT") {
      chunks.emplace_back(png.begin() + at + 8, png.begin() + at + 8 + length);
    }
    at += 12 + length;
  }
  return chunks;
}

// The image data inflated by zlib, which checks the stream's checksum; absent unless the
// stream ends exactly where the data does.
std::optional<Bytes> inflateImageData(const Bytes& png, std::size_t expectedSize) {
  Bytes data;
  for (const Bytes& chunk : idatChunks(png)) data.insert(data.end(), chunk.begin(), chunk.end());
  Bytes out(expectedSize + 1);
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return std::nullopt;
  stream.next_in = data.data();
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&stream, Z_FINISH);
  const bool whole = status == Z_STREAM_END && stream.avail_in == 0;
  out.resize(stream.total_out);
  inflateEnd(&stream);
  if (!whole) return std::nullopt;
  return out;
}

DecodedImage gradientImage(std::int64_t width, std::int64_t height, bool withAlpha) {
  auto image = allocateImage(width, height);
  EXPECT_TRUE(image.has_value());
  for (std::int64_t y = 0; y < height; ++y) {
    std::uint8_t* p = image->row(y);
    for (std::int64_t x = 0; x < width; ++x, p += 4) {
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
    if (!std::equal(a.row(y), a.row(y) + a.width * 4, b.row(y))) {
      ADD_FAILURE() << "row " << y << " differs";
      return;
    }
  }
}

// Encodes, checks the colour type, decodes and compares the pixels.
void expectRoundTrip(const DecodedImage& image, const PngSettings& settings, int expectedColourType) {
  std::string failure;
  const auto png = encodePng(image, settings, failure);
  ASSERT_TRUE(png.has_value()) << failure;
  EXPECT_EQ(colourType(*png), expectedColourType);
  const auto back = decodeImage(*png);
  ASSERT_TRUE(back.has_value());
  expectSamePixels(image, *back);
}

struct SettingsCase {
  const char* name;
  PngSettings settings;
};

class PngEncoderRoundTripTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(PngEncoderRoundTripTest, OpaqueImageComesBackAsRgb) {
  expectRoundTrip(gradientImage(7, 5, false), GetParam().settings, GetParam().settings.alwaysRgba ? 6 : 2);
}

TEST_P(PngEncoderRoundTripTest, TranslucentImageKeepsStraightAlpha) {
  expectRoundTrip(gradientImage(4, 3, true), GetParam().settings, 6);
}

INSTANTIATE_TEST_SUITE_P(Settings, PngEncoderRoundTripTest, ::testing::Values(
    SettingsCase{"Chosen", PngSettings{}},
    SettingsCase{"LevelZero", PngSettings{.level = 0}},
    SettingsCase{"LevelAboveTheHighest", PngSettings{.level = 99}},
    SettingsCase{"LibraryAlone", PngSettings{.compressor = PngCompressor::kLibrary}},
    SettingsCase{"PixelMatcherAlone", PngSettings{.compressor = PngCompressor::kPixelMatcher}},
    SettingsCase{"OneRowBandsOnThreeThreads", PngSettings{.threads = 3, .bandBytes = 1}},
    SettingsCase{"AlwaysRgba", PngSettings{.alwaysRgba = true}}),
    [](const auto& info) { return std::string(info.param.name); });

// Band edges, for RGB rows of 1 + 3 × width bytes and RGBA rows of 1 + 4 × width.
struct BandCase {
  const char* name;
  std::int64_t width, height;
  std::int64_t bandBytes;
};

class PngBandTest : public ::testing::TestWithParam<BandCase> {};

TEST_P(PngBandTest, EveryThreadCountGivesOneValidStreamAndTheSameBytes) {
  const BandCase& c = GetParam();
  for (const bool withAlpha : {false, true}) {
    SCOPED_TRACE(withAlpha ? "RGBA" : "RGB");
    const DecodedImage image = gradientImage(c.width, c.height, withAlpha);
    std::string failure;
    const auto png = encodePng(image, PngSettings{.threads = 1, .bandBytes = c.bandBytes}, failure);
    ASSERT_TRUE(png.has_value()) << failure;
    const std::size_t rowBytes = 1 + static_cast<std::size_t>(c.width) * (withAlpha ? 4 : 3);
    const auto data = inflateImageData(*png, rowBytes * static_cast<std::size_t>(c.height));
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(data->size(), rowBytes * static_cast<std::size_t>(c.height));
    const auto back = decodeImage(*png);
    ASSERT_TRUE(back.has_value());
    expectSamePixels(image, *back);
    for (const int threads : {2, 3, 8}) {
      const auto again = encodePng(image, PngSettings{.threads = threads, .bandBytes = c.bandBytes}, failure);
      ASSERT_TRUE(again.has_value()) << failure;
      EXPECT_TRUE(*again == *png) << threads << " threads";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Edges, PngBandTest, ::testing::Values(
    BandCase{"OneRow", 5, 1, kPngBandBytes},
    BandCase{"RowsFewerThanThreads", 9, 3, 1},
    BandCase{"BandsOfOneRow", 17, 40, 1},
    BandCase{"BandsOfTwoRowsAndALastOfOne", 13, 7, 2 * 40},
    BandCase{"BandJustShortOfTwoRows", 13, 7, 2 * 40 - 1},
    BandCase{"WidthUnderOneVectorStep", 3, 20, 64},
    BandCase{"WidthOneOverVectorSteps", 13, 9, kPngBandBytes},
    BandCase{"WidthTwoUnderVectorSteps", 30, 9, 91 * 4},
    BandCase{"SeveralChunksInABand", 300, 500, kPngBandBytes},
    BandCase{"BandsEndingWithinChunks", 300, 500, 901 * 200}),
    [](const auto& info) { return std::string(info.param.name); });

struct SizeCase {
  const char* name;
  std::int64_t width, height;
};

class PngSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(PngSizeTest, RgbAndRgbaComeBackWhole) {
  expectRoundTrip(gradientImage(GetParam().width, GetParam().height, false), PngSettings{}, 2);
  expectRoundTrip(gradientImage(GetParam().width, GetParam().height, true), PngSettings{}, 6);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PngSizeTest, ::testing::Values(
    SizeCase{"OnePixel", 1, 1},
    SizeCase{"WidestRow", 65535, 1},
    SizeCase{"TallestColumn", 1, 65535},
    SizeCase{"LongStrip", 800, 40000}),
    [](const auto& info) { return std::string(info.param.name); });

// The top half fine noise whose pixels repeat whole (a photograph's grain, the same in every
// channel), the bottom half a smooth gradient: the matcher takes the noisy bands, the library
// the smooth ones, and the file is the smallest of the three ways, its pixels the same.
TEST(PngEncoderTest, EachBandGoesToTheCompressorItFavours) {
  auto image = allocateImage(600, 1200);
  ASSERT_TRUE(image.has_value());
  std::uint32_t state = 2463534242u;
  for (std::int64_t y = 0; y < image->height; ++y) {
    std::uint8_t* p = image->row(y);
    for (std::int64_t x = 0; x < image->width; ++x, p += 4) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      const int grain = y < image->height / 2 ? static_cast<int>(state % 41) - 20 : 0;
      for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(std::clamp(100 + c * 30 + static_cast<int>(x / 8) + grain, 0, 255));
      p[3] = 255;
    }
  }
  std::string failure;
  auto encode = [&](PngCompressor compressor) {
    auto png = encodePng(*image, PngSettings{.compressor = compressor, .bandBytes = 64 * 1024}, failure);
    EXPECT_TRUE(png.has_value()) << failure;
    return png.value_or(Bytes{});
  };
  const Bytes chosen = encode(PngCompressor::kChosenPerBand);
  EXPECT_LT(chosen.size(), encode(PngCompressor::kLibrary).size());
  EXPECT_LT(chosen.size(), encode(PngCompressor::kPixelMatcher).size());
  const auto back = decodeImage(chosen);
  ASSERT_TRUE(back.has_value());
  expectSamePixels(*image, *back);
}

TEST(PngEncoderTest, EveryFixtureComesBackWhole) {
  const auto folder = std::filesystem::path(LF_SOURCE_DIR) / "platform" / "testdata";
  int images = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const auto image = decodeImageFile(entry.path().string());
    if (!image) continue;
    SCOPED_TRACE(entry.path().filename().string());
    ++images;
    std::string failure;
    const auto png = encodePng(*image, PngSettings{.bandBytes = 64}, failure);
    ASSERT_TRUE(png.has_value()) << failure;
    const auto back = decodeImage(*png);
    ASSERT_TRUE(back.has_value());
    expectSamePixels(*image, *back);
  }
  EXPECT_GE(images, 20);
}

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

TEST(PngEncoderTest, TranslucencyInTheLastBandMakesTheWholeImageRgba) {
  // Bands of one row on several threads: the opaque rows may be written before the
  // translucent one is met.
  auto bitmap = PageBitmap::create(5, 30);
  ASSERT_TRUE(bitmap.has_value());
  bitmap->fillRect(Rect{0, 1, 5, 29}, Color{0.2, 0.4, 0.6, 1.0});
  bitmap->fillRect(Rect{0, 0, 5, 1}, Color{0.0, 0.0, 1.0, 0.25});  // drawing row 0: the last stored
  std::string failure;
  const auto png = encodePng(*bitmap, PngSettings{.threads = 4, .bandBytes = 1}, failure);
  ASSERT_TRUE(png.has_value()) << failure;
  EXPECT_EQ(colourType(*png), 6);
  const auto back = decodeImage(*png);
  ASSERT_TRUE(back.has_value());
  const std::uint8_t* top = back->row(0);
  const std::uint8_t* last = back->row(29);
  EXPECT_EQ(std::vector<int>(top, top + 4), (std::vector<int>{51, 102, 153, 255}));
  EXPECT_EQ(std::vector<int>(last, last + 4), (std::vector<int>{0, 0, 255, 64}));
}

TEST(PngEncoderTest, ImageWithoutPixelsIsAFailure) {
  std::string failure;
  EXPECT_FALSE(encodePng(DecodedImage{}, failure).has_value());
  EXPECT_FALSE(failure.empty());
}

}  // namespace
}  // namespace platform
