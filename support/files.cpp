// What the files of every platform share; the system calls are in
// files_posix.cpp and files_win32.cpp.

#include "support/files.h"

#include <algorithm>
#include <string>

#include "support/error.h"
#include "support/messages.h"

namespace tolvane {

void InputFile::Skip(std::uint64_t count) {
  const std::uint64_t target = position_ + count < position_ ? size_ : position_ + count;
  const std::uint64_t clamped = target > size_ ? size_ : target;
  SeekTo(clamped);
  position_ = clamped;
}

std::size_t InputFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  const std::size_t wanted = CountWithin(size_, offset, count);
  if (wanted == 0) return 0;
  if (ReadFromOffset(offset, static_cast<unsigned char*>(buffer), wanted) != wanted) {
    throw Error(std::string(messages::kReadError));
  }
  return wanted;
}

ByteBlock InputFile::ReadRest(std::size_t pieceSize) {
  ByteBlock data = BlockForRest(size_ > position_ ? size_ - position_ : 0);
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
