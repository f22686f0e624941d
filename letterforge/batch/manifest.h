#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "letterforge/driver/job_options.h"

namespace letterforge {

// One page of a chapter as a manifest line describes it, its paths read from the manifest's
// folder.
struct PageJob {
  std::int64_t line = 0;  // in the manifest, counted from 1
  std::string image{};
  std::string ocr{};
  std::string translation{};
  std::string output{};
  std::string debug{};  // empty: no debug image
  std::string layers{};  // empty: no layers; else the start of the layer files' paths
  JobOptions options{};
  bool operator==(const PageJob&) const = default;
};

// A manifest line that is not blank: the job it describes, or why it describes none.
struct ManifestEntry {
  PageJob job{};          // with a failure: the line number and the paths that could be read
  std::string failure{};  // empty: the job stands; else the fault, naming its field
  bool operator==(const ManifestEntry&) const = default;
};

// The largest manifest read; some hundred thousand pages.
inline constexpr std::uint64_t kMaxManifestBytes = 64ull * 1024 * 1024;

// One line of a manifest that holds more than white space.
struct ManifestLine {
  std::int64_t number = 0;  // counted from 1
  std::string_view text{};
};

// The lines of a manifest that hold more than white space, a leading byte order mark left out;
// views into `text`.
std::vector<ManifestLine> manifestLines(std::string_view text);

// The job one line describes. Relative paths are read from `folder` (empty: the current
// directory); options start from `defaults`, and a null value keeps one.
ManifestEntry readManifestLine(const ManifestLine& line, const std::string& folder,
                               const JobOptions& defaults);

// One entry per line that holds more than white space, as readManifestLine reads it.
std::vector<ManifestEntry> readManifest(std::string_view text, const std::string& folder,
                                        const JobOptions& defaults);

// A manifest as read from its file, and the folder its relative paths are read from.
struct ManifestText {
  std::string text{};
  std::string folder{};  // empty: the current directory
};

// The manifest at `path` ("-": standard input, its paths read from the current directory).
// Absent, with `failure` naming the manifest, when it cannot be read or holds no line but
// blank ones.
std::optional<ManifestText> readManifestText(const std::string& path, std::string& failure);

// The entries of the manifest at `path`, read by readManifestText and readManifest.
std::optional<std::vector<ManifestEntry>> loadManifest(const std::string& path,
                                                       const JobOptions& defaults,
                                                       std::string& failure);

// `path` as read from `folder`: unchanged when absolute or when the folder is empty.
std::string resolvedPath(const std::string& folder, const std::string& path);

// The description of a run option by its snake_case name; null for another name.
const OptionDescription* findOption(std::string_view name);

}  // namespace letterforge
