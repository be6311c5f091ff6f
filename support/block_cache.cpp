#include "support/block_cache.h"

#include <algorithm>
#include <new>

namespace tolvane {

namespace {

bool SmallerRegion(const BlockCache::Region& a, const BlockCache::Region& b) {
  return a.size < b.size;
}

}  // namespace

BlockCache::~BlockCache() { ReleaseLocked(); }

std::vector<BlockCache::Region> BlockCache::Take(std::size_t size) {
  const std::lock_guard lock(mutex_);
  std::vector<Region> taken;
  taken.reserve(kept_.size());  // so that nothing below throws
  // The head of a kept region, the rest staying kept.
  const auto takeHead = [&](std::vector<Region>::iterator region, std::size_t bytes) {
    taken.push_back({region->bytes, bytes});
    if (region->size == bytes) {
      kept_.erase(region);
    } else {
      region->bytes += bytes;
      region->size -= bytes;
    }
    keptBytes_ -= bytes;
    usedBytes_ += bytes;
  };
  auto best = kept_.end();
  for (auto region = kept_.begin(); region != kept_.end(); ++region) {
    if (region->size >= size && (best == kept_.end() || region->size < best->size)) best = region;
  }
  if (best != kept_.end()) {
    takeHead(best, size);
    return taken;
  }
  for (std::size_t missing = size; missing > 0 && !kept_.empty();) {
    const auto largest = std::max_element(kept_.begin(), kept_.end(), SmallerRegion);
    const std::size_t bytes = std::min(largest->size, missing);
    takeHead(largest, bytes);
    missing -= bytes;
  }
  return taken;
}

void BlockCache::Mapped(std::size_t size) {
  const std::lock_guard lock(mutex_);
  usedBytes_ += size;
  peakBytes_ = std::max(peakBytes_, usedBytes_);
  FitUnderPeak();
}

void BlockCache::Free(std::uint8_t* bytes, std::size_t size) noexcept {
  {
    const std::lock_guard lock(mutex_);
    usedBytes_ -= std::min(size, usedBytes_);
    if (keepers_ > 0 && Keep({bytes, size})) return;
  }
  unmap_(bytes, size);
}

bool BlockCache::Keep(Region region) {
  // Room first: a block that cannot be noted down is given back instead.
  try {
    kept_.reserve(kept_.size() + 1);
  } catch (const std::bad_alloc&) {
    return false;
  }
  keptBytes_ += region.size;
  // Joined to its neighbours, so that a block split to serve a smaller one
  // is whole again when both are back.
  for (auto other = kept_.begin(); other != kept_.end();) {
    if (other->bytes + other->size == region.bytes) {
      region = {other->bytes, other->size + region.size};
    } else if (region.bytes + region.size == other->bytes) {
      region.size += other->size;
    } else {
      ++other;
      continue;
    }
    other = kept_.erase(other);
  }
  kept_.push_back(region);
  return true;
}

void BlockCache::FitUnderPeak() {
  while (!kept_.empty() && keptBytes_ + usedBytes_ > peakBytes_) {
    const auto smallest = std::min_element(kept_.begin(), kept_.end(), SmallerRegion);
    const std::size_t excess = keptBytes_ + usedBytes_ - peakBytes_;
    if (smallest->size <= excess) {
      unmap_(smallest->bytes, smallest->size);
      keptBytes_ -= smallest->size;
      kept_.erase(smallest);
    } else {
      // The tail only: the rest still serves a block of its size.
      smallest->size -= excess;
      unmap_(smallest->bytes + smallest->size, excess);
      keptBytes_ -= excess;
    }
  }
}

void BlockCache::StartKeeping() {
  const std::lock_guard lock(mutex_);
  if (keepers_++ == 0) peakBytes_ = usedBytes_;
}

void BlockCache::StopKeeping() {
  const std::lock_guard lock(mutex_);
  if (keepers_ > 0 && --keepers_ == 0) ReleaseLocked();
}

void BlockCache::Release() {
  const std::lock_guard lock(mutex_);
  ReleaseLocked();
}

void BlockCache::ReleaseLocked() {
  for (const Region& region : kept_) unmap_(region.bytes, region.size);
  kept_.clear();
  keptBytes_ = 0;
  peakBytes_ = usedBytes_;
}

bool BlockCache::Keeping() const {
  const std::lock_guard lock(mutex_);
  return keepers_ > 0;
}

std::size_t BlockCache::KeptBytes() const {
  const std::lock_guard lock(mutex_);
  return keptBytes_;
}

std::size_t BlockCache::UsedBytes() const {
  const std::lock_guard lock(mutex_);
  return usedBytes_;
}

}  // namespace tolvane
