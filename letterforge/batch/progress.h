#pragma once

#include <cstdint>
#include <string>

namespace letterforge {

// How far a batch run has come.
struct Progress {
  std::int64_t done = 0;  // pages finished, failed and skipped ones included
  std::int64_t failed = 0;  // pages that failed, or with a problem when checking
  std::int64_t total = 0;
  double elapsedSeconds = 0.0;
  // Blocks of the pages rendered, by flag.
  std::int64_t uncleanedBlocks = 0;
  std::int64_t uncleanedPages = 0;  // pages with an uncleaned block
  std::int64_t overflowedBlocks = 0;
  std::int64_t unknownCharacterBlocks = 0;
  std::int64_t spanningBlocks = 0;
  std::int64_t skipped = 0;  // pages not rendered again
  bool checking = false;     // pages are checked, not rendered
  std::int64_t resultsLost = 0;  // pages whose result line could not be written
};

// A plain progress line: "12/40 pages, 1 failed, 35.2 pages/min, 0:41 left". The rate and the
// time left are "--" until a page has finished; "failed" appears once a page has failed, and
// the flagged blocks after it once there are any ("3 uncleaned, 5 overflowed").
std::string progressLine(const Progress& progress);

// The same after a bar of the pages done, short enough for a terminal line of `columns`
// columns: "[#######.............] 12/40 pages, 35.2 pages/min, 0:41 left". Without the bar,
// and cut, when the line has no room for it.
std::string progressBar(const Progress& progress, int columns);

// The last line of a run: "40 pages in 1:02 (38.7 pages/min): 39 rendered, 1 failed", with
// ", 5 skipped" when pages were not rendered again, ", 12 not started" after a stop and
// ", 3 results lost" when result lines could not be written (when checking, "38 without
// problems, 2 with problems"); then the flagged blocks, those counts that are not 0: "; 3
// blocks left uncleaned on 2 pages, 5 overflowed, 1 with unknown characters, 2 spanning
// balloons".
std::string summaryLine(const Progress& progress);

// Seconds as "m:ss", or "h:mm:ss" from an hour on, rounded up to whole seconds.
std::string formatDuration(double seconds);

}  // namespace letterforge
