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
};

// The engine's job for a page: the job letterforge makes of the same files and options, with
// the output encoded by the format option or its extension, the debug image by its extension.
// Absent, with `failure`, when an extension names no format written here.
std::optional<RenderJob> renderJobOf(const PageJob& job, std::string& failure);

// Renders the page and writes its layers (all four or none) and its output, then its debug
// image, each whole or not at all. Fails as letterforge fails on the same files, with its
// message and status class; a layer that cannot be made or written fails the page with the
// write-failure status and leaves neither layers nor output.
PageReport runPage(RenderEngine& engine, const PageJob& job);

// The report of a manifest line that describes no job: failed with the usage class.
PageReport unreadableLineReport(const ManifestEntry& entry);

}  // namespace letterforge
