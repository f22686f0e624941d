#pragma once

#include <optional>
#include <set>
#include <string>
#include <utility>

#include "letterforge/batch/manifest.h"

namespace letterforge {

// The pages an earlier run reported done, by the image and the output its result lines name.
struct DonePages {
  std::set<std::pair<std::string, std::string>> pages{};
};

// The pages the result lines in the file report ok. Lines that are not result lines (one cut
// short by a killed run, say) are passed over. Absent, with `failure` naming the file, when it
// cannot be read.
std::optional<DonePages> loadDonePages(const std::string& path, std::string& failure);

inline constexpr const char* kSkippedDone = "done earlier";
inline constexpr const char* kSkippedExists = "output exists";

// Why the page need not be rendered again: kSkippedDone when `done` (may be null) holds its
// image and output; kSkippedExists when `skipExisting` and its output (and its debug image,
// when it asks for one) are files newer than each of its inputs (for a member of an archive,
// the archive). Absent when the page is to be rendered.
std::optional<std::string> skipReason(const PageJob& job, const DonePages* done, bool skipExisting);

}  // namespace letterforge
