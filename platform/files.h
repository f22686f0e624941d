#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace platform {

// Reads the whole file. Absent on failure, with `failure` describing it (for example
// "No such file or directory"); a file larger than maxBytes is a failure too. Regular files
// and pipes are read; opening never waits, so a pipe that has no writer reads as empty.
std::optional<std::string> readWholeFile(const std::string& path, std::uint64_t maxBytes,
                                         std::string& failure);

// How the bytes of a regular file are gathered before they take its name: in an unnamed file
// that a kill cannot leave behind, or, where the file system has none (and in tests), in a
// named temporary file that SIGINT, SIGTERM and SIGHUP remove.
enum class TemporaryFile { kUnnamedWhereSupported, kNamed };

// Stores bytes at path after creating missing parent directories. A regular file (or a new
// one) is replaced whole: the bytes are gathered beside it and renamed into place, so a failed
// write never leaves a truncated file or damages the old one, and the replacement keeps the
// old file's mode and, where permitted, owner. Before true is returned the bytes and then the
// file's name (and any folder created for it) are on the disk: a power cut after success
// leaves the new file, never an empty or missing one. A symbolic link is written through, in its
// target's directory. A character device or a pipe is written into directly; a pipe that no
// process reads is refused rather than waited for, and so are block devices and sockets.
// False on failure, with `failure` holding the system's description (naming the directory
// when one could not be created).
bool writeFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes,
                        std::string& failure,
                        TemporaryFile temporary = TemporaryFile::kUnnamedWhereSupported);

// Creates the directory and every missing parent, each made durable in its parent; an existing
// directory is not an error. A symbolic link whose target does not exist yet stands for that
// target, which is created.
bool createDirectories(const std::string& directory, std::string& failure);

// The file that writeFileReplacing(path, ...) would write: the path made absolute, every
// symbolic link on it followed (also one whose target does not exist yet, which names the file
// or folder the write creates, and chains of them), "." and ".." taken out as the system takes
// them after a link. Two paths name one file exactly when their written paths are equal, even
// before either file or its folders exist.
std::string writtenPath(const std::string& path);

// Makes a write past the file-size limit fail with "File too large" instead of ending the
// process, so that it is reported like any other write failure. Programs call it at start.
void reportOversizedWritesAsFailures();

}  // namespace platform
