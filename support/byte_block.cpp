#include "support/byte_block.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "support/block_cache.h"

#if defined(__linux__) && !defined(TOLVANE_ADDRESS_SANITIZER)
#include <sys/mman.h>
#define TOLVANE_MAPPED_BLOCKS 1
#endif

namespace tolvane {

namespace {

#ifdef TOLVANE_MAPPED_BLOCKS
constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Below this a block is not worth a mapping of its own.
constexpr std::size_t kMappedFrom = kHugePage / 2;

// Maps `mapped` bytes (a multiple of kHugePage) on a huge-page boundary:
// maps one huge page more than asked, then gives back the unaligned ends.
std::uint8_t* MapAligned(std::size_t mapped) {
  const std::size_t reserved = mapped + kHugePage;
  void* start =
      ::mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (start == MAP_FAILED) throw std::bad_alloc();
  auto* first = static_cast<std::uint8_t*>(start);
  const auto address = reinterpret_cast<std::uintptr_t>(first);
  const std::size_t head = (kHugePage - address % kHugePage) % kHugePage;
  if (head > 0) ::munmap(first, head);
  const std::size_t tail = reserved - head - mapped;
  if (tail > 0) ::munmap(first + head + mapped, tail);
  ::madvise(first + head, mapped, MADV_HUGEPAGE);
  return first + head;
}

void Unmap(std::uint8_t* bytes, std::size_t size) { ::munmap(bytes, size); }

// A block of `mapped` bytes made of kept regions, moved one after another
// to its start (their pages move without being touched again, huge pages
// whole), and fresh pages for the rest. The first `size` bytes are zero.
std::uint8_t* MapFromKept(BlockCache& cache, std::size_t mapped, std::size_t size) {
  const std::vector<BlockCache::Region> kept = cache.Take(mapped);
  if (kept.size() == 1 && kept.front().size == mapped) {
    std::memset(kept.front().bytes, 0, size);
    return kept.front().bytes;
  }
  std::size_t moved = 0;
  for (const BlockCache::Region& region : kept) moved += region.size;
  std::uint8_t* bytes = nullptr;
  try {
    bytes = MapAligned(mapped);
  } catch (const std::bad_alloc&) {
    for (const BlockCache::Region& region : kept) cache.Free(region.bytes, region.size);
    throw;
  }
  std::size_t at = 0;
  for (const BlockCache::Region& region : kept) {
    void* target = bytes + at;
    // Should a region not move, fresh pages stand in its place.
    if (::mremap(region.bytes, region.size, region.size, MREMAP_MAYMOVE | MREMAP_FIXED, target) ==
        MAP_FAILED) {
      ::munmap(region.bytes, region.size);
    }
    at += region.size;
  }
  std::memset(bytes, 0, std::min(moved, size));
  cache.Mapped(mapped - moved);
  return bytes;
}
#else
void Unmap(std::uint8_t*, std::size_t) {}
#endif

}  // namespace

BlockCache& SharedBlockCache() {
  static BlockCache cache(Unmap);
  return cache;
}

ByteBlock ByteBlock::Zeroed(std::size_t size) {
  ByteBlock block;
  if (size == 0) return block;
#ifdef TOLVANE_MAPPED_BLOCKS
  if (size >= kMappedFrom) {
    if (size > SIZE_MAX - 2 * kHugePage) throw std::bad_alloc();
    const std::size_t mapped = (size + kHugePage - 1) / kHugePage * kHugePage;
    // Kept bytes cost a pass of zeroing, where fresh ones cost a page
    // fault for every page.
    block.bytes_ = MapFromKept(SharedBlockCache(), mapped, size);
    block.size_ = size;
    block.mappedSize_ = mapped;
    return block;
  }
#endif
  block.bytes_ = static_cast<std::uint8_t*>(std::calloc(size, 1));
  if (block.bytes_ == nullptr) throw std::bad_alloc();
  block.size_ = size;
  return block;
}

std::size_t ByteBlock::Discard(std::size_t from, std::size_t to) {
#ifdef TOLVANE_MAPPED_BLOCKS
  if (mappedSize_ == 0 || SharedBlockCache().Keeping()) return from;
  // The block starts on a huge-page boundary.
  const std::size_t first = (from + kHugePage - 1) / kHugePage * kHugePage;
  const std::size_t last = std::min(to, size_) / kHugePage * kHugePage;
  if (first >= last || ::madvise(bytes_ + first, last - first, MADV_DONTNEED) != 0) return from;
  return last;
#else
  (void)to;
  return from;
#endif
}

ByteBlock::~ByteBlock() { Release(); }

ByteBlock::ByteBlock(ByteBlock&& other) noexcept
    : bytes_(std::exchange(other.bytes_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mappedSize_(std::exchange(other.mappedSize_, 0)) {}

ByteBlock& ByteBlock::operator=(ByteBlock&& other) noexcept {
  if (this != &other) {
    Release();
    bytes_ = std::exchange(other.bytes_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mappedSize_ = std::exchange(other.mappedSize_, 0);
  }
  return *this;
}

void ByteBlock::Release() noexcept {
#ifdef TOLVANE_MAPPED_BLOCKS
  if (mappedSize_ > 0) {
    SharedBlockCache().Free(bytes_, mappedSize_);
    bytes_ = nullptr;
    return;
  }
#endif
  std::free(bytes_);
  bytes_ = nullptr;
}

}  // namespace tolvane
