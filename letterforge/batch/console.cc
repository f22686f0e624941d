#include "letterforge/batch/console.h"

#include "letterforge/batch/result_line.h"
#include "letterforge/inputs/text_rules.h"
#include "platform/process_output.h"

namespace letterforge {
namespace {

constexpr std::string_view kClearLine = "\r\x1b[K";

}  // namespace

BatchConsole::BatchConsole(ConsoleStreams streams, ProgressStyle style, std::int64_t totalPages,
                           int columns, bool checking)
    : streams_(std::move(streams)), style_(style), columns_(columns) {
  progress_.total = totalPages;
  progress_.checking = checking;
  const std::lock_guard lock(mutex_);
  if (style_ == ProgressStyle::kTerminal) showProgress();
}

void BatchConsole::writeLine(const std::string& text, const std::string& line) {
  std::string failure;
  if (streams_.output(text, failure)) return;
  // Whoever reads the results can no longer learn what became of the pages: said even when
  // quiet, and no other page is started.
  if (progress_.resultsLost++ == 0) {
    streams_.error("letterforge-batch: standard output: " + visibleText(failure) +
                   ": result lines are lost; starting no other page\n");
  }
  streams_.error(line + "its result line could not be written\n");
}

void BatchConsole::pageFinished(const PageReport& report) {
  const std::lock_guard lock(mutex_);
  ++progress_.done;
  if (report.failure) ++progress_.failed;
  if (!report.skipped.empty()) ++progress_.skipped;
  bool uncleaned = false;
  for (const BlockOutcome& block : report.blocks) {
    uncleaned = uncleaned || block.flags.uncleaned;
    progress_.uncleanedBlocks += block.flags.uncleaned ? 1 : 0;
    progress_.overflowedBlocks += block.flags.overflowed ? 1 : 0;
    progress_.unknownCharacterBlocks += block.flags.unknownCharacters ? 1 : 0;
    progress_.spanningBlocks += block.flags.spansBalloons ? 1 : 0;
  }
  progress_.uncleanedPages += uncleaned ? 1 : 0;
  if (barShown_) streams_.error(kClearLine);
  barShown_ = false;
  const std::string line = "line " + std::to_string(report.line) + ": ";
  writeLine(resultLine(report), line);
  if (report.failure) errorLine(line + visibleText(report.failure->message));
  showProgress();
}

void BatchConsole::pageChecked(const PageCheckReport& report) {
  const std::lock_guard lock(mutex_);
  ++progress_.done;
  if (!report.problems.empty()) ++progress_.failed;
  if (barShown_) streams_.error(kClearLine);
  barShown_ = false;
  const std::string line = "line " + std::to_string(report.line) + ": ";
  writeLine(checkLine(report), line);
  for (const RunFailure& problem : report.problems) errorLine(line + visibleText(problem.message));
  showProgress();
}

bool BatchConsole::resultsLost() const {
  const std::lock_guard lock(mutex_);
  return progress_.resultsLost > 0;
}

void BatchConsole::note(std::string_view line) {
  const std::lock_guard lock(mutex_);
  errorLine(line);
  if (style_ == ProgressStyle::kTerminal) showProgress();
}

void BatchConsole::finish() {
  const std::lock_guard lock(mutex_);
  errorLine(summaryLine(progressNow()));
}

Progress BatchConsole::progress() const {
  const std::lock_guard lock(mutex_);
  return progressNow();
}

void BatchConsole::errorLine(std::string_view line) {
  if (style_ == ProgressStyle::kQuiet) return;
  std::string text = barShown_ ? std::string(kClearLine) : std::string();
  barShown_ = false;
  text.append(line);
  text.push_back('\n');
  streams_.error(text);
}

void BatchConsole::showProgress() {
  if (style_ == ProgressStyle::kLines) errorLine(progressLine(progressNow()));
  if (style_ != ProgressStyle::kTerminal) return;
  streams_.error(std::string(kClearLine) + progressBar(progressNow(), columns_));
  barShown_ = true;
}

Progress BatchConsole::progressNow() const {
  Progress now = progress_;
  now.elapsedSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  return now;
}

ConsoleStreams processStreams() {
  return ConsoleStreams{
      .output = [](std::string_view line, std::string& failure) {
        return platform::writeOutputLine(line, failure);
      },
      .error = [](std::string_view text) { platform::writeError(text); }};
}

}  // namespace letterforge
