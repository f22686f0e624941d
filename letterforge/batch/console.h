#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "letterforge/batch/page_run.h"
#include "letterforge/batch/progress.h"

namespace letterforge {

// Where a batch run's lines go, each written whole: result lines to standard output, progress
// and failures to standard error.
struct ConsoleStreams {
  // A line, without its line feed; false, with `failure`, when it cannot be written.
  std::function<bool(std::string_view line, std::string& failure)> output{};
  std::function<void(std::string_view text)> error{};  // text as it stands
};

// How the run shows itself on standard error.
enum class ProgressStyle {
  kQuiet,     // nothing
  kLines,     // a plain line per finished page
  kTerminal,  // one bar, redrawn in place; other lines are written above it
};

// The run's lines, from any thread. The bar is taken off before any other line is written, so
// no line is torn by it, not even when both streams are the same terminal.
class BatchConsole {
 public:
  BatchConsole(ConsoleStreams streams, ProgressStyle style, std::int64_t totalPages, int columns);

  // The page's result line; its failure; the progress after it. A result line that cannot be
  // written is said on standard error, even when quiet, with the page's line.
  void pageFinished(const PageReport& report);
  // Whether a result line could not be written: the caller then starts no other page.
  bool resultsLost() const;
  // A line of its own on standard error, unless quiet.
  void note(std::string_view line);
  // The summary; the progress so far.
  void finish();
  Progress progress() const;

 private:
  void errorLine(std::string_view line);
  void showProgress();
  Progress progressNow() const;

  ConsoleStreams streams_;
  ProgressStyle style_;
  int columns_;
  Progress progress_{};
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  bool barShown_ = false;
  mutable std::mutex mutex_{};
};

// Streams writing to the process's standard output and standard error.
ConsoleStreams processStreams();

}  // namespace letterforge
