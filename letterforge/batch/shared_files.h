#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "letterforge/batch/manifest.h"

namespace letterforge {

// The first file that two page jobs would both write (as output or debug image, a job's own
// two included), or that one job writes while another reads it or that is the manifest
// itself, in words naming the lines. Absent when every job writes files of its own; character
// devices such as /dev/null may be shared. Paths are compared as the writes would reach them
// (platform::writtenPath): made absolute, "." and ".." taken out, and every symbolic link
// followed, also those whose targets do not exist yet. `manifest` is empty for standard input.
std::optional<std::string> sharedFileFault(const std::vector<ManifestEntry>& entries,
                                           const std::string& manifest = {});

// Every such fault, in the same words, with the line it is charged to: the later of two
// writers, the reader of a file another line writes.
struct SharedFileFault {
  std::int64_t line = 0;
  std::string fault{};
  bool operator==(const SharedFileFault&) const = default;
};
std::vector<SharedFileFault> sharedFileFaults(const std::vector<ManifestEntry>& entries,
                                              const std::string& manifest = {});

}  // namespace letterforge
