#include "letterforge/batch/manifest.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

constexpr const char* kFiles =
    R"("image": "p.png", "ocr": "o.json", "translation": "t.json", "output": "out/p.png")";

std::string lineWith(const std::string& more) {
  return std::string("{") + kFiles + (more.empty() ? "" : ", " + more) + "}";
}

// The job the files of kFiles make, read from the folder "ch", on defaults that set a stroke
// width of 10.
PageJob expectedJob() {
  PageJob job{.line = 1, .image = "ch/p.png", .ocr = "ch/o.json", .translation = "ch/t.json",
              .output = "ch/out/p.png"};
  job.options.settings.typeset.strokeWidth = 10;
  return job;
}

struct LineCase {
  const char* name;
  std::string line;
  std::function<void(PageJob&)> expect{};  // applied to expectedJob(): the job to get
  std::string failure{};
};
class ManifestLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(ManifestLineTest, GivesTheJobOrNamesTheField) {
  const LineCase& c = GetParam();
  JobOptions defaults;
  defaults.settings.typeset.strokeWidth = 10;
  const auto entries = readManifest(c.line, "ch", defaults);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].failure, c.failure);
  EXPECT_EQ(entries[0].job.line, 1);
  if (!c.failure.empty()) return;
  PageJob expected = expectedJob();
  if (c.expect) c.expect(expected);
  EXPECT_EQ(entries[0].job, expected);
}

using J = PageJob&;
INSTANTIATE_TEST_SUITE_P(Table, ManifestLineTest, ::testing::Values(
    LineCase{"FilesAloneTakeTheDefaults", lineWith("")},
    LineCase{"LineOverridesADefault", lineWith(R"("stroke_width": 0)"),
             [](J j) { j.options.settings.typeset.strokeWidth = 0; }},
    LineCase{"NullKeepsTheDefault", lineWith(R"("stroke_width": null, "debug": null)")},
    LineCase{"OutOfRangeIsBoundedAsTheProgramBoundsIt",
             lineWith(R"("font_scale": 3, "line_spacing": 0.1, "base_font_size": 2)"),
             [](J j) {
               j.options.settings.typeset.fontScale = 2;
               j.options.settings.typeset.lineSpacing = 0.8;
               j.options.settings.typeset.baseFontSize = 6;
             }},
    LineCase{"DebugTrimmedAndRead", lineWith(R"("debug": "  d/p.png ")"),
             [](J j) { j.debug = "ch/d/p.png"; }},
    LineCase{"BlankDebugMeansNone", lineWith(R"("debug": "  ")")},
    LineCase{"LayersTrimmedAndRead", lineWith(R"("layers": " l/p1 ")"),
             [](J j) { j.layers = "ch/l/p1"; }},
    LineCase{"LayersOfWrongType", lineWith(R"("layers": true)"), {},
             "layers: expected a string, found a boolean"},
    LineCase{"AbsolutePathStays",
             R"({"image": "/abs/p.png", "ocr": "o.json", "translation": "t.json", "output": "out/p.png"})",
             [](J j) { j.image = "/abs/p.png"; }},
    LineCase{"FontFormatQuality", lineWith(R"("font": "Comic Neue", "format": "WEBP", "quality": 80)"),
             [](J j) {
               j.options.settings.font = "Comic Neue";
               j.options.format = ImageFormat::kWebp;
               j.options.quality = 80;
             }},
    LineCase{"NotJson", "image: p.png", {},
             "not valid JSON at byte 1: syntax error while parsing value - invalid literal; "
             "last read: 'i'"},
    LineCase{"NotAnObject", R"(["p.png"])", {}, "expected an object, found an array"},
    LineCase{"MissingImage", R"({"ocr": "o.json", "translation": "t.json", "output": "o.png"})", {},
             "image: required field is missing"},
    LineCase{"MissingOutput", R"({"image": "p.png", "ocr": "o.json", "translation": "t.json"})", {},
             "output: required field is missing"},
    LineCase{"NullRequiredPath", lineWith("").replace(1, 16, R"("image": null)"), {},
             "image: expected a string, found null"},
    LineCase{"EmptyPath", lineWith("").replace(1, 16, R"("image": "")"), {},
             "image: expected a path, found an empty string"},
    LineCase{"PathOfWrongType", lineWith(R"("debug": 3)"), {}, "debug: expected a string, found a number"},
    LineCase{"UnknownOption", lineWith(R"("font_size": 20)"), {}, "unknown option \"font_size\""},
    LineCase{"NumberAsString", lineWith(R"("font_scale": "1.2")"), {},
             "font_scale: expected a number, found a string"},
    LineCase{"BooleanAsNumber", lineWith(R"("grouping": 0)"), {},
             "grouping: expected a boolean, found a number"},
    LineCase{"OptionAsArray", lineWith(R"("cleanup_mode": ["white_fill"])"), {},
             "cleanup_mode: expected a string, found an array"},
    LineCase{"BadColour", lineWith(R"("stroke_color": "#FFF")"), {},
             "stroke_color: expected six hex digits, found \"#FFF\""},
    LineCase{"NulInAPath", lineWith(R"("debug": "d.png\u0000.txt")"), {}, "debug: holds a NUL character"},
    LineCase{"NulInAFont", lineWith(R"("font": "Inter\u0000")"), {}, "font: holds a NUL character"},
    LineCase{"BadPathNamedBeforeABadOption", lineWith(R"("font_size": 1, "debug": false)"), {},
             "debug: expected a string, found a boolean"},
    LineCase{"ModeWordInCapitals", lineWith(R"("cleanup_mode": "None", "font_weight": "REGULAR")"),
             [](J j) {
               j.options.settings.cleanupMode = CleanupMode::kNone;
               j.options.settings.typeset.fontWeight = FontWeight::regular;
             }},
    LineCase{"ModeWordMistyped", lineWith(R"("cleanup_mode": "bubbleclean")"), {},
             "cleanup_mode: expected white_fill, text_inpaint, bubble_clean, repaint or none, found "
             "\"bubbleclean\" (nearest: bubble_clean)"},
    LineCase{"BlocksAsAnObjectKeepTheirOrder",
             lineWith(R"("blocks": {"b2": {"group": "x", "text_color": "#ff0000"}, "b1": {"skip": true}})"),
             [](J j) {
               j.options.settings.blocks =
                   R"({"b2":{"group":"x","text_color":"#ff0000"},"b1":{"skip":true}})";
             }},
    LineCase{"BlocksFileReadFromTheManifestsFolder", lineWith(R"("blocks": "p.blocks.json")"),
             [](J j) { j.options.settings.blocks = "ch/p.blocks.json"; }},
    LineCase{"BlocksFaultFailsTheLine", lineWith(R"("blocks": {"b1": {"font_size": 0}})"), {},
             "blocks: b1: font_size: expected a positive number up to 65535, found 0"},
    LineCase{"BlocksOfAnotherKind", lineWith(R"("blocks": [1])"), {},
             "blocks: expected an object or a file's path, found an array"},
    LineCase{"PresetMistyped", lineWith(R"("grouping_preset": "balanced ")"), {},
             "grouping_preset: expected conservative, balanced, aggressive or balloon, found "
             "\"balanced \" (nearest: balanced)"},
    LineCase{"OutputOfAFormatNotWritten",
             lineWith("").replace(lineWith("").find("out/p.png"), 9, "out/p.gif"), {},
             "output \"ch/out/p.gif\": its extension names no format written here (png, jpg, jpeg "
             "or webp); the format option chooses one"},
    LineCase{"FormatOptionWritesAnyExtension",
             lineWith(R"("format": "png")").replace(lineWith("").find("out/p.png"), 9, "out/p.gif"),
             [](J j) {
               j.output = "ch/out/p.gif";
               j.options.format = ImageFormat::kPng;
             }},
    LineCase{"DebugOfAFormatNotWritten", lineWith(R"("debug": "d.bmp", "format": "png")"), {},
             "debug image \"ch/d.bmp\": its extension names no format written here (png, jpg, "
             "jpeg or webp)"},
    LineCase{"FontFileReadFromTheManifestFolder", lineWith(R"("font": "fonts/Comic.ttf")"),
             [](J j) { j.options.settings.font = "ch/fonts/Comic.ttf"; }},
    LineCase{"AbsoluteFontFileStays", lineWith(R"("font": "/usr/share/fonts/x.ttf")"),
             [](J j) { j.options.settings.font = "/usr/share/fonts/x.ttf"; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ManifestTest, LinesAreCountedFromOneWithBlankOnesSkipped) {
  const std::string good = lineWith("");
  const auto entries = readManifest("\xEF\xBB\xBF" + good + "\r\n\n  \t\r\n{}\n" + good, "", {});
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].job.line, 1);
  EXPECT_EQ(entries[0].failure, "");
  EXPECT_EQ(entries[0].job.image, "p.png");  // no folder: the paths as written
  EXPECT_EQ(entries[1].job.line, 4);
  EXPECT_EQ(entries[1].failure, "image: required field is missing");
  EXPECT_EQ(entries[2].job.line, 5);
}

TEST(ManifestTest, AFontFileOfTheCommandLineIsReadFromTheCurrentFolder) {
  JobOptions defaults;
  defaults.settings.font = "fonts/Comic.ttf";
  const auto entries = readManifest(lineWith("") + "\n" + lineWith(R"("font": "f/My.otf")"), "ch",
                                    defaults);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].job.options.settings.font, "fonts/Comic.ttf");
  EXPECT_EQ(entries[1].job.options.settings.font, "ch/f/My.otf");
}

TEST(ManifestTest, ALineFailingOnAnOptionStillNamesItsFiles) {
  const auto entries = readManifest(lineWith(R"("font_scale": true)"), "", {});
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].job.output, "out/p.png");
}

TEST(ManifestTest, PathsAreReadFromTheManifestFolder) {
  EXPECT_EQ(resolvedPath("ch", "p.png"), "ch/p.png");
  EXPECT_EQ(resolvedPath("ch/", "p.png"), "ch/p.png");
  EXPECT_EQ(resolvedPath("/", "p.png"), "/p.png");
  EXPECT_EQ(resolvedPath("ch", "/p.png"), "/p.png");
  EXPECT_EQ(resolvedPath("", "../p.png"), "../p.png");
}

class LoadManifestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lf-manifest-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return (dir_ / name).string();
  }
  std::filesystem::path dir_;
};

TEST_F(LoadManifestTest, RelativePathsAreReadFromItsFolder) {
  std::string failure;
  const auto entries = loadManifest(write("m.jsonl", lineWith("")), {}, failure);
  ASSERT_TRUE(entries) << failure;
  EXPECT_EQ(entries->at(0).job.image, (dir_ / "p.png").string());
}

TEST_F(LoadManifestTest, AManifestWithoutPagesOrUnreadableIsRefusedWhole) {
  std::string failure;
  const std::string empty = write("empty.jsonl", "\n  \n");
  EXPECT_FALSE(loadManifest(empty, {}, failure));
  EXPECT_EQ(failure, empty + ": holds no page job");
  const std::string missing = (dir_ / "missing.jsonl").string();
  EXPECT_FALSE(loadManifest(missing, {}, failure));
  EXPECT_EQ(failure, missing + ": cannot be read: No such file or directory");
  EXPECT_FALSE(loadManifest(dir_.string(), {}, failure));
  EXPECT_EQ(failure, dir_.string() + ": cannot be read: Is a directory");
}

}  // namespace
}  // namespace letterforge
