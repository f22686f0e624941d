#pragma once

#include <string>
#include <vector>

#include "letterforge/chapter/chapter_source.h"

namespace letterforge {

// A member of a comic archive to write: its name in the archive and the file holding it.
struct CbzMember {
  std::string name{};
  std::string file{};
  bool operator==(const CbzMember&) const = default;
};

// Writes a CBZ (a ZIP whose members are stored as they are) at `path`: `comicInfo`'s file first
// as "ComicInfo.xml" when it has one, then the members in the order given, each read whole in
// turn. The archive takes its name only when whole: on any failure nothing is left at `path`
// but what was there. False, with `failure` naming the archive or the member's file.
bool writeCbz(const std::string& path, const std::vector<CbzMember>& members,
              const ChapterFile& comicInfo, std::string& failure);

}  // namespace letterforge
