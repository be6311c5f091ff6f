#include "support/block_cache.h"

#include <algorithm>
#include <new>

namespace tolvane {

BlockCache::~BlockCache() { ReleaseLocked(); }

std::uint8_t* BlockCache::Take(std::size_t size) {
  const std::lock_guard lock(mutex_);
  auto best = kept_.end();
  for (auto region = kept_.begin(); region != kept_.end(); ++region) {
    if (region->size >= size && (best == kept_.end() || region->size < best->size)) best = region;
  }
  if (best == kept_.end()) return nullptr;
  std::uint8_t* const bytes = best->bytes;
  if (best->size == size) {
    kept_.erase(best);
  } else {
    best->bytes += size;
    best->size -= size;
  }
  keptBytes_ -= size;
  usedBytes_ += size;
  return bytes;
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
    const auto smallest = std::min_element(kept_.begin(), kept_.end(),
                                           [](const Region& a, const Region& b) { return a.size < b.size; });
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

std::size_t BlockCache::KeptBytes() const {
  const std::lock_guard lock(mutex_);
  return keptBytes_;
}

std::size_t BlockCache::UsedBytes() const {
  const std::lock_guard lock(mutex_);
  return usedBytes_;
}

}  // namespace tolvane
