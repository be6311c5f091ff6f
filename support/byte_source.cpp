#include "support/byte_source.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "support/error.h"
#include "support/memory_budget.h"
#include "support/messages.h"

namespace tolvane {

void CheckRestFitsBudget(std::uint64_t size) {
  if (!FitsMemoryBudget(size) || size > std::numeric_limits<std::size_t>::max()) {
    throw Error(std::string(messages::kOutOfMemory));
  }
}

std::size_t CountWithin(std::uint64_t size, std::uint64_t offset, std::size_t count) {
  if (offset >= size) return 0;
  return static_cast<std::size_t>(std::min<std::uint64_t>(count, size - offset));
}

ByteBlock BlockForRest(std::uint64_t size) {
  CheckRestFitsBudget(size);
  try {
    return ByteBlock::Zeroed(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    throw Error(std::string(messages::kOutOfMemory));
  }
}

void ByteSource::ReadExact(void* buffer, std::size_t count) {
  if (Read(buffer, count) != count) throw Error(std::string(messages::kReadError));
}

std::size_t MemorySource::Read(void* buffer, std::size_t count) {
  const std::size_t got = std::min(count, bytes_.size() - position_);
  if (got > 0) std::memcpy(buffer, bytes_.data() + position_, got);
  position_ += got;
  return got;
}

void MemorySource::Skip(std::uint64_t count) {
  position_ += static_cast<std::size_t>(std::min<std::uint64_t>(count, bytes_.size() - position_));
}

std::size_t MemorySource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  const std::size_t got = CountWithin(bytes_.size(), offset, count);
  if (got > 0) std::memcpy(buffer, bytes_.data() + offset, got);
  return got;
}

ByteBlock MemorySource::ReadRest(std::size_t) {
  ByteBlock data = BlockForRest(bytes_.size() - position_);
  if (!data.empty()) std::memcpy(data.data(), bytes_.data() + position_, data.size());
  position_ = bytes_.size();
  return data;
}

}  // namespace tolvane
