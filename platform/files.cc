#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

namespace platform {
namespace {

std::string describeErrno(int error) { return std::strerror(error); }

std::string parentOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::optional<std::string> readWholeFile(const std::string& path, std::uint64_t maxBytes,
                                         std::string& failure) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    failure = describeErrno(errno);
    return std::nullopt;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    failure = S_ISDIR(info.st_mode) ? "Is a directory" : "Not a regular file";
    ::close(fd);
    return std::nullopt;
  }
  if (static_cast<std::uint64_t>(info.st_size) > maxBytes) {
    failure = "file is larger than " + std::to_string(maxBytes) + " bytes";
    ::close(fd);
    return std::nullopt;
  }
  std::string contents;
  contents.resize(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  while (true) {
    if (done == contents.size()) {
      if (contents.size() >= maxBytes + 1) break;
      contents.resize(std::min<std::uint64_t>(contents.size() * 2 + 4096, maxBytes + 1));
    }
    const ssize_t n = ::read(fd, contents.data() + done, contents.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      failure = describeErrno(errno);
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (done > maxBytes) {
    failure = "file is larger than " + std::to_string(maxBytes) + " bytes";
    return std::nullopt;
  }
  contents.resize(done);
  return contents;
}

bool createDirectories(const std::string& directory, std::string& failure) {
  if (directory.empty()) return true;
  struct stat info {};
  if (::stat(directory.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return true;
    failure = "cannot create directory " + directory + ": Not a directory";
    return false;
  }
  const std::string parent = parentOf(directory);
  if (parent != directory && !createDirectories(parent, failure)) return false;
  if (::mkdir(directory.c_str(), 0777) != 0 && errno != EEXIST) {
    failure = "cannot create directory " + directory + ": " + describeErrno(errno);
    return false;
  }
  return true;
}

bool writeFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes,
                        std::string& failure) {
  if (path.empty()) {
    failure = "empty output path";
    return false;
  }
  const std::string directory = parentOf(path);
  if (!createDirectories(directory, failure)) return false;

  std::string temporary = (directory == "/" ? "" : directory) + "/.lf-XXXXXX";
  if (path.find('/') == std::string::npos) temporary = ".lf-XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    failure = describeErrno(errno);
    return false;
  }
  const bool written = writeAll(fd, bytes);
  const int writeError = errno;
  // Plain files get the usual permissions, not mkstemp's private 0600.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  if (::close(fd) != 0 || !written) {
    failure = describeErrno(written ? errno : writeError);
    ::unlink(temporary.c_str());
    return false;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    failure = describeErrno(errno);
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace platform
