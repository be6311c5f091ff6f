#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvane {

// Large stores are written once from end to end; on Linux, huge pages spare
// most of the page faults that filling them would cost. Memory is still only
// committed where rows arrive. Does nothing elsewhere.
void PreferHugePages(std::uint8_t* bytes, std::size_t size);

}  // namespace tolvane
