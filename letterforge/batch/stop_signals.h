#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

namespace letterforge {

// While it lives, SIGINT, SIGTERM and SIGHUP do not end the process: a thread of its own waits
// for them, and each one sets `stop` and is handed to `onSignal` (on that thread). Made before
// any other thread of the process, since the threads made after it inherit the holding back of
// those signals; so no signal can interrupt a write halfway.
class StopSignals {
 public:
  StopSignals(std::atomic<bool>& stop, std::function<void(int signal)> onSignal);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The first signal that came, or 0.
  int received() const { return received_.load(); }

 private:
  void take(int signal);

  std::atomic<bool>& stop_;
  std::function<void(int)> onSignal_;
  std::atomic<int> received_{0};
  std::atomic<bool> closing_{false};
  sigset_t signals_{};
  sigset_t previousMask_{};
  std::thread waiter_{};
};

}  // namespace letterforge
