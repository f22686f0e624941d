#include "platform/process_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace platform {
namespace {

bool writeWhole(int fd, std::string_view text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string withLineFeed(std::string_view line) {
  std::string whole;
  whole.reserve(line.size() + 1);
  whole.append(line);
  whole.push_back('\n');
  return whole;
}

}  // namespace

void writeError(std::string_view text) { writeWhole(STDERR_FILENO, text); }

void writeErrorLine(std::string_view line) { writeError(withLineFeed(line)); }

bool writeOutputLine(std::string_view line, std::string& failure) {
  if (writeWhole(STDOUT_FILENO, withLineFeed(line))) return true;
  failure = std::strerror(errno);
  return false;
}

}  // namespace platform
