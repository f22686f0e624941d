#include "letterforge/batch/chapter_jobs.h"

#include <map>

#include "letterforge/chapter/member_names.h"

namespace letterforge {
namespace {

// The name the rendered page is written under.
std::string outputName(const ChapterPage& page, const JobOptions& options) {
  const std::string stem(memberStem(page.name));
  if (options.format) {
    switch (*options.format) {
      case ImageFormat::kJpeg: return stem + ".jpg";
      case ImageFormat::kWebp: return stem + ".webp";
      case ImageFormat::kPng: return stem + ".png";
    }
  }
  return formatOfPath(page.name) ? page.name : stem + ".png";
}

// Where a job reads a file from, and the name it goes by when not its path.
void readFrom(const ChapterFile& file, std::string& path, std::string& name) {
  path = file.path.empty() ? file.label : file.path;
  name = file.path.empty() || file.path == file.label ? "" : file.label;
}

void useMember(const ChapterFile& member, std::string& path, std::string& name) {
  path = member.path;
  name = member.label;
}

}  // namespace

std::vector<ManifestEntry> chapterEntries(const Chapter& chapter, const std::string& outputFolder,
                                          const JobOptions& defaults) {
  std::vector<ManifestEntry> entries;
  for (const ChapterPage& page : chapter.pages) {
    PageJob job{.line = static_cast<std::int64_t>(entries.size()) + 1, .options = defaults,
                .archive = chapter.source};
    readFrom(page.image, job.image, job.imageName);
    job.copyImage = page.ocr.path.empty() && page.translation.path.empty();
    if (!job.copyImage) {
      readFrom(page.ocr, job.ocr, job.ocrName);
      readFrom(page.translation, job.translation, job.translationName);
    }
    job.output = resolvedPath(outputFolder, job.copyImage ? page.name : outputName(page, defaults));
    entries.push_back(ManifestEntry{.job = std::move(job)});
  }
  return entries;
}

std::optional<ArchiveMembers> resolveArchiveMembers(std::vector<ManifestEntry>& entries,
                                                    const std::string& manifestFolder,
                                                    const ArchiveLimits& limits,
                                                    std::string& failure) {
  ArchiveMembers members;
  std::map<std::string, std::map<std::string, ChapterFile>> opened;
  for (ManifestEntry& entry : entries) {
    PageJob& job = entry.job;
    if (!entry.failure.empty() || job.archive.empty()) continue;
    auto found = opened.find(job.archive);
    if (found == opened.end()) {
      auto files = openChapterFiles(job.archive, limits, failure);
      if (!files) return std::nullopt;
      found = opened.emplace(job.archive, std::map<std::string, ChapterFile>(files->files.begin(),
                                                                             files->files.end())).first;
      members.archives.push_back(std::move(*files));
    }
    const auto member = [&found](const std::string& name) -> const ChapterFile* {
      std::string problem;
      const auto tidy = chapterMemberName(name, problem);
      const auto file = tidy ? found->second.find(*tidy) : found->second.end();
      return file == found->second.end() ? nullptr : &file->second;
    };
    if (const ChapterFile* image = member(job.image)) {
      useMember(*image, job.image, job.imageName);
    } else {
      job.image = job.archive + ":" + job.image;  // opens as no image, named as the line names it
    }
    for (auto [path, name] : {std::pair{&job.ocr, &job.ocrName}, std::pair{&job.translation, &job.translationName}}) {
      if (const ChapterFile* file = member(*path)) {
        useMember(*file, *path, *name);
      } else {
        *path = resolvedPath(manifestFolder, *path);
      }
    }
  }
  return members;
}

}  // namespace letterforge
