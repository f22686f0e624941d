#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace letterforge {

// How much of an archive a chapter reads at most, so that an archive bomb (a few kilobytes
// that unpack to gigabytes, or millions of members) is refused instead of filling the disk.
struct ArchiveLimits {
  std::int64_t members = 10000;           // members listed, left-out ones included
  std::uint64_t memberBytes = 512ull << 20;  // one member unpacked
  std::uint64_t totalBytes = 4ull << 30;     // all members, as declared and as unpacked
};

// A file a chapter reads, and how messages name it: "chapter.cbz:002.png" for a member of an
// archive (read from its unpacked copy), the path itself for a file of a folder.
struct ChapterFile {
  std::string path{};   // empty: there is none
  std::string label{};
  bool operator==(const ChapterFile&) const = default;
};

// One page: its image and the payloads found for it, "<stem>.ocr.json" and
// "<stem>.translation.json" in the payload folder or else beside the image.
struct ChapterPage {
  std::string name{};  // in the chapter, parts joined by "/": "ch1/002.png"
  ChapterFile image{};
  ChapterFile ocr{};
  ChapterFile translation{};
  bool operator==(const ChapterPage&) const = default;
};

// Deletes the folder an archive's members were unpacked into when it goes.
class UnpackedFolder {
 public:
  UnpackedFolder() = default;
  explicit UnpackedFolder(std::string path) : path_(std::move(path)) {}
  UnpackedFolder(UnpackedFolder&& other) noexcept : path_(std::exchange(other.path_, {})) {}
  UnpackedFolder& operator=(UnpackedFolder&& other) noexcept;
  ~UnpackedFolder();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The files of an archive or folder that chapters read (page images, JSON files and
// ComicInfo.xml), by their names in it.
struct ChapterFiles {
  std::string source{};
  std::vector<std::pair<std::string, ChapterFile>> files{};  // in stored order
  UnpackedFolder unpacked{};
};

// The files of an archive (unpacked into a private temporary folder, under names of its own)
// or of a folder, refused as openChapter refuses them.
std::optional<ChapterFiles> openChapterFiles(const std::string& path, const ArchiveLimits& limits,
                                             std::string& failure);

struct Chapter {
  std::string source{};             // the archive or folder as given
  std::vector<ChapterPage> pages{};  // in natural order of their names
  ChapterFile comicInfo{};          // "ComicInfo.xml" at the top, when there is one
  UnpackedFolder unpacked{};        // where an archive's members were unpacked
};

// True for the names of page images: .png, .jpg, .jpeg, .webp, .tif, .tiff, .gif, any case.
bool isPageImageName(std::string_view name);

// Opens a chapter: a comic archive (CBZ, CBR, CB7, ZIP, RAR, 7z, tar, recognised by content)
// or a folder of page images (subfolders included), leaving out "__MACOSX/" and hidden files.
// An archive's pages, payloads and ComicInfo.xml are unpacked into a private temporary folder,
// under names of its own. `payloadFolder` (may be empty) is looked in first for each page's
// payloads, with the page's subfolders. Absent, with `failure` naming the chapter and the
// member, when the chapter cannot be read, holds a member refused by chapterMemberName, a link,
// an encrypted or damaged member, another archive, two members whose names differ only in
// letter case, more than the limits allow, no page image, or no page with both payloads.
std::optional<Chapter> openChapter(const std::string& path, const std::string& payloadFolder,
                                   const ArchiveLimits& limits, std::string& failure);

}  // namespace letterforge
