#include "support/huge_pages.h"

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace tolvane {

void PreferHugePages(std::uint8_t* bytes, std::size_t size) {
#ifdef __linux__
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  const auto start = reinterpret_cast<std::uintptr_t>(bytes);
  const std::uintptr_t begin = (start + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t end = (start + size) & ~(kHugePage - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)bytes;
  (void)size;
#endif
}

}  // namespace tolvane
