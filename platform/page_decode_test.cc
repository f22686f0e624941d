#include "platform/page_decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/png_encoder.h"
#include "platform/test_bitmaps.h"
#include "platform/test_case_names.h"

namespace platform {
namespace {

using test_cases::PrintTo;
using Bytes = std::vector<std::uint8_t>;

// The page as a run made it before pages were painted as they were decoded: a cleared bitmap,
// filled white, the decoded image drawn over it one to one.
PageBitmap drawnOverWhite(const DecodedImage& image) {
  PageBitmap page = whitePage(image.width, image.height);
  page.drawImage(image, {0, 0, static_cast<double>(image.width), static_cast<double>(image.height)});
  return page;
}

// Memory holding one buffer of junk, so that a pixel the decode leaves unwritten shows.
PixelMemory junkMemory(std::size_t bytes) {
  PixelMemory memory;
  PixelBuffer buffer = allocatePixels(bytes, false);
  std::fill_n(buffer.get(), bytes, std::uint8_t{0x5A});
  memory.keep(std::move(buffer), bytes);
  return memory;
}

// Pixels that change in every byte from one pixel to the next and one row to the next; with
// `translucent`, every fifth pixel's alpha runs through the levels below opaque.
DecodedImage patternImage(std::int64_t width, std::int64_t height, bool translucent) {
  auto image = allocateImage(width, height);
  EXPECT_TRUE(image.has_value());
  for (std::int64_t i = 0; i < width * height; ++i) {
    std::uint8_t* p = image->rgba.get() + 4 * i;
    p[0] = static_cast<std::uint8_t>(i * 37 + 11);
    p[1] = static_cast<std::uint8_t>(i * 91 + (i / width) * 7);
    p[2] = static_cast<std::uint8_t>(i ^ (i >> 3));
    p[3] = translucent && i % 5 == 2 ? static_cast<std::uint8_t>(i * 53 % 255) : 255;
  }
  return std::move(*image);
}

// Widths around the four-pixel steps of the row painters and their tails; RGB files come from
// opaque pages, RGBA ones from pages with translucent pixels.
struct PaintedPngCase {
  const char* name;
  std::int64_t width;
  std::int64_t height;
  bool translucent;
};

class PaintedPngTest : public ::testing::TestWithParam<PaintedPngCase> {};

TEST_P(PaintedPngTest, ComesOutAsTheDecodedImageDrawnOverWhite) {
  const PaintedPngCase& c = GetParam();
  const DecodedImage image = patternImage(c.width, c.height, c.translucent);
  std::string why;
  const auto png = encodePng(image, why);
  ASSERT_TRUE(png.has_value()) << why;
  const auto decoded = decodeImage(*png);
  ASSERT_TRUE(decoded.has_value());

  const std::size_t bytes = static_cast<std::size_t>(c.width * c.height * 4);
  PixelMemory memory = junkMemory(bytes);
  ImageDecodeFailure failure{};
  auto page = decodePage(*png, failure, memory);
  ASSERT_TRUE(page.has_value());
  ASSERT_TRUE(std::holds_alternative<PageBitmap>(*page));
  EXPECT_TRUE(samePixels(std::get<PageBitmap>(*page), drawnOverWhite(*decoded)));
  EXPECT_EQ(memory.take(1), nullptr);  // the bitmap took the kept buffer
}

INSTANTIATE_TEST_SUITE_P(Sizes, PaintedPngTest, ::testing::Values(
    PaintedPngCase{"OnePixel", 1, 1, false},
    PaintedPngCase{"OneTranslucentRow", 7, 1, true},
    PaintedPngCase{"RgbTailOfOneToThree", 9, 4, false},
    PaintedPngCase{"RgbWholeSteps", 16, 3, false},
    PaintedPngCase{"RgbaTailOfOneToThree", 11, 5, true},
    PaintedPngCase{"TallAndNarrow", 2, 300, false},
    PaintedPngCase{"WideRgba", 517, 6, true}),
    [](const auto& info) { return std::string(info.param.name); });

std::filesystem::path samples() { return std::filesystem::path(LF_SOURCE_DIR) / "platform" / "testdata"; }

// Every sample file: painted or handed back decoded, the page is the one the decode draws.
TEST(DecodePageTest, EverySampleGivesThePageItsDecodedImageDraws) {
  int painted = 0, decodedWhole = 0;
  for (const auto& entry : std::filesystem::directory_iterator(samples())) {
    if (entry.path().extension() == ".sh") continue;
    SCOPED_TRACE(entry.path().filename().string());
    const auto fresh = decodeImageFile(entry.path().string());
    PixelMemory memory;
    ImageDecodeFailure failure{};
    auto page = decodePageFile(entry.path().string(), failure, memory);
    ASSERT_EQ(page.has_value(), fresh.has_value());
    if (!fresh) continue;  // a sample of a broken file
    if (auto* bitmap = std::get_if<PageBitmap>(&*page)) {
      EXPECT_TRUE(samePixels(*bitmap, drawnOverWhite(*fresh)));
      ++painted;
    } else {
      const auto& image = std::get<DecodedImage>(*page);
      const auto bytes = static_cast<std::size_t>(fresh->width * fresh->height * 4);
      ASSERT_EQ(image.width, fresh->width);
      ASSERT_EQ(image.height, fresh->height);
      EXPECT_TRUE(std::equal(fresh->rgba.get(), fresh->rgba.get() + bytes, image.rgba.get()));
      ++decodedWhole;
    }
  }
  EXPECT_GE(painted, 3);  // the region and half-alpha PNGs at least
  EXPECT_GE(decodedWhole, 15);
}

// A painted PNG that breaks off gives no page and leaves its bitmap's memory for the next.
struct BrokenPngCase {
  const char* name;
  std::ptrdiff_t end;  // where the file is cut: bytes from its start, or less than 0 from its end
  ImageDecodeFailure failure;
};

class BrokenPngTest : public ::testing::TestWithParam<BrokenPngCase> {};

TEST_P(BrokenPngTest, GivesNoPageAndKeepsTheMemory) {
  const BrokenPngCase& c = GetParam();
  std::string why;
  const auto png = encodePng(patternImage(40, 30, false), why);
  ASSERT_TRUE(png.has_value()) << why;
  const Bytes cut(png->begin(), c.end >= 0 ? png->begin() + c.end : png->end() + c.end);
  PixelMemory memory = junkMemory(40 * 30 * 4);
  ImageDecodeFailure failure{};
  EXPECT_FALSE(decodePage(cut, failure, memory).has_value());
  EXPECT_EQ(failure, c.failure);
  EXPECT_NE(memory.take(40 * 30 * 4), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cuts, BrokenPngTest, ::testing::Values(
    BrokenPngCase{"WithinTheSignature", 5, ImageDecodeFailure::kCannotOpen},
    BrokenPngCase{"WithinTheFirstImageData", 200, ImageDecodeFailure::kCannotDecode},
    BrokenPngCase{"WithinTheLastImageData", -20, ImageDecodeFailure::kCannotDecode}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace platform
