#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "letterforge/batch/manifest.h"
#include "letterforge/driver/render_engine.h"

namespace letterforge {

// What became of one manifest line.
struct PageReport {
  std::int64_t line = 0;
  std::string image{};
  std::string output{};
  std::string debug{};                  // empty: none asked for
  std::string layers{};                 // empty: none asked for; else where they start
  std::optional<RunFailure> failure{};  // absent: rendered and every file written
  std::int64_t milliseconds = 0;
  std::vector<std::string> reportLines{};  // the cleanup lines letterforge writes to standard error
  std::vector<BlockOutcome> blocks{};      // empty when the page was not cleaned and typeset
  std::vector<std::string> warnings{};     // what is likely wrong although the page renders
  std::string skipped{};                   // why the page was not rendered again; empty: it was
};

// What rendering a page would run into, found without drawing or writing anything.
struct PageCheckReport {
  std::int64_t line = 0;
  std::string image{};
  std::string output{};
  std::string debug{};
  std::vector<RunFailure> problems{};  // each failure rendering would meet; it ends on the first
  std::vector<std::string> warnings{};  // those rendering would give
};

// The engine's job for a page: the job letterforge makes of the same files and options, with
// the output encoded by the format option or its extension, the debug image by its extension.
// Files with a name of their own (members of an archive) are read here and named by it. Absent,
// with `failure`, when an extension names no format written here (usage class) or such a file
// cannot be read.
std::optional<RenderJob> renderJobOf(const PageJob& job, RunFailure& failure);

// The warnings a page gives before it is rendered: the name its output is written under, and a
// page without payloads whose image is copied as it is.
std::vector<std::string> jobWarnings(const PageJob& job);

// Renders the page and writes its layers (all four or none) and its output, then its debug
// image, each whole or not at all. Fails as letterforge fails on the same files, with its
// message and status class; a layer that cannot be made or written fails the page with the
// write-failure status and leaves neither layers nor output. A page without payloads has its
// image copied to the output as it is.
PageReport runPage(RenderEngine& engine, const PageJob& job);

// Checks the page as RenderEngine::check does, with the page's own warnings.
PageCheckReport checkPage(RenderEngine& engine, const PageJob& job);

// The report of a page not rendered again, for `reason`.
PageReport skippedPageReport(const PageJob& job, const std::string& reason);

// The report of a manifest line that describes no job: failed with the usage class.
PageReport unreadableLineReport(const ManifestEntry& entry);

}  // namespace letterforge
