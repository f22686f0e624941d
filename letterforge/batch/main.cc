// letterforge-batch: renders the pages of a manifest or a chapter in one process, on several
// threads, and writes a JSON line per page to standard output as each one finishes.
#include <fcntl.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
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
#include "letterforge/driver/block_flags.h"
#include "letterforge/driver/version.h"
#include "letterforge/inputs/text_rules.h"
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

int refuse(const std::string& message, int status = kBatchNotRun) {
  platform::writeErrorLine("letterforge-batch: " + visibleText(message));
  return status;
}

// A closed standard stream's number goes to the next file opened, and what is meant for the
// stream would go into that file. Standard input and error are pointed at /dev/null; false
// when standard output is closed.
bool standardOutputOpen() {
  for (const int fd : {STDIN_FILENO, STDERR_FILENO}) {
    if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
      if (null >= 0 && null != fd) {
        ::dup2(null, fd);
        ::close(null);
      }
    }
  }
  return ::fcntl(STDOUT_FILENO, F_GETFD) >= 0 || errno != EBADF;
}

// The report, failed when a block carries a flag of `failOn` and the page did not fail before.
PageReport withFlagsFailed(const PageReport& report, const BlockFlags& failOn) {
  PageReport checked = report;
  if (!checked.failure) checked.failure = flaggedPageFailure(checked.blocks, failOn);
  return checked;
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
  std::string failure;
  for (const FontFamily& family : installedFontFamilies()) {
    if (!platform::writeOutputLine("{\"family\":" + jsonString(family.name) + ",\"styles\":" +
                                       jsonArray(family.styles) + ",\"scripts\":" +
                                       jsonArray(family.scripts) + "}",
                                   failure)) {
      return refuse("standard output: " + failure + ": the font list could not be written",
                    kBatchResultsLost);
    }
  }
  return kBatchAllRendered;
}

// Checks every page; the lines come in manifest order once all are checked.
int dryRun(const BatchArguments& arguments, const BatchInput& input, BatchConsole& console) {
  const int workers = arguments.jobs > 0 ? arguments.jobs : coreCount();
  for (const PageCheckReport& report : checkPages(input.entries, manifestPath(arguments, input), workers)) {
    console.pageChecked(report);
  }
  console.finish();
  const Progress progress = console.progress();
  if (progress.resultsLost > 0) return kBatchResultsLost;
  return progress.failed > 0 ? kBatchSomePagesFailed : kBatchAllRendered;
}

ProgressStyle progressStyle(const BatchArguments& arguments) {
  if (arguments.quiet) return ProgressStyle::kQuiet;
  return isatty(STDERR_FILENO) != 0 ? ProgressStyle::kTerminal : ProgressStyle::kLines;
}

}  // namespace

int main(int argc, char** argv) {
  const bool outputOpen = standardOutputOpen();
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
  if (!outputOpen) {
    return refuse("standard output is closed: the result lines could not be written; nothing "
                  "was rendered", kBatchResultsLost);
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
  std::atomic<bool> stop{console.resultsLost()};  // lost on a skipped page's line: none started
  int stoppedBy = 0;
  {
    // From here on the stop signals only stop the run; every thread is made after this.
    const StopSignals signals(stop, [&console](int signal) {
      console.note("letterforge-batch: " + signalName(signal) +
                   ": finishing the pages in flight, starting no other");
    });
    runBatch(selection.toRender, parsed->jobs > 0 ? parsed->jobs : coreCount(), stop,
             [&](const PageReport& report) {
               console.pageFinished(withFlagsFailed(report, parsed->failOn));
               if (console.resultsLost()) stop.store(true);
             });
    stoppedBy = signals.received();
  }
  console.finish();
  if (stoppedBy != 0) return kBatchStoppedBase + stoppedBy;
  const Progress progress = console.progress();
  if (progress.resultsLost > 0) return kBatchResultsLost;
  if (!parsed->outputCbz.empty()) {
    std::string message;
    const bool written = packRunArchive(*run, parsed->outputCbz, progress.failed, message);
    console.note("letterforge-batch: " + message);
    return written ? kBatchAllRendered : kBatchSomePagesFailed;
  }
  return progress.failed > 0 ? kBatchSomePagesFailed : kBatchAllRendered;
}
