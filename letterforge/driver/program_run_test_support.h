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

// Runs letterforge in `cwd` with the arguments, capturing both streams in files beside it.
inline ProgramRun runProgram(const std::vector<std::string>& arguments, const fs::path& cwd) {
  // The test executables are built beside the programs.
  const char* build = std::getenv("LF_BUILD_DIR");
  const std::string program =
      (build ? fs::path(build) : fs::read_symlink("/proc/self/exe").parent_path()) / "letterforge";
  const fs::path outPath = cwd.parent_path() / (cwd.filename().string() + ".stdout");
  const fs::path errPath = cwd.parent_path() / (cwd.filename().string() + ".stderr");
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(127);
    if (!freopen(outPath.c_str(), "w", stdout) || !freopen(errPath.c_str(), "w", stderr)) _exit(127);
    alarm(120);  // a run that waits for ever (on a pipe, say) ends long after any real run would
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ProgramRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(outPath), readFile(errPath)};
  fs::remove(outPath);
  fs::remove(errPath);
  return run;
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
