#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace platform {

enum class ArchiveFormat {
  kZipStored,    // ZIP with members stored as they are: the comic-book archive's usual form
  kZipDeflated,  // ZIP with members compressed
  kSevenZip,
  kTar,
  kTarGzip,
};

// Receives the archive's bytes as they are made; returning false stops the writing.
using ArchiveBytesSink = std::function<bool(std::span<const std::uint8_t> bytes)>;

// Makes an archive member by member, handing its bytes to a sink. Names are written as UTF-8.
class ArchiveWriter {
 public:
  // Absent, with `failure`, when the archive library cannot start one.
  static std::optional<ArchiveWriter> open(ArchiveFormat format, ArchiveBytesSink sink,
                                           std::string& failure);
  ArchiveWriter(ArchiveWriter&&) noexcept;
  ArchiveWriter& operator=(ArchiveWriter&&) noexcept;
  ~ArchiveWriter();

  // Adds a regular file, a directory, or a symbolic link to `target`. False, with `failure`,
  // when the member cannot be written or the sink stopped.
  bool addFile(const std::string& name, std::span<const std::uint8_t> data, std::string& failure);
  bool addDirectory(const std::string& name, std::string& failure);
  bool addSymbolicLink(const std::string& name, const std::string& target, std::string& failure);
  // Writes what the format keeps for its end (the ZIP directory, say). False, with `failure`,
  // when it cannot be written; the archive is then incomplete.
  bool finish(std::string& failure);

  struct Impl;

 private:
  explicit ArchiveWriter(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
