#include "letterforge/batch/shared_files.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <system_error>
#include <vector>

#include "letterforge/inputs/block_overrides.h"

namespace letterforge {
namespace {

namespace fs = std::filesystem;

std::string comparable(const std::string& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) return path;
  fs::path resolved = fs::weakly_canonical(absolute, error);
  return (error ? absolute.lexically_normal() : resolved).string();
}

struct Writer {
  std::int64_t line = 0;
  const char* role = "";
};

}  // namespace

std::optional<std::string> sharedFileFault(const std::vector<ManifestEntry>& entries) {
  std::map<std::string, Writer> written;
  for (const ManifestEntry& entry : entries) {
    if (!entry.failure.empty()) continue;
    const PageJob& job = entry.job;
    const std::pair<const char*, const std::string*> files[] = {{"output", &job.output},
                                                                {"debug image", &job.debug}};
    for (const auto& [role, path] : files) {
      // Any number of pages may be thrown away into /dev/null.
      std::error_code error;
      if (path->empty() || fs::is_character_file(*path, error)) continue;
      const auto [found, added] = written.emplace(comparable(*path), Writer{job.line, role});
      if (added) continue;
      if (found->second.line == job.line) {
        return "line " + std::to_string(job.line) + " writes " + *path +
               " as its output and as its debug image";
      }
      return "lines " + std::to_string(found->second.line) + " and " + std::to_string(job.line) +
             " both write " + *path;
    }
  }
  // A page read while another page replaces it would come out one way or the other, by chance.
  for (const ManifestEntry& entry : entries) {
    if (!entry.failure.empty()) continue;
    const PageJob& job = entry.job;
    std::vector<const std::string*> read = {&job.image, &job.ocr, &job.translation};
    const std::string& blocks = job.options.settings.blocks;
    if (!blocks.empty() && !isInlineOverrides(blocks)) read.push_back(&blocks);
    for (const std::string* path : read) {
      const auto found = written.find(comparable(*path));
      if (found == written.end() || found->second.line == job.line) continue;
      return "line " + std::to_string(found->second.line) + " writes " + *path + " as its " +
             found->second.role + ", which line " + std::to_string(job.line) + " reads";
    }
  }
  return std::nullopt;
}

}  // namespace letterforge
