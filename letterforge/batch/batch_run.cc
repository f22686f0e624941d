#include "letterforge/batch/batch_run.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "letterforge/driver/exit_status.h"

namespace letterforge {

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
                      .image = job.image,
                      .output = job.output,
                      .debug = job.debug,
                      .failure = RunFailure{"Could not render the page: out of memory",
                                            kExitOutOfMemory}};
  }
}

std::int64_t runBatch(const std::vector<ManifestEntry>& entries, int workers,
                      const std::atomic<bool>& stop, const PageFinished& finished) {
  std::atomic<std::size_t> next{0};
  std::mutex reporting;
  std::int64_t reported = 0;
  const auto work = [&] {
    std::optional<RenderEngine> engine;
    while (!stop.load()) {
      const std::size_t index = next.fetch_add(1);
      if (index >= entries.size()) return;
      const PageReport report = pageReport(entries[index], engine);
      const std::lock_guard lock(reporting);
      finished(report);
      ++reported;
    }
  };
  const auto count = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(workers, 1)), 1,
                                             std::max<std::size_t>(entries.size(), 1));
  std::vector<std::thread> threads;
  // The calling thread is one of the workers; a thread the system refuses is one fewer.
  for (std::size_t i = 1; i < count; ++i) {
    try {
      threads.emplace_back(work);
    } catch (const std::system_error&) {
      break;
    }
  }
  work();
  for (std::thread& thread : threads) thread.join();
  return reported;
}

}  // namespace letterforge
