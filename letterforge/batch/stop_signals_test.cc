#include "letterforge/batch/stop_signals.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace letterforge {
namespace {

// Sends `signal` to the whole process and waits until the watcher has handed it on.
void sendAndWait(int signal, std::mutex& mutex, std::condition_variable& handed, int& count,
                 int expectedCount) {
  ::kill(::getpid(), signal);
  std::unique_lock lock(mutex);
  handed.wait(lock, [&] { return count >= expectedCount; });
}

bool blocked(int signal) {
  sigset_t mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  return sigismember(&mask, signal) == 1;
}

// In a process of its own: other tests leave threads behind that would take the signal.
void stopSignalsInAFreshProcess() {
  std::atomic<bool> stop{false};
  std::mutex mutex;
  std::condition_variable handed;
  int count = 0;
  int last = 0;
  {
    const StopSignals signals(stop, [&](int signal) {
      const std::lock_guard lock(mutex);
      last = signal;
      ++count;
      handed.notify_all();
    });
    sendAndWait(SIGTERM, mutex, handed, count, 1);
    sendAndWait(SIGINT, mutex, handed, count, 2);
    std::fprintf(stderr, "stop=%d first=%d last=%d ", stop.load() ? 1 : 0, signals.received(), last);
  }
  std::fprintf(stderr, "held afterwards=%d\n", blocked(SIGTERM) || blocked(SIGINT) ? 1 : 0);
  std::exit(0);
}

TEST(StopSignalsTest, SignalsStopTheRunInsteadOfEndingTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(stopSignalsInAFreshProcess(), ::testing::ExitedWithCode(0),
              "stop=1 first=15 last=2 held afterwards=0");
}

}  // namespace
}  // namespace letterforge
