// letterforge-batch: renders the pages of a manifest or a chapter in one process, on several
// threads, and writes a JSON line per page to standard output as each one finishes.
#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "letterforge/batch/batch_input.h"
#include "letterforge/batch/batch_run.h"
#include "letterforge/batch/command_line.h"
#include "letterforge/batch/console.h"
#include "letterforge/batch/json_lines.h"
#include "letterforge/batch/page_skipping.h"
#include "letterforge/batch/shared_files.h"
#include "letterforge/batch/stop_signals.h"
#include "letterforge/driver/exit_status.h"
#include "letterforge/driver/version.h"
#include "letterforge/typeset/installed_fonts.h"
#include "platform/files.h"
#include "platform/process_output.h"

namespace {

using namespace letterforge;

constexpr int kDefaultColumns = 80;

int coreCount() {
  cpu_set_t cores;
  if (sched_getaffinity(0, sizeof cores, &cores) == 0) return CPU_COUNT(&cores);
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

int terminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return kDefaultColumns;
}

int refuse(const std::string& message) {
  platform::writeErrorLine("letterforge-batch: " + message);
  return kBatchNotRun;
}

std::string signalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
  }
  return "signal " + std::to_string(signal);
}

std::string jsonArray(const std::vector<std::string>& texts) {
  std::string array = "[";
  for (const std::string& text : texts) array += (array.size() > 1 ? "," : "") + jsonString(text);
  return array + "]";
}

int listFonts() {
  for (const FontFamily& family : installedFontFamilies()) {
    platform::writeOutputLine("{\"family\":" + jsonString(family.name) + ",\"styles\":" +
                              jsonArray(family.styles) + ",\"scripts\":" + jsonArray(family.scripts) + "}");
  }
  return kBatchAllRendered;
}

// The pages with the problems of files shared between lines added.
void addSharedFileProblems(const std::vector<ManifestEntry>& entries, std::vector<PageCheckReport>& reports) {
  for (const SharedFileFault& fault : sharedFileFaults(entries)) {
    for (PageCheckReport& report : reports) {
      if (report.line == fault.line) report.problems.push_back({fault.fault, kBatchNotRun});
    }
  }
}

// Checks every page; the lines come in manifest order once all are checked.
int dryRun(const BatchArguments& arguments, const BatchInput& input, BatchConsole& console) {
  std::vector<PageCheckReport> reports;
  const std::atomic<bool> never{false};
  checkBatch(input.entries, arguments.jobs > 0 ? arguments.jobs : coreCount(), never,
             [&reports](const PageCheckReport& report) { reports.push_back(report); });
  std::sort(reports.begin(), reports.end(),
            [](const PageCheckReport& a, const PageCheckReport& b) { return a.line < b.line; });
  addSharedFileProblems(input.entries, reports);
  for (const PageCheckReport& report : reports) console.pageChecked(report);
  console.finish();
  return console.progress().failed > 0 ? kBatchSomePagesFailed : kBatchAllRendered;
}

ProgressStyle progressStyle(const BatchArguments& arguments) {
  if (arguments.quiet) return ProgressStyle::kQuiet;
  return isatty(STDERR_FILENO) != 0 ? ProgressStyle::kTerminal : ProgressStyle::kLines;
}

// Writes the comic archive once every page is done; its status.
int writeArchive(const BatchArguments& arguments, const BatchInput& input,
                 const std::vector<CbzMember>& members, BatchConsole& console) {
  const std::int64_t failed = console.progress().failed;
  const std::string& path = arguments.outputCbz;
  if (failed > 0) {
    console.note("letterforge-batch: " + path + " not written: " + std::to_string(failed) +
                 (failed == 1 ? " page" : " pages") + " failed");
    return kBatchSomePagesFailed;
  }
  std::string failure;
  const ChapterFile comicInfo = input.chapter ? input.chapter->comicInfo : ChapterFile{};
  if (!writeCbz(path, members, comicInfo, failure)) {
    console.note("letterforge-batch: " + failure);
    return kBatchSomePagesFailed;
  }
  console.note("letterforge-batch: wrote " + path + " (" + std::to_string(members.size()) + " pages)");
  return kBatchAllRendered;
}

}  // namespace

int main(int argc, char** argv) {
  platform::reportOversizedWritesAsFailures();
  // A reader of standard output that goes away must not end the run halfway.
  std::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::string failure;
  const auto parsed = parseBatchArguments(arguments, failure);
  if (!parsed) {
    refuse(failure);
    platform::writeErrorLine(kBatchUsageLine);
    return kBatchNotRun;
  }
  if (parsed->help || parsed->version) {
    const std::string text = parsed->help ? batchHelpText()
                                          : std::string("letterforge-batch ") + kVersion + "\n";
    std::fputs(text.c_str(), stdout);
    return std::fflush(stdout) == 0 ? kBatchAllRendered : kBatchNotRun;
  }
  if (parsed->listFonts) return listFonts();
  // A default font that cannot be had would fail every page, one by one.
  if (const std::string& font = parsed->defaults.settings.font; !font.empty()) {
    if (const auto problem = RenderEngine().fontProblem(font)) {
      return refuse("--set font=" + font + ": " + problem->message);
    }
  }
  const auto input = loadBatchInput(*parsed, failure);
  if (!input) return refuse(failure);
  const std::string outputFolder = input->chapter ? chapterOutputFolder(*parsed) : "";
  std::optional<std::vector<CbzMember>> archiveMembers;
  if (!parsed->outputCbz.empty() &&
      !(archiveMembers = cbzMembersOf(*input, outputFolder, failure))) {
    return refuse(failure);
  }
  const auto pages = static_cast<std::int64_t>(input->entries.size());
  if (parsed->dryRun) {
    BatchConsole console(processStreams(), progressStyle(*parsed), pages, terminalColumns(), true);
    return dryRun(*parsed, *input, console);
  }
  if (const auto fault = sharedFileFault(input->entries)) return refuse("refused: " + *fault);
  std::optional<DonePages> done;
  if (!parsed->resume.empty() && !(done = loadDonePages(parsed->resume, failure))) {
    return refuse(failure);
  }

  BatchConsole console(processStreams(), progressStyle(*parsed), pages, terminalColumns());
  std::vector<ManifestEntry> toRender;
  for (const ManifestEntry& entry : input->entries) {
    const auto reason = entry.failure.empty()
                            ? skipReason(entry.job, done ? &*done : nullptr, parsed->skipExisting)
                            : std::nullopt;
    if (reason) {
      console.pageFinished(skippedPageReport(entry.job, *reason));
    } else {
      toRender.push_back(entry);
    }
  }
  std::atomic<bool> stop{false};
  int stoppedBy = 0;
  {
    // From here on the stop signals only stop the run; every thread is made after this.
    const StopSignals signals(stop, [&console](int signal) {
      console.note("letterforge-batch: " + signalName(signal) +
                   ": finishing the pages in flight, starting no other");
    });
    runBatch(toRender, parsed->jobs > 0 ? parsed->jobs : coreCount(), stop,
             [&console](const PageReport& report) { console.pageFinished(report); });
    stoppedBy = signals.received();
  }
  console.finish();
  if (stoppedBy != 0) return kBatchStoppedBase + stoppedBy;
  if (archiveMembers) return writeArchive(*parsed, *input, *archiveMembers, console);
  return console.progress().failed > 0 ? kBatchSomePagesFailed : kBatchAllRendered;
}
