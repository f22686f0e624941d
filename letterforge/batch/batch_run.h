#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "letterforge/batch/manifest.h"
#include "letterforge/batch/page_run.h"

namespace letterforge {

// What became of one manifest line: its page rendered and written on `engine` (made when
// absent, and let go when the page ran out of memory, so that the next page gets a new one),
// or the failure of a line that describes no job.
PageReport pageReport(const ManifestEntry& entry, std::optional<RenderEngine>& engine);

// Receives the report of each page as it finishes; calls come one at a time.
using PageFinished = std::function<void(const PageReport& report)>;

// Renders the pages of the entries on `workers` threads (fewer when there are fewer entries),
// each with an engine of its own, taking them in manifest order; a worker holds one page at a
// time, so at most `workers` pages are in memory. Once `stop` is set no worker takes another
// page; the pages in flight are finished, written and reported. Lines that describe no job
// are reported as failed. Returns the number of pages reported.
std::int64_t runBatch(const std::vector<ManifestEntry>& entries, int workers,
                      const std::atomic<bool>& stop, const PageFinished& finished);

}  // namespace letterforge
