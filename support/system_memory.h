#pragma once

#include <cstdint>

namespace tolvane {

// How much memory this process can hope to have: the machine's physical
// memory, and on Windows also no more than the process's own address space
// (2 GiB for a 32-bit program). Where the system does not say, 1 TiB.
std::uint64_t SystemMemory();

}  // namespace tolvane
