#include "letterforge/batch/dry_run.h"

#include <algorithm>
#include <atomic>

#include "letterforge/batch/batch_run.h"
#include "letterforge/batch/command_line.h"
#include "letterforge/batch/shared_files.h"

namespace letterforge {

std::vector<PageCheckReport> checkPages(const std::vector<ManifestEntry>& entries,
                                        const std::string& manifest, int workers) {
  std::vector<PageCheckReport> reports;
  const std::atomic<bool> never{false};
  checkBatch(entries, workers, never, [&reports](const PageCheckReport& report) { reports.push_back(report); });
  std::sort(reports.begin(), reports.end(),
            [](const PageCheckReport& a, const PageCheckReport& b) { return a.line < b.line; });
  for (const SharedFileFault& fault : sharedFileFaults(entries, manifest)) {
    for (PageCheckReport& report : reports) {
      if (report.line == fault.line) report.problems.push_back({fault.fault, kBatchNotRun});
    }
  }
  return reports;
}

}  // namespace letterforge
