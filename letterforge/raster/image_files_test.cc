#include "letterforge/raster/image_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace letterforge {
namespace {

namespace fs = std::filesystem;

class ImageFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lf-image-files-XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

bool writePage(const PageBitmap& page, const std::string& path, std::string& failure) {
  const auto png = encodePng(page, path, failure);
  return png && writePng(*png, path, failure);
}

TEST_F(ImageFilesTest, FillAtDrawingYZeroLandsOnTheBottomRowOfTheFile) {
  auto page = createPageBitmap(5, 4);
  ASSERT_TRUE(page.has_value());
  page->fillRect({0, 0, 5, 4}, platform::kWhite);
  page->fillRect({0, 0, 5, 1}, platform::kBlack);
  std::string failure;
  ASSERT_TRUE(writePage(*page, dir_ / "page.png", failure)) << failure;

  const auto decoded = loadPageImage(dir_ / "page.png");
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->row(3)[0], 0);    // last row of the file: black
  EXPECT_EQ(decoded->row(0)[0], 255);  // first row: white
}

TEST_F(ImageFilesTest, PageImageIsPaintedOnWhiteOneToOne) {
  auto image = platform::allocateImage(2, 2);
  ASSERT_TRUE(image.has_value());
  const std::uint8_t pixels[16] = {10, 20, 30, 255, 0, 0, 0, 0, 200, 0, 0, 128, 1, 2, 3, 255};
  std::copy(pixels, pixels + 16, image->rgba.get());
  auto page = createPageBitmap(2, 2);
  ASSERT_TRUE(page.has_value());
  page->fillRect({0, 0, 2, 2}, platform::kBlack);  // whatever was there is covered
  drawPageImage(*page, *image);
  // The image's top row is the page's upper drawing row.
  EXPECT_EQ(page->pixel(0, 1), (platform::Rgb8{10, 20, 30}));
  EXPECT_EQ(page->pixel(1, 1), (platform::Rgb8{255, 255, 255}));
  // (200 × 128 + 255 × 127) / 255 = 227.4; 255 × 127 / 255 = 127.
  EXPECT_EQ(page->pixel(0, 0), (platform::Rgb8{227, 127, 127}));
  EXPECT_EQ(page->pixel(1, 0), (platform::Rgb8{1, 2, 3}));
  EXPECT_EQ(page->rowWords(0)[0] >> 24, 255u);  // opaque
}

TEST_F(ImageFilesTest, WriteFailureNamesTheFileAndLeavesNothing) {
  auto page = createPageBitmap(2, 2);
  ASSERT_TRUE(page.has_value());
  std::string failure;
  fs::create_directory(dir_ / "taken.png");
  EXPECT_FALSE(writePage(*page, dir_ / "taken.png", failure));
  EXPECT_EQ(failure, "Could not write " + (dir_ / "taken.png").string() + ": Is a directory");
  EXPECT_TRUE(fs::is_directory(dir_ / "taken.png"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator{}), 1);
}

TEST_F(ImageFilesTest, MissingOrForeignFilesAreNoPageImage) {
  EXPECT_FALSE(loadPageImage(dir_ / "missing.png").has_value());
  EXPECT_FALSE(loadPageImage(dir_).has_value());
}

TEST_F(ImageFilesTest, SizeIsTheDecodedImagesInEveryFormat) {
  for (const char* name : {"quadrants.jpg", "quadrants_palette.png", "quadrants_interlaced.gif",
                           "quadrants.tif", "quadrants_lossy.webp", "region_422_progressive.jpg"}) {
    const std::string path = fs::path(LF_SOURCE_DIR) / "platform" / "testdata" / name;
    const auto image = loadPageImage(path);
    ASSERT_TRUE(image) << name;
    EXPECT_EQ(pageImageSize(path), (ImageSize{image->width, image->height})) << name;
  }
  EXPECT_FALSE(pageImageSize(dir_ / "missing.png"));
  EXPECT_FALSE(pageImageSize(fs::path(LF_SOURCE_DIR) / "examples" / "ocr.json"));
}

}  // namespace
}  // namespace letterforge
