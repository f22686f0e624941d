#include "letterforge/batch/shared_files.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <system_error>
#include <vector>

#include "letterforge/driver/page_layers.h"
#include "letterforge/inputs/block_overrides.h"
#include "platform/files.h"

namespace letterforge {
namespace {

namespace fs = std::filesystem;

struct Writer {
  std::int64_t line = 0;
  const char* role = "";
  std::string path{};  // as the line gives it
};

}  // namespace

std::vector<SharedFileFault> sharedFileFaults(const std::vector<ManifestEntry>& entries,
                                              const std::string& manifest) {
  std::vector<SharedFileFault> faults;
  std::map<std::string, Writer> written;
  for (const ManifestEntry& entry : entries) {
    if (!entry.failure.empty()) continue;
    const PageJob& job = entry.job;
    std::vector<std::pair<const char*, const std::string*>> files{{"output", &job.output},
                                                                  {"debug image", &job.debug}};
    const std::vector<std::string> layers = job.layers.empty() ? std::vector<std::string>{}
                                                               : layerPaths(job.layers);
    for (const std::string& layer : layers) files.emplace_back("layer", &layer);
    for (const auto& [role, path] : files) {
      // Any number of pages may be thrown away into /dev/null.
      std::error_code error;
      if (path->empty() || fs::is_character_file(*path, error)) continue;
      const auto [found, added] =
          written.emplace(platform::writtenPath(*path), Writer{job.line, role, *path});
      if (added) continue;
      if (found->second.line == job.line) {
        faults.push_back({job.line, "line " + std::to_string(job.line) + " writes " + *path + " as its " +
                                        found->second.role + " and as its " + role});
      } else {
        faults.push_back({job.line, "lines " + std::to_string(found->second.line) + " and " +
                                        std::to_string(job.line) + " both write " + *path});
      }
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
      const auto found = written.find(platform::writtenPath(*path));
      if (found == written.end() || found->second.line == job.line) continue;
      faults.push_back({job.line, "line " + std::to_string(found->second.line) + " writes " + *path +
                                      " as its " + found->second.role + ", which line " +
                                      std::to_string(job.line) + " reads"});
    }
  }
  // The manifest is read whole before any page runs, but a page written over it is lost work.
  if (const auto found = manifest.empty() ? written.end() : written.find(platform::writtenPath(manifest));
      found != written.end()) {
    faults.push_back({found->second.line, "line " + std::to_string(found->second.line) + " writes " +
                                              found->second.path + " as its " + found->second.role +
                                              ", which is the manifest"});
  }
  return faults;
}

std::optional<std::string> sharedFileFault(const std::vector<ManifestEntry>& entries,
                                           const std::string& manifest) {
  const auto faults = sharedFileFaults(entries, manifest);
  if (faults.empty()) return std::nullopt;
  return faults.front().fault;
}

}  // namespace letterforge
