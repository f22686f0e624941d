#pragma once

#include <optional>
#include <string>
#include <vector>

#include "letterforge/batch/manifest.h"
#include "letterforge/chapter/chapter_source.h"

namespace letterforge {

// The page jobs of a chapter, one per page in the chapter's order, numbered from 1. Each
// writes <outputFolder>/<page name> in the format option's format, else in the page's own
// when letterforge writes it (PNG, JPEG, WebP), else as PNG; a page without either payload
// has its image copied under its own name. A page with one payload but not the other is
// rendered, and fails naming the one it lacks.
std::vector<ManifestEntry> chapterEntries(const Chapter& chapter, const std::string& outputFolder,
                                          const JobOptions& defaults);

// The archives named by manifest lines ("archive"), unpacked for as long as it lives.
struct ArchiveMembers {
  std::vector<ChapterFiles> archives{};
};

// Makes the files of lines that name an archive the archive's members: "image" must be one
// (the line fails as an image that cannot be opened otherwise); "ocr" and "translation" are
// members where the archive holds them, else files read from `manifestFolder`. Each archive
// is opened once. Absent, with `failure` naming the archive and the member, when an archive
// is refused as openChapterFiles refuses it.
std::optional<ArchiveMembers> resolveArchiveMembers(std::vector<ManifestEntry>& entries,
                                                    const std::string& manifestFolder,
                                                    const ArchiveLimits& limits,
                                                    std::string& failure);

}  // namespace letterforge
