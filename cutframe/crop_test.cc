#include "cutframe/crop.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>

#include "platform/files.h"
#include "platform/png_encoder.h"
#include "platform/test_case_names.h"

namespace cutframe {
namespace {

using test_cases::PrintTo;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// --- Crop arithmetic ------------------------------------------------------------------

using Region = platform::ImageRegion;

struct CropCase {
  const char* name;
  double x, y, w, h, ratio;
  std::optional<Region> expected;  // on a 1000 x 800 image
};

class CropArithmeticTest : public ::testing::TestWithParam<CropCase> {};

TEST_P(CropArithmeticTest, MatchesHandWorkedRectangle) {
  const CropCase& c = GetParam();
  const CropRequest request{.x = c.x, .y = c.y, .w = c.w, .h = c.h, .paddingRatio = c.ratio};
  EXPECT_EQ(pixelsInImage(paddedCropRect(request, 1000, 800), 1000, 800), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Examples, CropArithmeticTest, ::testing::Values(
    // pad = max(50 × 0.22, 40) = 40
    CropCase{"DefaultRatioPadsAtLeastForty", 100, 100, 50, 20, 0.22, Region{60, 60, 130, 100}},
    CropCase{"RatioOnePadsByLongerSide", 100, 100, 50, 20, 1.0, Region{50, 50, 150, 120}},
    CropCase{"RatioGivingExactlyForty", 100, 100, 200, 20, 0.2, Region{60, 60, 280, 100}},
    CropCase{"RatioGivingJustOverForty", 100, 100, 200, 20, 0.21, Region{58, 58, 284, 104}},
    CropCase{"NegativeRatioCountsAsZero", 100, 100, 50, 20, -3.0, Region{60, 60, 130, 100}},
    CropCase{"ClampedAtTopLeftCorner", 10, 10, 50, 20, 0.22, Region{0, 0, 100, 70}},
    CropCase{"EndsExactlyAtRightEdge", 950, 100, 100, 20, 0.22, Region{910, 60, 90, 100}},
    CropCase{"EndsExactlyAtBottomEdge", 100, 790, 50, 20, 0.22, Region{60, 750, 130, 50}},
    // x0 = 60.5: origin 60, width ceil(150.5 − 60.5) = 90, so columns 60 to 149
    CropCase{"FractionalLeftKeepsUnroundedWidth", 100.5, 100, 10, 10, 0.22, Region{60, 60, 90, 90}},
    CropCase{"FractionalTopKeepsUnroundedHeight", 100, 100.25, 10, 10, 0.22, Region{60, 60, 90, 90}},
    CropCase{"ZeroSizeCountsAsOne", 100, 100, 0, 0, 0.22, Region{60, 60, 81, 81}},
    CropCase{"NegativeSizeCountsAsOne", 100, 100, -5, -7, 0.22, Region{60, 60, 81, 81}},
    CropCase{"InfiniteRatioTakesWholeImage", 100, 100, 10, 10, kInf, Region{0, 0, 1000, 800}},
    CropCase{"NaNLeftRunsFromZeroToEdge", kNaN, 100, 50, 20, 0.22, Region{0, 60, 1000, 100}},
    CropCase{"NaNTopRunsFromZeroToEdge", 100, kNaN, 50, 20, 0.22, Region{60, 0, 130, 800}},
    CropCase{"NaNWidthCountsAsOne", 100, 100, kNaN, 20, 0.22, Region{60, 60, 81, 100}},
    CropCase{"NaNRatioGivesMinimumPad", 100, 100, 50, 20, kNaN, Region{60, 60, 130, 100}},
    // x0 clamps to 0 and x1 = −450, so the width falls to its floor of one pixel
    CropCase{"WhollyLeftOfImageKeepsOneColumn", -500, 100, 10, 20, 0.22, Region{0, 60, 1, 100}},
    CropCase{"PastRightEdgeIsEmpty", 5000, 100, 10, 20, 0.22, std::nullopt},
    CropCase{"BelowBottomEdgeIsEmpty", 100, 900, 10, 20, 0.22, std::nullopt},
    CropCase{"InfiniteLeftIsEmpty", kInf, 100, 10, 20, 0.22, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CropArithmeticTest, PaddedRectangleKeepsFractionalCorner) {
  // x = 100.5 − 40 = 60.5 is floored for the origin only.
  const CropRect rect = paddedCropRect(CropRequest{.x = 100.5, .y = 100, .w = 10, .h = 10}, 1000, 800);
  EXPECT_EQ(rect, (CropRect{60, 60, 90, 90}));
}

TEST(CropArithmeticTest, FractionalRectangleIsRoundedOutward) {
  EXPECT_EQ(pixelsInImage(CropRect{2.5, 3.25, 4.0, 1.5}, 10, 10), (Region{2, 3, 5, 2}));
  EXPECT_EQ(pixelsInImage(CropRect{-3, -3, 2.5, 10}, 10, 10), std::nullopt);
}

// --- Arguments ------------------------------------------------------------------------

std::vector<std::string> withRect(std::string x, std::string y, std::string w, std::string h) {
  return {"in.png", "out.png", std::move(x), std::move(y), std::move(w), std::move(h)};
}

struct RectArgumentCase {
  const char* name;
  std::string text;
  std::optional<double> expected;  // absent: "Invalid crop rectangle"
};

class CropArgumentsTest : public ::testing::TestWithParam<RectArgumentCase> {};

TEST_P(CropArgumentsTest, EachRectangleFieldMustBeOneWholeNumber) {
  const RectArgumentCase& c = GetParam();
  for (int field = 0; field < 4; ++field) {
    std::vector<std::string> arguments = withRect("1", "2", "3", "4");
    arguments[2 + field] = c.text;
    ArgumentProblem problem{};
    const auto request = parseCropArguments(arguments, problem);
    ASSERT_EQ(request.has_value(), c.expected.has_value()) << "field " << field;
    if (!request) {
      EXPECT_EQ(problem, ArgumentProblem::kInvalidRectangle);
      continue;
    }
    const double values[] = {request->x, request->y, request->w, request->h};
    EXPECT_EQ(values[field], *c.expected) << "field " << field;
  }
}

INSTANTIATE_TEST_SUITE_P(Numbers, CropArgumentsTest, ::testing::Values(
    RectArgumentCase{"Integer", "12", 12.0},
    RectArgumentCase{"NegativeFraction", "-2.5", -2.5},
    RectArgumentCase{"Exponent", "1e2", 100.0},
    RectArgumentCase{"Hexadecimal", "0x10", 16.0},
    RectArgumentCase{"Infinity", "inf", kInf},
    RectArgumentCase{"UnitSuffix", "12px", std::nullopt},
    RectArgumentCase{"LeadingSpace", " 12", std::nullopt},
    RectArgumentCase{"LeadingTab", "\t12", std::nullopt},
    RectArgumentCase{"TrailingSpace", "12 ", std::nullopt},
    RectArgumentCase{"Empty", "", std::nullopt},
    RectArgumentCase{"Word", "left", std::nullopt},
    RectArgumentCase{"DecimalComma", "1,5", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CropArgumentsTest, NotANumberIsAcceptedAsACoordinate) {
  ArgumentProblem problem{};
  const auto request = parseCropArguments(withRect("nan", "2", "3", "4"), problem);
  ASSERT_TRUE(request.has_value());
  EXPECT_TRUE(std::isnan(request->x));
}

TEST(CropArgumentsTest, FewerThanSixArgumentsAreTooFew) {
  ArgumentProblem problem{};
  EXPECT_FALSE(parseCropArguments({"in.png", "out.png", "1", "2", "3"}, problem).has_value());
  EXPECT_EQ(problem, ArgumentProblem::kTooFew);
  EXPECT_FALSE(parseCropArguments({}, problem).has_value());
  EXPECT_EQ(problem, ArgumentProblem::kTooFew);
}

TEST(CropArgumentsTest, PathsAndRatioAreTakenInOrder) {
  ArgumentProblem problem{};
  const auto request =
      parseCropArguments({"a.jpg", "dir/b.png", "1", "2", "3", "4", "0.5", "ignored"}, problem);
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(*request, (CropRequest{.inputPath = "a.jpg", .outputPath = "dir/b.png", .x = 1, .y = 2,
                                   .w = 3, .h = 4, .paddingRatio = 0.5}));
}

struct RatioCase {
  const char* name;
  std::string text;
  double expected;
};

class CropRatioTest : public ::testing::TestWithParam<RatioCase> {};

TEST_P(CropRatioTest, UnreadableRatioFallsBackSilently) {
  ArgumentProblem problem{};
  std::vector<std::string> arguments = withRect("1", "2", "3", "4");
  arguments.push_back(GetParam().text);
  const auto request = parseCropArguments(arguments, problem);
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(request->paddingRatio, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Ratios, CropRatioTest, ::testing::Values(
    RatioCase{"Number", "0.5", 0.5},
    RatioCase{"Negative", "-1", -1.0},
    RatioCase{"Infinity", "infinity", kInf},
    RatioCase{"Letters", "wide", 0.22},
    RatioCase{"LeadingSpace", " 0.5", 0.22},
    RatioCase{"Empty", "", 0.22}),
    [](const auto& info) { return std::string(info.param.name); });

// --- The program, run as a process --------------------------------------------------------

struct RunResult {
  int status = -1;
  std::string out{};
  std::string err{};
};

std::string readText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class CutframeProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* build = std::getenv("LF_BUILD_DIR");
    ASSERT_NE(build, nullptr) << "LF_BUILD_DIR names the build folder that holds cutframe";
    binary_ = std::filesystem::path(build) / "cutframe";
    // One folder per test; a parametrised test's name holds a "/".
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '_');
    dir_ = std::filesystem::path(::testing::TempDir()) / ("cutframe_" + name);
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    writeSourceImage();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // 200 × 150 pixels; pixel (x, y) is (x, y, 7), so every crop shows where it came from.
  void writeSourceImage() {
    auto image = platform::allocateImage(200, 150);
    ASSERT_TRUE(image.has_value());
    for (int y = 0; y < 150; ++y) {
      for (int x = 0; x < 200; ++x) {
        std::uint8_t* p = image->row(y) + x * 4;
        p[0] = static_cast<std::uint8_t>(x);
        p[1] = static_cast<std::uint8_t>(y);
        p[2] = 7;
        p[3] = 255;
      }
    }
    std::string failure;
    const auto png = platform::encodePng(*image, failure);
    ASSERT_TRUE(png.has_value()) << failure;
    ASSERT_TRUE(platform::writeFileReplacing(input(), *png, failure)) << failure;
  }

  std::string input() const { return (dir_ / "in.png").string(); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  // Runs cutframe with its streams captured, under a file-size limit when one is given. A run
  // that waits for ever (on a pipe, say) is ended by an alarm far beyond any real run's time.
  RunResult run(const std::vector<std::string>& arguments, rlim_t fileSizeLimit = RLIM_INFINITY) {
    std::vector<std::string> all = {binary_.string()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string outPath = path("stdout.txt");
    const std::string errPath = path("stderr.txt");
    const pid_t pid = fork();
    if (pid == 0) {
      const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const rlimit limit{fileSizeLimit, fileSizeLimit};
      if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
          (fileSizeLimit != RLIM_INFINITY && setrlimit(RLIMIT_FSIZE, &limit) != 0)) {
        _exit(127);
      }
      alarm(120);
      execv(argv[0], argv.data());
      _exit(127);
    }
    RunResult result;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid) {
      result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    result.out = readText(outPath);
    result.err = readText(errPath);
    return result;
  }

  std::filesystem::path binary_;
  std::filesystem::path dir_;
};

TEST_F(CutframeProgramTest, WritesThePaddedCropIntoNewDirectories) {
  // pad 40: x0 = 60, y0 = 20, x1 = min(160, 200), y1 = min(110, 150)
  const std::string output = path("a/b/crop.png");
  const RunResult r = run({input(), output, "100", "60", "20", "10"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "");
  const auto crop = platform::decodeImageFile(output);
  ASSERT_TRUE(crop.has_value());
  EXPECT_EQ(crop->width, 100);
  EXPECT_EQ(crop->height, 90);
  EXPECT_EQ(crop->row(0)[0], 60);
  EXPECT_EQ(crop->row(0)[1], 20);
  EXPECT_EQ(crop->row(89)[99 * 4], 159);
  EXPECT_EQ(crop->row(89)[99 * 4 + 1], 109);
}

TEST_F(CutframeProgramTest, ReplacesAnExistingFileWholly) {
  const std::string output = path("crop.png");
  std::ofstream(output) << "an older, longer file that is not a PNG at all";
  const RunResult r = run({input(), output, "0", "0", "1", "1", "0"});
  EXPECT_EQ(r.status, 0);
  const auto crop = platform::decodeImageFile(output);
  ASSERT_TRUE(crop.has_value());
  EXPECT_EQ(crop->width, 41);  // x1 = 0 + 1 + 40
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_)) ++files;
  EXPECT_EQ(files, 4u);  // in.png, crop.png and the two captured streams, no temporary left
}

TEST_F(CutframeProgramTest, PipeWithoutWriterAsInputFailsAtOnce) {
  ASSERT_EQ(mkfifo(path("pipe.png").c_str(), 0600), 0);
  const RunResult r = run({path("pipe.png"), path("crop.png"), "1", "1", "1", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Could not open image: " + path("pipe.png") + "\n");
  EXPECT_FALSE(std::filesystem::exists(path("crop.png")));
}

TEST_F(CutframeProgramTest, DeviceNodeAsOutputIsWrittenIntoNotReplaced) {
  if (mknod(path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
    GTEST_SKIP() << "cannot make device nodes here";
  }
  const RunResult r = run({input(), path("null"), "1", "1", "1", "1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  struct stat info {};
  ASSERT_EQ(lstat(path("null").c_str(), &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
}

TEST_F(CutframeProgramTest, FileSizeLimitFailsTheWriteAndKeepsTheOldFile) {
  std::ofstream(path("crop.png")) << "old";
  const RunResult r = run({input(), path("crop.png"), "0", "0", "200", "150"}, 256);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Could not write crop: File too large\n");
  EXPECT_EQ(readText(path("crop.png")), "old");
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_)) ++files;
  EXPECT_EQ(files, 4u);  // in.png, crop.png and the two captured streams, no temporary left
}

struct MessageCase {
  const char* name;
  std::vector<std::string> arguments;  // "IN" and "OUT" stand for the test's paths
  std::string message;                 // "IN" stands for the input path
};

class CutframeMessageTest : public CutframeProgramTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(CutframeMessageTest, FailsWithItsMessageAndStatusOne) {
  const MessageCase& c = GetParam();
  std::ofstream(path("broken.png"), std::ios::binary) << readText(input()).substr(0, 100);
  std::ofstream(path("notes.txt")) << "not an image\n";
  auto expand = [&](std::string text) {
    for (const auto& [word, value] : {std::pair<std::string, std::string>{"OUT", path("out/crop.png")},
                                      {"IN", input()}, {"BROKEN", path("broken.png")},
                                      {"NOTES", path("notes.txt")}, {"DIR", dir_.string()}}) {
      for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + value.size())) {
        text.replace(at, word.size(), value);
      }
    }
    return text;
  };
  std::vector<std::string> arguments;
  for (const auto& a : c.arguments) arguments.push_back(expand(a));
  const RunResult r = run(arguments);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, expand(c.message));
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(std::filesystem::exists(path("out"))) << "nothing is created on failure";
}

INSTANTIATE_TEST_SUITE_P(Failures, CutframeMessageTest, ::testing::Values(
    MessageCase{"NoArguments", {}, "Usage: cutframe <input-image> <output-png> <x> <y> <w> <h> [padding-ratio]\n"},
    MessageCase{"FiveArguments", {"IN", "OUT", "1", "2", "3"},
                "Usage: cutframe <input-image> <output-png> <x> <y> <w> <h> [padding-ratio]\n"},
    MessageCase{"CoordinateWithUnit", {"IN", "OUT", "12px", "2", "3", "4"}, "Invalid crop rectangle\n"},
    MessageCase{"HeightWithSpace", {"IN", "OUT", "1", "2", "3", " 4"}, "Invalid crop rectangle\n"},
    MessageCase{"RectangleCheckedBeforeImage", {"DIR/missing.png", "OUT", "1", "x", "3", "4"},
                "Invalid crop rectangle\n"},
    MessageCase{"MissingInput", {"DIR/missing.png", "OUT", "1", "2", "3", "4"}, "Could not open image: DIR/missing.png\n"},
    MessageCase{"TextInput", {"NOTES", "OUT", "1", "2", "3", "4"}, "Could not open image: NOTES\n"},
    MessageCase{"TruncatedInput", {"BROKEN", "OUT", "1", "2", "3", "4"}, "Could not decode image: BROKEN\n"},
    MessageCase{"RectanglePastRightEdge", {"IN", "OUT", "5000", "2", "3", "4"}, "Could not crop image\n"},
    MessageCase{"OutputWithTrailingSlash", {"IN", "OUT/", "1", "2", "3", "4"}, "Could not write crop: Is a directory\n"},
    MessageCase{"OutputIsTheCurrentDirectory", {"IN", "DIR/.", "1", "2", "3", "4"}, "Could not write crop: Is a directory\n"},
    MessageCase{"ParentIsAFile", {"IN", "IN/crop.png", "1", "2", "3", "4"}, "Could not write crop: cannot create directory IN: Not a directory\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace cutframe
