#include <windows.h>

#include <algorithm>

#include "support/system_memory.h"

namespace tolvane {

namespace {

// Where the system does not say how much memory it has.
constexpr std::uint64_t kFallback = std::uint64_t{1} << 40;

}  // namespace

// A 32-bit process cannot hold more than its address space, whatever the
// machine has; the budget then refuses what could never be allocated, and
// anything below it still meets the real allocator's answer.
std::uint64_t SystemMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof(status);
  if (!::GlobalMemoryStatusEx(&status)) return kFallback;
  return std::min<std::uint64_t>(status.ullTotalPhys, status.ullTotalVirtual);
}

}  // namespace tolvane
