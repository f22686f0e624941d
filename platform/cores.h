#pragma once

// The cores a process's page work may use, shared out among the threads that do it: a
// thread rendering a page claims one, and work that can be split (the PNG writer's bands)
// starts helpers only on the cores nobody claims.
namespace platform {

// The cores this process may run on (its processor affinity, or fewer as limitCores says),
// at least 1.
int usableCores();

// Counts at most `cores` of the affinity's cores as this process's own, for a process that
// shares the machine with others doing the same work (several worker processes of a cluster
// on one machine, each given its share); 0 or less lifts the limit.
void limitCores(int cores);

// Counts the calling thread as busy on one core while the object lives. A thread that holds
// a claim already is not counted twice.
class CoreClaim {
 public:
  CoreClaim();
  ~CoreClaim();
  CoreClaim(const CoreClaim&) = delete;
  CoreClaim& operator=(const CoreClaim&) = delete;

 private:
  bool counted_ = false;
};

// The helpers granted to work that could use `wanted` more threads while `held` of the
// `usable` cores are busy: the idle cores, at most `wanted`, never below 0. A batch whose
// pages fill every core so gets none, and each of its pages is compressed in one band.
int idleCoresFor(int usable, int held, int wanted);

// Claims up to `wanted` cores that no thread or helper holds, for helper threads of the
// calling thread's work; 0 when none is idle. Given back when the object goes.
class HelperCores {
 public:
  explicit HelperCores(int wanted);
  ~HelperCores();
  HelperCores(const HelperCores&) = delete;
  HelperCores& operator=(const HelperCores&) = delete;
  int count() const { return count_; }

 private:
  int count_ = 0;
};

}  // namespace platform
