// letterforge-batch: renders the pages of a manifest in one process, on several threads, and
// writes a JSON line per page to standard output as each one finishes.
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

#include "letterforge/batch/batch_run.h"
#include "letterforge/batch/command_line.h"
#include "letterforge/batch/console.h"
#include "letterforge/batch/manifest.h"
#include "letterforge/batch/shared_files.h"
#include "letterforge/batch/stop_signals.h"
#include "letterforge/driver/block_flags.h"
#include "letterforge/driver/version.h"
#include "letterforge/inputs/text_rules.h"
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
  const auto entries = loadManifest(parsed->manifest, parsed->defaults, failure);
  if (!entries) return refuse(failure);
  const std::string manifest = parsed->manifest == "-" ? "" : parsed->manifest;
  if (const auto fault = sharedFileFault(*entries, manifest)) return refuse("refused: " + *fault);

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
  return progress.failed > 0 ? kBatchSomePagesFailed : kBatchAllRendered;
}
