#pragma once

#include <cstdint>

namespace tolvane {

// The most memory one image may ask for in one piece: a pixel store, a
// decoder's whole-image buffer, the bytes of an input file. A request above
// it fails at once with the asker's memory message, before any of it is
// committed, so a small header announcing a huge image cannot make the
// program reserve gigabytes. By default it is the memory the system has for
// the process (support/system_memory.h): an image that needs more cannot be
// converted here anyway, and every image that needs less still converts.
// Tests and fuzzers set it lower.
std::uint64_t MemoryBudget();
void SetMemoryBudget(std::uint64_t bytes);

// True when a request of `bytes` stays within the budget.
bool FitsMemoryBudget(std::uint64_t bytes);

// Sets the budget for a scope and puts the previous one back at its end.
class ScopedMemoryBudget {
 public:
  explicit ScopedMemoryBudget(std::uint64_t bytes) : previous_(MemoryBudget()) {
    SetMemoryBudget(bytes);
  }
  ~ScopedMemoryBudget() { SetMemoryBudget(previous_); }
  ScopedMemoryBudget(const ScopedMemoryBudget&) = delete;
  ScopedMemoryBudget& operator=(const ScopedMemoryBudget&) = delete;

 private:
  std::uint64_t previous_;
};

}  // namespace tolvane
