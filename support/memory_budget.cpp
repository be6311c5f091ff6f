#include "support/memory_budget.h"

#include <unistd.h>

#include <atomic>

namespace tolvane {

namespace {

// Where the machine does not say how much memory it has.
constexpr std::uint64_t kFallbackBudget = std::uint64_t{1} << 40;

std::uint64_t PhysicalMemory() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return kFallbackBudget;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

std::atomic<std::uint64_t>& Budget() {
  static std::atomic<std::uint64_t> budget{PhysicalMemory()};
  return budget;
}

}  // namespace

std::uint64_t MemoryBudget() { return Budget().load(std::memory_order_relaxed); }

void SetMemoryBudget(std::uint64_t bytes) { Budget().store(bytes, std::memory_order_relaxed); }

bool FitsMemoryBudget(std::uint64_t bytes) { return bytes <= MemoryBudget(); }

}  // namespace tolvane
