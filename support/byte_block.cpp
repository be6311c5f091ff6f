#include "support/byte_block.h"

#include <cstdlib>
#include <new>
#include <utility>

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
#endif

}  // namespace

ByteBlock ByteBlock::Zeroed(std::size_t size) {
  ByteBlock block;
  if (size == 0) return block;
#ifdef TOLVANE_MAPPED_BLOCKS
  if (size >= kMappedFrom) {
    if (size > SIZE_MAX - 2 * kHugePage) throw std::bad_alloc();
    const std::size_t mapped = (size + kHugePage - 1) / kHugePage * kHugePage;
    block.bytes_ = MapAligned(mapped);
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
    ::munmap(bytes_, mappedSize_);
    bytes_ = nullptr;
    return;
  }
#endif
  std::free(bytes_);
  bytes_ = nullptr;
}

}  // namespace tolvane
