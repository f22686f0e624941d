// letterforge-batch: renders the pages of a manifest in one process, on several threads, and
// writes a JSON line per page to standard output as each one finishes.
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

#include "letterforge/batch/batch_run.h"
#include "letterforge/batch/command_line.h"
#include "letterforge/batch/console.h"
#include "letterforge/batch/manifest.h"
#include "letterforge/batch/shared_files.h"
#include "letterforge/batch/stop_signals.h"
#include "letterforge/driver/block_flags.h"
#include "letterforge/driver/version.h"
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
  const auto entries = loadManifest(parsed->manifest, parsed->defaults, failure);
  if (!entries) return refuse(failure);
  if (const auto fault = sharedFileFault(*entries)) return refuse("refused: " + *fault);

  const ProgressStyle style = parsed->quiet             ? ProgressStyle::kQuiet
                              : isatty(STDERR_FILENO) != 0 ? ProgressStyle::kTerminal
                                                          : ProgressStyle::kLines;
  BatchConsole console(processStreams(), style, static_cast<std::int64_t>(entries->size()),
                       terminalColumns());
  std::atomic<bool> stop{false};
  int stoppedBy = 0;
  {
    // From here on the stop signals only stop the run; every thread is made after this.
    const StopSignals signals(stop, [&console](int signal) {
      console.note("letterforge-batch: " + signalName(signal) +
                   ": finishing the pages in flight, starting no other");
    });
    runBatch(*entries, parsed->jobs > 0 ? parsed->jobs : coreCount(), stop,
             [&console, &parsed](const PageReport& report) {
               console.pageFinished(withFlagsFailed(report, parsed->failOn));
             });
    stoppedBy = signals.received();
  }
  console.finish();
  if (stoppedBy != 0) return kBatchStoppedBase + stoppedBy;
  return console.progress().failed > 0 ? kBatchSomePagesFailed : kBatchAllRendered;
}
