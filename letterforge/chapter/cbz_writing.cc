#include "letterforge/chapter/cbz_writing.h"

#include "platform/archive_writer.h"
#include "platform/files.h"

namespace letterforge {
namespace {

// One member is read whole: a page image, at most what a chapter unpacks of one member.
constexpr std::uint64_t kMostMemberBytes = ArchiveLimits{}.memberBytes;

bool addMember(platform::ArchiveWriter& writer, const CbzMember& member, std::string& failure) {
  std::string reason;
  const auto bytes = platform::readWholeFile(member.file, kMostMemberBytes, reason);
  if (!bytes) {
    failure = member.file + ": cannot be read: " + reason;
    return false;
  }
  const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes->data()),
                                           bytes->size());
  return writer.addFile(member.name, data, failure);
}

}  // namespace

bool writeCbz(const std::string& path, const std::vector<CbzMember>& members,
              const ChapterFile& comicInfo, std::string& failure) {
  auto file = platform::FileReplacement::begin(path, failure);
  if (!file) {
    failure = "Could not write " + path + ": " + failure;
    return false;
  }
  std::string writeFailure;
  auto writer = platform::ArchiveWriter::open(
      platform::ArchiveFormat::kZipStored,
      [&file, &writeFailure](std::span<const std::uint8_t> bytes) {
        return file->append(bytes, writeFailure);
      },
      failure);
  std::vector<CbzMember> all;
  if (!comicInfo.path.empty()) all.push_back({"ComicInfo.xml", comicInfo.path});
  all.insert(all.end(), members.begin(), members.end());
  bool written = writer.has_value();
  for (const CbzMember& member : all) {
    if (!written) break;
    written = addMember(*writer, member, failure);
  }
  written = written && writer->finish(failure) && file->commit(failure);
  if (!written && !writeFailure.empty()) failure = writeFailure;
  if (!written) failure = "Could not write " + path + ": " + failure;
  return written;
}

}  // namespace letterforge
