#pragma once

// What every front end that runs a manifest or a chapter does around the pages: the checks
// that refuse the run as a whole before any page, the pages not rendered again, and the comic
// archive packed at the end. letterforge-batch and the Python package both run through here,
// so that a run gives the same lines and messages in both.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "letterforge/batch/batch_input.h"
#include "letterforge/batch/command_line.h"
#include "letterforge/batch/manifest.h"
#include "letterforge/batch/page_run.h"
#include "letterforge/batch/page_skipping.h"
#include "letterforge/chapter/cbz_writing.h"

namespace letterforge {

// The manifest file the run reads, which no page may write: empty for standard input and for a
// chapter.
std::string manifestPath(const BatchArguments& arguments, const BatchInput& input);

// A run, checked as a whole and ready to start.
struct PreparedRun {
  BatchInput input{};
  std::string outputFolder{};                            // a chapter's; empty for a manifest
  std::optional<std::vector<CbzMember>> archiveMembers{};  // when a comic archive is asked for
  std::optional<DonePages> done{};                       // the pages --resume names as done
};

// Checks what would refuse the run as a whole, in this order: a default font that cannot be
// had (naming the nearest installed families), a manifest or chapter that cannot be read or is
// refused, two pages that would have one name in the comic archive, and, unless the run is a
// dry run (which reports them per page), files two pages would share and a --resume file that
// cannot be read. Absent, with `failure` (letterforge-batch prints it after its name, with
// status kBatchNotRun), when the run is refused.
std::optional<PreparedRun> prepareRun(const BatchArguments& arguments, std::string& failure);

// The pages of a prepared run split into those to render and the reports of those skipped
// (done earlier, or output newer than the inputs with --skip-existing), in line order.
struct PageSelection {
  std::vector<ManifestEntry> toRender{};
  std::vector<PageReport> skipped{};
};
PageSelection selectPages(const PreparedRun& run, bool skipExisting);

// Packs the run's comic archive at `path` once its pages are done: nothing when `failedPages`
// is not 0. True when written; `message` says what was done, as letterforge-batch's last line
// ("wrote <path> (3 pages)", "<path> not written: 1 page failed", or the write's failure).
bool packRunArchive(const PreparedRun& run, const std::string& path, std::int64_t failedPages,
                    std::string& message);

}  // namespace letterforge
