// What every fuzz target shares: a small memory budget (TOLVANE_FUZZ_BUDGET_MIB,
// set per target in CMakeLists.txt). A fuzzed header can announce any size;
// with the budget the readers refuse a large image at once instead of
// reaching libFuzzer's 2048 MB malloc limit, and no image a target accepts
// takes it past the 10 s timeout under the sanitizers.

#include <cstdint>

#include "support/memory_budget.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  tolvane::SetMemoryBudget(std::uint64_t{TOLVANE_FUZZ_BUDGET_MIB} << 20);
  return 0;
}
