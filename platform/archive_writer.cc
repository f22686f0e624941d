#include "platform/archive_writer.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <ctime>
#include <utility>

#include "platform/utf8_names.h"

namespace platform {
namespace {

la_ssize_t toSink(archive*, void* client, const void* buffer, std::size_t length) {
  auto* sink = static_cast<ArchiveBytesSink*>(client);
  if (!(*sink)({static_cast<const std::uint8_t*>(buffer), length})) return -1;
  return static_cast<la_ssize_t>(length);
}

bool setFormat(archive* a, ArchiveFormat format) {
  switch (format) {
    case ArchiveFormat::kZipStored:
      return archive_write_set_format_zip(a) == ARCHIVE_OK &&
             archive_write_set_format_option(a, "zip", "compression", "store") == ARCHIVE_OK;
    case ArchiveFormat::kZipDeflated:
      return archive_write_set_format_zip(a) == ARCHIVE_OK;
    case ArchiveFormat::kSevenZip:
      return archive_write_set_format_7zip(a) == ARCHIVE_OK;
    case ArchiveFormat::kTar:
      return archive_write_set_format_pax_restricted(a) == ARCHIVE_OK;
    case ArchiveFormat::kTarGzip:
      return archive_write_set_format_pax_restricted(a) == ARCHIVE_OK &&
             archive_write_add_filter_gzip(a) == ARCHIVE_OK;
  }
  return false;
}

}  // namespace

struct ArchiveWriter::Impl {
  archive* handle = archive_write_new();
  locale_t utf8 = makeUtf8Names();
  ArchiveBytesSink sink{};
  bool finished = false;

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() {
    // An archive never finished is let go without its ending written: closing it (which frees
    // what the writer holds; failing it instead would keep that) reaches a sink that takes
    // nothing more.
    if (handle && !finished) {
      sink = [](std::span<const std::uint8_t>) { return false; };
      archive_write_close(handle);
    }
    if (handle) archive_write_free(handle);
    if (utf8) ::freelocale(utf8);
  }

  bool add(archive_entry* entry, std::span<const std::uint8_t> data, std::string& failure) {
    const Utf8Names names(utf8);
    archive_entry_set_mtime(entry, std::time(nullptr), 0);
    bool written = archive_write_header(handle, entry) == ARCHIVE_OK;
    std::size_t done = 0;
    while (written && done < data.size()) {
      const la_ssize_t n = archive_write_data(handle, data.data() + done, data.size() - done);
      written = n > 0;
      done += written ? static_cast<std::size_t>(n) : 0;
    }
    archive_entry_free(entry);
    if (!written) {
      const char* text = archive_error_string(handle);
      failure = text ? text : "cannot be written";
    }
    return written;
  }
};

ArchiveWriter::ArchiveWriter(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ArchiveWriter::ArchiveWriter(ArchiveWriter&&) noexcept = default;
ArchiveWriter& ArchiveWriter::operator=(ArchiveWriter&&) noexcept = default;
ArchiveWriter::~ArchiveWriter() = default;

std::optional<ArchiveWriter> ArchiveWriter::open(ArchiveFormat format, ArchiveBytesSink sink,
                                                 std::string& failure) {
  auto impl = std::make_unique<Impl>();
  impl->sink = std::move(sink);
  archive* a = impl->handle;
  const Utf8Names names(impl->utf8);
  if (a == nullptr || !setFormat(a, format)) {
    failure = a && archive_error_string(a) ? archive_error_string(a) : "archive format unavailable";
    return std::nullopt;
  }
  // Only tar pads its end to whole blocks.
  if (format != ArchiveFormat::kTar && format != ArchiveFormat::kTarGzip) {
    archive_write_set_bytes_in_last_block(a, 1);
  }
  if (archive_write_open2(a, &impl->sink, nullptr, toSink, nullptr, nullptr) != ARCHIVE_OK) {
    const char* text = archive_error_string(a);
    failure = text ? text : "cannot be started";
    return std::nullopt;
  }
  return ArchiveWriter(std::move(impl));
}

bool ArchiveWriter::addFile(const std::string& name, std::span<const std::uint8_t> data,
                            std::string& failure) {
  archive_entry* entry = archive_entry_new();
  archive_entry_set_pathname_utf8(entry, name.c_str());
  archive_entry_set_filetype(entry, AE_IFREG);
  archive_entry_set_perm(entry, 0644);
  archive_entry_set_size(entry, static_cast<la_int64_t>(data.size()));
  return impl_->add(entry, data, failure);
}

bool ArchiveWriter::addDirectory(const std::string& name, std::string& failure) {
  archive_entry* entry = archive_entry_new();
  archive_entry_set_pathname_utf8(entry, name.c_str());
  archive_entry_set_filetype(entry, AE_IFDIR);
  archive_entry_set_perm(entry, 0755);
  return impl_->add(entry, {}, failure);
}

bool ArchiveWriter::addSymbolicLink(const std::string& name, const std::string& target,
                                    std::string& failure) {
  archive_entry* entry = archive_entry_new();
  archive_entry_set_pathname_utf8(entry, name.c_str());
  archive_entry_set_filetype(entry, AE_IFLNK);
  archive_entry_set_perm(entry, 0777);
  archive_entry_set_symlink_utf8(entry, target.c_str());
  return impl_->add(entry, {}, failure);
}

bool ArchiveWriter::finish(std::string& failure) {
  const Utf8Names names(impl_->utf8);
  impl_->finished = true;
  if (archive_write_close(impl_->handle) != ARCHIVE_OK) {
    const char* text = archive_error_string(impl_->handle);
    failure = text ? text : "cannot be finished";
    return false;
  }
  return true;
}

}  // namespace platform
