// The render engine in memory: its sources and outputs, its failures, and engines on several
// threads rendering at once exactly as one engine renders alone.
#include "letterforge/driver/render_engine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "letterforge/driver/exit_status.h"
#include "letterforge/raster/image_files.h"

namespace letterforge {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// A page with its payloads as JSON text, to be rendered in one cleanup mode.
struct PageFiles {
  std::string name{};
  std::vector<std::uint8_t> image{};
  std::string ocr{};
  std::string translation{};
  std::string cleanupMode{};
  bool debugImage = false;
};

RenderJob jobFor(const PageFiles& page) {
  RenderJob job{.image = EncodedImage{page.image, page.name},
                .ocr = PayloadText{page.ocr, "ocr.json"},
                .translations = PayloadText{page.translation, "tr.json"},
                .debugImage = page.debugImage,
                .encoding = ImageEncoding{}};
  job.settings.cleanupMode = *choiceOfWord(kCleanupModeWords, page.cleanupMode);
  return job;
}

// What a render hands back, reduced to bytes and lines that can be compared.
struct Rendered {
  std::vector<std::uint8_t> page{};
  std::vector<std::uint8_t> debug{};
  std::vector<std::string> lines{};
  bool operator==(const Rendered&) const = default;
};

Rendered renderWith(RenderEngine& engine, const PageFiles& page) {
  Rendered out;
  RunFailure failure;
  const auto result = engine.render(
      jobFor(page), [&](std::string_view line) { out.lines.emplace_back(line); }, failure);
  EXPECT_TRUE(result.has_value()) << failure.message;
  if (!result) return out;
  out.page = result->page.encoded;
  if (result->debug) out.debug = result->debug->encoded;
  return out;
}

// The sample page and two generated ones, each in another cleanup mode. They are made once,
// by the first test; a failure to make them fails every test rather than skipping it.
class RenderEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!pages_) {
      ASSERT_NO_FATAL_FAILURE(makePages());
    }
    ASSERT_NE(pages_, nullptr);
  }

  static void makePages() {
    const char* build = std::getenv("LF_BUILD_DIR");
    ASSERT_NE(build, nullptr) << "LF_BUILD_DIR names the build folder";
    if (!scratch_) {
      char pattern[] = "/tmp/lf-engine-XXXXXX";
      ASSERT_NE(mkdtemp(pattern), nullptr);
      scratch_ = new fs::path(pattern);
    }
    auto pages = std::make_unique<std::vector<PageFiles>>();
    const fs::path examples = fs::path(LF_SOURCE_DIR) / "examples";
    pages->push_back({"sample", bytesOf(readFile(examples / "page.png")),
                      readFile(examples / "ocr.json"), readFile(examples / "translation.json"),
                      "bubble_clean", true});
    const std::string tool = (fs::path(build) / "tools" / "make_sample_page").string();
    const std::pair<const char*, const char*> generated[] = {{"900 1300 14", "text_inpaint"},
                                                             {"700 1000 20", "white_fill"}};
    for (const auto& [size, mode] : generated) {
      const fs::path dir = *scratch_ / mode;
      fs::create_directories(dir);
      ASSERT_EQ(std::system(("'" + tool + "' '" + dir.string() + "' " + size).c_str()), 0);
      pages->push_back({mode, bytesOf(readFile(dir / "page.png")), readFile(dir / "ocr.json"),
                        readFile(dir / "translation.json"), mode, false});
    }
    pages_ = pages.release();
  }
  static void TearDownTestSuite() {
    if (scratch_) fs::remove_all(*scratch_);
    delete scratch_;
    delete pages_;
    scratch_ = nullptr;
    pages_ = nullptr;
  }

  static inline fs::path* scratch_ = nullptr;
  static inline std::vector<PageFiles>* pages_ = nullptr;
};

TEST_F(RenderEngineTest, EnginesOnFourThreadsRenderExactlyAsOneEngineAlone) {
  RenderEngine alone;
  std::vector<Rendered> expected;
  for (const PageFiles& page : *pages_) expected.push_back(renderWith(alone, page));
  ASSERT_FALSE(expected[0].lines.empty());  // the bubble page reports its decisions
  ASSERT_FALSE(expected[0].debug.empty());

  constexpr int kThreads = 4;
  constexpr int kRounds = 2;
  std::vector<std::vector<Rendered>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    // Each thread starts at another page, so different pages are on the go at once.
    threads.emplace_back([&, t] {
      RenderEngine engine;
      for (int round = 0; round < kRounds; ++round) {
        for (std::size_t i = 0; i < pages_->size(); ++i) {
          got[t].push_back(renderWith(engine, (*pages_)[(i + t) % pages_->size()]));
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    for (std::size_t n = 0; n < got[t].size(); ++n) {
      const std::size_t page = (n + t) % pages_->size();
      EXPECT_TRUE(got[t][n] == expected[page]) << "thread " << t << " render " << n;
    }
  }
}

// An engine keeps the memory of each page for the next; what the next page gets must not
// depend on what was there. Pages of falling and rising sizes, with and without debug images.
TEST_F(RenderEngineTest, EachPageComesOutAsFromAFreshEngine) {
  RenderEngine kept;
  for (const std::size_t i : {1, 2, 0, 2, 1, 0}) {
    SCOPED_TRACE(i);
    RenderEngine fresh;
    EXPECT_TRUE(renderWith(kept, (*pages_)[i]) == renderWith(fresh, (*pages_)[i]));
  }
}

TEST_F(RenderEngineTest, SourcesOfEveryKindGiveTheSameBytes) {
  const PageFiles& page = (*pages_)[0];
  RenderEngine engine;
  const Rendered fromText = renderWith(engine, page);

  // The same page from files, from pixels and from decoded records.
  const fs::path dir = *scratch_ / "files";
  fs::create_directories(dir);
  std::ofstream(dir / "page.png", std::ios::binary)
      .write(reinterpret_cast<const char*>(page.image.data()), std::streamsize(page.image.size()));
  std::ofstream(dir / "ocr.json", std::ios::binary) << page.ocr;
  std::ofstream(dir / "tr.json", std::ios::binary) << page.translation;
  std::string why;
  auto pixels = platform::decodeImage(page.image);
  auto ocr = decodeOcrPayload(page.ocr, why);
  auto translations = decodeTranslationPayload(page.translation, why);
  ASSERT_TRUE(pixels && ocr && translations);

  std::vector<RenderJob> jobs;
  jobs.push_back(jobFor(page));
  jobs.back().image = ImageFile{(dir / "page.png").string()};
  jobs.back().ocr = PayloadFile{(dir / "ocr.json").string()};
  jobs.back().translations = PayloadFile{(dir / "tr.json").string()};
  jobs.push_back(jobFor(page));
  jobs.back().image = std::move(*pixels);
  jobs.back().ocr = *ocr;
  jobs.back().translations = *translations;
  for (RenderJob& job : jobs) {
    RunFailure failure;
    std::vector<std::string> lines;
    const auto result = engine.render(
        std::move(job), [&](std::string_view line) { lines.emplace_back(line); }, failure);
    ASSERT_TRUE(result.has_value()) << failure.message;
    EXPECT_TRUE(result->page.encoded == fromText.page);
    EXPECT_TRUE(result->debug->encoded == fromText.debug);
    EXPECT_EQ(lines, fromText.lines);
  }
}

// Without a debug image or layers a page is painted as its image decodes; from pixels it is
// drawn from them. Both give the same page.
TEST_F(RenderEngineTest, PagesPaintedAsTheirImageDecodesAreThoseDrawnFromItsPixels) {
  for (PageFiles page : *pages_) {
    SCOPED_TRACE(page.name);
    page.debugImage = false;
    RenderEngine engine;
    const Rendered painted = renderWith(engine, page);
    RenderJob job = jobFor(page);
    auto pixels = platform::decodeImage(page.image);
    ASSERT_TRUE(pixels.has_value());
    job.image = std::move(*pixels);
    RunFailure failure;
    const auto drawn = engine.render(std::move(job), [](std::string_view) {}, failure);
    ASSERT_TRUE(drawn.has_value()) << failure.message;
    EXPECT_TRUE(drawn->page.encoded == painted.page);
  }
}

TEST_F(RenderEngineTest, BitmapOutputIsThePageThePngHolds) {
  const PageFiles& page = (*pages_)[1];
  RenderEngine engine;
  const Rendered png = renderWith(engine, page);
  RenderJob job = jobFor(page);
  job.encoding.reset();
  job.debugImage = true;
  RunFailure failure;
  const auto result = engine.render(std::move(job), [](std::string_view) {}, failure);
  ASSERT_TRUE(result.has_value()) << failure.message;
  ASSERT_TRUE(result->page.bitmap.has_value());
  EXPECT_TRUE(result->page.encoded.empty());
  std::string why;
  EXPECT_TRUE(encodePng(*result->page.bitmap, "page", why) == png.page);
  // The debug image shows the untouched page, so it differs from the cleaned one.
  ASSERT_TRUE(result->debug && result->debug->bitmap);
  EXPECT_FALSE(encodePng(*result->debug->bitmap, "debug", why) == png.page);
}

// --- Failures ------------------------------------------------------------------------------

const std::string kOcr =
    R"({"width": 8, "height": 8, "blocks": [{"id": "a", "text": "x", "confidence": 1,
        "bbox": {"x": 1, "y": 1, "w": 4, "h": 4}}]})";
const std::string kTranslation =
    R"({"translations": [{"id": "a", "source_text": "x", "translated_text": "Hi"}]})";

RunFailure failureOf(RenderJob job) {
  RenderEngine engine;
  RunFailure failure;
  std::vector<std::string> lines;
  const auto result = engine.render(
      std::move(job), [&](std::string_view line) { lines.emplace_back(line); }, failure);
  EXPECT_FALSE(result.has_value());
  EXPECT_TRUE(lines.empty());
  return failure;
}

RenderJob smallJob() {
  auto pixels = platform::allocateImage(8, 8);
  std::fill(pixels->rgba.get(), pixels->rgba.get() + 8 * 8 * 4, std::uint8_t{255});
  return RenderJob{.image = std::move(*pixels),
                   .ocr = PayloadText{kOcr, ""},
                   .translations = PayloadText{kTranslation, ""}};
}

TEST(RenderEngineFailureTest, ImageThatCannotBeOpenedIsNamedBeforeAnyPayloadFailure) {
  RenderJob job = smallJob();
  job.image = EncodedImage{bytesOf("not an image"), "upload-7"};
  EXPECT_EQ(failureOf(std::move(job)),
            (RunFailure{"Could not open image: upload-7", kExitImageUnreadable}));
  job = smallJob();
  job.image = EncodedImage{bytesOf("\x89PNG\r\n\x1a\n cut short"), "upload-8"};
  job.ocr = PayloadText{"{", "page-8 ocr"};
  EXPECT_EQ(failureOf(std::move(job)),
            (RunFailure{"Could not open image: upload-8", kExitImageUnreadable}));
  job = smallJob();
  job.image = platform::DecodedImage{};
  EXPECT_EQ(failureOf(std::move(job)),
            (RunFailure{"Could not open image: 0 x 0 pixels", kExitImageUnreadable}));
}

TEST(RenderEngineFailureTest, PayloadFailuresNameTheirSourceAndTheOcrComesFirst) {
  RenderJob job = smallJob();
  job.ocr = PayloadText{"{", "page-3 ocr"};
  job.translations = PayloadText{"[", "page-3 translations"};
  const RunFailure failure = failureOf(std::move(job));
  EXPECT_EQ(failure.exitStatus, kExitPayloadUnreadable);
  EXPECT_EQ(failure.message.rfind("page-3 ocr: not valid JSON at byte ", 0), 0u) << failure.message;

  job = smallJob();
  job.translations = PayloadText{R"({"translations": 4})", ""};
  EXPECT_EQ(failureOf(std::move(job)),
            (RunFailure{"translations: expected an array, found a number", kExitPayloadUnreadable}));
}

TEST(RenderEngineFailureTest, DuplicateIdEndsTheRunBeforeAnyImageIsMade) {
  RenderJob job = smallJob();
  job.translations = PayloadText{R"({"translations": [
      {"id": "a", "source_text": "x", "translated_text": "1"},
      {"id": "a", "source_text": "y", "translated_text": "2"}]})", ""};
  EXPECT_EQ(failureOf(std::move(job)),
            (RunFailure{"Duplicate values for key: 'a'", kExitDuplicateId}));
}

// --- Checks without rendering ------------------------------------------------------------

struct CheckCase {
  const char* name;
  std::string font;
  bool brokenImage;
  std::string ocr;
  std::string translation;
  std::vector<RunFailure> problems;
  std::vector<std::string> warnings;
};
class RenderEngineCheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(RenderEngineCheckTest, FindsEveryFailureTheRenderWouldMeetAndItsWarnings) {
  const CheckCase& c = GetParam();
  const auto makeJob = [&c] {
    RenderJob job = smallJob();
    job.settings.font = c.font;
    if (c.brokenImage) job.image = EncodedImage{bytesOf("not an image"), "p7.png"};
    if (!c.ocr.empty()) job.ocr = PayloadText{c.ocr, "p7.ocr.json"};
    if (!c.translation.empty()) job.translations = PayloadText{c.translation, "p7.translation.json"};
    return job;
  };
  RenderEngine engine;
  const PageCheck check = engine.check(makeJob());
  EXPECT_EQ(check.problems, c.problems);
  EXPECT_EQ(check.warnings, c.warnings);
  // The render fails on the first problem, or renders with the same warnings.
  RunFailure failure;
  const auto result = engine.render(makeJob(), [](std::string_view) {}, failure);
  if (c.problems.empty()) {
    ASSERT_TRUE(result) << failure.message;
    EXPECT_EQ(result->warnings, c.warnings);
  } else {
    EXPECT_EQ(failure, c.problems.front());
  }
}

const std::string kOcrOn16 = R"({"width": 16, "height": 16, "blocks": [
    {"id": "a", "text": "x", "confidence": 1, "bbox": {"x": 1, "y": 1, "w": 4, "h": 2}}]})";
const std::string kOutOfStep = R"({"translations": [
    {"id": "a", "source_text": "x", "translated_text": "1"},
    {"id": "z", "source_text": "y", "translated_text": "2"}]})";
const std::string kTwinBlocks = R"({"width": 8, "height": 8, "blocks": [
    {"id": "a", "text": "x", "confidence": 1, "bbox": {"x": 1, "y": 1, "w": 4, "h": 2}},
    {"id": "a", "text": "x", "confidence": 1, "bbox": {"x": 1, "y": 5, "w": 4, "h": 2}}]})";
const std::string kTwinTranslations = R"({"translations": [
    {"id": "a", "source_text": "x", "translated_text": "1"},
    {"id": "a", "source_text": "y", "translated_text": "2"}]})";

INSTANTIATE_TEST_SUITE_P(Jobs, RenderEngineCheckTest, ::testing::Values(
    CheckCase{"Sound", "", false, "", "", {}, {}},
    CheckCase{"ImageAndBothPayloadsBroken", "", true, "{", R"({"translations": 4})",
              {{"Could not open image: p7.png", kExitImageUnreadable},
               {"p7.ocr.json: not valid JSON at byte 2: syntax error while parsing object key - "
                "unexpected end of input; expected string literal", kExitPayloadUnreadable},
               {"p7.translation.json: translations: expected an array, found a number",
                kExitPayloadUnreadable}},
              {}},
    CheckCase{"FontFileAndImage", "/no/such/font.ttf", true, "", "",
              {{"Could not use font /no/such/font.ttf: /no/such/font.ttf: No such file or directory",
                kExitFontUnavailable},
               {"Could not open image: p7.png", kExitImageUnreadable}},
              {}},
    CheckCase{"TwinTranslations", "", false, "", kTwinTranslations,
              {{"Duplicate values for key: 'a'", kExitDuplicateId}}, {}},
    CheckCase{"TwinTranslatedBlocks", "", false, kTwinBlocks, "",
              {{"Duplicate values for key: 'a'", kExitDuplicateId}}, {}},
    CheckCase{"OcrOfAnotherSizeAndIdsOutOfStep", "", false, kOcrOn16, kOutOfStep, {},
              {"the OCR's width and height are 16 x 16 but the page image is 8 x 8: its boxes are "
               "read in the page image's pixels",
               "1 translation id is not in the OCR: 'z'"}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- What each block came to --------------------------------------------------------------

TEST_F(RenderEngineTest, EachTranslatedBlockSaysWhatItsCleanupAndTypesettingDid) {
  const PageFiles& page = (*pages_)[0];  // the sample page
  RenderEngine engine;
  std::string why;
  const auto ocr = decodeOcrPayload(page.ocr, why);
  ASSERT_TRUE(ocr.has_value());
  for (const char* mode : {"white_fill", "text_inpaint", "bubble_clean", "none"}) {
    RenderJob job = jobFor(page);
    job.settings.cleanupMode = *choiceOfWord(kCleanupModeWords, mode);
    job.debugImage = false;
    std::vector<std::string> lines;
    RunFailure failure;
    const auto result = engine.render(
        std::move(job), [&](std::string_view line) { lines.emplace_back(line); }, failure);
    ASSERT_TRUE(result.has_value()) << failure.message;
    ASSERT_FALSE(result->blocks.empty());
    std::string safetyGate;  // the ids the report line names, rebuilt from the outcomes
    for (const BlockOutcome& block : result->blocks) {
      SCOPED_TRACE(std::string(mode) + " " + block.id);
      EXPECT_NE(block.item.find(block.id), std::string::npos);
      EXPECT_TRUE(block.typeset.drawn);
      EXPECT_GE(block.typeset.size, 8.0);
      EXPECT_EQ(block.typeset.unknownCharacters, 0);
      const CleanupAction action = block.cleanup.action;
      const std::string m = mode;
      if (m == "white_fill") {
        EXPECT_EQ(action, CleanupAction::kWhiteFill);
      } else if (m == "none") {
        EXPECT_EQ(action, CleanupAction::kLeftAlone);
      } else if (m == "text_inpaint") {
        EXPECT_TRUE(action == CleanupAction::kWhiteFill || action == CleanupAction::kInpainted ||
                    action == CleanupAction::kRefused);
        if (action == CleanupAction::kRefused) {
          safetyGate += (safetyGate.empty() ? "" : ",") + block.id;
        }
      } else if (action == CleanupAction::kPatched) {
        ASSERT_TRUE(block.cleanup.coverage && block.cleanup.confidence);
        const std::string line = "bubble_clean patched " + block.id + " coverage=" +
                                 formatTwoDecimals(*block.cleanup.coverage) + " confidence=" +
                                 formatTwoDecimals(*block.cleanup.confidence);
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
      }
    }
    if (!safetyGate.empty()) {
      EXPECT_EQ(lines.back(), "cleanup skipped (safety gate) for ids: " + safetyGate);
    }
  }
}

TEST(RenderEngineOutcomeTest, TextTooLongForItsBoxOverflowsAndUnknownCharactersAreCounted) {
  RenderJob job = smallJob();
  auto pixels = platform::allocateImage(300, 200);
  std::fill(pixels->rgba.get(), pixels->rgba.get() + 300 * 200 * 4, std::uint8_t{255});
  job.image = std::move(*pixels);
  job.ocr = PayloadText{R"({"width": 300, "height": 200, "blocks": [
      {"id": "long", "text": "x", "confidence": 1, "bbox": {"x": 10, "y": 10, "w": 120, "h": 30}},
      {"id": "odd", "text": "x", "confidence": 1,
       "bbox": {"x": 10, "y": 120, "w": 200, "h": 50}}]})", ""};
  job.translations = PayloadText{R"({"translations": [
      {"id": "long", "source_text": "x", "translated_text": ")" + std::string(300, 'W') + R"("},
      {"id": "odd", "source_text": "x", "translated_text": "ok \udbff\udffd"}]})", ""};
  job.settings.groupingEnabled = false;
  RenderEngine engine;
  RunFailure failure;
  const auto result = engine.render(std::move(job), [](std::string_view) {}, failure);
  ASSERT_TRUE(result.has_value()) << failure.message;
  ASSERT_EQ(result->blocks.size(), 2u);
  EXPECT_EQ(result->blocks[0].id, "long");
  EXPECT_TRUE(result->blocks[0].typeset.overflowed);
  EXPECT_EQ(result->blocks[1].id, "odd");
  EXPECT_FALSE(result->blocks[1].typeset.overflowed);
  EXPECT_EQ(result->blocks[1].typeset.unknownCharacters, 1);  // a private-use character
}

// --- Fonts and formats -------------------------------------------------------------------

TEST_F(RenderEngineTest, AFontThatCannotBeHadFailsThePageAndAnInstalledOneChangesIt) {
  RenderJob missing = jobFor((*pages_)[2]);
  missing.settings.font = "Comic Nue";
  const RunFailure failure = failureOf(std::move(missing));
  EXPECT_EQ(failure.exitStatus, kExitFontUnavailable);
  // Three families are named, the one meant first.
  EXPECT_TRUE(failure.message.starts_with(
      "Could not use font Comic Nue: no installed font has the family name 'Comic Nue'; the nearest "
      "installed families are Comic Neue, "))
      << failure.message;
  EXPECT_EQ(std::count(failure.message.begin(), failure.message.end(), ','), 2) << failure.message;
  RenderEngine engine;
  const Rendered inter = renderWith(engine, (*pages_)[2]);
  RenderJob comic = jobFor((*pages_)[2]);
  comic.settings.font = "Comic Neue";
  RunFailure renderFailure;
  const auto result = engine.render(std::move(comic), [](std::string_view) {}, renderFailure);
  ASSERT_TRUE(result.has_value()) << renderFailure.message;
  EXPECT_FALSE(result->page.encoded == inter.page);
  // The engine goes back to its own font for the next page that names none.
  EXPECT_TRUE(renderWith(engine, (*pages_)[2]) == inter);
}

TEST_F(RenderEngineTest, PagesAndDebugImagesAreEncodedAsAsked) {
  RenderEngine engine;
  RenderJob job = jobFor((*pages_)[0]);
  job.encoding = ImageEncoding{.format = ImageFormat::kJpeg, .quality = 80};
  job.debugEncoding = ImageEncoding{.format = ImageFormat::kWebp};
  RunFailure failure;
  const auto result = engine.render(std::move(job), [](std::string_view) {}, failure);
  ASSERT_TRUE(result.has_value()) << failure.message;
  ASSERT_GT(result->page.encoded.size(), 3u);
  EXPECT_EQ(result->page.encoded[0], 0xFF);  // JPEG
  EXPECT_EQ(result->page.encoded[1], 0xD8);
  ASSERT_TRUE(result->debug.has_value());
  EXPECT_EQ(std::string(result->debug->encoded.begin() + 8, result->debug->encoded.begin() + 12),
            "WEBP");
  const auto page = platform::decodeImage(result->page.encoded);
  ASSERT_TRUE(page.has_value());
  const auto original = platform::decodeImage((*pages_)[0].image);
  EXPECT_EQ(page->width, original->width);
  EXPECT_EQ(page->height, original->height);
}

}  // namespace
}  // namespace letterforge
