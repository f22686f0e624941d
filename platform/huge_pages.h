#pragma once

// Private to platform/: page-sized buffers are backed by 2 MiB pages where the kernel allows
// it. A 2480 x 3508 bitmap is otherwise faulted in 4 KiB at a time, some 8,500 faults that
// cost about a tenth of a whole page run.
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace platform {

// Advises huge pages for the 2 MiB-aligned part of a buffer not yet written to. Only a hint:
// nothing changes when the kernel declines it.
inline void adviseHugePages(void* data, std::size_t bytes) {
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  if (bytes < 2 * kHugePage) return;
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

}  // namespace platform
