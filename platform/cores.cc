#include "platform/cores.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace platform {
namespace {

// Cores held by claiming threads and by helpers, process-wide.
std::atomic<int> claimed{0};
thread_local bool threadClaims = false;
// limitCores's limit; 0: none.
std::atomic<int> coreLimit{0};

}  // namespace

int usableCores() {
  static const int cores = [] {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  }();
  const int limit = coreLimit.load();
  return limit > 0 ? std::min(cores, limit) : cores;
}

void limitCores(int cores) { coreLimit.store(std::max(cores, 0)); }

int idleCoresFor(int usable, int held, int wanted) {
  return std::clamp(usable - held, 0, std::max(wanted, 0));
}

CoreClaim::CoreClaim() : counted_(!threadClaims) {
  if (!counted_) return;
  threadClaims = true;
  claimed.fetch_add(1);
}

CoreClaim::~CoreClaim() {
  if (!counted_) return;
  threadClaims = false;
  claimed.fetch_sub(1);
}

HelperCores::HelperCores(int wanted) {
  int held = claimed.load();
  int granted = 0;
  do {
    granted = idleCoresFor(usableCores(), held, wanted);
  } while (granted > 0 && !claimed.compare_exchange_weak(held, held + granted));
  count_ = granted;
}

HelperCores::~HelperCores() { claimed.fetch_sub(count_); }

}  // namespace platform
