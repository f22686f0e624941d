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
#include "letterforge/batch/dry_run.h"
#include "letterforge/batch/json_lines.h"
#include "letterforge/batch/run_plan.h"
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

// Checks every page; the lines come in manifest order once all are checked.
int dryRun(const BatchArguments& arguments, const BatchInput& input, BatchConsole& console) {
  for (const PageCheckReport& report : checkPages(input.entries, arguments.jobs > 0 ? arguments.jobs : coreCount())) {
    console.pageChecked(report);
  }
  console.finish();
  return console.progress().failed > 0 ? kBatchSomePagesFailed : kBatchAllRendered;
}

ProgressStyle progressStyle(const BatchArguments& arguments) {
  if (arguments.quiet) return ProgressStyle::kQuiet;
  return isatty(STDERR_FILENO) != 0 ? ProgressStyle::kTerminal : ProgressStyle::kLines;
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
  const auto run = prepareRun(*parsed, failure);
  if (!run) return refuse(failure);
  const auto pages = static_cast<std::int64_t>(run->input.entries.size());
  if (parsed->dryRun) {
    BatchConsole console(processStreams(), progressStyle(*parsed), pages, terminalColumns(), true);
    return dryRun(*parsed, run->input, console);
  }

  BatchConsole console(processStreams(), progressStyle(*parsed), pages, terminalColumns());
  const PageSelection selection = selectPages(*run, parsed->skipExisting);
  for (const PageReport& skipped : selection.skipped) console.pageFinished(skipped);
  std::atomic<bool> stop{false};
  int stoppedBy = 0;
  {
    // From here on the stop signals only stop the run; every thread is made after this.
    const StopSignals signals(stop, [&console](int signal) {
      console.note("letterforge-batch: " + signalName(signal) +
                   ": finishing the pages in flight, starting no other");
    });
    runBatch(selection.toRender, parsed->jobs > 0 ? parsed->jobs : coreCount(), stop,
             [&console](const PageReport& report) { console.pageFinished(report); });
    stoppedBy = signals.received();
  }
  console.finish();
  if (stoppedBy != 0) return kBatchStoppedBase + stoppedBy;
  if (!parsed->outputCbz.empty()) {
    std::string message;
    const bool written = packRunArchive(*run, parsed->outputCbz, console.progress().failed, message);
    console.note("letterforge-batch: " + message);
    return written ? kBatchAllRendered : kBatchSomePagesFailed;
  }
  return console.progress().failed > 0 ? kBatchSomePagesFailed : kBatchAllRendered;
}
