#pragma once

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

}  // namespace letterforge
