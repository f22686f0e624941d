#include "letterforge/batch/batch_run.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "letterforge/driver/exit_status.h"

namespace letterforge {
namespace {

// Hands the entries to `workers` threads in order, each with an engine of its own made when
// first needed, and what `work` makes of each to `done`, one call at a time.
template <typename Work, typename Done>
std::int64_t forEachEntry(const std::vector<ManifestEntry>& entries, int workers,
                          const std::atomic<bool>& stop, Work work, Done done) {
  std::atomic<std::size_t> next{0};
  std::mutex reporting;
  std::int64_t reported = 0;
  const auto run = [&] {
    std::optional<RenderEngine> engine;
    while (!stop.load()) {
      const std::size_t index = next.fetch_add(1);
      if (index >= entries.size()) return;
      const auto report = work(entries[index], engine);
      const std::lock_guard lock(reporting);
      done(report);
      ++reported;
    }
  };
  const auto count = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(workers, 1)), 1,
                                             std::max<std::size_t>(entries.size(), 1));
  std::vector<std::thread> threads;
  // The calling thread is one of the workers; a thread the system refuses is one fewer.
  for (std::size_t i = 1; i < count; ++i) {
    try {
      threads.emplace_back(run);
    } catch (const std::system_error&) {
      break;
    }
  }
  run();
  for (std::thread& thread : threads) thread.join();
  return reported;
}

}  // namespace

PageReport pageReport(const ManifestEntry& entry, std::optional<RenderEngine>& engine) {
  if (!entry.failure.empty()) return unreadableLineReport(entry);
  try {
    // Made for the first page, so that a worker that only meets unreadable lines never loads
    // fonts; kept for the pages after it.
    if (!engine) engine.emplace();
    return runPage(*engine, entry.job);
  } catch (const std::bad_alloc&) {
    // The engine may have been left halfway through a page: the next page gets a new one.
    engine.reset();
    const PageJob& job = entry.job;
    return PageReport{.line = job.line,
                      .image = shownImage(job),
                      .output = job.output,
                      .debug = job.debug,
                      .failure = RunFailure{"Could not render the page: out of memory",
                                            kExitOutOfMemory}};
  }
}

PageCheckReport pageCheckReport(const ManifestEntry& entry, std::optional<RenderEngine>& engine) {
  const PageJob& job = entry.job;
  PageCheckReport failed{.line = job.line, .image = shownImage(job), .output = job.output, .debug = job.debug};
  if (!entry.failure.empty()) {
    failed.problems = {{entry.failure, kExitUsage}};
    return failed;
  }
  try {
    if (!engine) engine.emplace();
    return checkPage(*engine, job);
  } catch (const std::bad_alloc&) {
    engine.reset();
    failed.problems = {{"Could not check the page: out of memory", kExitOutOfMemory}};
    return failed;
  }
}

std::int64_t runBatch(const std::vector<ManifestEntry>& entries, int workers,
                      const std::atomic<bool>& stop, const PageFinished& finished) {
  return forEachEntry(entries, workers, stop, pageReport, finished);
}

std::int64_t checkBatch(const std::vector<ManifestEntry>& entries, int workers,
                        const std::atomic<bool>& stop, const PageChecked& checked) {
  return forEachEntry(entries, workers, stop, pageCheckReport, checked);
}

}  // namespace letterforge
