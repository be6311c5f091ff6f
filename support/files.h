#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/byte_block.h"
#include "support/byte_source.h"

namespace tolvane {

// An input file opened for reading. Every OS failure becomes the program's
// message: opening fails with the "cannot open" text carrying the path,
// reading with the stream read error.
class InputFile : public ByteSource {
 public:
  explicit InputFile(const std::string& path);
  ~InputFile() override;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // The file's size in bytes when it was opened.
  std::uint64_t Size() const override { return size_; }

  // Reads up to `count` bytes; fewer only at the end of the file.
  std::size_t Read(void* buffer, std::size_t count) override;

  // Skips forward; past the end simply leaves the file at its end.
  void Skip(std::uint64_t count) override;

  std::uint64_t Position() const override { return position_; }

  // Reads the bytes at `offset` that lie within the size the file had when
  // it was opened. Fails with the stream read error when fewer arrive, as
  // from a file shortened since.
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

  // The rest of the file, read in pieces of at most `pieceSize` bytes. Fails
  // with the stream read error when fewer bytes arrive than the size promised,
  // and with the out-of-memory message when the buffer cannot be had.
  ByteBlock ReadRest(std::size_t pieceSize) override;

 private:
  // Moves to `offset` (at most the size); fails with the stream read error.
  void SeekTo(std::uint64_t offset);

  // Reads up to `count` bytes at `offset`, fewer only at the end of the
  // file; fails with the stream read error.
  std::size_t ReadFromOffset(std::uint64_t offset, unsigned char* buffer, std::size_t count);

  int fd_ = -1;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
};

// An output file that appears under its name only when it is complete. Bytes
// go to a temporary file in the target's folder; Commit flushes it to the disk
// and renames it over the target. A file that is never committed is removed,
// so a failure leaves neither a partial file nor a damaged earlier one.
//
// Otherwise it behaves as a plain open for writing: a link is written
// through (the temporary file goes beside its final target), an existing file
// that may not be written is refused, a replaced file keeps its mode (and its
// owner where this user may give it), and a new file gets 0666 less the umask.
class AtomicOutputFile {
 public:
  // Fails with the "cannot create" text carrying the target path, also when
  // the target exists and may not be written.
  explicit AtomicOutputFile(const std::string& targetPath);
  ~AtomicOutputFile();
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  // Fails with the stream write error when the file takes fewer bytes.
  void Write(const void* data, std::size_t count);

  // Closes the temporary file and puts it in place of the target. Fails with
  // the stream write error when the data cannot be flushed, and with the
  // "cannot create" text when the target cannot be replaced.
  void Commit();

 private:
  std::string target_;  // as given, for messages
  std::string final_;   // the target with its links followed
  std::string temporary_;
  int fd_ = -1;
  bool committed_ = false;
};

// The OS text for an errno value, as the two file messages insert it.
std::string OsErrorText(int errorNumber);

// True when both paths name one existing file (same device and file number).
bool SameExistingFile(const std::string& a, const std::string& b);

}  // namespace tolvane
