#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace platform {

// Reads the whole file. Absent on failure, with `failure` describing it (for example
// "No such file or directory"); a file larger than maxBytes is a failure too.
std::optional<std::string> readWholeFile(const std::string& path, std::uint64_t maxBytes,
                                         std::string& failure);

// Stores bytes at path, replacing any file there, after creating missing parent directories.
// The bytes go to a temporary file in the target directory that is renamed into place, so a
// failed write never leaves a truncated file and never damages an existing one.
// False on failure, with `failure` holding the system's description (naming the directory
// when one could not be created).
bool writeFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes,
                        std::string& failure);

// Creates the directory and every missing parent; an existing directory is not an error.
bool createDirectories(const std::string& directory, std::string& failure);

}  // namespace platform
