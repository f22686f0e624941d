#include "letterforge/batch/stop_signals.h"

#include <pthread.h>
#include <time.h>

#include <utility>

namespace letterforge {

StopSignals::StopSignals(std::atomic<bool>& stop, std::function<void(int)> onSignal)
    : stop_(stop), onSignal_(std::move(onSignal)) {
  sigemptyset(&signals_);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals_, signal);
  pthread_sigmask(SIG_BLOCK, &signals_, &previousMask_);
  waiter_ = std::thread([this] {
    while (true) {
      int signal = 0;
      if (sigwait(&signals_, &signal) != 0) continue;
      // The destructor wakes the thread with a signal of its own.
      if (closing_.load()) return;
      take(signal);
    }
  });
}

StopSignals::~StopSignals() {
  closing_.store(true);
  pthread_kill(waiter_.native_handle(), SIGTERM);
  waiter_.join();
  // A signal that came after the last page would end the process once let through; the run
  // is over, so it is dropped.
  const timespec noWait{};
  while (sigtimedwait(&signals_, nullptr, &noWait) > 0) {
  }
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void StopSignals::take(int signal) {
  int none = 0;
  received_.compare_exchange_strong(none, signal);
  stop_.store(true);
  if (onSignal_) onSignal_(signal);
}

}  // namespace letterforge
