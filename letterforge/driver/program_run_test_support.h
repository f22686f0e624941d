#pragma once

// Runs the built letterforge program in a scratch directory and captures what it reports.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace letterforge::program_run {

namespace fs = std::filesystem;

struct ProgramRun {
  int status = -1;  // exit status, -1 when the program did not exit normally
  std::string out{};
  std::string err{};
};

inline std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The path of a program built beside the test executables.
inline std::string builtProgram(const std::string& name) {
  const char* build = std::getenv("LF_BUILD_DIR");
  return (build ? fs::path(build) : fs::read_symlink("/proc/self/exe").parent_path()) / name;
}

// Starts a built program in `cwd` with the arguments, its standard output and error going to
// the files given and its standard input read from `input`. Returns its process id.
inline pid_t startProgram(const std::string& name, const std::vector<std::string>& arguments,
                          const fs::path& cwd, const fs::path& outPath, const fs::path& errPath,
                          const fs::path& input = "/dev/null") {
  const std::string program = builtProgram(name);
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(127);
    if (!freopen(outPath.c_str(), "w", stdout) || !freopen(errPath.c_str(), "w", stderr)) _exit(127);
    if (!freopen(input.c_str(), "r", stdin)) _exit(127);
    alarm(120);  // a run that waits for ever (on a pipe, say) ends long after any real run would
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

// Runs a built program (letterforge unless named) in `cwd` with the arguments, capturing both
// streams in files beside it.
inline ProgramRun runProgram(const std::vector<std::string>& arguments, const fs::path& cwd,
                             const std::string& name = "letterforge",
                             const fs::path& input = "/dev/null") {
  const fs::path outPath = cwd.parent_path() / (cwd.filename().string() + ".stdout");
  const fs::path errPath = cwd.parent_path() / (cwd.filename().string() + ".stderr");
  const pid_t pid = startProgram(name, arguments, cwd, outPath, errPath, input);
  int status = 0;
  waitpid(pid, &status, 0);
  ProgramRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(outPath), readFile(errPath)};
  fs::remove(outPath);
  fs::remove(errPath);
  return run;
}

// Waits until `done`; false if the program ends first. A program stuck for good is ended by
// its alarm.
template <typename Condition>
bool waitWhileRunning(pid_t pid, Condition done) {
  while (!done()) {
    siginfo_t ended{};
    if (waitid(P_PID, pid, &ended, WEXITED | WNOHANG | WNOWAIT) != 0 || ended.si_pid != 0) {
      return false;
    }
    usleep(10000);
  }
  return true;
}

// True once the program `name` itself (not the test's child before it becomes the program)
// has the file open.
inline bool holdsOpen(pid_t pid, const std::string& name, const fs::path& file) {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
  if (exe.filename() != name) return false;
  for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    if (fs::read_symlink(fd.path(), error) == file) return true;
  }
  return false;
}

// A fresh directory per test, removed afterwards; the program runs inside it.
class ScratchDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lf-run-XXXXXX";
    const char* made = mkdtemp(pattern);
    ASSERT_NE(made, nullptr);
    dir_ = made;
  }
  // LF_KEEP_RUN_DIRS keeps the directories, to look at the pages a failing test left.
  void TearDown() override {
    if (dir_.empty()) return;
    if (std::getenv("LF_KEEP_RUN_DIRS")) {
      std::printf("kept %s\n", dir_.c_str());
      return;
    }
    fs::remove_all(dir_);
  }

  void writeText(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  ProgramRun run(const std::vector<std::string>& arguments) { return runProgram(arguments, dir_); }

  fs::path dir_;
};

}  // namespace letterforge::program_run
