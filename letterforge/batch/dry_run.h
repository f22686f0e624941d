#pragma once

#include <string>
#include <vector>

#include "letterforge/batch/manifest.h"
#include "letterforge/batch/page_run.h"

namespace letterforge {

// What rendering each page would run into, found without drawing or writing anything, in line
// order: each page checked as checkBatch checks it on `workers` threads, with the files two
// lines would both write (or one writes and another reads, or that is the `manifest` itself;
// may be empty) as problems of the later line.
std::vector<PageCheckReport> checkPages(const std::vector<ManifestEntry>& entries,
                                        const std::string& manifest, int workers);

}  // namespace letterforge
