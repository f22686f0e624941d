// Runs the built letterforge-batch beside letterforge on the sample page and generated pages:
// the same bytes, the same failures, a bad page among good ones, a run refused whole, and a
// run stopped by a signal while pages are in flight.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "letterforge/batch/command_line.h"
#include "letterforge/batch/json_lines.h"
#include "letterforge/driver/exit_status.h"
#include "letterforge/driver/program_run_test_support.h"
#include "letterforge/driver/version.h"
#include "platform/system_call_trace_test_support.h"
#include "platform/test_case_names.h"

namespace letterforge {
namespace {

namespace fs = std::filesystem;
using program_run::ProgramRun;
using test_cases::PrintTo;
using program_run::readFile;
using program_run::waitWhileRunning;

// A page's three input files.
struct PageInputs {
  std::string name;
  fs::path image, ocr, translation;
};

std::string jsonPath(const fs::path& path) { return jsonString(path.string()); }

std::string manifestLine(const PageInputs& page, const std::string& output,
                         const std::string& more = "") {
  return "{\"image\": " + jsonPath(page.image) + ", \"ocr\": " + jsonPath(page.ocr) +
         ", \"translation\": " + jsonPath(page.translation) + ", \"output\": " + jsonPath(output) +
         (more.empty() ? "" : ", " + more) + "}\n";
}

// A result line: its fields by name, and its text.
struct Result {
  std::map<std::string, JsonFieldValue> fields{};
  std::string text{};
  const JsonFieldValue& operator[](const std::string& name) { return fields[name]; }
  std::string string(const std::string& name) {
    const auto* value = std::get_if<std::string>(&fields[name]);
    return value ? *value : "(not a string)";
  }
};

// The result lines by their manifest line.
std::map<std::int64_t, Result> resultsByLine(const std::string& out) {
  std::map<std::int64_t, Result> results;
  std::size_t start = 0;
  while (start < out.size()) {
    const std::size_t end = out.find('\n', start);
    Result result{.text = out.substr(start, end - start)};
    std::string failure;
    const auto fields = parseJsonObjectLine(result.text, failure);
    EXPECT_TRUE(fields) << failure;
    if (!fields || end == std::string::npos) break;
    for (const JsonField& field : *fields) result.fields[field.name] = field.value;
    results[static_cast<std::int64_t>(std::get<double>(result["line"]))] = result;
    start = end + 1;
  }
  return results;
}

// The report array a result line holds for letterforge's standard-error lines.
std::string reportArray(const std::string& errorLines) {
  std::string array = "\"report\":[";
  std::size_t start = 0;
  while (start < errorLines.size()) {
    const std::size_t end = errorLines.find('\n', start);
    array += (start == 0 ? "" : ",") + jsonString(errorLines.substr(start, end - start));
    start = end + 1;
  }
  return array + "]";
}

class BatchProgramTest : public program_run::ScratchDirectoryTest {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/lf-batch-pages-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    pagesDir_ = new fs::path(pattern);
    const fs::path examples = fs::path(LF_SOURCE_DIR) / "examples";
    pages_ = new std::vector<PageInputs>{
        {"sample", examples / "page.png", examples / "ocr.json", examples / "translation.json"}};
    const std::string tool = program_run::builtProgram("tools/make_sample_page");
    for (const char* size : {"640 900 9", "520 760 6"}) {
      const fs::path dir = *pagesDir_ / std::to_string(pages_->size());
      fs::create_directories(dir);
      ASSERT_EQ(std::system(("'" + tool + "' '" + dir.string() + "' " + size + " >/dev/null").c_str()), 0);
      pages_->push_back({dir.filename(), dir / "page.png", dir / "ocr.json", dir / "translation.json"});
    }
  }
  static void TearDownTestSuite() {
    fs::remove_all(*pagesDir_);
    delete pagesDir_;
    delete pages_;
  }

  ProgramRun batch(const std::vector<std::string>& arguments, const fs::path& input = "/dev/null") {
    return program_run::runProgram(arguments, dir_, "letterforge-batch", input);
  }
  // letterforge on a page with every optional argument up to the stroke width.
  ProgramRun letterforge(const PageInputs& page, const std::string& output, const std::string& mode,
                         const std::string& debug = "", const std::string& strokeWidth = "25") {
    return run({page.image, page.ocr, page.translation, output, "18", "38", "1", "1.12", "bold",
                "true", "balanced", debug, "balanced", mode, strokeWidth});
  }
  std::vector<fs::path> temporaryFiles() {
    std::vector<fs::path> found;
    for (const auto& file : fs::recursive_directory_iterator(dir_)) {
      if (file.path().filename().string().starts_with(".lf-")) found.push_back(file.path());
    }
    return found;
  }

  static inline fs::path* pagesDir_ = nullptr;
  static inline std::vector<PageInputs>* pages_ = nullptr;
};

// Every cleanup mode (and none) on every page, on three threads, some lines taking the mode
// and the stroke width from --set and some giving their own: each page and debug image is
// byte for byte letterforge's, and so are the report lines.
TEST_F(BatchProgramTest, PagesAreByteForByteLetterforgesInEveryModeOnSeveralThreads) {
  struct Job {
    const PageInputs* page;
    std::string mode, strokeWidth, output, debug;
  };
  std::vector<Job> jobs;
  std::string manifest;
  for (const PageInputs& page : *pages_) {
    for (const std::string mode : {"bubble_clean", "white_fill", "text_inpaint", "none"}) {
      Job job{.page = &page, .mode = mode, .strokeWidth = jobs.size() % 2 == 0 ? "10" : "25",
              .output = "b/" + page.name + "-" + mode + ".png", .debug = ""};
      if (page.name == "sample" || mode == "bubble_clean") job.debug = "b/" + page.name + "-" + mode + "-d.png";
      std::string more = mode == "bubble_clean" ? "" : "\"cleanup_mode\": \"" + mode + "\"";
      if (job.strokeWidth == "25") more += std::string(more.empty() ? "" : ", ") + "\"stroke_width\": 25";
      if (!job.debug.empty()) more += std::string(more.empty() ? "" : ", ") + "\"debug\": " + jsonPath(job.debug);
      manifest += manifestLine(page, job.output, more);
      jobs.push_back(job);
    }
  }
  writeText("m.jsonl", manifest);
  const ProgramRun b = batch({"--jobs", "3", "--set", "cleanup_mode=bubble_clean", "--set",
                              "stroke_width=10", "--quiet", "m.jsonl"});
  EXPECT_EQ(b.status, kBatchAllRendered) << b.err;
  EXPECT_EQ(b.err, "");
  std::map<std::int64_t, Result> results = resultsByLine(b.out);
  ASSERT_EQ(results.size(), jobs.size());
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    const Job& job = jobs[i];
    SCOPED_TRACE(job.output);
    const std::string debug = job.debug.empty() ? "" : "l/" + job.debug;
    const ProgramRun single = letterforge(*job.page, "l/" + job.output, job.mode, debug, job.strokeWidth);
    ASSERT_EQ(single.status, kExitSuccess) << single.err;
    EXPECT_EQ(readFile(dir_ / job.output), readFile(dir_ / "l" / job.output));
    if (!job.debug.empty()) {
      EXPECT_EQ(readFile(dir_ / job.debug), readFile(dir_ / debug));
    }
    Result& result = results[static_cast<std::int64_t>(i + 1)];
    EXPECT_EQ(result["ok"], JsonFieldValue(true));
    EXPECT_NE(result.text.find(reportArray(single.err)), std::string::npos) << single.err;
  }
}

TEST_F(BatchProgramTest, ABadPageFailsAloneWithLetterforgesStatusAndMessage) {
  const PageInputs& sample = pages_->front();
  writeText("broken.json", "{\"width\": 3,");
  const PageInputs missingImage{"m", dir_ / "missing.png", sample.ocr, sample.translation};
  const PageInputs brokenOcr{"o", sample.image, dir_ / "broken.json", sample.translation};
  writeText("m.jsonl", manifestLine(sample, "out/1.png") +
                           manifestLine(missingImage, "out/2.png") + "not json\n" +
                           manifestLine(sample, "out/4.png", "\"font\": \"./broken.json\"") +
                           manifestLine(sample, "out/5.png", "\"font_scale\": \"big\"") +
                           manifestLine(brokenOcr, "out/6.png") +
                           manifestLine(sample, "out/7.png", "\"cleanup_mode\": \"text_inpaint\""));
  const ProgramRun b = batch({"--jobs", "2", "m.jsonl"});
  EXPECT_EQ(b.status, kBatchSomePagesFailed);
  std::map<std::int64_t, Result> results = resultsByLine(b.out);
  ASSERT_EQ(results.size(), 7u);
  const ProgramRun missing = letterforge(missingImage, "x.png", "white_fill");
  const ProgramRun broken = letterforge(brokenOcr, "x.png", "white_fill");
  const std::pair<std::int64_t, const ProgramRun*> likeLetterforge[] = {{2, &missing}, {6, &broken}};
  for (const auto& [line, single] : likeLetterforge) {
    EXPECT_EQ(results[line]["ok"], JsonFieldValue(false));
    EXPECT_EQ(results[line]["status"], JsonFieldValue(static_cast<double>(single->status)));
    EXPECT_EQ(results[line].string("message") + "\n", single->err);
  }
  EXPECT_EQ(results[3]["status"], JsonFieldValue(2.0));
  EXPECT_EQ(results[4]["status"], JsonFieldValue(static_cast<double>(kExitFontUnavailable)));
  EXPECT_EQ(results[5].string("message"), "font_scale: expected a number, found a string");
  EXPECT_EQ(results[5].string("output"), "out/5.png");
  EXPECT_NE(b.err.find("line 5: font_scale: expected a number, found a string\n"), std::string::npos);
  EXPECT_NE(b.err.find("7 pages in "), std::string::npos);
  for (const int line : {1, 7}) EXPECT_EQ(results[line]["ok"], JsonFieldValue(true));
  ASSERT_EQ(letterforge(sample, "l7.png", "text_inpaint").status, kExitSuccess);
  EXPECT_EQ(readFile(dir_ / "out/7.png"), readFile(dir_ / "l7.png"));
  EXPECT_EQ(fs::exists(dir_ / "out/1.png"), true);
  for (const char* none : {"out/2.png", "out/4.png", "out/5.png", "out/6.png"}) {
    EXPECT_FALSE(fs::exists(dir_ / none)) << none;
  }
}

// A blocks file named by a relative path is read from the manifest's folder, as the page's
// other files are, whatever the current folder.
TEST_F(BatchProgramTest, BlocksFileIsReadFromTheManifestsFolder) {
  const PageInputs& sample = pages_->front();
  fs::create_directories(dir_ / "in");
  writeText("in/p.blocks.json", R"({"p1": {"skip": true}, "p2": {"text_color": "#D00000", "group": null}})");
  writeText("in/m.jsonl", manifestLine(sample, "out/1.png", R"("blocks": "p.blocks.json")") +
                              manifestLine(sample, "out/2.png"));
  const ProgramRun b = batch({"--quiet", "in/m.jsonl"});
  ASSERT_EQ(b.status, kBatchAllRendered) << b.out;
  std::map<std::int64_t, Result> results = resultsByLine(b.out);
  // The block's object in a result line, up to its flags.
  const auto block = [&](std::int64_t line, const std::string& id) {
    const std::string& text = results[line].text;
    const std::size_t start = text.find("{\"id\":\"" + id + "\"");
    return start == std::string::npos ? std::string() : text.substr(start, text.find("\"flags\"", start) - start);
  };
  EXPECT_TRUE(block(1, "p1").starts_with(R"({"id":"p1","item":"p1",)")) << block(1, "p1");
  EXPECT_NE(block(1, "p1").find(R"("drawn":false)"), std::string::npos) << block(1, "p1");
  EXPECT_TRUE(block(1, "p2").starts_with(R"({"id":"p2","item":"p2",)")) << block(1, "p2");
  EXPECT_NE(block(1, "p2").find(R"("drawn":true)"), std::string::npos) << block(1, "p2");
  EXPECT_TRUE(block(2, "p1").starts_with(R"({"id":"p1","item":"p1+p2",)")) << block(2, "p1");
  EXPECT_NE(readFile(dir_ / "in/out/1.png"), readFile(dir_ / "in/out/2.png"));
}

// Each fault of a page's overrides is found by the dry run as the render meets it: the same
// status and message, and nothing written.
TEST_F(BatchProgramTest, DryRunFindsTheOverridesFaultsTheRenderMeets) {
  const PageInputs& sample = pages_->front();
  const std::vector<std::pair<std::string, std::string>> files = {
      {"good.json", R"({"p1": {"font_size": 20}})"},
      {"no-block.json", R"({"p1": {"skip": true}, "zz": {"skip": true}})"},
      {"field.json", R"({"p1": {"size": 20}})"},
      {"colour.json", R"({"p2": {"stroke_color": "#00ff0"}})"},
      {"size.json", R"({"p1": {"font_size": 0}})"},
      {"font.json", R"({"p1": {"font": "No Such Family 7"}})"},
      {"missing.json", ""}};
  std::string manifest;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!files[i].second.empty()) writeText(files[i].first, files[i].second);
    manifest += manifestLine(sample, "out/" + std::to_string(i + 1) + ".png", "\"blocks\": " + jsonPath(files[i].first));
  }
  writeText("m.jsonl", manifest);
  const ProgramRun checked = batch({"--quiet", "--dry-run", "m.jsonl"});
  EXPECT_EQ(checked.status, kBatchSomePagesFailed);
  EXPECT_FALSE(fs::exists(dir_ / "out"));
  const ProgramRun rendered = batch({"--quiet", "m.jsonl"});
  EXPECT_EQ(rendered.status, kBatchSomePagesFailed);
  std::map<std::int64_t, Result> checks = resultsByLine(checked.out), results = resultsByLine(rendered.out);
  const std::vector<std::string> expected = {
      "",
      "3 blocks: zz: no translated block has this id",
      "3 field.json: p1: unknown field \"size\"",
      "3 colour.json: p2: stroke_color: expected six hex digits, found \"#00ff0\"",
      "3 size.json: p1: font_size: expected a positive number up to 65535, found 0",
      "7 blocks: p1: font: Could not use font No Such Family 7: ",
      "3 missing.json: cannot be read: No such file or directory"};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto line = static_cast<std::int64_t>(i + 1);
    SCOPED_TRACE(files[i].first);
    if (expected[i].empty()) {
      EXPECT_EQ(results[line]["ok"], JsonFieldValue(true));
      EXPECT_NE(checks[line].text.find(R"("ok":true,"problems":[])"), std::string::npos) << checks[line].text;
      continue;
    }
    const std::string failure = std::to_string(static_cast<int>(std::get<double>(results[line]["status"]))) +
                                " " + results[line].string("message");
    EXPECT_EQ(failure.substr(0, expected[i].size()), expected[i]);
    EXPECT_NE(checks[line].text.find(R"("problems":[{"status":)" + failure.substr(0, 1) +
                                     R"(,"message":)" + jsonString(failure.substr(2)) + "}]"),
              std::string::npos) << checks[line].text;
  }
}

TEST_F(BatchProgramTest, PagesWritingOneFileAreRefusedBeforeAnythingRuns) {
  const PageInputs& sample = pages_->front();
  writeText("m.jsonl", manifestLine(sample, "out/1.png") + manifestLine(sample, "out/./1.png"));
  const ProgramRun b = batch({"m.jsonl"});
  EXPECT_EQ(b.status, kBatchNotRun);
  EXPECT_EQ(b.out, "");
  EXPECT_EQ(b.err, "letterforge-batch: refused: lines 1 and 2 both write out/./1.png\n");
  EXPECT_FALSE(fs::exists(dir_ / "out"));
}

TEST_F(BatchProgramTest, APageWritingOverTheManifestOrThroughALinkIntoAnothersFileIsRefused) {
  const PageInputs& sample = pages_->front();
  writeText("m.jsonl", manifestLine(sample, "out/1.png") +
                           manifestLine(sample, "m.jsonl", "\"format\": \"png\""));
  ProgramRun b = batch({"m.jsonl"});
  EXPECT_EQ(b.status, kBatchNotRun);
  EXPECT_EQ(b.err, "letterforge-batch: refused: line 2 writes m.jsonl as its output, which is the "
                   "manifest\n");
  // A link whose target the run would create: both pages would write out/real.png.
  fs::create_directory(dir_ / "out");
  fs::create_symlink("real.png", dir_ / "out/link.png");
  writeText("m.jsonl", manifestLine(sample, "out/link.png") + manifestLine(sample, "out/real.png"));
  b = batch({"m.jsonl"});
  EXPECT_EQ(b.status, kBatchNotRun);
  EXPECT_EQ(b.err, "letterforge-batch: refused: lines 1 and 2 both write out/real.png\n");
  EXPECT_FALSE(fs::exists(dir_ / "out/real.png"));
}

// A failure's message on standard error is one line, whatever its path holds.
TEST_F(BatchProgramTest, FailureLinesShowControlCharactersEscaped) {
  const PageInputs& sample = pages_->front();
  writeText("m.jsonl", "{\"image\": \"no\\nsuch\\u001b[2J.png\", \"ocr\": " +
                           jsonPath(sample.ocr) + ", \"translation\": " +
                           jsonPath(sample.translation) + ", \"output\": \"o.png\"}\n");
  const ProgramRun b = batch({"m.jsonl"});
  EXPECT_EQ(b.status, kBatchSomePagesFailed);
  EXPECT_NE(b.err.find("line 1: Could not open image: no\\nsuch\\x1b[2J.png\n"), std::string::npos)
      << b.err;
}

// Where standard output goes when the result lines cannot be written.
enum class ResultsTo { kFullDevice, kPipeNobodyReads, kClosed };
struct LostResultsCase {
  const char* name;
  ResultsTo to;
  std::string firstLine;  // on standard error
};
class LostResultsTest : public BatchProgramTest,
                        public ::testing::WithParamInterface<LostResultsCase> {
 protected:
  // Runs letterforge-batch on the manifest with standard output as the case has it, and
  // SIGPIPE's action the default, as a shell leaves it.
  ProgramRun batchInto(ResultsTo to, const std::vector<std::string>& arguments) {
    const std::string program = program_run::builtProgram("letterforge-batch");
    const fs::path errPath = dir_ / "stderr.txt";
    int reader[2];
    EXPECT_EQ(pipe(reader), 0);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      std::signal(SIGPIPE, SIG_DFL);
      if (chdir(dir_.c_str()) != 0 || !freopen(errPath.c_str(), "w", stderr)) _exit(127);
      close(reader[0]);  // nobody reads the pipe
      if (to == ResultsTo::kPipeNobodyReads) dup2(reader[1], STDOUT_FILENO);
      if (to == ResultsTo::kFullDevice && !freopen("/dev/full", "w", stdout)) _exit(127);
      if (to == ResultsTo::kClosed) close(STDOUT_FILENO);
      close(reader[1]);
      alarm(120);
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(reader[0]);
    close(reader[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    return ProgramRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, "", readFile(errPath)};
  }
};

// The page in flight is finished and written; no other page is started; the loss is said on
// standard error even when quiet, and the run ends with a status of its own.
TEST_P(LostResultsTest, AreAFailureOfTheirOwnSaidOnStandardError) {
  const LostResultsCase& c = GetParam();
  const PageInputs& page = (*pages_)[1];
  writeText("m.jsonl", manifestLine(page, "out/1.png") + manifestLine(page, "out/2.png") +
                           manifestLine(page, "out/3.png"));
  const ProgramRun b = batchInto(c.to, {"--jobs", "1", "--quiet", "m.jsonl"});
  EXPECT_EQ(b.status, kBatchResultsLost);
  EXPECT_EQ(b.err.substr(0, b.err.find('\n') + 1), c.firstLine);
  if (c.to == ResultsTo::kClosed) {
    EXPECT_FALSE(fs::exists(dir_ / "out"));
    return;
  }
  EXPECT_NE(b.err.find("line 1: its result line could not be written\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir_ / "out/1.png"));
  EXPECT_FALSE(fs::exists(dir_ / "out/3.png"));
  EXPECT_TRUE(temporaryFiles().empty());
}

INSTANTIATE_TEST_SUITE_P(Outputs, LostResultsTest, ::testing::Values(
    LostResultsCase{"FullDevice", ResultsTo::kFullDevice,
                    "letterforge-batch: standard output: No space left on device: result lines "
                    "are lost; starting no other page\n"},
    LostResultsCase{"PipeNobodyReads", ResultsTo::kPipeNobodyReads,
                    "letterforge-batch: standard output: Broken pipe: result lines are lost; "
                    "starting no other page\n"},
    LostResultsCase{"Closed", ResultsTo::kClosed,
                    "letterforge-batch: standard output is closed: the result lines could not "
                    "be written; nothing was rendered\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// A program's report of a page (its text as strace shows the write's start) and the files it
// must have on the disk by then, below the test's folder.
struct DurableReport {
  std::string text;
  std::vector<std::string> files;
};
struct DurableCase {
  const char* name;
  const char* program;
  std::vector<DurableReport> reports;
};
class DurableProgramTest : public BatchProgramTest,
                           public ::testing::WithParamInterface<DurableCase> {};

// Success is reported only once each file the page wrote has its name and its folder's entry
// on the disk: a power cut after the report never leaves a page missing or empty.
TEST_P(DurableProgramTest, ReportsAPageOnlyOnceItsFilesAreOnTheDisk) {
  namespace trace = platform::system_call_trace;
  const DurableCase& c = GetParam();
  const PageInputs& page = (*pages_)[1];
  const auto at = [&](const std::string& name) { return (dir_ / name).string(); };
  std::vector<std::string> arguments{page.image, page.ocr, page.translation, at("out/1.png"),
                                     "18", "38", "1", "1.12", "bold", "true", "balanced",
                                     at("debug/1.png")};
  if (std::string(c.program) == "letterforge-batch") {
    writeText("m.jsonl", manifestLine(page, at("out/1.png"), "\"debug\": " + jsonPath(at("debug/1.png"))) +
                             manifestLine(page, at("out/2.png")));
    arguments = {"--jobs", "2", "--quiet", at("m.jsonl")};
  }
  std::string command = "'" + program_run::builtProgram(c.program) + "'";
  for (const std::string& argument : arguments) command += " '" + argument + "'";
  int status = 0;
  const auto calls = trace::traceCommand(command + " >" + at("stdout") + " 2>/dev/null",
                                         "fsync,linkat,rename,renameat,renameat2,write",
                                         dir_ / "trace.log", status);
  if (!calls) GTEST_SKIP() << "strace is missing or cannot trace here";
  ASSERT_EQ(status, 0) << readFile(dir_ / "stdout");
  for (const DurableReport& report : c.reports) {
    const auto reported = trace::findCall(*calls, 0, [&](const trace::Call& call) {
      return call.name == "write" && call.arguments.starts_with("1<") &&
             call.arguments.find(", \"" + report.text) != std::string::npos;
    });
    ASSERT_TRUE(reported) << report.text << " was never written";
    for (const std::string& file : report.files) {
      SCOPED_TRACE(report.text + " " + file);
      const auto named = trace::findCall(*calls, 0, [&](const trace::Call& call) {
        return trace::names(call, at(file));
      });
      ASSERT_TRUE(named);
      const auto synced = trace::findCall(*calls, *named, [&](const trace::Call& call) {
        return trace::syncs(call, fs::path(at(file)).parent_path());
      });
      ASSERT_TRUE(synced) << "its folder was never synced";
      EXPECT_LT(*synced, *reported);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Programs, DurableProgramTest, ::testing::Values(
    DurableCase{"Letterforge", "letterforge", {{"Rendered ", {"out/1.png", "debug/1.png"}}}},
    DurableCase{"Batch", "letterforge-batch",
                {{"{\\\"line\\\":1,", {"out/1.png", "debug/1.png"}},
                 {"{\\\"line\\\":2,", {"out/2.png"}}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BatchProgramTest, AManifestThatCannotBeReadOrHoldsNoPageIsRefusedWhole) {
  const ProgramRun missing = batch({"missing.jsonl"});
  EXPECT_EQ(missing.status, kBatchNotRun);
  EXPECT_EQ(missing.err, "letterforge-batch: missing.jsonl: cannot be read: No such file or directory\n");
  writeText("empty.jsonl", "\n\n");
  const ProgramRun empty = batch({"empty.jsonl"});
  EXPECT_EQ(empty.status, kBatchNotRun);
  EXPECT_EQ(empty.err, "letterforge-batch: empty.jsonl: holds no page job\n");
  const ProgramRun noInput = batch({"-"});
  EXPECT_EQ(noInput.err, "letterforge-batch: standard input: holds no page job\n");
  const ProgramRun badFlag = batch({"--jobs", "0", "m.jsonl"});
  EXPECT_EQ(badFlag.status, kBatchNotRun);
  EXPECT_EQ(badFlag.err, "letterforge-batch: --jobs: expected a whole number from 1 to 256, found \"0\"\n" +
                             std::string(kBatchUsageLine) + "\n");
}

// Read from standard input, the paths are read from the current folder; the output's
// extension or the format field chooses the encoding.
TEST_F(BatchProgramTest, ManifestFromStandardInputAndOutputsInEachFormat) {
  const PageInputs& page = pages_->at(1);
  writeText("in.jsonl", manifestLine(page, "out/p.webp") +
                            manifestLine(page, "out/p.jpg", "\"quality\": 60") +
                            manifestLine(page, "out/p.img", "\"format\": \"webp\", \"quality\": 70"));
  const ProgramRun b = batch({"-q", "-"}, dir_ / "in.jsonl");
  EXPECT_EQ(b.status, kBatchAllRendered) << b.out;
  EXPECT_EQ(readFile(dir_ / "out/p.webp").substr(8, 8), "WEBPVP8L");  // lossless
  EXPECT_EQ(readFile(dir_ / "out/p.jpg").substr(0, 3), "\xFF\xD8\xFF");
  EXPECT_EQ(readFile(dir_ / "out/p.img").substr(8, 8), "WEBPVP8 ");  // lossy
}

TEST_F(BatchProgramTest, HelpAndVersion) {
  const ProgramRun version = batch({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("letterforge-batch ") + kVersion + "\n");
  const ProgramRun help = batch({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, batchHelpText());
}

// The first two pages' images are pipes that this test feeds only after the signal has been
// taken, so the signal is sure to come while both are in flight: they are finished, written
// and reported; the pages after them are never started.
class BatchSignalTest : public BatchProgramTest, public ::testing::WithParamInterface<int> {
 protected:
  static bool holdsOpen(pid_t pid, const fs::path& file) {
    return program_run::holdsOpen(pid, "letterforge-batch", file);
  }
};

TEST_P(BatchSignalTest, PagesInFlightAreFinishedAndNoOtherIsStarted) {
  const int signal = GetParam();
  const PageInputs& sample = pages_->front();
  std::string manifest;
  std::vector<int> writers;
  for (int i = 1; i <= 2; ++i) {
    const fs::path pipe = dir_ / ("pipe" + std::to_string(i) + ".png");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // Opened for reading and writing, it never blocks and counts as a writer from the start.
    writers.push_back(open(pipe.c_str(), O_RDWR | O_CLOEXEC));
    manifest += manifestLine({"p", pipe, sample.ocr, sample.translation}, "out/" + std::to_string(i) + ".png");
  }
  for (int i = 3; i <= 5; ++i) manifest += manifestLine(sample, "out/" + std::to_string(i) + ".png");
  writeText("m.jsonl", manifest);
  const fs::path out = dir_.string() + ".out", err = dir_.string() + ".err";
  const pid_t pid = program_run::startProgram("letterforge-batch", {"--jobs", "2", "m.jsonl"},
                                              dir_, out, err);
  EXPECT_TRUE(waitWhileRunning(pid, [&] {
    return holdsOpen(pid, dir_ / "pipe1.png") && holdsOpen(pid, dir_ / "pipe2.png");
  }));
  kill(pid, signal);
  EXPECT_TRUE(waitWhileRunning(pid, [&] {
    return readFile(err).find("finishing the pages in flight") != std::string::npos;
  }));
  const std::string image = readFile(sample.image);
  for (const int fd : writers) {
    EXPECT_EQ(write(fd, image.data(), image.size()), static_cast<ssize_t>(image.size()));
    close(fd);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kBatchStoppedBase + signal);
  std::map<std::int64_t, Result> results = resultsByLine(readFile(out));
  EXPECT_EQ(results.size(), 2u);
  for (const int line : {1, 2}) EXPECT_EQ(results[line]["ok"], JsonFieldValue(true));
  EXPECT_NE(readFile(err).find("5 pages in "), std::string::npos);
  EXPECT_NE(readFile(err).find("3 not started"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir_ / "out/1.png") && fs::exists(dir_ / "out/2.png"));
  for (const char* untouched : {"out/3.png", "out/4.png", "out/5.png"}) {
    EXPECT_FALSE(fs::exists(dir_ / untouched)) << untouched;
  }
  EXPECT_TRUE(temporaryFiles().empty());
  fs::remove(out);
  fs::remove(err);
}

INSTANTIATE_TEST_SUITE_P(Signals, BatchSignalTest, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) { return info.param == SIGINT ? "Interrupt" : "Terminate"; });

}  // namespace
}  // namespace letterforge
