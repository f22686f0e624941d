#pragma once

// The jobs of chapters rendered through letterforge.distributed, read, checked and run by
// letterforge-batch's own code: its manifest reader, its refusal of shared files, its page run
// and its result lines, so that a job gives the same record in both.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "letterforge/batch/manifest.h"
#include "letterforge/driver/job_options.h"

namespace letterforge::python_module {

// A job as a manifest line: its number, its JSON text, the folder its relative paths are read
// from (empty: the current directory), and the options that apply where it sets none.
struct JobLine {
  std::int64_t number = 0;
  std::string text{};
  std::string folder{};
  JobOptions defaults{};
};

// The manifest at `path` as job lines ("-": standard input). Throws CallFailure (ManifestError)
// with the batch program's message when it cannot be read or holds no job.
std::vector<JobLine> manifestJobLines(const std::string& path);

// The jobs as the batch program checks them before it renders any.
struct CheckedJobs {
  // Per job, the result line it would have if it were never rendered: its paths, "ok" true
  // when it describes a job, else its failure.
  std::vector<std::string> resultLines{};
  std::optional<std::string> sharedFileFault{};  // two jobs writing one file, and the like
};
// `manifest` is the file the jobs were read from, which no job may write (empty: none).
CheckedJobs checkJobs(const std::vector<JobLine>& jobs, const std::string& manifest = {});

// Renders the job and writes its files on this thread's engine, with the GIL released, as
// letterforge-batch does; its result line.
std::string runJob(const JobLine& job);

}  // namespace letterforge::python_module
