#pragma once

#include <optional>
#include <string>
#include <vector>

#include "letterforge/batch/chapter_jobs.h"
#include "letterforge/batch/command_line.h"
#include "letterforge/batch/manifest.h"
#include "letterforge/chapter/cbz_writing.h"
#include "letterforge/chapter/chapter_source.h"

namespace letterforge {

// What a run works on: the page jobs of a manifest or of a chapter, and the unpacked archives
// they read, which live as long as this does.
struct BatchInput {
  std::vector<ManifestEntry> entries{};
  std::optional<Chapter> chapter{};  // the chapter given instead of a manifest
  ArchiveMembers archives{};          // the archives manifest lines name
};

// True when the path names a manifest rather than a chapter: "-", or a file whose first
// character other than white space (and a byte-order mark) is "{", or that holds none.
bool namesManifest(const std::string& path);

// The folder a chapter's pages are written to: --output-dir; else the --output-cbz path
// without its extension; else the chapter's path without its extension and "-letterforge".
std::string chapterOutputFolder(const BatchArguments& arguments);

// The page jobs of the manifest or chapter the arguments name. Absent, with `failure`, when
// it cannot be read or is refused, or when the flags for chapters are given with a manifest.
std::optional<BatchInput> loadBatchInput(const BatchArguments& arguments, std::string& failure);

// The members of the comic archive of a run: each page's output, under its name in the
// chapter's output folder, or its file name for a manifest's page. Absent, with `failure`,
// when two would have one name, letter case aside.
std::optional<std::vector<CbzMember>> cbzMembersOf(const BatchInput& input,
                                                   const std::string& outputFolder,
                                                   std::string& failure);

}  // namespace letterforge
