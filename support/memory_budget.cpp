#include "support/memory_budget.h"

#include <atomic>

#include "support/system_memory.h"

namespace tolvane {

namespace {

std::atomic<std::uint64_t>& Budget() {
  static std::atomic<std::uint64_t> budget{SystemMemory()};
  return budget;
}

}  // namespace

std::uint64_t MemoryBudget() { return Budget().load(std::memory_order_relaxed); }

void SetMemoryBudget(std::uint64_t bytes) { Budget().store(bytes, std::memory_order_relaxed); }

bool FitsMemoryBudget(std::uint64_t bytes) { return bytes <= MemoryBudget(); }

}  // namespace tolvane
