#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace platform {

enum class ArchiveMemberKind { kFile, kDirectory, kLink, kOther };

// A member's header, as the archive states it.
struct ArchiveMemberHeader {
  std::string name{};  // the stored bytes, UTF-8 where the archive says so; possibly not UTF-8
  bool nameConverted = true;  // false: the archive's name could not be read as UTF-8
  ArchiveMemberKind kind = ArchiveMemberKind::kFile;
  std::optional<std::int64_t> size{};  // absent where the header does not say
  bool encrypted = false;
};

// Receives a member's data in parts; returning false stops the reading.
using ArchiveDataSink = std::function<bool(std::span<const std::uint8_t> part)>;

// Reads the members of an archive in the order they are stored: ZIP, RAR, 7z and tar (plain or
// compressed), recognised by content, never by name. Names are read as UTF-8 whatever the
// process's locale.
class ArchiveReader {
 public:
  // Absent, with `failure`, when the file cannot be read or is no archive of those formats.
  static std::optional<ArchiveReader> open(const std::string& path, std::string& failure);
  ArchiveReader(ArchiveReader&&) noexcept;
  ArchiveReader& operator=(ArchiveReader&&) noexcept;
  ~ArchiveReader();

  // The next member. Absent at the end (with `failure` left empty) or where the archive cannot
  // be read further (truncated, damaged, encrypted headers), with `failure` saying why.
  std::optional<ArchiveMemberHeader> next(std::string& failure);
  // Hands the current member's data to `sink`. False, with `failure`, when the data cannot be
  // read (damaged, truncated, encrypted) or the sink stopped it (`failure` then empty).
  bool read(const ArchiveDataSink& sink, std::string& failure);
  // The format's name as the archive library gives it ("ZIP 2.0 (deflation)", "RAR", ...).
  std::string formatName() const;

  struct Impl;

 private:
  explicit ArchiveReader(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
