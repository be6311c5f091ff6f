#pragma once

#include <cstddef>
#include <cstdint>

// AddressSanitizer finds overruns only in the allocator's own blocks.
#if defined(__SANITIZE_ADDRESS__)
#define TOLVANE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOLVANE_ADDRESS_SANITIZER 1
#endif
#endif

namespace tolvane {

// A block of bytes, all zero when it is made, owned until it is destroyed.
//
// Large blocks are written once from end to end (a decoded image, a file's
// contents). On Linux such a block is mapped straight from the system and
// starts and ends on a huge-page boundary, so that every part of it can be
// given huge pages: on a virtual machine a page fault costs far more than
// zeroing the page, and a block that merely came from malloc has up to two
// huge pages' worth of small pages at its ends. Memory is still committed
// only where bytes are written. Small blocks, other systems and AddressSanitizer
// builds use calloc.
class ByteBlock {
 public:
#if defined(__linux__) && !defined(TOLVANE_ADDRESS_SANITIZER)
  static constexpr bool kMapsLargeBlocks = true;
#else
  static constexpr bool kMapsLargeBlocks = false;
#endif

  ByteBlock() = default;
  // Throws std::bad_alloc when the system refuses; zero bytes make an empty block.
  static ByteBlock Zeroed(std::size_t size);

  ~ByteBlock();
  ByteBlock(ByteBlock&& other) noexcept;
  ByteBlock& operator=(ByteBlock&& other) noexcept;
  ByteBlock(const ByteBlock&) = delete;
  ByteBlock& operator=(const ByteBlock&) = delete;

  std::uint8_t* data() { return bytes_; }
  const std::uint8_t* data() const { return bytes_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::uint8_t* begin() { return bytes_; }
  std::uint8_t* end() { return bytes_ + size_; }
  const std::uint8_t* begin() const { return bytes_; }
  const std::uint8_t* end() const { return bytes_ + size_; }

  // The bytes from `from` to `to` are no longer needed: the whole huge pages
  // among them go back to the system now, and read as zero afterwards. Not
  // while freed blocks are kept for reuse (the next conversion would only
  // fault them in again), nor for blocks from calloc. Returns where the
  // bytes given back end (`from` when none were), for the next call to
  // start from.
  std::size_t Discard(std::size_t from, std::size_t to);

 private:
  void Release() noexcept;

  std::uint8_t* bytes_ = nullptr;
  std::size_t size_ = 0;
  std::size_t mappedSize_ = 0;  // 0 when the bytes came from calloc
};

}  // namespace tolvane
