#include "platform/files.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace platform {
namespace {

constexpr int kMaxLinkDepth = 40;  // as many links as the kernel follows in one path
constexpr int kNameAttempts = 100;
// The signals that end a process by default and that a user or a supervisor sends to stop it.
constexpr std::array kRemovalSignals = {SIGINT, SIGTERM, SIGHUP};

std::string describeErrno(int error) { return std::strerror(error); }

std::string parentOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string inDirectory(const std::string& directory, std::string_view name) {
  return (directory == "/" ? "" : directory) + "/" + std::string(name);
}

// A trailing slash, "." or ".." can only name a directory, whatever is there now.
bool namesDirectory(std::string_view path) {
  if (path.ends_with('/')) return true;
  const auto slash = path.find_last_of('/');
  const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return last == "." || last == "..";
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

// The name the path finally stands for once symbolic links are followed (it may not exist
// yet). Absent, with `failure`, when a link cannot be read.
std::optional<std::string> finalLinkTarget(std::string path, std::string& failure) {
  for (int depth = 0; depth <= kMaxLinkDepth; ++depth) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::array<char, PATH_MAX> target{};
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<std::size_t>(n) == target.size()) {
      failure = describeErrno(n < 0 ? errno : ENAMETOOLONG);
      return std::nullopt;
    }
    const std::string_view text(target.data(), static_cast<std::size_t>(n));
    // A relative target is read from the link's own directory.
    path = text.starts_with('/') ? std::string(text) : inDirectory(parentOf(path), text);
  }
  failure = describeErrno(ELOOP);
  return std::nullopt;
}

// Brings what was written to the file (or the names a directory holds) to the disk. A file
// system that cannot (EINVAL) has nothing to bring.
bool syncToDisk(int fd, std::string& failure) {
  while (::fsync(fd) != 0) {
    if (errno == EINTR) continue;
    if (errno == EINVAL) return true;
    failure = describeErrno(errno);
    return false;
  }
  return true;
}

// The directory's entries on the disk: a file renamed or linked into it survives a power cut
// only once they are.
bool syncDirectory(const std::string& directory, std::string& failure) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    failure = describeErrno(errno);
    return false;
  }
  const bool synced = syncToDisk(fd, failure);
  ::close(fd);
  return synced;
}

// Random enough that concurrent writers rarely meet; a name that exists is never reused.
std::string temporaryName(const std::string& directory) {
  static constexpr std::string_view kLetters =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::array<std::uint8_t, 8> noise{};
  if (::getrandom(noise.data(), noise.size(), GRND_NONBLOCK) != static_cast<ssize_t>(noise.size())) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t seed = static_cast<std::uint64_t>(now.tv_nsec) * 2654435761u;
    seed ^= static_cast<std::uint64_t>(::getpid());
    for (auto& byte : noise) byte = static_cast<std::uint8_t>(seed >>= 7);
  }
  std::string name = ".lf-";
  for (const std::uint8_t byte : noise) name += kLetters[byte % kLetters.size()];
  return inDirectory(directory, name);
}

// --- Removal of a named temporary file on a terminating signal ----------------------------

// A terminating signal's action belongs to the whole process, so the named temporaries it must
// remove are kept process-wide: one slot per file being written, by whichever thread writes
// it. The handler only reads the slots (lock-free atomics) and unlinks, both safe in a signal
// handler; a writer takes a free slot, and the handler is installed while any slot is held.
struct PendingTemporary {
  std::atomic<int> state{0};  // 0 free, 1 being filled, 2 to be removed
  std::array<char, PATH_MAX> path{};
};
constexpr std::size_t kPendingSlots = 64;
std::array<PendingTemporary, kPendingSlots> pendingTemporaries;

struct RemovalHandler {
  std::mutex lock;
  int users = 0;
  std::array<struct sigaction, kRemovalSignals.size()> previous{};
  std::array<bool, kRemovalSignals.size()> installed{};
};
RemovalHandler removalHandler;

void removeTemporariesAndEnd(int signal) {
  for (PendingTemporary& pending : pendingTemporaries) {
    if (pending.state.load() == 2) ::unlink(pending.path.data());
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);  // delivered, with the default action, once the handler returns
}

// Holds back the terminating signals while a name is made, moved or recorded, so that a
// signal finds the temporary either recorded for removal or not there.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : kRemovalSignals) sigaddset(&held, signal);
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t previous_{};
};

// While it lives, a terminating signal whose action is the default removes the named file
// before the process ends. Made and destroyed while the signals are held. With every slot
// taken (64 files written at once) the file goes unrecorded.
class RemovedOnSignal {
 public:
  explicit RemovedOnSignal(const std::string& name) {
    for (PendingTemporary& candidate : pendingTemporaries) {
      int expected = 0;
      if (!candidate.state.compare_exchange_strong(expected, 1)) continue;
      const std::size_t length = std::min(name.size(), candidate.path.size() - 1);
      std::memcpy(candidate.path.data(), name.data(), length);
      candidate.path[length] = '\0';
      candidate.state.store(2);
      slot_ = &candidate;
      break;
    }
    const std::lock_guard guard(removalHandler.lock);
    if (removalHandler.users++ > 0) return;
    struct sigaction removal {};
    removal.sa_handler = removeTemporariesAndEnd;
    sigemptyset(&removal.sa_mask);
    for (const int signal : kRemovalSignals) sigaddset(&removal.sa_mask, signal);
    for (std::size_t i = 0; i < kRemovalSignals.size(); ++i) {
      struct sigaction& previous = removalHandler.previous[i];
      // A signal the process ignores or handles itself is left as it is.
      removalHandler.installed[i] =
          ::sigaction(kRemovalSignals[i], nullptr, &previous) == 0 &&
          (previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler == SIG_DFL &&
          ::sigaction(kRemovalSignals[i], &removal, nullptr) == 0;
    }
  }
  ~RemovedOnSignal() {
    if (slot_ != nullptr) slot_->state.store(0);
    const std::lock_guard guard(removalHandler.lock);
    if (--removalHandler.users > 0) return;
    for (std::size_t i = 0; i < kRemovalSignals.size(); ++i) {
      if (removalHandler.installed[i]) {
        ::sigaction(kRemovalSignals[i], &removalHandler.previous[i], nullptr);
      }
    }
  }
  RemovedOnSignal(const RemovedOnSignal&) = delete;
  RemovedOnSignal& operator=(const RemovedOnSignal&) = delete;

 private:
  PendingTemporary* slot_ = nullptr;
};

// --- Replacing a regular file -------------------------------------------------------------

// The replacement keeps the old file's mode, and its owner where permitted; a new file keeps
// the mode that the umask gave it.
bool adoptOwnerAndMode(int fd, const struct stat* old, std::string& failure) {
  if (old == nullptr) return true;
  // Only a privileged process may give a file away; without that, the group alone is tried.
  [[maybe_unused]] const bool owned =
      ::fchown(fd, old->st_uid, old->st_gid) == 0 || ::fchown(fd, static_cast<uid_t>(-1), old->st_gid) == 0;
  if (::fchmod(fd, old->st_mode & 07777) != 0) {
    failure = describeErrno(errno);
    return false;
  }
  return true;
}

bool replaceThroughNamedFile(const std::string& target, const struct stat* old,
                             std::span<const std::uint8_t> bytes, std::string& failure) {
  std::string name;
  int fd = -1;
  std::optional<RemovedOnSignal> removal;
  {
    const SignalsHeld held;
    for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
      name = temporaryName(parentOf(target));
      fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
      failure = describeErrno(errno);
      return false;
    }
    removal.emplace(name);
  }
  bool written = writeAll(fd, bytes);
  if (!written) failure = describeErrno(errno);
  written = written && adoptOwnerAndMode(fd, old, failure) && syncToDisk(fd, failure);
  if (::close(fd) != 0 && written) {
    failure = describeErrno(errno);
    written = false;
  }
  {
    const SignalsHeld held;
    if (written && ::rename(name.c_str(), target.c_str()) != 0) {
      failure = describeErrno(errno);
      written = false;
    }
    if (!written) ::unlink(name.c_str());
    removal.reset();
  }
  return written && syncDirectory(parentOf(target), failure);
}

// Gives the unnamed file a name; false, with errno set, when it cannot.
bool linkUnnamed(int fd, const std::string& name) {
  // Linking the descriptor itself needs a privilege; the /proc route does not, but needs /proc.
  if (::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return true;
  if (errno == EEXIST) return false;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

enum class Placement { kPlaced, kFailed, kCannotLink };

// Puts the finished unnamed file at target: under its name directly when nothing is there, so
// that no kill can leave anything behind; otherwise under a temporary name renamed over the
// old file, with the terminating signals held for those two steps.
Placement placeUnnamed(int fd, const std::string& target, bool replacing, std::string& failure) {
  if (!replacing) {
    if (linkUnnamed(fd, target)) return Placement::kPlaced;
    if (errno != EEXIST) return Placement::kCannotLink;
  }
  const SignalsHeld held;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string name = temporaryName(parentOf(target));
    if (!linkUnnamed(fd, name)) {
      if (errno == EEXIST) continue;
      return Placement::kCannotLink;
    }
    if (::rename(name.c_str(), target.c_str()) == 0) return Placement::kPlaced;
    failure = describeErrno(errno);
    ::unlink(name.c_str());
    return Placement::kFailed;
  }
  failure = describeErrno(EEXIST);
  return Placement::kFailed;
}

bool replaceRegularFile(const std::string& target, const struct stat* old,
                        std::span<const std::uint8_t> bytes, std::string& failure, TemporaryFile temporary) {
  if (temporary == TemporaryFile::kUnnamedWhereSupported) {
    const int fd = ::open(parentOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    const int openError = errno;
    if (fd >= 0) {
      Placement placement = Placement::kFailed;
      if (!writeAll(fd, bytes)) {
        failure = describeErrno(errno);
      } else if (adoptOwnerAndMode(fd, old, failure) && syncToDisk(fd, failure)) {
        // The bytes reach the disk before the name does, so the name never shows an empty file.
        placement = placeUnnamed(fd, target, old != nullptr, failure);
      }
      // Closing reports nothing more on the file systems that have unnamed files.
      ::close(fd);
      if (placement == Placement::kPlaced) return syncDirectory(parentOf(target), failure);
      if (placement == Placement::kFailed) return false;
    } else if (openError != EOPNOTSUPP && openError != EISDIR && openError != EINVAL) {
      // Those three say the file system or the kernel has no unnamed files; others are real.
      failure = describeErrno(openError);
      return false;
    }
  }
  return replaceThroughNamedFile(target, old, bytes, failure);
}

// Character devices and pipes are written into as they are: they cannot be replaced by a
// file, and /dev/null or a shell's >(...) are outputs a caller may well mean.
bool writeIntoSpecialFile(const std::string& path, mode_t type, std::span<const std::uint8_t> bytes,
                          std::string& failure) {
  if (S_ISDIR(type) || S_ISBLK(type) || S_ISSOCK(type)) {
    failure = S_ISDIR(type) ? describeErrno(EISDIR) : S_ISBLK(type) ? "Is a block device" : "Is a socket";
    return false;
  }
  // Opening waits neither for a pipe's reader nor for a slow device.
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    failure = S_ISFIFO(type) && errno == ENXIO ? "No process is reading the pipe" : describeErrno(errno);
    return false;
  }
  struct stat opened {};
  bool written = ::fstat(fd, &opened) == 0 && (S_ISCHR(opened.st_mode) || S_ISFIFO(opened.st_mode));
  if (!written) {
    failure = "Replaced by another file while being opened";
  } else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 || !writeAll(fd, bytes)) {
    // Once open, a write waits for a slow reader rather than failing.
    failure = describeErrno(errno);
    written = false;
  }
  if (::close(fd) != 0 && written) {
    failure = describeErrno(errno);
    written = false;
  }
  return written;
}

}  // namespace

std::optional<std::string> readWholeFile(const std::string& path, std::uint64_t maxBytes,
                                         std::string& failure) {
  // Opening waits neither for a pipe's writer nor for a slow device.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    failure = describeErrno(errno);
    return std::nullopt;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISFIFO(info.st_mode))) {
    failure = S_ISDIR(info.st_mode) ? "Is a directory" : "Not a regular file";
    ::close(fd);
    return std::nullopt;
  }
  if (static_cast<std::uint64_t>(info.st_size) > maxBytes) {
    failure = "file is larger than " + std::to_string(maxBytes) + " bytes";
    ::close(fd);
    return std::nullopt;
  }
  // A pipe is read until its writer closes it; one without a writer reads as empty at once.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
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
  if (::mkdir(directory.c_str(), 0777) == 0) {
    // A file later written into the folder is found after a power cut only if the folder is.
    if (syncDirectory(parent, failure)) return true;
    failure = "cannot create directory " + directory + ": " + failure;
    return false;
  }
  const int error = errno;
  // A link to a folder not made yet: the folder is made where it leads.
  if (error == EEXIST && ::lstat(directory.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    std::string linkFailure;
    const auto target = finalLinkTarget(directory, linkFailure);
    if (!target) {
      failure = "cannot create directory " + directory + ": " + linkFailure;
      return false;
    }
    return createDirectories(*target, failure);
  }
  if (error != EEXIST) {
    failure = "cannot create directory " + directory + ": " + describeErrno(error);
    return false;
  }
  return true;
}

std::string writtenPath(const std::string& path) {
  // Names still to walk, the next one last; `walked` holds no link, "." or "..".
  std::vector<std::string> pending;
  const auto push = [&pending](std::string_view text) {
    std::vector<std::string> names;
    for (std::size_t start = 0; start <= text.size();) {
      const std::size_t slash = std::min(text.find('/', start), text.size());
      if (slash > start) names.emplace_back(text.substr(start, slash - start));
      start = slash + 1;
    }
    pending.insert(pending.end(), names.rbegin(), names.rend());
  };
  std::string walked;
  if (!path.starts_with('/')) {
    std::array<char, PATH_MAX> cwd{};
    if (::getcwd(cwd.data(), cwd.size()) != nullptr) walked = cwd.data();
    if (walked == "/") walked.clear();
  }
  push(path);
  int links = 0;
  bool missing = false;  // below a name that does not exist, no name can be a link
  while (!pending.empty()) {
    const std::string name = std::move(pending.back());
    pending.pop_back();
    if (name == ".") continue;
    if (name == "..") {
      walked.erase(std::min(walked.size(), walked.rfind('/')));
      missing = false;
      continue;
    }
    const std::string next = walked + "/" + name;
    struct stat info {};
    missing = missing || ::lstat(next.c_str(), &info) != 0;
    // Past the system's limit of links the write fails; the name is then taken as it stands.
    if (!missing && S_ISLNK(info.st_mode) && ++links <= kMaxLinkDepth) {
      std::array<char, PATH_MAX> target{};
      const ssize_t n = ::readlink(next.c_str(), target.data(), target.size());
      if (n > 0 && static_cast<std::size_t>(n) < target.size()) {
        const std::string_view text(target.data(), static_cast<std::size_t>(n));
        if (text.starts_with('/')) walked.clear();
        push(text);
        continue;
      }
    }
    walked = next;
  }
  return walked.empty() ? "/" : walked;
}

bool writeFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes,
                        std::string& failure, TemporaryFile temporary) {
  if (path.empty()) {
    failure = "empty output path";
    return false;
  }
  if (namesDirectory(path)) {
    failure = describeErrno(EISDIR);
    return false;
  }
  if (!createDirectories(parentOf(path), failure)) return false;
  struct stat existing {};
  const bool exists = ::stat(path.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) {
    failure = describeErrno(errno);
    return false;
  }
  if (exists && !S_ISREG(existing.st_mode)) {
    return writeIntoSpecialFile(path, existing.st_mode, bytes, failure);
  }
  // A link is written through: the file it leads to is replaced in its own directory. A link
  // that leads nowhere yet names the file to create.
  const auto target = finalLinkTarget(path, failure);
  if (!target) return false;
  // A link to a file not made yet leads into folders that may not be made yet either.
  if (*target != path && !createDirectories(parentOf(*target), failure)) return false;
  return replaceRegularFile(*target, exists ? &existing : nullptr, bytes, failure, temporary);
}

void reportOversizedWritesAsFailures() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace platform
