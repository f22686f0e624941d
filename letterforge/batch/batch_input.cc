#include "letterforge/batch/batch_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <map>

#include "letterforge/inputs/text_rules.h"

namespace letterforge {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string withoutExtension(std::string path) {
  while (path.size() > 1 && path.ends_with('/')) path.pop_back();
  const auto dot = path.find_last_of('.');
  const auto slash = path.find_last_of('/');
  if (dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash + 1)) {
    path.erase(dot);
  }
  return path;
}

// The first bytes of a file; empty when it cannot be read (the manifest reader says why).
std::string firstBytes(const std::string& path) {
  std::array<char, 4096> buffer{};
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  const ssize_t n = ::read(fd, buffer.data(), buffer.size());
  ::close(fd);
  return n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
}

bool refuseChapterFlags(const BatchArguments& arguments, std::string& failure) {
  for (const auto& [flag, value] : {std::pair{"--payloads", &arguments.payloads},
                                    std::pair{"--output-dir", &arguments.outputFolder}}) {
    if (!value->empty()) {
      failure = std::string(flag) + ": only for a chapter given as an archive or a folder";
      return false;
    }
  }
  return true;
}

}  // namespace

bool namesManifest(const std::string& path) {
  if (path == "-") return true;
  std::error_code error;
  if (fs::is_directory(path, error)) return false;
  // A named pipe or a missing file is read as a manifest, which says what is wrong with it.
  if (!fs::is_regular_file(path, error)) return true;
  const std::string bytes = firstBytes(path);
  std::string_view start = bytes;
  if (start.starts_with(kByteOrderMark)) start.remove_prefix(kByteOrderMark.size());
  const auto first = start.find_first_not_of(" \t\r\n");
  return first == std::string_view::npos || start[first] == '{';
}

std::string chapterOutputFolder(const BatchArguments& arguments) {
  if (!arguments.outputFolder.empty()) return arguments.outputFolder;
  if (!arguments.outputCbz.empty()) return withoutExtension(arguments.outputCbz);
  return withoutExtension(arguments.manifest) + "-letterforge";
}

std::optional<BatchInput> loadBatchInput(const BatchArguments& arguments, std::string& failure) {
  BatchInput input;
  if (!namesManifest(arguments.manifest)) {
    input.chapter = openChapter(arguments.manifest, arguments.payloads, ArchiveLimits{}, failure);
    if (!input.chapter) return std::nullopt;
    input.entries = chapterEntries(*input.chapter, chapterOutputFolder(arguments), arguments.defaults);
    return input;
  }
  auto entries = loadManifest(arguments.manifest, arguments.defaults, failure);
  if (!entries || !refuseChapterFlags(arguments, failure)) return std::nullopt;
  auto archives = resolveArchiveMembers(*entries, manifestFolder(arguments.manifest),
                                        ArchiveLimits{}, failure);
  if (!archives) return std::nullopt;
  input.entries = std::move(*entries);
  input.archives = std::move(*archives);
  return input;
}

std::optional<std::vector<CbzMember>> cbzMembersOf(const BatchInput& input,
                                                   const std::string& outputFolder,
                                                   std::string& failure) {
  std::vector<CbzMember> members;
  std::map<std::string, std::int64_t> lines;  // by the member's name, letter case aside
  for (const ManifestEntry& entry : input.entries) {
    const PageJob& job = entry.job;
    if (job.output.empty()) continue;  // a line that cannot be read fails, and the archive with it
    const std::string name = input.chapter ? fs::path(job.output).lexically_relative(outputFolder).generic_string()
                                           : fs::path(job.output).filename().string();
    const auto [found, added] = lines.emplace(caseFoldedText(name), job.line);
    if (!added) {
      failure = "--output-cbz: lines " + std::to_string(found->second) + " and " +
                std::to_string(job.line) + " would both be the archive's " + name;
      return std::nullopt;
    }
    members.push_back(CbzMember{.name = name, .file = job.output});
  }
  return members;
}

}  // namespace letterforge
