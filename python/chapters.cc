#include "python/chapters.h"

#include <pybind11/pybind11.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "letterforge/batch/batch_run.h"
#include "letterforge/batch/dry_run.h"
#include "letterforge/batch/result_line.h"
#include "letterforge/batch/run_plan.h"
#include "python/call_failure.h"

namespace letterforge::python_module {
namespace py = pybind11;
namespace {

BatchArguments batchArguments(const ChapterArguments& arguments, bool dryRun) {
  return BatchArguments{.manifest = arguments.source, .jobs = arguments.workers,
                        .defaults = arguments.defaults, .dryRun = dryRun,
                        .skipExisting = arguments.skipExisting, .resume = arguments.resume,
                        .payloads = arguments.payloads, .outputFolder = arguments.outputFolder,
                        .outputCbz = arguments.outputCbz};
}

PreparedRun preparedRun(const BatchArguments& arguments) {
  std::string failure;
  std::optional<PreparedRun> run;
  {
    py::gil_scoped_release release;
    run = prepareRun(arguments, failure);
  }
  if (!run) throw CallFailure{.errorClass = "ManifestError", .message = failure};
  return std::move(*run);
}

// Renders the pages on a thread of their own while this one, holding the GIL now and then,
// lets Python's signal handlers run; the first exception they raise stops the run and is
// taken into `interruption`.
std::vector<PageReport> renderPages(const std::vector<ManifestEntry>& entries, int workers,
                                    py::object& interruption) {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::vector<PageReport> reports;
  std::atomic<bool> stop{false};
  std::thread run([&] {
    runBatch(entries, workers, stop, [&](const PageReport& report) {
      const std::lock_guard lock(mutex);
      reports.push_back(report);
    });
    const std::lock_guard lock(mutex);
    done = true;
    finished.notify_all();
  });
  std::optional<py::error_already_set> interrupted;
  for (;;) {
    {
      py::gil_scoped_release release;
      std::unique_lock lock(mutex);
      if (finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return done; })) break;
    }
    if (!interrupted && PyErr_CheckSignals() != 0) {
      stop = true;
      interrupted.emplace();  // takes the exception, clearing it
    }
  }
  run.join();
  if (interrupted) interruption = interrupted->value();
  return reports;
}

}  // namespace

std::vector<std::string> checkChapterLines(const ChapterArguments& arguments) {
  const PreparedRun run = preparedRun(batchArguments(arguments, true));
  py::gil_scoped_release release;
  std::vector<std::string> lines;
  const std::string manifest = manifestPath(batchArguments(arguments, true), run.input);
  for (const PageCheckReport& report : checkPages(run.input.entries, manifest, arguments.workers)) {
    lines.push_back(checkLine(report));
  }
  return lines;
}

ChapterRun renderChapterLines(const ChapterArguments& arguments) {
  const PreparedRun run = preparedRun(batchArguments(arguments, false));
  PageSelection selection;
  {
    py::gil_scoped_release release;  // skipping asks the file system
    selection = selectPages(run, arguments.skipExisting);
  }
  ChapterRun result;
  std::vector<PageReport> reports = renderPages(selection.toRender, arguments.workers, result.interruption);
  const auto failed = std::count_if(reports.begin(), reports.end(),
                                    [](const PageReport& report) { return report.failure.has_value(); });
  reports.insert(reports.end(), selection.skipped.begin(), selection.skipped.end());
  std::sort(reports.begin(), reports.end(),
            [](const PageReport& a, const PageReport& b) { return a.line < b.line; });
  for (const PageReport& report : reports) result.resultLines.push_back(resultLine(report));
  if (!arguments.outputCbz.empty() && result.interruption.is_none()) {
    py::gil_scoped_release release;
    result.archiveWritten = packRunArchive(run, arguments.outputCbz, failed, result.archiveMessage);
  }
  return result;
}

}  // namespace letterforge::python_module
