// Runs the built letterforge-batch on chapters: a comic archive in and out, a dry run's
// problems and warnings, pages skipped because they are done, a run resumed after SIGINT, and
// runs refused whole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "letterforge/batch/command_line.h"
#include "letterforge/batch/json_lines.h"
#include "letterforge/chapter/chapter_test_support.h"
#include "letterforge/driver/exit_status.h"
#include "letterforge/driver/program_run_test_support.h"

namespace letterforge {
namespace {

namespace fs = std::filesystem;
using platform::ArchiveFormat;
using program_run::ProgramRun;
using program_run::readFile;
using testing::archiveBytes;
using testing::TestMember;

// The sample page and a generated one, each as image, OCR and translation bytes.
struct SamplePage {
  std::string image, ocr, translation;
};

std::string quoted(const std::string& text) { return jsonString(text); }

// A line of letterforge-batch's standard output, by field.
std::map<std::string, JsonFieldValue> fieldsOf(const std::string& line) {
  std::string failure;
  const auto fields = parseJsonObjectLine(line, failure);
  EXPECT_TRUE(fields) << failure << ": " << line;
  std::map<std::string, JsonFieldValue> byName;
  for (const JsonField& field : fields.value_or(std::vector<JsonField>{})) byName[field.name] = field.value;
  return byName;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

class ChapterProgramTest : public program_run::ScratchDirectoryTest {
 protected:
  static void SetUpTestSuite() {
    const fs::path examples = fs::path(LF_SOURCE_DIR) / "examples";
    pages_ = new std::vector<SamplePage>{{readFile(examples / "page.png"), readFile(examples / "ocr.json"),
                                          readFile(examples / "translation.json")}};
    char pattern[] = "/tmp/lf-chapter-pages-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string tool = program_run::builtProgram("tools/make_sample_page");
    ASSERT_EQ(std::system(("'" + tool + "' '" + pattern + "' 520 760 6 >/dev/null").c_str()), 0);
    pages_->push_back({readFile(fs::path(pattern) / "page.png"), readFile(fs::path(pattern) / "ocr.json"),
                       readFile(fs::path(pattern) / "translation.json")});
    fs::remove_all(pattern);
  }
  static void TearDownTestSuite() { delete pages_; }

  // The members of a chapter: each named page with its payloads, the sample page first.
  static std::vector<TestMember> chapterMembers(const std::vector<std::string>& stems) {
    std::vector<TestMember> members;
    for (std::size_t i = 0; i < stems.size(); ++i) {
      const SamplePage& page = (*pages_)[i % pages_->size()];
      members.push_back({stems[i] + ".png", page.image});
      members.push_back({stems[i] + ".ocr.json", page.ocr});
      members.push_back({stems[i] + ".translation.json", page.translation});
    }
    return members;
  }
  void writeFolder(const std::string& folder, const std::vector<TestMember>& members) {
    for (const TestMember& m : members) {
      fs::create_directories((dir_ / folder / m.name).parent_path());
      writeText(folder + "/" + m.name, m.data);
    }
  }
  ProgramRun batch(const std::vector<std::string>& arguments) {
    return program_run::runProgram(arguments, dir_, "letterforge-batch");
  }

  static inline std::vector<SamplePage>* pages_ = nullptr;
};

TEST_F(ChapterProgramTest, ArchiveInArchiveOutInNaturalOrderWithComicInfo) {
  std::vector<TestMember> members = chapterMembers({"2", "10", "1"});
  members.push_back({"0.png", (*pages_)[1].image});  // a cover without payloads
  members.push_back({"ComicInfo.xml", "<ComicInfo/>"});
  members.push_back({"__MACOSX/._1.png", "mac"});
  writeText("chapter.cbz", archiveBytes(ArchiveFormat::kZipDeflated, members));
  const ProgramRun run = batch({"--jobs", "2", "--quiet", "chapter.cbz", "--output-cbz", "out/en.cbz"});
  EXPECT_EQ(run.status, kBatchAllRendered) << run.err;
  EXPECT_EQ(linesOf(run.out).size(), 4u);
  const auto cbz = testing::archiveMembers(dir_ / "out/en.cbz");
  std::vector<std::string> names;
  for (const auto& [name, data] : cbz) {
    names.push_back(name);
    if (name != "ComicInfo.xml") {
      EXPECT_EQ(data, readFile(dir_ / "out/en" / name)) << name;
    }
  }
  EXPECT_EQ(names, (std::vector<std::string>{"ComicInfo.xml", "0.png", "1.png", "2.png", "10.png"}));
  EXPECT_EQ(cbz[0].second, "<ComicInfo/>");
  EXPECT_EQ(readFile(dir_ / "out/en/0.png"), (*pages_)[1].image);  // copied as it is
  // A page comes out as letterforge makes it of the same files.
  writeFolder("flat", chapterMembers({"p"}));
  ASSERT_EQ(run.status, 0);
  const ProgramRun alone = program_run::runProgram({"flat/p.png", "flat/p.ocr.json", "flat/p.translation.json", "p.png"}, dir_);
  ASSERT_EQ(alone.status, kExitSuccess) << alone.err;
  EXPECT_EQ(readFile(dir_ / "out/en/1.png"), readFile(dir_ / "p.png"));
}

TEST_F(ChapterProgramTest, AFailedPageLeavesTheOldArchiveAndNoOther) {
  std::vector<TestMember> members = chapterMembers({"1", "2"});
  members[4].data = "{";  // 2.ocr.json
  writeFolder("chapter", members);
  writeText("en.cbz", "old archive");
  const ProgramRun run = batch({"--quiet", "chapter", "--output-cbz", "en.cbz"});
  EXPECT_EQ(run.status, kBatchSomePagesFailed);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(readFile(dir_ / "en.cbz"), "old archive");
  const ProgramRun loud = batch({"chapter", "--output-cbz", "en.cbz"});
  EXPECT_NE(loud.err.find("letterforge-batch: en.cbz not written: 1 page failed\n"), std::string::npos) << loud.err;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_FALSE(entry.path().filename().string().starts_with(".lf-")) << entry.path();
  }
}

// Every problem class and warning of a dry run, one line each; nothing is written.
TEST_F(ChapterProgramTest, DryRunNamesEveryProblemAndWarningOfEachPage) {
  writeFolder("in", chapterMembers({"good"}));
  const std::string ocrOfAnotherSize =
      R"({"width": 600, "height": 850, "blocks": [{"id": "p1", "text": "x", "confidence": 1, "bbox": {"x": 1, "y": 1, "w": 9, "h": 9}}]})";
  writeText("in/small.ocr.json", ocrOfAnotherSize);
  writeText("in/bad.ocr.json", "{");
  writeText("in/stray.translation.json",
            R"({"translations": [{"id": "p1", "source_text": "x", "translated_text": "y"}, {"id": "zz", "source_text": "x", "translated_text": "y"}]})");
  writeText("in/twins.translation.json",
            R"({"translations": [{"id": "p1", "source_text": "x", "translated_text": "y"}, {"id": "p1", "source_text": "x", "translated_text": "z"}]})");
  const auto line = [](const std::string& image, const std::string& ocr, const std::string& translation,
                       const std::string& output, const std::string& more = "") {
    return "{\"image\": " + quoted("in/" + image) + ", \"ocr\": " + quoted("in/" + ocr) +
           ", \"translation\": " + quoted("in/" + translation) + ", \"output\": " + quoted(output) +
           more + "}\n";
  };
  writeText("m.jsonl",
            line("good.png", "good.ocr.json", "good.translation.json", "out/1.png") +
            line("missing.png", "good.ocr.json", "good.translation.json", "out/2.png") +
            line("good.png", "bad.ocr.json", "good.translation.json", "out/3.png") +
            line("good.png", "good.ocr.json", "stray.translation.json", "out/4.png") +
            line("good.png", "small.ocr.json", "good.translation.json", "out/5.png") +
            line("good.png", "good.ocr.json", "good.translation.json", "out/6.png", ", \"font\": \"/no/such/font.ttf\"") +
            line("good.png", "good.ocr.json", "good.translation.json", "out/7.png", ", \"format\": \"webp\"") +
            line("good.png", "good.ocr.json", "good.translation.json", "out/1.png") +
            line("good.png", "good.ocr.json", "twins.translation.json", "out/9.png") +
            "not json\n");
  const ProgramRun run = batch({"--dry-run", "--quiet", "m.jsonl"});
  EXPECT_EQ(run.status, kBatchSomePagesFailed);
  EXPECT_EQ(run.err, "");
  const std::string good = R"("image":"in/good.png",)";
  const std::vector<std::string> expected = {
      R"({"line":1,)" + good + R"("output":"out/1.png","ok":true,"problems":[],"warnings":[]})",
      R"({"line":2,"image":"in/missing.png","output":"out/2.png","ok":false,"problems":[{"status":1,"message":"Could not open image: in/missing.png"}],"warnings":[]})",
      R"({"line":3,)" + good + R"("output":"out/3.png","ok":false,"problems":[{"status":3,"message":"in/bad.ocr.json: not valid JSON at byte 2: syntax error while parsing object key - unexpected end of input; expected string literal"}],"warnings":[]})",
      R"({"line":4,)" + good + R"("output":"out/4.png","ok":true,"problems":[],"warnings":["1 translation id is not in the OCR: 'zz'"]})",
      R"({"line":5,)" + good + R"("output":"out/5.png","ok":true,"problems":[],"warnings":["the OCR's width and height are 600 x 850 but the page image is 1200 x 1700: its boxes are read in the page image's pixels","9 translation ids are not in the OCR: 'p2', 'c1', 's1', 't1', 'g1', 'g2', 'g3', 'f1' and 1 more"]})",
      R"({"line":6,)" + good + R"("output":"out/6.png","ok":false,"problems":[{"status":7,"message":"Could not use font /no/such/font.ttf: /no/such/font.ttf: No such file or directory"}],"warnings":[]})",
      R"({"line":7,)" + good + R"("output":"out/7.png","ok":true,"problems":[],"warnings":["the output out/7.png is written as WebP, as the format option asks, not as its extension says"]})",
      R"({"line":8,)" + good + R"("output":"out/1.png","ok":false,"problems":[{"status":2,"message":"lines 1 and 8 both write out/1.png"}],"warnings":[]})",
      R"({"line":9,)" + good + R"("output":"out/9.png","ok":false,"problems":[{"status":4,"message":"Duplicate values for key: 'p1'"}],"warnings":[]})",
      R"({"line":10,"ok":false,"problems":[{"status":2,"message":"not valid JSON at byte 2: syntax error while parsing value - invalid literal; last read: 'no'"}],"warnings":[]})"};
  const std::vector<std::string> lines = linesOf(run.out);
  ASSERT_EQ(lines.size(), expected.size()) << run.out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;
  }
  EXPECT_FALSE(fs::exists(dir_ / "out"));
}

// The two usual slips of a pipeline, ids out of step and OCR run on a resized image, render
// (the boxes are read in the image's pixels) and say so in the page's line, as the dry run does.
TEST_F(ChapterProgramTest, RenderedPagesCarryTheWarningsTheDryRunFinds) {
  writeFolder("in", chapterMembers({"p"}));
  std::string small = (*pages_)[0].ocr;
  small.replace(small.find("1200"), 4, "600");  // the width, then the height
  small.replace(small.find("1700"), 4, "850");
  writeText("in/small.ocr.json", small);
  writeText("in/stray.translation.json",
            R"({"translations": [{"id": "p1", "source_text": "x", "translated_text": "y"}, {"id": "zz", "source_text": "x", "translated_text": "y"}]})");
  writeText("m.jsonl",
            R"({"image": "in/p.png", "ocr": "in/p.ocr.json", "translation": "in/stray.translation.json", "output": "out/1.png"})" "\n"
            R"({"image": "in/p.png", "ocr": "in/small.ocr.json", "translation": "in/p.translation.json", "output": "out/2.png"})" "\n");
  const ProgramRun checked = batch({"--quiet", "--jobs", "1", "--dry-run", "m.jsonl"});
  const ProgramRun rendered = batch({"--quiet", "--jobs", "1", "m.jsonl"});
  EXPECT_EQ(rendered.status, kBatchAllRendered) << rendered.err;
  const std::vector<std::string> checks = linesOf(checked.out), results = linesOf(rendered.out);
  ASSERT_EQ(checks.size(), 2u);
  ASSERT_EQ(results.size(), 2u);
  const std::vector<std::string> expected = {
      R"(["1 translation id is not in the OCR: 'zz'"])",
      R"(["the OCR's width and height are 600 x 850 but the page image is 1200 x 1700: its boxes are read in the page image's pixels"])"};
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_NE(checks[i].find(R"("warnings":)" + expected[i]), std::string::npos) << checks[i];
    EXPECT_NE(results[i].find(R"("ok":true)"), std::string::npos) << results[i];
    EXPECT_TRUE(results[i].ends_with(R"("warnings":)" + expected[i] + "}")) << results[i];
  }
}

TEST_F(ChapterProgramTest, PagesWhoseOutputIsNewerThanTheirInputsAreSkipped) {
  writeFolder("chapter", chapterMembers({"1", "2"}));
  ASSERT_EQ(batch({"--quiet", "chapter", "--output-dir", "out"}).status, kBatchAllRendered);
  const ProgramRun again = batch({"--quiet", "--skip-existing", "chapter", "--output-dir", "out"});
  EXPECT_EQ(again.status, kBatchAllRendered);
  for (const std::string& line : linesOf(again.out)) {
    EXPECT_EQ(fieldsOf(line)["skipped"], JsonFieldValue(std::string("output exists"))) << line;
  }
  // An input changed since: that page alone is rendered again.
  const auto later = fs::last_write_time(dir_ / "out/2.png") + std::chrono::seconds(5);
  fs::last_write_time(dir_ / "chapter/2.translation.json", later);
  const ProgramRun changed = batch({"--quiet", "--skip-existing", "chapter", "--output-dir", "out"});
  std::map<double, bool> skipped;
  for (const std::string& line : linesOf(changed.out)) {
    auto fields = fieldsOf(line);
    skipped[std::get<double>(fields["line"])] = fields.contains("skipped");
  }
  EXPECT_EQ(skipped, (std::map<double, bool>{{1, true}, {2, false}}));
}

// The first page's output is a pipe this test reads only after the signal, so the signal comes
// while that page is being written. The run resumed from the interrupted run's lines renders
// the other pages and not that one again: were it rendered again, its output, a pipe with
// nobody reading it any more, would fail it.
TEST_F(ChapterProgramTest, AChapterInterruptedBySigintResumesWhereItStopped) {
  writeFolder("chapter", chapterMembers({"1", "2", "3"}));
  fs::create_directories(dir_ / "out");
  ASSERT_EQ(mkfifo((dir_ / "out/1.png").c_str(), 0600), 0);
  const int reader = open((dir_ / "out/1.png").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  const fs::path results = dir_ / "first.jsonl", err = dir_.string() + ".err";
  const pid_t pid = program_run::startProgram("letterforge-batch", {"--jobs", "1", "chapter", "--output-dir", "out"},
                                              dir_, results, err);
  EXPECT_TRUE(program_run::waitWhileRunning(pid, [&] {
    return program_run::holdsOpen(pid, "letterforge-batch", dir_ / "out/1.png");
  }));
  kill(pid, SIGINT);
  EXPECT_TRUE(program_run::waitWhileRunning(pid, [&] {
    return readFile(err).find("finishing the pages in flight") != std::string::npos;
  }));
  fcntl(reader, F_SETFL, 0);
  char buffer[65536];
  while (read(reader, buffer, sizeof buffer) > 0) {
  }
  close(reader);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, kBatchStoppedBase + SIGINT);
  std::map<double, int> rendered;  // times each page was rendered, over both runs
  for (const std::string& line : linesOf(readFile(results))) {
    auto fields = fieldsOf(line);
    EXPECT_EQ(fields["ok"], JsonFieldValue(true)) << line;
    ++rendered[std::get<double>(fields["line"])];
  }
  EXPECT_EQ(rendered, (std::map<double, int>{{1, 1}}));
  const ProgramRun resumed = batch({"--quiet", "--resume", "first.jsonl", "chapter", "--output-dir", "out"});
  EXPECT_EQ(resumed.status, kBatchAllRendered) << resumed.out;
  for (const std::string& line : linesOf(resumed.out)) {
    auto fields = fieldsOf(line);
    EXPECT_EQ(fields["ok"], JsonFieldValue(true)) << line;
    if (!fields.contains("skipped")) ++rendered[std::get<double>(fields["line"])];
  }
  EXPECT_EQ(rendered, (std::map<double, int>{{1, 1}, {2, 1}, {3, 1}}));
  EXPECT_EQ(readFile(dir_ / "out/2.png").substr(1, 3), "PNG");
  fs::remove(err);
}

TEST_F(ChapterProgramTest, ADefaultFontThatCannotBeHadRefusesTheRunBeforeAnyPage) {
  writeFolder("chapter", chapterMembers({"1"}));
  const ProgramRun run = batch({"--set", "font=Comic Nue", "chapter"});
  EXPECT_EQ(run.status, kBatchNotRun);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(run.err.starts_with("letterforge-batch: --set font=Comic Nue: Could not use font Comic Nue: no "
                                  "installed font has the family name 'Comic Nue'; the nearest installed "
                                  "families are Comic Neue, "))
      << run.err;
  EXPECT_FALSE(fs::exists(dir_ / "chapter-letterforge"));
}

TEST_F(ChapterProgramTest, FontsAreListedWithStylesAndScripts) {
  const ProgramRun run = batch({"--list-fonts"});
  EXPECT_EQ(run.status, 0);
  bool comic = false;
  for (const std::string& line : linesOf(run.out)) {
    auto fields = fieldsOf(line);
    comic = comic || fields["family"] == JsonFieldValue(std::string("Comic Neue"));
  }
  EXPECT_TRUE(comic) << run.out;
  EXPECT_NE(run.out.find(R"({"family":"Comic Neue","styles":[)"), std::string::npos);
  EXPECT_NE(run.out.find(R"("scripts":["Latin")"), std::string::npos);
}

TEST_F(ChapterProgramTest, ManifestLinesNameMembersOfAnArchive) {
  writeText("chapter.cb7", archiveBytes(ArchiveFormat::kSevenZip, chapterMembers({"1", "2"})));
  writeFolder("fixed", {{"2.translation.json", (*pages_)[1].translation}});
  writeText("m.jsonl",
            R"({"archive": "chapter.cb7", "image": "1.png", "ocr": "1.ocr.json", "translation": "1.translation.json", "output": "out/1.png"})" "\n"
            R"({"archive": "chapter.cb7", "image": "2.png", "ocr": "2.ocr.json", "translation": "fixed/2.translation.json", "output": "out/2.png"})" "\n"
            R"({"archive": "chapter.cb7", "image": "9.png", "ocr": "1.ocr.json", "translation": "1.translation.json", "output": "out/9.png"})" "\n");
  const ProgramRun run = batch({"--quiet", "--jobs", "1", "m.jsonl"});
  EXPECT_EQ(run.status, kBatchSomePagesFailed);
  const auto lines = linesOf(run.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(fieldsOf(lines[0])["image"], JsonFieldValue(std::string("chapter.cb7:1.png")));
  EXPECT_EQ(fieldsOf(lines[1])["ok"], JsonFieldValue(true));
  EXPECT_EQ(fieldsOf(lines[2])["message"], JsonFieldValue(std::string("Could not open image: chapter.cb7:9.png")));
  writeFolder("flat", chapterMembers({"1"}));
  ASSERT_EQ(program_run::runProgram({"flat/1.png", "flat/1.ocr.json", "flat/1.translation.json", "l1.png"}, dir_).status, 0);
  EXPECT_EQ(readFile(dir_ / "out/1.png"), readFile(dir_ / "l1.png"));
}

TEST_F(ChapterProgramTest, AHostileArchiveIsRefusedWholeAndNothingIsWritten) {
  std::vector<TestMember> members = chapterMembers({"1"});
  members.push_back({"../../escape.png", "x"});
  writeText("chapter.cbz", archiveBytes(ArchiveFormat::kZipStored, members));
  const ProgramRun run = batch({"chapter.cbz", "--output-cbz", "en.cbz"});
  EXPECT_EQ(run.status, kBatchNotRun);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "letterforge-batch: chapter.cbz: ../../escape.png: its name climbs out of the archive with \"..\"\n");
  EXPECT_FALSE(fs::exists(dir_ / "en.cbz") || fs::exists(dir_ / "en") || fs::exists(dir_.parent_path() / "escape.png"));
}

}  // namespace
}  // namespace letterforge
