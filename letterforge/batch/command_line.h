#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "letterforge/driver/job_options.h"
#include "letterforge/driver/render_pipeline.h"

namespace letterforge {

// Exit statuses of letterforge-batch.
inline constexpr int kBatchAllRendered = 0;
inline constexpr int kBatchSomePagesFailed = 1;
inline constexpr int kBatchNotRun = 2;  // a bad command line, or a manifest refused as a whole
// Result lines could not be written to standard output (closed, a pipe nobody reads, a full
// disk): no page was started after the first lost line.
inline constexpr int kBatchResultsLost = 3;
// Stopped by a signal after the pages in flight: 128 + the signal, as shells report it.
inline constexpr int kBatchStoppedBase = 128;

inline constexpr int kMaxJobs = 256;

// The command line of letterforge-batch.
struct BatchArguments {
  std::string manifest{};  // a manifest, "-" (standard input), or a chapter: an archive or a folder
  int jobs = 0;            // 0: one per core
  JobOptions defaults{};   // the --set values
  BlockFlags failOn{};     // the --fail-on flags: a page with a block carrying one fails
  bool quiet = false;
  bool help = false;
  bool version = false;
  bool listFonts = false;
  bool dryRun = false;        // check every page, render none
  bool skipExisting = false;  // pages whose output is newer than their inputs are not rendered
  std::string resume{};       // an earlier run's result lines: the pages they report ok are not
  std::string payloads{};     // a chapter's payloads, looked for here first
  std::string outputFolder{};  // a chapter's pages are written here
  std::string outputCbz{};     // the finished pages also go into this comic archive
};

// Reads the arguments after the program name. Absent, with `failure` naming the argument,
// for an unknown flag, a flag without its value, a --jobs that is not a whole number from 1
// to kMaxJobs, a --set that is not NAME=VALUE for a run option with a value of its type, a
// --fail-on that is not a comma-separated list of flag words, and no manifest or more than one
// (none is needed with --list-fonts).
std::optional<BatchArguments> parseBatchArguments(const std::vector<std::string>& arguments,
                                                  std::string& failure);

// Sets one default from "name=value": a number by letterforge's number rule, a boolean as
// true or false in any letter case, a string as it stands. False, with `failure`, otherwise.
bool setDefaultOption(JobOptions& defaults, std::string_view assignment, std::string& failure);

inline constexpr const char* kBatchUsageLine =
    "Usage: letterforge-batch [FLAGS] <manifest.jsonl | - | chapter.cbz | chapter-folder>";

// What --help prints: every flag, manifest field, option, output field and exit status.
std::string batchHelpText();

}  // namespace letterforge
