// The C interface through its public header: pages, debug images and report lines byte for
// byte as the letterforge program gives them, per-block results, every failure code with its
// message, NULL arguments and refused options, and engines on several threads.
#include "letterforge/library/letterforge.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "letterforge/driver/program_run_test_support.h"
#include "letterforge/driver/version.h"

extern "C" int lf_c_render_files(const char* image, const char* ocr, const char* translation,
                                 const char* cleanup_mode, size_t* image_length, size_t* lines,
                                 size_t* blocks);

namespace letterforge {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using program_run::readFile;
using program_run::ScratchDirectoryTest;
using Bytes = std::vector<unsigned char>;

const std::string kImage = std::string(LF_SOURCE_DIR) + "/examples/page.png";
const std::string kOcr = std::string(LF_SOURCE_DIR) + "/examples/ocr.json";
const std::string kTranslation = std::string(LF_SOURCE_DIR) + "/examples/translation.json";

// Owners of the C objects, so that a failed assertion frees them too.
struct Free {
  void operator()(lf_engine* engine) const { lf_engine_free(engine); }
  void operator()(lf_job* job) const { lf_job_free(job); }
  void operator()(lf_result* result) const { lf_result_free(result); }
  void operator()(lf_error* error) const { lf_error_free(error); }
};
using Engine = std::unique_ptr<lf_engine, Free>;
using Job = std::unique_ptr<lf_job, Free>;
using Result = std::unique_ptr<lf_result, Free>;

// The code and message a call left, the error freed.
struct Failure {
  int code = LF_OK;
  std::string message{};
};
Failure failureOf(const std::function<void(lf_error**)>& call) {
  lf_error* error = nullptr;
  call(&error);
  Failure failure{lf_error_code(error), lf_error_message(error)};
  lf_error_free(error);
  return failure;
}

Job sampleJob(const std::string& cleanupMode) {
  Job job(lf_job_new(nullptr));
  lf_job_set_image_file(job.get(), kImage.c_str(), nullptr);
  lf_job_set_ocr_file(job.get(), kOcr.c_str(), nullptr);
  lf_job_set_translation_file(job.get(), kTranslation.c_str(), nullptr);
  lf_job_set_option_string(job.get(), "cleanup_mode", cleanupMode.c_str(), nullptr);
  return job;
}

// A tiny page given as JSON text, one block in its middle.
constexpr const char* kTinyOcr =
    R"({"width": 60, "height": 40, "blocks": [{"id": "b1", "text": "x", "confidence": 1,
        "bbox": {"x": 10, "y": 10, "w": 40, "h": 20}}]})";
constexpr const char* kTinyTranslation =
    R"({"translations": [{"id": "b1", "source_text": "x", "translated_text": "Hi"}]})";

void setTinyPayloads(lf_job* job) {
  lf_job_set_ocr_json(job, kTinyOcr, std::strlen(kTinyOcr), nullptr);
  lf_job_set_translation_json(job, kTinyTranslation, std::strlen(kTinyTranslation), nullptr);
}

// One white pixel with the tiny payloads.
Job whitePixelJob() {
  Job job(lf_job_new(nullptr));
  const unsigned char white[4] = {255, 255, 255, 255};
  lf_job_set_image_pixels(job.get(), white, 1, 1, 4, LF_PIXELS_RGBA, nullptr);
  setTinyPayloads(job.get());
  return job;
}

Result render(lf_engine* engine, const lf_job* job) {
  lf_error* error = nullptr;
  Result result(lf_render(engine, job, &error));
  EXPECT_NE(result, nullptr) << lf_error_message(error);
  lf_error_free(error);
  return result;
}

Bytes imageOf(const lf_result* result) {
  size_t length = 0;
  const unsigned char* bytes = lf_result_image(result, &length);
  return Bytes(bytes, bytes + length);
}

Bytes debugImageOf(const lf_result* result) {
  size_t length = 0;
  const unsigned char* bytes = lf_result_debug_image(result, &length);
  return bytes ? Bytes(bytes, bytes + length) : Bytes{};
}

std::vector<std::string> linesOf(const lf_result* result) {
  std::vector<std::string> lines;
  for (size_t i = 0; i < lf_result_line_count(result); ++i) lines.emplace_back(lf_result_line(result, i));
  return lines;
}

Bytes bytesOfFile(const std::filesystem::path& path) {
  const std::string text = readFile(path);
  return Bytes(text.begin(), text.end());
}

class ProgramIdentityTest : public ScratchDirectoryTest,
                            public ::testing::WithParamInterface<const char*> {};

TEST_P(ProgramIdentityTest, PageDebugImageAndReportLinesAreThoseOfTheProgram) {
  const std::string mode = GetParam();
  const auto program = run({kImage, kOcr, kTranslation, "out.png", "18", "38", "1", "1.12", "bold",
                            "true", "balanced", "debug.png", "balanced", mode});
  ASSERT_EQ(program.status, 0) << program.err;
  Engine engine(lf_engine_new(nullptr));
  Job job = sampleJob(mode);
  lf_job_set_debug(job.get(), 1, nullptr);
  const Result result = render(engine.get(), job.get());
  ASSERT_NE(result, nullptr);
  EXPECT_STREQ(lf_result_format(result.get()), "png");
  EXPECT_EQ(imageOf(result.get()), bytesOfFile(dir_ / "out.png"));
  EXPECT_EQ(debugImageOf(result.get()), bytesOfFile(dir_ / "debug.png"));
  EXPECT_EQ(lf_result_debug_error(result.get()), nullptr);
  std::string lines;
  for (const std::string& line : linesOf(result.get())) lines += line + "\n";
  EXPECT_EQ(lines, program.err);
}

INSTANTIATE_TEST_SUITE_P(CleanupModes, ProgramIdentityTest,
                         ::testing::Values("white_fill", "text_inpaint", "bubble_clean", "repaint",
                                           "none"));

Bytes layerOf(const lf_result* result, int layer) {
  size_t length = 0;
  const unsigned char* bytes = lf_result_layer(result, layer, &length);
  return bytes ? Bytes(bytes, bytes + length) : Bytes{};
}

TEST(CApiLayerTest, LayersComeWhenAskedAndLeaveThePageAsItIs) {
  Engine engine(lf_engine_new(nullptr));
  Job job = sampleJob("repaint");
  const Result plain = render(engine.get(), job.get());
  EXPECT_EQ(lf_result_layer(plain.get(), LF_LAYER_PSD, nullptr), nullptr);
  ASSERT_EQ(lf_job_set_layers(job.get(), 1, nullptr), LF_OK);
  const Result layered = render(engine.get(), job.get());
  EXPECT_EQ(imageOf(layered.get()), imageOf(plain.get()));
  const Bytes png{0x89, 'P', 'N', 'G'};
  for (const int layer : {LF_LAYER_CLEANED, LF_LAYER_TEXT, LF_LAYER_MASK}) {
    const Bytes bytes = layerOf(layered.get(), layer);
    ASSERT_GE(bytes.size(), 4u) << layer;
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 4), png) << layer;
  }
  const Bytes psd = layerOf(layered.get(), LF_LAYER_PSD);
  ASSERT_GE(psd.size(), 4u);
  EXPECT_EQ(std::string(psd.begin(), psd.begin() + 4), "8BPS");
  EXPECT_EQ(lf_result_layer(layered.get(), 4, nullptr), nullptr);
  EXPECT_EQ(lf_result_layer(nullptr, LF_LAYER_PSD, nullptr), nullptr);
}

TEST(CApiLayerTest, APageBeyondThePsdLimitFailsWithTheWriteStatus) {
  Engine engine(lf_engine_new(nullptr));
  Job job(lf_job_new(nullptr));
  const std::vector<unsigned char> white(30001 * 3 * 2, 255);
  lf_job_set_image_pixels(job.get(), white.data(), 30001, 2, 30001 * 3, LF_PIXELS_RGB, nullptr);
  setTinyPayloads(job.get());
  lf_job_set_layers(job.get(), 1, nullptr);
  const Failure failure = failureOf([&](lf_error** e) { Result(lf_render(engine.get(), job.get(), e)); });
  EXPECT_EQ(failure.code, LF_ERROR_WRITE_FAILURE);
  EXPECT_EQ(failure.message, "Could not write the layers of the page: a PSD holds at most 30000 "
                             "pixels a side, the page is 30001 x 2");
}

std::string twoDecimals(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

// The report lines, read word by word, tell what the blocks must say about themselves.
TEST(CApiBlockTest, BlocksSayWhatTheReportLinesSay) {
  Engine engine(lf_engine_new(nullptr));
  const Result result = render(engine.get(), sampleJob("bubble_clean").get());
  ASSERT_NE(result, nullptr);
  std::map<std::string, const lf_block*> blocks;
  std::vector<std::string> order;
  for (size_t i = 0; i < lf_result_block_count(result.get()); ++i) {
    const lf_block* block = lf_result_block(result.get(), i);
    blocks[block->id] = block;
    order.push_back(block->id);
    EXPECT_TRUE(block->drawn) << block->id;
    EXPECT_GE(block->font_size, 6.0) << block->id;
    EXPECT_THAT("+" + std::string(block->item) + "+", HasSubstr("+" + order.back() + "+"));
  }
  // u1's translation is blank: it is no translated block.
  EXPECT_EQ(order, (std::vector<std::string>{"p1", "p2", "c1", "s1", "t1", "g1", "g2", "g3", "f1"}));
  EXPECT_EQ(lf_result_block(result.get(), order.size()), nullptr);

  std::set<std::string> described;
  const std::string fallbackLine = "bubble_clean fallback reasons: ";
  for (const std::string& line : linesOf(result.get())) {
    if (line.starts_with(fallbackLine)) {
      // "fallback_low_bubble_confidence:c1,fallback_..."
      std::istringstream entries(line.substr(fallbackLine.size()));
      for (std::string entry; std::getline(entries, entry, ',');) {
        const std::string id = entry.substr(entry.find(':') + 1);
        ASSERT_TRUE(blocks.count(id)) << line;
        EXPECT_STREQ(blocks[id]->cleanup, "fallback") << id;
        EXPECT_EQ("fallback_" + std::string(blocks[id]->fallback_reason) + ":" + id, entry);
        // Both sit on textured panels, which the safety gate refuses in text_inpaint too.
        EXPECT_STREQ(blocks[id]->fallback_cleanup, "refused") << id;
        EXPECT_TRUE(std::string(blocks[id]->flags).starts_with("uncleaned")) << id;
        described.insert(id);
      }
      continue;
    }
    std::istringstream words(line);
    std::string cleanup, patched, kind, id, coverage, confidence;
    words >> cleanup >> patched >> kind;
    if (kind == "dense") words >> id >> coverage >> confidence;
    else if (patched == "patched") id = kind, words >> coverage >> confidence;
    ASSERT_TRUE(blocks.count(id)) << line;
    const lf_block& block = *blocks[id];
    EXPECT_STREQ(block.cleanup, kind == "dense" ? "patched_dense" : "patched") << line;
    ASSERT_TRUE(block.has_coverage && block.has_confidence) << line;
    EXPECT_EQ("coverage=" + twoDecimals(block.coverage), coverage);
    EXPECT_EQ("confidence=" + twoDecimals(block.confidence), confidence);
    EXPECT_STREQ(block.fallback_reason, "") << line;
    EXPECT_EQ(std::string(block.flags).find("uncleaned"), std::string::npos) << line;
    described.insert(id);
  }
  EXPECT_EQ(described.size(), blocks.size()) << "a block no line speaks of";
}

// Every way in gives the same page: a file, its bytes, RGBA pixels and padded RGB pixels.
TEST(CApiSourceTest, FileBytesAndPixelsOfOnePageRenderAlike) {
  constexpr int kWidth = 60, kHeight = 40;
  constexpr size_t kRgbStride = kWidth * 3 + 5;  // the padding holds bytes that must be skipped
  std::vector<unsigned char> rgba(kWidth * kHeight * 4), rgb(kRgbStride * kHeight, 0xAB);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const unsigned char pixel[3] = {static_cast<unsigned char>(200 + x % 50),
                                      static_cast<unsigned char>(255 - y), 230};
      for (int c = 0; c < 3; ++c) {
        rgba[(y * kWidth + x) * 4 + c] = pixel[c];
        rgb[y * kRgbStride + x * 3 + c] = pixel[c];
      }
      rgba[(y * kWidth + x) * 4 + 3] = 255;
    }
  }
  Engine engine(lf_engine_new(nullptr));
  Job job(lf_job_new(nullptr));
  setTinyPayloads(job.get());
  ASSERT_EQ(lf_job_set_image_pixels(job.get(), rgba.data(), kWidth, kHeight, kWidth * 4,
                                    LF_PIXELS_RGBA, nullptr), LF_OK);
  const Bytes fromRgba = imageOf(render(engine.get(), job.get()).get());
  ASSERT_EQ(lf_job_set_image_pixels(job.get(), rgb.data(), kWidth, kHeight, kRgbStride,
                                    LF_PIXELS_RGB, nullptr), LF_OK);
  EXPECT_EQ(imageOf(render(engine.get(), job.get()).get()), fromRgba);

  // The page without its block is the pixels themselves, as PNG: the bytes and file to read.
  constexpr const char* kNoBlocks = R"({"width": 60, "height": 40, "blocks": []})";
  lf_job_set_ocr_json(job.get(), kNoBlocks, std::strlen(kNoBlocks), nullptr);
  const Bytes png = imageOf(render(engine.get(), job.get()).get());
  setTinyPayloads(job.get());
  lf_job_set_image_bytes(job.get(), png.data(), png.size(), "tiny.png", nullptr);
  EXPECT_EQ(imageOf(render(engine.get(), job.get()).get()), fromRgba);
  char path[] = "/tmp/lf-c-api-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_EQ(lf_write_file(path, png.data(), png.size(), nullptr), LF_OK);
  lf_job_set_image_file(job.get(), path, nullptr);
  EXPECT_EQ(imageOf(render(engine.get(), job.get()).get()), fromRgba);
  std::remove(path);
}

std::string headOf(const Bytes& bytes, size_t length) {
  return std::string(bytes.begin(), bytes.begin() + static_cast<long>(std::min(length, bytes.size())));
}

TEST(CApiFormatTest, OutputNameChoosesTheFormatAndTheFormatOptionWins) {
  Engine engine(lf_engine_new(nullptr));
  Job job = whitePixelJob();
  lf_job_set_output_name(job.get(), "out/page.JPG", nullptr);
  Result result = render(engine.get(), job.get());
  EXPECT_STREQ(lf_result_format(result.get()), "jpeg");
  EXPECT_EQ(headOf(imageOf(result.get()), 3), "\xFF\xD8\xFF");

  ASSERT_EQ(lf_job_set_option_string(job.get(), "format", "webp", nullptr), LF_OK);
  // A refused value leaves the option as it was.
  EXPECT_EQ(lf_job_set_option_string(job.get(), "format", "gif", nullptr),
            LF_ERROR_INVALID_ARGUMENT);
  result = render(engine.get(), job.get());
  EXPECT_STREQ(lf_result_format(result.get()), "webp");
  EXPECT_EQ(headOf(imageOf(result.get()), 4), "RIFF");
}

TEST(CApiFormatTest, OutputNameOfAFormatNotWrittenIsRefusedUnlessTheFormatIsGiven) {
  Engine engine(lf_engine_new(nullptr));
  Job job = whitePixelJob();
  lf_job_set_output_name(job.get(), "out/page.gif", nullptr);
  lf_error* error = nullptr;
  EXPECT_EQ(lf_render(engine.get(), job.get(), &error), nullptr);
  EXPECT_EQ(lf_error_code(error), LF_ERROR_INVALID_ARGUMENT);
  EXPECT_STREQ(lf_error_message(error),
               "output \"out/page.gif\": its extension names no format written here (png, jpg, "
               "jpeg or webp); the format option chooses one");
  lf_error_free(error);
  ASSERT_EQ(lf_job_set_option_string(job.get(), "format", "png", nullptr), LF_OK);
  const Result result = render(engine.get(), job.get());
  EXPECT_STREQ(lf_result_format(result.get()), "png");
}

TEST(CApiOptionTest, ModeWordsAreStrictAndNoneSpellsNoCleanup) {
  Job job(lf_job_new(nullptr));
  lf_error* error = nullptr;
  EXPECT_EQ(lf_job_set_option_string(job.get(), "cleanup_mode", "NONE", &error), LF_OK);
  EXPECT_EQ(lf_job_set_option_string(job.get(), "cleanup_mode", "bubbleclean", &error),
            LF_ERROR_INVALID_ARGUMENT);
  EXPECT_STREQ(lf_error_message(error),
               "cleanup_mode: expected white_fill, text_inpaint, bubble_clean, repaint or none, found "
               "\"bubbleclean\" (nearest: bubble_clean)");
  lf_error_free(error);
}

struct Pixels {
  Bytes rgba{};
  int width = 0;
  int height = 0;
  bool operator==(const Pixels&) const = default;
};

Pixels pixelsOf(const lf_result* result) {
  Pixels pixels;
  const unsigned char* data = lf_result_pixels(result, &pixels.width, &pixels.height);
  if (data) pixels.rgba.assign(data, data + static_cast<size_t>(pixels.width * pixels.height) * 4);
  return pixels;
}

// What an encoded page decodes to, read back by the library: a page of no block is its image.
Pixels decoded(lf_engine* engine, const Bytes& encoded) {
  Job job(lf_job_new(nullptr));
  lf_job_set_image_bytes(job.get(), encoded.data(), encoded.size(), nullptr, nullptr);
  constexpr const char* kNoBlocks = R"({"width": 60, "height": 40, "blocks": []})";
  lf_job_set_ocr_json(job.get(), kNoBlocks, std::strlen(kNoBlocks), nullptr);
  lf_job_set_translation_json(job.get(), kTinyTranslation, std::strlen(kTinyTranslation), nullptr);
  lf_job_set_result_contents(job.get(), LF_RESULT_PIXELS, nullptr);
  return pixelsOf(render(engine, job.get()).get());
}

// The pixels are the page as drawn: what PNG keeps exactly and JPEG only approaches.
TEST(CApiPixelsTest, PixelsAreThePageAsDrawnBeforeAnyEncoding) {
  Engine engine(lf_engine_new(nullptr));
  Job job(lf_job_new(nullptr));
  const std::vector<unsigned char> grey(60 * 40 * 4, 200);
  lf_job_set_image_pixels(job.get(), grey.data(), 60, 40, 60 * 4, LF_PIXELS_RGBA, nullptr);
  setTinyPayloads(job.get());
  lf_job_set_debug(job.get(), 1, nullptr);
  const Result encodedOnly = render(engine.get(), job.get());
  EXPECT_EQ(pixelsOf(encodedOnly.get()), Pixels{}) << "pixels are kept only when asked for";

  ASSERT_EQ(lf_job_set_result_contents(job.get(), LF_RESULT_ENCODED | LF_RESULT_PIXELS, nullptr),
            LF_OK);
  const Result both = render(engine.get(), job.get());
  const Pixels drawn = pixelsOf(both.get());
  ASSERT_EQ(drawn.rgba.size(), 60u * 40u * 4u);
  size_t opaque = 0;
  for (size_t i = 3; i < drawn.rgba.size(); i += 4) opaque += drawn.rgba[i] == 255 ? 1 : 0;
  EXPECT_EQ(opaque, 60u * 40u);
  EXPECT_EQ(imageOf(both.get()), imageOf(encodedOnly.get()));
  EXPECT_EQ(debugImageOf(both.get()), debugImageOf(encodedOnly.get()));
  EXPECT_EQ(decoded(engine.get(), imageOf(both.get())), drawn) << "PNG holds the pixels exactly";

  lf_job_set_result_contents(job.get(), LF_RESULT_PIXELS, nullptr);
  const Result pixelsOnly = render(engine.get(), job.get());
  EXPECT_EQ(pixelsOf(pixelsOnly.get()), drawn);
  size_t length = 1;
  EXPECT_EQ(lf_result_image(pixelsOnly.get(), &length), nullptr);
  EXPECT_EQ(length, 0u);
  EXPECT_STREQ(lf_result_format(pixelsOnly.get()), "");
  EXPECT_EQ(debugImageOf(pixelsOnly.get()), debugImageOf(encodedOnly.get()));

  lf_job_set_result_contents(job.get(), LF_RESULT_ENCODED | LF_RESULT_PIXELS, nullptr);
  lf_job_set_option_string(job.get(), "format", "jpeg", nullptr);
  const Result jpeg = render(engine.get(), job.get());
  EXPECT_STREQ(lf_result_format(jpeg.get()), "jpeg");
  EXPECT_EQ(pixelsOf(jpeg.get()), drawn) << "the pixels do not depend on the encoding";
  const Pixels fromJpeg = decoded(engine.get(), imageOf(jpeg.get()));
  EXPECT_EQ(fromJpeg.rgba.size(), drawn.rgba.size());
  EXPECT_NE(fromJpeg, drawn) << "JPEG only approaches the pixels";
}

TEST(CApiReportTest, CallbackReceivesEachLineAsTheResultKeepsIt) {
  struct Heard {
    std::vector<std::string> lines{};
    bool lengthsRight = true;
  } heard;
  Job job = sampleJob("bubble_clean");
  lf_job_set_report_callback(
      job.get(),
      [](const char* line, size_t length, void* user) {
        auto* h = static_cast<Heard*>(user);
        h->lines.emplace_back(line);
        h->lengthsRight = h->lengthsRight && std::strlen(line) == length;
      },
      &heard, nullptr);
  Engine engine(lf_engine_new(nullptr));
  const Result result = render(engine.get(), job.get());
  EXPECT_EQ(heard.lines, linesOf(result.get()));
  EXPECT_EQ(heard.lines.size(), 8u);  // seven patched blocks and the fallback reasons
  EXPECT_TRUE(heard.lengthsRight);
}

// Engines on four threads, all rendering one shared job, give what one engine gives alone.
TEST(CApiThreadTest, EnginesOnSeveralThreadsRenderAsOneAlone) {
  const Job job = sampleJob("bubble_clean");
  lf_job_set_debug(job.get(), 1, nullptr);
  Engine alone(lf_engine_new(nullptr));
  const Result expected = render(alone.get(), job.get());
  ASSERT_NE(expected, nullptr);
  std::vector<Bytes> pages(4), debugImages(4);
  std::vector<std::vector<std::string>> lines(4);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < pages.size(); ++t) {
    threads.emplace_back([&, t] {
      Engine engine(lf_engine_new(nullptr));
      const Result result(lf_render(engine.get(), job.get(), nullptr));
      if (!result) return;
      pages[t] = imageOf(result.get());
      debugImages[t] = debugImageOf(result.get());
      lines[t] = linesOf(result.get());
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (size_t t = 0; t < pages.size(); ++t) {
    EXPECT_EQ(pages[t], imageOf(expected.get())) << "thread " << t;
    EXPECT_EQ(debugImages[t], debugImageOf(expected.get())) << "thread " << t;
    EXPECT_EQ(lines[t], linesOf(expected.get())) << "thread " << t;
  }
}

TEST(CApiHeaderTest, ARenderDrivenFromCGetsWhatCxxGets) {
  size_t length = 0, lines = 0, blocks = 0;
  ASSERT_EQ(lf_c_render_files(kImage.c_str(), kOcr.c_str(), kTranslation.c_str(), "bubble_clean",
                              &length, &lines, &blocks), LF_OK);
  Engine engine(lf_engine_new(nullptr));
  const Result result = render(engine.get(), sampleJob("bubble_clean").get());
  EXPECT_EQ(length, imageOf(result.get()).size());
  EXPECT_EQ(lines, lf_result_line_count(result.get()));
  EXPECT_EQ(blocks, lf_result_block_count(result.get()));
  EXPECT_EQ(lf_c_render_files("/nonexistent/page.png", kOcr.c_str(), kTranslation.c_str(), "none",
                              &length, &lines, &blocks), LF_ERROR_IMAGE_UNREADABLE);
  EXPECT_EQ(lf_c_render_files(kImage.c_str(), kOcr.c_str(), kTranslation.c_str(), "",
                              &length, &lines, &blocks), LF_ERROR_INVALID_ARGUMENT);
}

// A failure of each class, the code and the message letterforge would print for it.
struct FailureCase {
  const char* name;
  std::function<void(lf_job*)> change;  // to the sample job
  int code;
  std::string message;  // its beginning
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class FailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailureTest, EndsThePageWithItsCodeAndMessage) {
  const FailureCase& c = GetParam();
  Job job = sampleJob("white_fill");
  c.change(job.get());
  Engine engine(lf_engine_new(nullptr));
  lf_result* result = nullptr;
  const Failure failure = failureOf([&](lf_error** error) { result = lf_render(engine.get(), job.get(), error); });
  EXPECT_EQ(result, nullptr);
  lf_result_free(result);
  EXPECT_EQ(failure.code, c.code);
  EXPECT_THAT(failure.message, StartsWith(c.message));
}

void setOcrText(lf_job* job, const std::string& json) {
  lf_job_set_ocr_json(job, json.data(), json.size(), nullptr);
}

void setTranslationText(lf_job* job, const std::string& json) {
  lf_job_set_translation_json(job, json.data(), json.size(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Classes, FailureTest, ::testing::Values(
    FailureCase{"MissingImageFile",
                [](lf_job* j) { lf_job_set_image_file(j, "/nonexistent/page.png", nullptr); },
                LF_ERROR_IMAGE_UNREADABLE, "Could not open image: /nonexistent/page.png"},
    FailureCase{"BytesThatAreNoImage",
                [](lf_job* j) { lf_job_set_image_bytes(j, "text", 4, "upload.png", nullptr); },
                LF_ERROR_IMAGE_UNREADABLE, "Could not open image: upload.png"},
    FailureCase{"UnnamedEmptyBytes",
                [](lf_job* j) { lf_job_set_image_bytes(j, nullptr, 0, nullptr, nullptr); },
                LF_ERROR_IMAGE_UNREADABLE, "Could not open image: image bytes"},
    FailureCase{"OcrTextNotJson", [](lf_job* j) { setOcrText(j, "{"); },
                LF_ERROR_PAYLOAD_UNREADABLE, "OCR JSON: not valid JSON at byte "},
    FailureCase{"OcrKeyOfTheWrongType",
                [](lf_job* j) { setOcrText(j, R"({"width": "wide", "height": 1, "blocks": []})"); },
                LF_ERROR_PAYLOAD_UNREADABLE, "OCR JSON: width: expected a number, found a string"},
    FailureCase{"MissingTranslationFile",
                [](lf_job* j) { lf_job_set_translation_file(j, "/nonexistent/tr.json", nullptr); },
                LF_ERROR_PAYLOAD_UNREADABLE,
                "/nonexistent/tr.json: cannot be read: No such file or directory"},
    FailureCase{"TranslationTextEmpty", [](lf_job* j) { setTranslationText(j, ""); },
                LF_ERROR_PAYLOAD_UNREADABLE, "translation JSON: not valid JSON"},
    FailureCase{"DuplicateTranslationId",
                [](lf_job* j) {
                  setTranslationText(j, R"({"translations": [
                      {"id": "p1", "source_text": "a", "translated_text": "A"},
                      {"id": "p1", "source_text": "b", "translated_text": "B"}]})");
                },
                LF_ERROR_DUPLICATE_ID, "Duplicate values for key: 'p1'"},
    FailureCase{"FontThatCannotBeHad",
                [](lf_job* j) { lf_job_set_option_string(j, "font", "No Such Family 7", nullptr); },
                LF_ERROR_FONT_UNAVAILABLE, "Could not use font No Such Family 7: "},
    FailureCase{"BlockOverrideOfNoBlock",
                [](lf_job* j) { lf_job_set_option_string(j, "blocks", R"({"zz": {"skip": true}})", nullptr); },
                LF_ERROR_PAYLOAD_UNREADABLE, "blocks: zz: no translated block has this id"},
    FailureCase{"BlockOverridesFileMissing",
                [](lf_job* j) { lf_job_set_option_string(j, "blocks", "/nonexistent/blocks.json", nullptr); },
                LF_ERROR_PAYLOAD_UNREADABLE, "/nonexistent/blocks.json: cannot be read: No such file or directory"},
    FailureCase{"BlockOverrideFontThatCannotBeHad",
                [](lf_job* j) { lf_job_set_option_string(j, "blocks", R"({"p1": {"font": "No Such Family 7"}})", nullptr); },
                LF_ERROR_FONT_UNAVAILABLE, "blocks: p1: font: Could not use font No Such Family 7: "}),
    [](const auto& info) { return std::string(info.param.name); });

// The caller's mistakes: each refused with LF_ERROR_INVALID_ARGUMENT and a message naming the
// function and the argument. NULL, not a crash, for every pointer a caller may get wrong.
struct MistakeCase {
  const char* name;
  std::function<void(lf_engine*, lf_job*, lf_error**)> call;
  std::string message;
};

void PrintTo(const MistakeCase& c, std::ostream* out) { *out << c.name; }

class MistakeTest : public ::testing::TestWithParam<MistakeCase> {};

TEST_P(MistakeTest, IsRefusedWithItsMessage) {
  const MistakeCase& c = GetParam();
  Engine engine(lf_engine_new(nullptr));
  Job job = sampleJob("white_fill");
  const Failure failure = failureOf([&](lf_error** error) { c.call(engine.get(), job.get(), error); });
  EXPECT_EQ(failure.code, LF_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(failure.message, c.message);
}

// Renders, freeing any result, so that a case is one call.
void renderAndFree(lf_engine* engine, const lf_job* job, lf_error** error) {
  lf_result_free(lf_render(engine, job, error));
}

void renderWithout(const std::function<void(lf_job*)>& setInputs, lf_engine* engine, lf_error** error) {
  Job job(lf_job_new(nullptr));
  setInputs(job.get());
  renderAndFree(engine, job.get(), error);
}

const unsigned char kPixel[4] = {1, 2, 3, 4};

INSTANTIATE_TEST_SUITE_P(Arguments, MistakeTest, ::testing::Values(
    MistakeCase{"RenderWithoutEngine",
                [](lf_engine*, lf_job* j, lf_error** e) { renderAndFree(nullptr, j, e); },
                "lf_render: engine is NULL"},
    MistakeCase{"RenderWithoutJob",
                [](lf_engine* g, lf_job*, lf_error** e) { renderAndFree(g, nullptr, e); },
                "lf_render: job is NULL"},
    MistakeCase{"JobWithoutImage",
                [](lf_engine* g, lf_job*, lf_error** e) {
                  renderWithout([](lf_job* j) { setTinyPayloads(j); }, g, e);
                },
                "lf_render: the job has no page image"},
    MistakeCase{"JobWithoutOcr",
                [](lf_engine* g, lf_job*, lf_error** e) {
                  renderWithout([](lf_job* j) {
                    lf_job_set_image_file(j, kImage.c_str(), nullptr);
                    lf_job_set_translation_json(j, kTinyTranslation, std::strlen(kTinyTranslation), nullptr);
                  }, g, e);
                },
                "lf_render: the job has no OCR payload"},
    MistakeCase{"JobWithoutTranslation",
                [](lf_engine* g, lf_job*, lf_error** e) {
                  renderWithout([](lf_job* j) {
                    lf_job_set_image_file(j, kImage.c_str(), nullptr);
                    lf_job_set_ocr_json(j, kTinyOcr, std::strlen(kTinyOcr), nullptr);
                  }, g, e);
                },
                "lf_render: the job has no translation payload"},
    MistakeCase{"SetterWithoutJob",
                [](lf_engine*, lf_job*, lf_error** e) { lf_job_set_ocr_file(nullptr, "a.json", e); },
                "lf_job_set_ocr_file: job is NULL"},
    MistakeCase{"OptionWithoutJob",
                [](lf_engine*, lf_job*, lf_error** e) { lf_job_set_option_boolean(nullptr, "grouping", 1, e); },
                "lf_job_set_option_boolean: job is NULL"},
    MistakeCase{"NoResultContents",
                [](lf_engine*, lf_job* j, lf_error** e) { lf_job_set_result_contents(j, 0, e); },
                "lf_job_set_result_contents: contents is neither LF_RESULT_ENCODED, "
                "LF_RESULT_PIXELS nor both"},
    MistakeCase{"UnknownResultContents",
                [](lf_engine*, lf_job* j, lf_error** e) { lf_job_set_result_contents(j, 4, e); },
                "lf_job_set_result_contents: contents is neither LF_RESULT_ENCODED, "
                "LF_RESULT_PIXELS nor both"},
    MistakeCase{"DebugWithoutJob",
                [](lf_engine*, lf_job*, lf_error** e) { lf_job_set_debug(nullptr, 1, e); },
                "lf_job_set_debug: job is NULL"},
    MistakeCase{"ImagePathNull",
                [](lf_engine*, lf_job* j, lf_error** e) { lf_job_set_image_file(j, nullptr, e); },
                "lf_job_set_image_file: path is NULL"},
    MistakeCase{"TranslationPathNull",
                [](lf_engine*, lf_job* j, lf_error** e) { lf_job_set_translation_file(j, nullptr, e); },
                "lf_job_set_translation_file: path is NULL"},
    MistakeCase{"ImageBytesNullWithALength",
                [](lf_engine*, lf_job* j, lf_error** e) { lf_job_set_image_bytes(j, nullptr, 5, "x", e); },
                "lf_job_set_image_bytes: bytes is NULL"},
    MistakeCase{"OcrJsonNullWithALength",
                [](lf_engine*, lf_job* j, lf_error** e) { lf_job_set_ocr_json(j, nullptr, 2, e); },
                "lf_job_set_ocr_json: json is NULL"},
    MistakeCase{"PixelsNull",
                [](lf_engine*, lf_job* j, lf_error** e) {
                  lf_job_set_image_pixels(j, nullptr, 1, 1, 4, LF_PIXELS_RGBA, e);
                },
                "lf_job_set_image_pixels: pixels is NULL"},
    MistakeCase{"PixelLayoutUnknown",
                [](lf_engine*, lf_job* j, lf_error** e) { lf_job_set_image_pixels(j, kPixel, 1, 1, 4, 2, e); },
                "lf_job_set_image_pixels: layout is neither LF_PIXELS_RGB nor LF_PIXELS_RGBA"},
    MistakeCase{"PixelSideZero",
                [](lf_engine*, lf_job* j, lf_error** e) {
                  lf_job_set_image_pixels(j, kPixel, 0, 1, 4, LF_PIXELS_RGBA, e);
                },
                "lf_job_set_image_pixels: a side is below 1 pixel"},
    MistakeCase{"PixelSideNegative",
                [](lf_engine*, lf_job* j, lf_error** e) {
                  lf_job_set_image_pixels(j, kPixel, 1, -3, 4, LF_PIXELS_RGBA, e);
                },
                "lf_job_set_image_pixels: a side is below 1 pixel"},
    MistakeCase{"StrideShorterThanARow",
                [](lf_engine*, lf_job* j, lf_error** e) {
                  lf_job_set_image_pixels(j, kPixel, 2, 1, 5, LF_PIXELS_RGB, e);
                },
                "lf_job_set_image_pixels: stride is less than width times the channels"},
    MistakeCase{"OptionNameNull",
                [](lf_engine*, lf_job* j, lf_error** e) { lf_job_set_option_number(j, nullptr, 1, e); },
                "lf_job_set_option_number: name is NULL"},
    MistakeCase{"OptionValueNull",
                [](lf_engine*, lf_job* j, lf_error** e) { lf_job_set_option_string(j, "font", nullptr, e); },
                "lf_job_set_option_string: value is NULL"},
    MistakeCase{"OutputNameNull",
                [](lf_engine*, lf_job* j, lf_error** e) { lf_job_set_output_name(j, nullptr, e); },
                "lf_job_set_output_name: name is NULL"},
    MistakeCase{"WritePathNull",
                [](lf_engine*, lf_job*, lf_error** e) { lf_write_file(nullptr, "x", 1, e); },
                "lf_write_file: path is NULL"},
    MistakeCase{"WriteBytesNullWithALength",
                [](lf_engine*, lf_job*, lf_error** e) { lf_write_file("/nonexistent/x", nullptr, 1, e); },
                "lf_write_file: bytes is NULL"},
    // Options refused by name or value, in the words of the job descriptions.
    MistakeCase{"OptionUnknown",
                [](lf_engine*, lf_job* j, lf_error** e) { lf_job_set_option_number(j, "fontsize", 12, e); },
                "unknown option \"fontsize\""},
    MistakeCase{"NumberGivenAString",
                [](lf_engine*, lf_job* j, lf_error** e) { lf_job_set_option_string(j, "base_font_size", "12", e); },
                "base_font_size: expected a number, found a string"},
    MistakeCase{"BooleanGivenANumber",
                [](lf_engine*, lf_job* j, lf_error** e) { lf_job_set_option_number(j, "grouping", 1, e); },
                "grouping: expected a boolean, found a number"},
    MistakeCase{"StringGivenABoolean",
                [](lf_engine*, lf_job* j, lf_error** e) { lf_job_set_option_boolean(j, "cleanup_mode", 1, e); },
                "cleanup_mode: expected a string, found a boolean"},
    MistakeCase{"ColourOfFiveDigits",
                [](lf_engine*, lf_job* j, lf_error** e) { lf_job_set_option_string(j, "stroke_color", "12345", e); },
                "stroke_color: expected six hex digits, found \"12345\""},
    MistakeCase{"FormatUnknown",
                [](lf_engine*, lf_job* j, lf_error** e) { lf_job_set_option_string(j, "format", "GIF", e); },
                "format: expected png, jpeg or webp, found \"gif\""},
    MistakeCase{"FontEmpty",
                [](lf_engine*, lf_job* j, lf_error** e) { lf_job_set_option_string(j, "font", "", e); },
                "font: expected a family name or a font file's path, found an empty string"},
    MistakeCase{"BlockOverrideFieldUnknown",
                [](lf_engine*, lf_job* j, lf_error** e) {
                  lf_job_set_option_string(j, "blocks", R"({"p1": {"size": 3}})", e);
                },
                "blocks: p1: unknown field \"size\""},
    MistakeCase{"BlockOverridesTextCutShort",
                [](lf_engine*, lf_job* j, lf_error** e) {
                  lf_job_set_option_string(j, "blocks", "  {\"p1\": {\"skip\": true}", e);
                },
                "blocks: not valid JSON at byte 24: syntax error while parsing object - unexpected end of "
                "input; expected '}'"}),
    [](const auto& info) { return std::string(info.param.name); });

// Overrides as JSON text and as the path of a file holding the same text do the same.
TEST(CApiOverridesTest, JsonTextOrAFilesPath) {
  const std::string overrides = R"({"p1": {"skip": true}})";
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("lf-blocks-" + std::to_string(getpid()) + ".json");
  { std::ofstream(file) << overrides; }
  Engine engine(lf_engine_new(nullptr));
  for (const std::string& value : {"\n " + overrides, file.string()}) {
    SCOPED_TRACE(value);
    Job job = sampleJob("white_fill");
    ASSERT_EQ(lf_job_set_option_string(job.get(), "blocks", value.c_str(), nullptr), LF_OK);
    const Result result = render(engine.get(), job.get());
    ASSERT_NE(result, nullptr);
    std::map<std::string, int> drawn;
    for (size_t i = 0; const lf_block* block = lf_result_block(result.get(), i); ++i) drawn[block->id] = block->drawn;
    EXPECT_EQ(drawn["p1"], 0);
    EXPECT_EQ(drawn["p2"], 1);
  }
  std::filesystem::remove(file);
}

TEST(CApiErrorTest, FirstFailureIsKeptAndNullAsksNothing) {
  Job job(lf_job_new(nullptr));
  lf_error* error = nullptr;
  EXPECT_EQ(lf_job_set_option_number(job.get(), "nope", 1, &error), LF_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(lf_job_set_image_file(job.get(), nullptr, &error), LF_ERROR_INVALID_ARGUMENT);
  EXPECT_STREQ(lf_error_message(error), "unknown option \"nope\"");
  lf_error_free(error);
  // Without an error record the code alone tells.
  EXPECT_EQ(lf_job_set_image_file(nullptr, "a.png", nullptr), LF_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(lf_error_code(nullptr), LF_OK);
  EXPECT_STREQ(lf_error_message(nullptr), "");
  lf_error_free(nullptr);
  lf_result_free(nullptr);
  lf_job_free(nullptr);
  lf_engine_free(nullptr);
}

TEST(CApiErrorTest, AccessorsOfNoResultGiveNothing) {
  size_t length = 7;
  EXPECT_EQ(lf_result_image(nullptr, &length), nullptr);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(lf_result_debug_image(nullptr, nullptr), nullptr);
  EXPECT_EQ(lf_result_debug_error(nullptr), nullptr);
  EXPECT_STREQ(lf_result_format(nullptr), "");
  EXPECT_EQ(lf_result_line_count(nullptr), 0u);
  EXPECT_EQ(lf_result_line(nullptr, 0), nullptr);
  EXPECT_EQ(lf_result_block_count(nullptr), 0u);
  EXPECT_EQ(lf_result_block(nullptr, 0), nullptr);
}

TEST(CApiErrorTest, PixelsBeyondTheLimitsCannotBeOpened) {
  Job job(lf_job_new(nullptr));
  // Refused from the sizes alone: the few bytes given are never read.
  const Failure wide = failureOf([&](lf_error** e) {
    lf_job_set_image_pixels(job.get(), kPixel, 65536, 1, 65536 * 4, LF_PIXELS_RGBA, e);
  });
  EXPECT_EQ(wide.code, LF_ERROR_IMAGE_UNREADABLE);
  EXPECT_EQ(wide.message, "Could not open image: 65536 x 1 pixels");
  const Failure large = failureOf([&](lf_error** e) {
    lf_job_set_image_pixels(job.get(), kPixel, 16385, 16384, 16385 * 3, LF_PIXELS_RGB, e);
  });
  EXPECT_EQ(large.code, LF_ERROR_IMAGE_UNREADABLE);
  EXPECT_EQ(large.message, "Could not open image: 16385 x 16384 pixels");
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define LF_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define LF_SANITIZED 1
#endif
#endif

#ifndef LF_SANITIZED
// In a child process whose address space is capped just above what it holds: memory that
// cannot be had, in a setter and inside a render, is LF_ERROR_OUT_OF_MEMORY, not a crash.
void runOutOfMemory() {
  Engine engine(lf_engine_new(nullptr));
  Job job(lf_job_new(nullptr));
  setTinyPayloads(job.get());
  constexpr int kSide = 3000, kLargeSide = 8192;
  const size_t mapped = size_t{kLargeSide} * kLargeSide * 3;  // zero pages, never touched
  void* pixels = mmap(nullptr, mapped, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (pixels == MAP_FAILED) std::_Exit(90);
  if (lf_job_set_image_pixels(job.get(), pixels, kSide, kSide, kSide * 3, LF_PIXELS_RGB, nullptr)) {
    std::_Exit(91);
  }
  long pages = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  const rlim_t cap = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (16 << 20);
  const rlimit limit{cap, cap};
  if (pages == 0 || setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(92);
  const Failure setter = failureOf([&](lf_error** e) {
    lf_job_set_image_pixels(job.get(), pixels, kLargeSide, kLargeSide, kLargeSide * 3, LF_PIXELS_RGB, e);
  });
  // The job's 36 MB image is copied for the engine: a copy that cannot be had.
  const Failure render = failureOf([&](lf_error** e) { renderAndFree(engine.get(), job.get(), e); });
  std::fprintf(stderr, "%d %s\n%d %s\n", setter.code, setter.message.c_str(), render.code,
               render.message.c_str());
  std::_Exit(0);
}
#endif

TEST(CApiOutOfMemoryTest, MemoryThatCannotBeHadIsReportedAsSuch) {
#ifdef LF_SANITIZED
  GTEST_SKIP() << "sanitizer runtimes reserve and map memory of their own";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(runOutOfMemory(), ::testing::ExitedWithCode(0),
              "6 out of memory for 8192 x 8192 pixels\n6 out of memory\n");
#endif
}

class CApiWriteTest : public ScratchDirectoryTest {};

TEST_F(CApiWriteTest, WritesInNewDirectoriesAndReplacesWhole) {
  const std::string path = (dir_ / "a" / "b" / "page.bin").string();
  ASSERT_EQ(lf_write_file(path.c_str(), "first", 5, nullptr), LF_OK);
  ASSERT_EQ(lf_write_file(path.c_str(), "2nd", 3, nullptr), LF_OK);
  EXPECT_EQ(readFile(path), "2nd");
  ASSERT_EQ(lf_write_file(path.c_str(), nullptr, 0, nullptr), LF_OK);
  EXPECT_EQ(readFile(path), "");
}

TEST_F(CApiWriteTest, FailureNamesThePathAndLeavesNothing) {
  writeText("file", "kept");
  const std::string underFile = (dir_ / "file" / "page.png").string();
  const Failure failure = failureOf([&](lf_error** e) { lf_write_file(underFile.c_str(), "x", 1, e); });
  EXPECT_EQ(failure.code, LF_ERROR_WRITE_FAILURE);
  EXPECT_THAT(failure.message, StartsWith("Could not write " + underFile + ": "));
  const Failure directory = failureOf([&](lf_error** e) { lf_write_file(dir_.c_str(), "x", 1, e); });
  EXPECT_EQ(directory.code, LF_ERROR_WRITE_FAILURE);
  EXPECT_EQ(directory.message, "Could not write " + dir_.string() + ": Is a directory");
  EXPECT_EQ(readFile(dir_ / "file"), "kept");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

TEST(CApiVersionTest, VersionIsTheProgramsOne) { EXPECT_STREQ(lf_version(), kVersion); }

// Every option listed can be set by its name with a value of its type: the first word its help
// lists for a word option.
TEST(CApiOptionListTest, EveryListedOptionIsSetByItsNameAndType) {
  ASSERT_GT(lf_option_count(), 0u);
  EXPECT_EQ(lf_option_at(lf_option_count()), nullptr);
  Job job(lf_job_new(nullptr));
  for (size_t i = 0; i < lf_option_count(); ++i) {
    const lf_option_info& option = *lf_option_at(i);
    const std::string type = option.type;
    const std::string name = option.name;
    const std::string help = option.help;
    const std::string firstWord = help.substr(0, help.find_first_of(", "));
    const std::string word = name == "stroke_color" ? "000000" : name == "font" ? "Inter" : firstWord;
    lf_error* error = nullptr;
    const int code = type == "number"    ? lf_job_set_option_number(job.get(), option.name, 20, &error)
                     : type == "boolean" ? lf_job_set_option_boolean(job.get(), option.name, 0, &error)
                                         : lf_job_set_option_string(job.get(), option.name, word.c_str(), &error);
    EXPECT_EQ(code, LF_OK) << name << ": " << lf_error_message(error);
    EXPECT_THAT(type, ::testing::AnyOf("number", "boolean", "string"));
    EXPECT_FALSE(std::string(option.help).empty()) << name;
    lf_error_free(error);
  }
}

}  // namespace
}  // namespace letterforge
