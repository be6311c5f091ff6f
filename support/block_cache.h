#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace tolvane {

// The large blocks a conversion frees, kept mapped for the next conversion
// of a batch (or the next drop on the window) instead of being given back
// to the system: fresh memory costs a page fault for every page its owner
// touches first, so without this every conversion of a batch would pay
// again for the pixel stores, whole files and coefficient arrays the one
// before it has just freed.
//
// The rules:
// - Blocks are kept only while keeping is on (KeepFreedBlocks).
// - A request is served by the smallest kept region that holds it; the
//   rest of that region stays kept. When no one region holds it, it is
//   made of the largest kept regions, moved together, and fresh memory for
//   the rest. A block that comes back is joined to the kept regions beside
//   it.
// - Kept and used bytes together never exceed the most that was in use at
//   once since the cache was last emptied: keeping never raises the peak,
//   so a batch of two conversions at a time holds at most the blocks of two
//   conversions at once. Should fresh memory break the rule (a block came
//   back while it was mapped), kept bytes go, the smallest regions first.
// - Everything kept is given back when keeping ends or on Release.
// - Kept bytes are not known to be zero: whoever needs zeroes clears them.
//
// Sizes and addresses are the caller's (whole huge pages, for ByteBlock);
// `unmap` gives a region back to the system. Safe to use from any thread.
class BlockCache {
 public:
  using Unmap = void (*)(std::uint8_t* bytes, std::size_t size);
  struct Region {
    std::uint8_t* bytes;
    std::size_t size;
  };

  explicit BlockCache(Unmap unmap) : unmap_(unmap) {}
  ~BlockCache();
  BlockCache(const BlockCache&) = delete;
  BlockCache& operator=(const BlockCache&) = delete;

  // The kept regions a block of `size` bytes is to be made of, now in use:
  // one region of exactly that size when a kept region holds it; else the
  // largest regions, `size` bytes at most in all (none when nothing is
  // kept). The caller maps what they leave over and reports those fresh
  // bytes with Mapped.
  std::vector<Region> Take(std::size_t size);
  void Mapped(std::size_t size);
  // A block in use is freed: kept, or given back. Never throws.
  void Free(std::uint8_t* bytes, std::size_t size) noexcept;

  // Keeping nests: it ends, and gives back what is kept, when the last
  // StartKeeping is matched.
  void StartKeeping();
  void StopKeeping();
  // Gives back everything kept now; keeping goes on.
  void Release();

  bool Keeping() const;
  std::size_t KeptBytes() const;
  std::size_t UsedBytes() const;

 private:
  bool Keep(Region region);
  void FitUnderPeak();
  void ReleaseLocked();

  const Unmap unmap_;
  mutable std::mutex mutex_;
  std::vector<Region> kept_;
  std::size_t keptBytes_ = 0;
  std::size_t usedBytes_ = 0;
  std::size_t peakBytes_ = 0;  // the most in use at once since the last release
  int keepers_ = 0;
};

// The cache that ByteBlock's mapped blocks go through.
BlockCache& SharedBlockCache();

// While one of these lives, the large blocks that ByteBlocks free are kept
// for the next ones (see BlockCache); what is kept is given back when the
// last one ends. Without mapped blocks (other systems, AddressSanitizer
// builds) nothing is ever kept.
class KeepFreedBlocks {
 public:
  KeepFreedBlocks() { SharedBlockCache().StartKeeping(); }
  ~KeepFreedBlocks() { SharedBlockCache().StopKeeping(); }
  KeepFreedBlocks(const KeepFreedBlocks&) = delete;
  KeepFreedBlocks& operator=(const KeepFreedBlocks&) = delete;
};

// Gives back the blocks kept so far, as when the window has been idle.
inline void ReleaseKeptBlocks() { SharedBlockCache().Release(); }

}  // namespace tolvane
