#include <unistd.h>

#include "support/system_memory.h"

namespace tolvane {

namespace {

// Where the machine does not say how much memory it has.
constexpr std::uint64_t kFallback = std::uint64_t{1} << 40;

}  // namespace

std::uint64_t SystemMemory() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return kFallback;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

}  // namespace tolvane
