#include "platform/archive_reader.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <utility>

#include "platform/utf8_names.h"

namespace platform {
namespace {

constexpr std::size_t kReadBlockBytes = 64 * 1024;

std::string errorOf(archive* a, const char* otherwise) {
  const char* text = archive_error_string(a);
  return text ? text : otherwise;
}

// A tar archive ends in two blocks of zeros; one cut short between two members ends in a
// member's data instead, and the archive library reads it as a shorter archive. Compressed
// tar archives cut short are found out by their decompressor.
bool isPlainTar(archive* a) {
  return (archive_format(a) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_TAR &&
         archive_filter_count(a) == 1;
}

bool endsInZeroBlocks(const std::string& path) {
  constexpr std::size_t kEndBytes = 1024;
  std::array<char, kEndBytes> tail{};
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  const bool read = fd >= 0 && ::fstat(fd, &info) == 0 && static_cast<std::size_t>(info.st_size) >= kEndBytes &&
                    ::pread(fd, tail.data(), kEndBytes, info.st_size - static_cast<off_t>(kEndBytes)) ==
                        static_cast<ssize_t>(kEndBytes);
  if (fd >= 0) ::close(fd);
  return read && std::all_of(tail.begin(), tail.end(), [](char c) { return c == 0; });
}

ArchiveMemberKind kindOf(archive_entry* entry) {
  if (archive_entry_hardlink(entry) || archive_entry_symlink(entry)) return ArchiveMemberKind::kLink;
  switch (archive_entry_filetype(entry)) {
    case AE_IFREG: return ArchiveMemberKind::kFile;
    case AE_IFDIR: return ArchiveMemberKind::kDirectory;
    case AE_IFLNK: return ArchiveMemberKind::kLink;
  }
  return ArchiveMemberKind::kOther;
}

}  // namespace

struct ArchiveReader::Impl {
  std::string path{};
  archive* handle = archive_read_new();
  locale_t utf8 = makeUtf8Names();

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() {
    if (handle) archive_read_free(handle);
    if (utf8) ::freelocale(utf8);
  }
};

ArchiveReader::ArchiveReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ArchiveReader::ArchiveReader(ArchiveReader&&) noexcept = default;
ArchiveReader& ArchiveReader::operator=(ArchiveReader&&) noexcept = default;
ArchiveReader::~ArchiveReader() = default;

std::optional<ArchiveReader> ArchiveReader::open(const std::string& path, std::string& failure) {
  auto impl = std::make_unique<Impl>();
  if (!impl->handle) {
    failure = "out of memory";
    return std::nullopt;
  }
  const Utf8Names names(impl->utf8);
  archive* a = impl->handle;
  // Only the formats comic archives come in, and filters the library decodes itself: the
  // others include formats that name files outside the archive and filters run as programs.
  archive_read_support_format_zip(a);
  archive_read_support_format_rar(a);
  archive_read_support_format_rar5(a);
  archive_read_support_format_7zip(a);
  archive_read_support_format_tar(a);
  archive_read_support_filter_gzip(a);
  archive_read_support_filter_bzip2(a);
  archive_read_support_filter_xz(a);
  archive_read_support_filter_zstd(a);
  archive_read_support_filter_lz4(a);
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    failure = "Is a directory";
    return std::nullopt;
  }
  impl->path = path;
  if (archive_read_open_filename(a, path.c_str(), kReadBlockBytes) != ARCHIVE_OK) {
    failure = errorOf(a, "cannot be opened");
    return std::nullopt;
  }
  return ArchiveReader(std::move(impl));
}

std::optional<ArchiveMemberHeader> ArchiveReader::next(std::string& failure) {
  const Utf8Names names(impl_->utf8);
  archive_entry* entry = nullptr;
  const int status = archive_read_next_header(impl_->handle, &entry);
  if (status == ARCHIVE_EOF) {
    if (isPlainTar(impl_->handle) && !endsInZeroBlocks(impl_->path)) {
      failure = "the tar archive ends without its end-of-archive blocks";
    }
    return std::nullopt;
  }
  if (status < ARCHIVE_WARN || entry == nullptr) {
    failure = errorOf(impl_->handle, "truncated or damaged");
    return std::nullopt;
  }
  ArchiveMemberHeader header;
  // A name that cannot be converted comes back empty, with a warning; the raw bytes are all
  // the library still has of it then.
  const char* name = archive_entry_pathname(entry);
  header.name = name ? name : "";
  header.nameConverted = status == ARCHIVE_OK || !header.name.empty();
  header.kind = kindOf(entry);
  if (archive_entry_size_is_set(entry)) header.size = archive_entry_size(entry);
  header.encrypted = archive_entry_is_encrypted(entry) != 0;
  return header;
}

bool ArchiveReader::read(const ArchiveDataSink& sink, std::string& failure) {
  const Utf8Names names(impl_->utf8);
  static constexpr std::uint8_t kZeros[kReadBlockBytes] = {};
  la_int64_t expected = 0;
  while (true) {
    const void* data = nullptr;
    std::size_t size = 0;
    la_int64_t offset = 0;
    const int status = archive_read_data_block(impl_->handle, &data, &size, &offset);
    if (status == ARCHIVE_EOF) return true;
    // A warning here is a wrong size or checksum: the data is damaged.
    if (status != ARCHIVE_OK) {
      failure = errorOf(impl_->handle, "truncated or damaged");
      return false;
    }
    // The holes of a sparse member read as zeros.
    for (; expected < offset; expected += kReadBlockBytes) {
      const auto hole = static_cast<std::size_t>(std::min<la_int64_t>(offset - expected, kReadBlockBytes));
      if (!sink({kZeros, hole})) {
        failure.clear();
        return false;
      }
    }
    expected = offset + static_cast<la_int64_t>(size);
    if (!sink({static_cast<const std::uint8_t*>(data), size})) {
      failure.clear();
      return false;
    }
  }
}

std::string ArchiveReader::formatName() const {
  const char* name = archive_format_name(impl_->handle);
  return name ? name : "";
}

}  // namespace platform
