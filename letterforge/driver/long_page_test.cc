// Pages drawn through several surfaces of the drawing library: long strips beyond the size of
// one surface, run as a user runs them, and ordinary pages cut into small surfaces, which must
// come out byte for byte as on one page-sized surface.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "letterforge/driver/program_run_test_support.h"
#include "letterforge/driver/render_engine.h"
#include "letterforge/raster/image_files.h"
#include "platform/page_bitmap_testing.h"
#include "platform/test_bitmaps.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

namespace fs = std::filesystem;
using program_run::ProgramRun;
using program_run::readFile;

const char* const kModes[] = {"white_fill", "text_inpaint", "bubble_clean"};

// Pages made by the sample-page generator, in a scratch folder of the suite.
class GeneratedPages {
 public:
  GeneratedPages() {
    char pattern[] = "/tmp/lf-long-XXXXXX";
    if (mkdtemp(pattern) != nullptr) dir_ = pattern;
  }
  ~GeneratedPages() {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  GeneratedPages(const GeneratedPages&) = delete;
  GeneratedPages& operator=(const GeneratedPages&) = delete;

  // The folder with page.png, ocr.json and translation.json for the page of that size and
  // number of blocks ("800 40000 12"), made on first use.
  fs::path page(const std::string& sizeAndBlocks) {
    std::string name = sizeAndBlocks;
    std::replace(name.begin(), name.end(), ' ', '-');
    const fs::path dir = dir_ / name;
    if (!fs::exists(dir / "page.png")) {
      fs::create_directories(dir);
      const char* build = std::getenv("LF_BUILD_DIR");
      EXPECT_NE(build, nullptr) << "LF_BUILD_DIR names the build folder";
      const std::string tool = (fs::path(build ? build : ".") / "tools" / "make_sample_page").string();
      EXPECT_EQ(std::system(("'" + tool + "' '" + dir.string() + "' " + sizeAndBlocks).c_str()), 0);
    }
    return dir;
  }

 private:
  fs::path dir_;
};

// Without an encoding the images come back as bitmaps.
RenderJob jobFor(const fs::path& dir, const std::string& mode,
                 std::optional<ImageEncoding> encoding = std::nullopt) {
  RenderJob job{.image = ImageFile{(dir / "page.png").string()},
                .ocr = PayloadFile{(dir / "ocr.json").string()},
                .translations = PayloadFile{(dir / "translation.json").string()},
                .debugImage = true,
                .encoding = encoding};
  job.settings.cleanupMode = *choiceOfWord(kCleanupModeWords, mode);
  return job;
}

// --- Ordinary pages cut into small surfaces -------------------------------------------------

struct CutPageCase {
  const char* name;
  const char* page;  // "sample" for the page of examples/, else the generator's arguments
  std::int64_t side;
};

class CutPageTest : public ::testing::TestWithParam<CutPageCase> {
 protected:
  static void TearDownTestSuite() { pages_.reset(); }
  static inline std::unique_ptr<GeneratedPages> pages_;
};

// Every cleanup mode, the debug image included. The surfaces are small against the page and
// large against its bubbles and lettering, so that each drawing is placed on a surface of its
// own while the page fill is cut.
TEST_P(CutPageTest, ComesOutAsOnOnePageSizedSurface) {
  const CutPageCase& c = GetParam();
  if (!pages_) pages_ = std::make_unique<GeneratedPages>();
  const fs::path dir = std::string(c.page) == "sample" ? fs::path(LF_SOURCE_DIR) / "examples"
                                                       : pages_->page(c.page);
  RenderEngine engine;
  for (const char* mode : kModes) {
    SCOPED_TRACE(mode);
    std::vector<std::string> wholeLines, cutLines;
    RunFailure failure;
    auto whole = engine.render(jobFor(dir, mode),
                               [&](std::string_view line) { wholeLines.emplace_back(line); }, failure);
    ASSERT_TRUE(whole.has_value()) << failure.message;
    ASSERT_TRUE(platform::fitsOneSurface(*whole->page.bitmap));

    const platform::ScopedSurfaceSide small(c.side);
    auto cut = engine.render(jobFor(dir, mode),
                             [&](std::string_view line) { cutLines.emplace_back(line); }, failure);
    ASSERT_TRUE(cut.has_value()) << failure.message;
    ASSERT_FALSE(platform::fitsOneSurface(*cut->page.bitmap));
    EXPECT_TRUE(platform::samePixels(*whole->page.bitmap, *cut->page.bitmap));
    ASSERT_TRUE(whole->debug && cut->debug);
    EXPECT_TRUE(platform::samePixels(*whole->debug->bitmap, *cut->debug->bitmap));
    EXPECT_EQ(wholeLines, cutLines);
  }
}

INSTANTIATE_TEST_SUITE_P(Pages, CutPageTest, ::testing::Values(
    CutPageCase{"SamplePage", "sample", 601},
    CutPageCase{"GeneratedPage", "700 1000 20", 211},
    CutPageCase{"GeneratedStrip", "300 2000 6", 257}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Long strips ----------------------------------------------------------------------------

struct StripCase {
  const char* name;
  const char* page;  // the generator's arguments: width, height, blocks
  std::int64_t width, height;
  const char* mode;
};

class LongStripTest : public program_run::ScratchDirectoryTest,
                      public ::testing::WithParamInterface<StripCase> {
 protected:
  static void TearDownTestSuite() { pages_.reset(); }
  static inline std::unique_ptr<GeneratedPages> pages_;
};

// The blocks' boxes (top-left origin) grown by `grow` pixels: where a block's cleanup, its
// translation and its debug marks may change the page.
std::vector<platform::Rect> blockAreas(const fs::path& ocrPath, double grow) {
  std::string why;
  const auto ocr = loadOcrPayload(ocrPath.string(), why);
  EXPECT_TRUE(ocr.has_value()) << why;
  std::vector<platform::Rect> areas;
  if (!ocr) return areas;
  for (const OcrBlock& block : ocr->blocks) {
    areas.push_back({block.bbox.x - grow, block.bbox.y - grow, block.bbox.w + 2 * grow, block.bbox.h + 2 * grow});
  }
  return areas;
}

// Every pixel that differs from the page lies in a block's area, and every area has a good
// many that differ: what was drawn went where it belongs along the whole strip.
void expectChangesInAreas(const platform::DecodedImage& page, const platform::DecodedImage& out,
                          const std::vector<platform::Rect>& areas) {
  ASSERT_EQ(out.width, page.width);
  ASSERT_EQ(out.height, page.height);
  std::vector<std::int64_t> changedIn(areas.size(), 0);
  std::int64_t outside = 0;
  for (std::int64_t y = 0; y < page.height; ++y) {
    const std::uint8_t* a = page.row(y);
    const std::uint8_t* b = out.row(y);
    for (std::int64_t x = 0; x < page.width; ++x) {
      if (a[4 * x] == b[4 * x] && a[4 * x + 1] == b[4 * x + 1] && a[4 * x + 2] == b[4 * x + 2]) continue;
      bool inside = false;
      for (std::size_t i = 0; i < areas.size(); ++i) {
        const platform::Rect& r = areas[i];
        if (x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height) {
          ++changedIn[i];
          inside = true;
        }
      }
      outside += inside ? 0 : 1;
    }
  }
  EXPECT_EQ(outside, 0);
  for (std::size_t i = 0; i < areas.size(); ++i) EXPECT_GT(changedIn[i], 500) << "block " << i + 1;
}

// The program renders the strip with its debug image; the engine renders it again through
// smaller surfaces, cut in other places, to the same bytes.
TEST_P(LongStripTest, RendersInTheModeWithTheTranslationsInTheirAreas) {
  const StripCase& c = GetParam();
  if (!pages_) pages_ = std::make_unique<GeneratedPages>();
  const fs::path page = pages_->page(c.page);
  const ProgramRun r = run({(page / "page.png").string(), (page / "ocr.json").string(),
                            (page / "translation.json").string(), "out.png", "18", "38", "1", "1.12",
                            "bold", "true", "balanced", "debug.png", "balanced", c.mode});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Rendered out.png\n");
  const std::string out = readFile(dir_ / "out.png"), debug = readFile(dir_ / "debug.png");
  const auto source = platform::decodeImageFile((page / "page.png").string());
  const auto rendered = platform::decodeImageFile((dir_ / "out.png").string());
  const auto debugImage = platform::decodeImageFile((dir_ / "debug.png").string());
  ASSERT_TRUE(source && rendered && debugImage);
  EXPECT_EQ(std::make_pair(rendered->width, rendered->height), std::make_pair(c.width, c.height));
  const std::vector<platform::Rect> areas = blockAreas(page / "ocr.json", 200);
  ASSERT_EQ(areas.size(), 12u);
  expectChangesInAreas(*source, *rendered, areas);
  expectChangesInAreas(*source, *debugImage, areas);

  const platform::ScopedSurfaceSide smaller(4093);
  RenderEngine engine;
  RunFailure failure;
  const auto cut = engine.render(jobFor(page, c.mode, ImageEncoding{.format = ImageFormat::kPng}), [](std::string_view) {}, failure);
  ASSERT_TRUE(cut.has_value()) << failure.message;
  EXPECT_TRUE(cut->page.encoded == std::vector<std::uint8_t>(out.begin(), out.end()));
  ASSERT_TRUE(cut->debug.has_value());
  EXPECT_TRUE(cut->debug->encoded == std::vector<std::uint8_t>(debug.begin(), debug.end()));
}

INSTANTIATE_TEST_SUITE_P(Strips, LongStripTest, ::testing::Values(
    StripCase{"TallWhiteFill", "800 40000 12", 800, 40000, "white_fill"},
    StripCase{"TallTextInpaint", "800 40000 12", 800, 40000, "text_inpaint"},
    StripCase{"TallBubbleClean", "800 40000 12", 800, 40000, "bubble_clean"},
    StripCase{"WideWhiteFill", "40000 800 12", 40000, 800, "white_fill"},
    StripCase{"WideTextInpaint", "40000 800 12", 40000, 800, "text_inpaint"},
    StripCase{"WideBubbleClean", "40000 800 12", 40000, 800, "bubble_clean"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace letterforge
