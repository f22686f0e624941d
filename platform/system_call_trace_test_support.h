#pragma once

// Runs a command under strace and reads back, in order, the system calls that succeeded: what
// reaches the disk before a write or a program reports success, seen from outside.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform::system_call_trace {

// One system call: its name and the text of its arguments (descriptors shown with their path
// in angle brackets, strings quoted).
struct Call {
  std::string name;
  std::string arguments;
};

// The calls that succeeded, in order, from a log of `strace -f -y`. A call that another
// thread's call interrupted ("<unfinished ...>", then "<... name resumed>") is joined again
// and placed where it returned.
inline std::vector<Call> succeededCalls(const std::filesystem::path& log) {
  std::vector<Call> calls;
  std::map<std::string, std::string> unfinished;  // by process id: the start of the call
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) {
    const std::string pid = line.substr(0, line.find(' '));
    std::string call = line.substr(line.find_first_not_of(' ', pid.size()));
    if (call.ends_with("<unfinished ...>")) {
      unfinished[pid] = call.substr(0, call.size() - std::string("<unfinished ...>").size());
      continue;
    }
    if (call.starts_with("<... ")) {
      const auto resumed = call.find("resumed>");
      if (resumed == std::string::npos || !unfinished.contains(pid)) continue;
      call = unfinished[pid] + call.substr(resumed + std::string("resumed>").size());
      unfinished.erase(pid);
    }
    // "name(arguments)   = result"; a failed call returns -1.
    const auto result = call.rfind(" = ");
    if (result == std::string::npos) continue;
    const auto open = call.find('('), close = call.find_last_of(')', result);
    if (open == std::string::npos || close == std::string::npos || close < open) continue;
    if (call.compare(result + 3, 2, "-1") == 0) continue;
    calls.push_back({call.substr(0, open), call.substr(open + 1, close - open - 1)});
  }
  return calls;
}

// The succeeded calls of `command` (a shell command line) among those named by `traced`
// (strace's -e trace= list); absent when strace is missing or cannot trace here. `status`
// gets the command's exit status as std::system reports it. The leak checker of a sanitized
// build cannot run under a tracer, so the command runs without it: the calls are what is traced.
inline std::optional<std::vector<Call>> traceCommand(const std::string& command,
                                                     const std::string& traced,
                                                     const std::filesystem::path& log,
                                                     int& status) {
  if (std::system("strace -V >/dev/null 2>&1") != 0) return std::nullopt;
  status = std::system(("strace -f -y -o '" + log.string() + "' -e trace=" + traced +
                        " env ASAN_OPTIONS=detect_leaks=0 " + command).c_str());
  std::error_code error;
  if (!std::filesystem::exists(log, error) || std::filesystem::file_size(log, error) == 0) {
    return std::nullopt;
  }
  return succeededCalls(log);
}

// The index of the first call at or after `from` for which `matches` holds; absent when none.
template <typename Matches>
std::optional<std::size_t> findCall(const std::vector<Call>& calls, std::size_t from,
                                    Matches matches) {
  for (std::size_t i = from; i < calls.size(); ++i) {
    if (matches(calls[i])) return i;
  }
  return std::nullopt;
}

// An fsync of a descriptor that strace shows as `path`.
inline bool syncs(const Call& call, const std::string& path) {
  return call.name == "fsync" && call.arguments.find("<" + path + ">") != std::string::npos;
}

// A call that gives a file the name `path` (a link or a rename onto it).
inline bool names(const Call& call, const std::string& path) {
  return (call.name == "linkat" || call.name.starts_with("rename")) &&
         call.arguments.find(", \"" + path + "\"") != std::string::npos;
}

}  // namespace platform::system_call_trace
