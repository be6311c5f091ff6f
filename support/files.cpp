// What the files of every platform share; the system calls are in
// files_posix.cpp and files_win32.cpp.

#include "support/files.h"

#include <algorithm>
#include <limits>
#include <new>

#include "support/error.h"
#include "support/memory_budget.h"
#include "support/messages.h"

namespace tolvane {

void InputFile::ReadExact(void* buffer, std::size_t count) {
  if (Read(buffer, count) != count) throw Error(std::string(messages::kReadError));
}

void InputFile::Skip(std::uint64_t count) {
  const std::uint64_t target = position_ + count < position_ ? size_ : position_ + count;
  const std::uint64_t clamped = target > size_ ? size_ : target;
  SeekTo(clamped);
  position_ = clamped;
}

ByteBlock InputFile::ReadRest(std::size_t pieceSize) {
  const std::uint64_t remaining = size_ > position_ ? size_ - position_ : 0;
  if (!FitsMemoryBudget(remaining) || remaining > std::numeric_limits<std::size_t>::max()) {
    throw Error(std::string(messages::kOutOfMemory));
  }
  ByteBlock data;
  try {
    data = ByteBlock::Zeroed(static_cast<std::size_t>(remaining));
  } catch (const std::bad_alloc&) {
    throw Error(std::string(messages::kOutOfMemory));
  }
  std::size_t done = 0;
  while (done < data.size()) {
    const std::size_t piece = std::min(pieceSize, data.size() - done);
    const std::size_t got = Read(data.data() + done, piece);
    if (got != piece) throw Error(std::string(messages::kReadError));
    done += got;
  }
  return data;
}

}  // namespace tolvane
