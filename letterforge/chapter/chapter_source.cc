#include "letterforge/chapter/chapter_source.h"

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <system_error>
#include <utility>

#include "letterforge/chapter/member_names.h"
#include "letterforge/inputs/text_rules.h"
#include "platform/archive_reader.h"

namespace letterforge {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kOcrSuffix = ".ocr.json";
constexpr std::string_view kTranslationSuffix = ".translation.json";
constexpr std::string_view kComicInfo = "comicinfo.xml";
constexpr std::array<std::string_view, 7> kPageExtensions = {".png", ".jpg", ".jpeg", ".webp",
                                                             ".tif", ".tiff", ".gif"};
// Archives inside a chapter are not opened: each level would multiply what the limits allow.
constexpr std::array<std::string_view, 14> kArchiveExtensions = {
    ".zip", ".cbz", ".rar", ".cbr", ".7z", ".cb7", ".tar", ".cbt",
    ".gz",  ".tgz", ".bz2", ".xz",  ".zst", ".lz4"};

// A file kept for the chapter: its name in the chapter and where its bytes are.
using Kept = std::pair<std::string, ChapterFile>;

// A name as a message shows it: bytes that are not UTF-8 and control characters escaped.
std::string shownName(std::string_view stored) {
  if (isWellFormedUtf8(stored)) return visibleText(stored);
  std::string out;
  for (const char c : stored) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += visibleText(std::string_view(&c, 1));
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      out += escaped;
    }
  }
  return out;
}

std::string sizeWords(std::uint64_t bytes) {
  constexpr std::array<std::pair<std::uint64_t, const char*>, 3> kUnits = {
      {{1ull << 30, " GiB"}, {1ull << 20, " MiB"}, {1ull << 10, " KiB"}}};
  for (const auto& [unit, word] : kUnits) {
    if (bytes >= unit && bytes % unit == 0) return std::to_string(bytes / unit) + word;
  }
  return std::to_string(bytes) + " bytes";
}

bool endsWithAny(std::string_view name, std::span<const std::string_view> extensions) {
  const std::string extension = memberExtension(name);
  return std::find(extensions.begin(), extensions.end(), extension) != extensions.end();
}

bool isPayloadName(std::string_view name) {
  return name.ends_with(kOcrSuffix) || name.ends_with(kTranslationSuffix);
}

bool isComicInfo(std::string_view name) { return lowercasedText(name) == kComicInfo; }

bool isKeptName(std::string_view name) {
  return isPageImageName(name) || memberExtension(name) == ".json" || isComicInfo(name);
}

// Names seen so far, by the form a file system that ignores letter case would give them.
class NameRegister {
 public:
  // False, with `clash` describing it, for a name met before in any letter case.
  bool add(const std::string& name, std::string& clash) {
    const auto [place, added] = names_.emplace(caseFoldedText(name), name);
    if (added) return true;
    clash = place->second == name ? shownName(name) + " is stored twice"
                                  : shownName(place->second) + " and " + shownName(name) +
                                        " differ only in letter case";
    return false;
  }

 private:
  std::map<std::string, std::string> names_;
};

class ArchiveUnpacking {
 public:
  ArchiveUnpacking(const std::string& path, const std::string& folder, const ArchiveLimits& limits)
      : path_(path), folder_(folder), limits_(limits) {}

  std::optional<std::vector<Kept>> run(std::string& failure) {
    auto reader = platform::ArchiveReader::open(path_, failure);
    if (!reader) {
      failure = path_ + ": not a comic archive: " + failure;
      return std::nullopt;
    }
    std::int64_t count = 0;
    std::string last;
    while (const auto header = reader->next(failure)) {
      if (++count > limits_.members) {
        failure = path_ + ": holds more than " + std::to_string(limits_.members) +
                  " members, the most read from one archive";
        return std::nullopt;
      }
      if (!take(*reader, *header, failure)) return std::nullopt;
      last = header->name;
    }
    if (!failure.empty()) {
      failure = path_ + ": truncated or damaged " +
                (last.empty() ? "at its start" : "after " + shownName(last)) + ": " + failure;
      return std::nullopt;
    }
    if (count == 0) {
      failure = path_ + ": the archive is empty";
      return std::nullopt;
    }
    return std::move(kept_);
  }

 private:
  bool refuse(std::string_view name, const std::string& why, std::string& failure) {
    failure = path_ + ": " + shownName(name) + ": " + why;
    return false;
  }

  bool take(platform::ArchiveReader& reader, const platform::ArchiveMemberHeader& header,
            std::string& failure) {
    std::string problem;
    const auto name = header.nameConverted ? chapterMemberName(header.name, problem) : std::nullopt;
    if (!header.nameConverted) problem = "its name is not UTF-8";
    if (!name) return refuse(header.name, problem, failure);
    if (header.kind == platform::ArchiveMemberKind::kDirectory) return true;
    if (header.kind == platform::ArchiveMemberKind::kLink) {
      return refuse(*name, "is a link; links in archives are not followed", failure);
    }
    if (header.kind != platform::ArchiveMemberKind::kFile) {
      return refuse(*name, "is not a regular file", failure);
    }
    const std::uint64_t declared =
        header.size ? static_cast<std::uint64_t>(std::max<std::int64_t>(*header.size, 0)) : 0;
    if (declared > limits_.memberBytes) return refuse(*name, memberLimitWords(), failure);
    declared_ += declared;
    if (declared_ > limits_.totalBytes) return refuse(*name, totalLimitWords(), failure);
    if (isSkippedMember(*name)) return true;
    if (!names_.add(*name, problem)) {
      failure = path_ + ": " + problem;
      return false;
    }
    if (header.encrypted) return refuse(*name, "is encrypted; encrypted archives are not read", failure);
    if (endsWithAny(*name, kArchiveExtensions)) {
      return refuse(*name, "is an archive inside the archive; unpack it and give it on its own", failure);
    }
    if (!isKeptName(*name)) return true;
    return unpack(reader, *name, failure);
  }

  std::string memberLimitWords() const {
    return "unpacks to more than " + sizeWords(limits_.memberBytes) + ", the most read of one member";
  }
  std::string totalLimitWords() const {
    return "the members unpack to more than " + sizeWords(limits_.totalBytes) +
           " in all, the most read from one archive";
  }

  bool unpack(platform::ArchiveReader& reader, const std::string& name, std::string& failure) {
    const std::string copy = folder_ + "/" + std::to_string(kept_.size() + 1);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(copy.c_str(), "wbx"), std::fclose);
    if (!out) return refuse(name, std::string("cannot be unpacked: ") + std::strerror(errno), failure);
    std::uint64_t size = 0;
    std::string limit;
    bool written = true;
    const bool read = reader.read([&](std::span<const std::uint8_t> part) {
      size += part.size();
      unpacked_ += part.size();
      if (size > limits_.memberBytes) limit = memberLimitWords();
      if (unpacked_ > limits_.totalBytes) limit = totalLimitWords();
      written = limit.empty() && std::fwrite(part.data(), 1, part.size(), out.get()) == part.size();
      return written;
    }, failure);
    if (!limit.empty()) return refuse(name, limit, failure);
    if (!written || std::fflush(out.get()) != 0) {
      return refuse(name, std::string("cannot be unpacked: ") + std::strerror(errno), failure);
    }
    if (!read) return refuse(name, "truncated or damaged: " + failure, failure);
    kept_.emplace_back(name, ChapterFile{.path = copy, .label = path_ + ":" + name});
    return true;
  }

  const std::string& path_;
  const std::string& folder_;
  const ArchiveLimits& limits_;
  NameRegister names_;
  std::vector<Kept> kept_;
  std::uint64_t declared_ = 0;
  std::uint64_t unpacked_ = 0;
};

// The files of a folder and its subfolders, hidden ones and links to folders left out.
std::optional<std::vector<Kept>> folderFiles(const std::string& path, const ArchiveLimits& limits,
                                             std::string& failure) {
  std::vector<Kept> kept;
  NameRegister names;
  std::error_code error;
  std::int64_t count = 0;
  fs::recursive_directory_iterator walk(path, error);
  for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
    if (++count > limits.members) {
      failure = path + ": holds more than " + std::to_string(limits.members) +
                " files, the most read from one folder";
      return std::nullopt;
    }
    const std::string relative = walk->path().lexically_relative(path).generic_string();
    std::string problem;
    const auto name = chapterMemberName(relative, problem);
    if (!name) {
      failure = path + ": " + shownName(relative) + ": " + problem;
      return std::nullopt;
    }
    std::error_code unknown;  // a link leading nowhere is no file of the chapter
    if (isSkippedMember(*name)) {
      if (walk->is_directory(unknown)) walk.disable_recursion_pending();
      continue;
    }
    if (!walk->is_regular_file(unknown) || !isKeptName(*name)) continue;
    if (!names.add(*name, problem)) {
      failure = path + ": " + problem;
      return std::nullopt;
    }
    kept.emplace_back(*name, ChapterFile{.path = walk->path().string(), .label = walk->path().string()});
  }
  if (error) {
    failure = path + ": cannot be read: " + error.message();
    return std::nullopt;
  }
  return kept;
}

std::optional<std::string> makeUnpackFolder(std::string& failure) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/lf-chapter-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    failure = std::string("cannot make a folder to unpack into: ") + std::strerror(errno);
    return std::nullopt;
  }
  return pattern;
}

ChapterFile payloadOf(const std::map<std::string, ChapterFile>& files, const std::string& payloadFolder,
                      std::string_view stem, std::string_view suffix) {
  const std::string name = std::string(stem) + std::string(suffix);
  if (!payloadFolder.empty()) {
    const std::string path = payloadFolder + "/" + name;
    std::error_code error;
    if (fs::is_regular_file(path, error)) return ChapterFile{.path = path, .label = path};
  }
  const auto found = files.find(name);
  return found == files.end() ? ChapterFile{} : found->second;
}

std::optional<Chapter> assemble(ChapterFiles files, const std::string& payloadFolder,
                                std::string& failure) {
  Chapter chapter{.source = files.source, .unpacked = std::move(files.unpacked)};
  const std::map<std::string, ChapterFile> byName(files.files.begin(), files.files.end());
  bool anyPayloads = false;
  for (const auto& [name, file] : files.files) {
    if (isComicInfo(name)) chapter.comicInfo = file;
    if (!isPageImageName(name)) continue;
    const std::string_view stem = memberStem(name);
    ChapterPage page{.name = name,
                     .image = file,
                     .ocr = payloadOf(byName, payloadFolder, stem, kOcrSuffix),
                     .translation = payloadOf(byName, payloadFolder, stem, kTranslationSuffix)};
    anyPayloads = anyPayloads || (!page.ocr.path.empty() && !page.translation.path.empty());
    chapter.pages.push_back(std::move(page));
  }
  if (chapter.pages.empty()) {
    failure = chapter.source + ": holds no page image (.png, .jpg, .jpeg, .webp, .tif, .tiff, .gif)";
    return std::nullopt;
  }
  if (!anyPayloads) {
    failure = chapter.source + ": no page has its payloads, <page>" + std::string(kOcrSuffix) +
              " and <page>" + std::string(kTranslationSuffix) +
              (payloadFolder.empty() ? " beside it" : " beside it or in " + payloadFolder);
    return std::nullopt;
  }
  std::sort(chapter.pages.begin(), chapter.pages.end(),
            [](const ChapterPage& a, const ChapterPage& b) { return naturalLess(a.name, b.name); });
  return chapter;
}

}  // namespace

UnpackedFolder& UnpackedFolder::operator=(UnpackedFolder&& other) noexcept {
  if (this != &other) {
    UnpackedFolder gone(std::move(*this));
    path_ = std::exchange(other.path_, {});
  }
  return *this;
}

UnpackedFolder::~UnpackedFolder() {
  if (path_.empty()) return;
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

bool isPageImageName(std::string_view name) {
  return !isPayloadName(name) && endsWithAny(name, kPageExtensions);
}

std::optional<ChapterFiles> openChapterFiles(const std::string& path, const ArchiveLimits& limits,
                                             std::string& failure) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error) {
    failure = path + ": cannot be read: " + error.message();
    return std::nullopt;
  }
  ChapterFiles files{.source = path};
  std::optional<std::vector<Kept>> kept;
  if (fs::is_directory(status)) {
    kept = folderFiles(path, limits, failure);
  } else {
    const auto folder = makeUnpackFolder(failure);
    if (!folder) {
      failure = path + ": " + failure;
      return std::nullopt;
    }
    files.unpacked = UnpackedFolder(*folder);
    kept = ArchiveUnpacking(path, *folder, limits).run(failure);
  }
  if (!kept) return std::nullopt;
  files.files = std::move(*kept);
  return files;
}

std::optional<Chapter> openChapter(const std::string& path, const std::string& payloadFolder,
                                   const ArchiveLimits& limits, std::string& failure) {
  auto files = openChapterFiles(path, limits, failure);
  if (!files) return std::nullopt;
  return assemble(std::move(*files), payloadFolder, failure);
}

}  // namespace letterforge
