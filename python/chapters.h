#pragma once

// Manifests and chapters (comic archives and folders of pages) checked and rendered in process
// by letterforge-batch's own code: the same refusals, skipped pages, result and check lines,
// and comic archive.
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "letterforge/driver/job_options.h"

namespace letterforge::python_module {

// What letterforge-batch's command line would name.
struct ChapterArguments {
  std::string source{};     // a manifest, or a chapter: an archive or a folder
  std::string payloads{};   // a chapter's payloads, looked for here first (empty: beside the pages)
  std::string outputFolder{};
  std::string outputCbz{};  // empty: no comic archive
  JobOptions defaults{};
  int workers = 1;
  bool skipExisting = false;
  std::string resume{};  // an earlier run's result lines (empty: none)
};

// The check line of each page, in line order, as `letterforge-batch --dry-run` writes them,
// with the GIL released. Throws CallFailure (ManifestError) with letterforge-batch's message
// when the run would be refused as a whole.
std::vector<std::string> checkChapterLines(const ChapterArguments& arguments);

// A run of every page.
struct ChapterRun {
  std::vector<std::string> resultLines{};  // every page's, skipped ones included, in line order
  std::string archiveMessage{};            // what became of the comic archive; empty: none asked for
  bool archiveWritten = false;
  // What a signal handler raised, which stopped the run; None: nothing stopped it.
  pybind11::object interruption = pybind11::none();
};

// Renders the pages as letterforge-batch does, on `workers` threads with the GIL released.
// Throws CallFailure (ManifestError) when the run is refused as a whole. A KeyboardInterrupt
// (or another exception a signal handler raises) stops the run as SIGINT stops
// letterforge-batch: the pages in flight are finished and written, no other is started, and
// the exception comes back, cleared, in `interruption`, the lines of the pages done with it.
ChapterRun renderChapterLines(const ChapterArguments& arguments);

}  // namespace letterforge::python_module
