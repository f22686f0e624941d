#include "python/manifest_jobs.h"

#include <pybind11/pybind11.h>

#include <utility>

#include "letterforge/batch/batch_run.h"
#include "letterforge/batch/result_line.h"
#include "letterforge/batch/shared_files.h"
#include "python/call_failure.h"
#include "python/native_render.h"

namespace letterforge::python_module {
namespace py = pybind11;
namespace {

ManifestEntry entryOf(const JobLine& job) {
  return readManifestLine(ManifestLine{.number = job.number, .text = job.text}, job.folder,
                          job.defaults);
}

}  // namespace

std::vector<JobLine> manifestJobLines(const std::string& path) {
  std::string failure;
  std::optional<ManifestText> manifest;
  {
    py::gil_scoped_release release;
    manifest = readManifestText(path, failure);
  }
  if (!manifest) throw CallFailure{.errorClass = "ManifestError", .message = failure};
  std::vector<JobLine> jobs;
  for (const ManifestLine& line : manifestLines(manifest->text)) {
    jobs.push_back({.number = line.number, .text = std::string(line.text),
                    .folder = manifest->folder});
  }
  return jobs;
}

CheckedJobs checkJobs(const std::vector<JobLine>& jobs, const std::string& manifest) {
  py::gil_scoped_release release;  // the shared-file check asks the file system
  std::vector<ManifestEntry> entries;
  entries.reserve(jobs.size());
  for (const JobLine& job : jobs) entries.push_back(entryOf(job));
  CheckedJobs checked{.sharedFileFault = sharedFileFault(entries, manifest)};
  for (const ManifestEntry& entry : entries) {
    const PageJob& job = entry.job;
    const PageReport report = entry.failure.empty()
                                  ? PageReport{.line = job.line, .image = job.image,
                                               .output = job.output, .debug = job.debug}
                                  : unreadableLineReport(entry);
    checked.resultLines.push_back(resultLine(report));
  }
  return checked;
}

std::string runJob(const JobLine& job) {
  py::gil_scoped_release release;
  return resultLine(pageReport(entryOf(job), threadEngine()));
}

}  // namespace letterforge::python_module
