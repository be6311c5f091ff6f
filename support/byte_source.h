#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "support/byte_block.h"

namespace tolvane {

// Where a reader's bytes come from: a file (InputFile) or bytes in memory
// (MemorySource). Every reader takes one, so that opening a file happens in
// one place and tests and fuzzers hand bytes over directly.
class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // The size in bytes at the start.
  virtual std::uint64_t Size() const = 0;

  // Reads up to `count` bytes; fewer only at the end.
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;

  // Reads exactly `count` bytes or fails with the stream read error.
  void ReadExact(void* buffer, std::size_t count);

  // Skips forward; past the end simply leaves the source at its end.
  virtual void Skip(std::uint64_t count) = 0;

  // How far from its start the source has been read.
  virtual std::uint64_t Position() const = 0;

  // Reads up to `count` bytes at `offset` from the start without moving the
  // position: fewer only where the size ends. For readers that jump about a
  // file instead of holding it whole.
  virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;

  // The rest, read in pieces of at most `pieceSize` bytes. Fails with the
  // stream read error when fewer bytes arrive than the size promised, and
  // with the out-of-memory message when the buffer cannot be had.
  virtual ByteBlock ReadRest(std::size_t pieceSize) = 0;
};

// Bytes in memory as a source; they must outlive it.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::uint64_t Size() const override { return bytes_.size(); }
  std::size_t Read(void* buffer, std::size_t count) override;
  void Skip(std::uint64_t count) override;
  std::uint64_t Position() const override { return position_; }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;
  ByteBlock ReadRest(std::size_t pieceSize) override;

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

// A block of `size` zero bytes for the rest of a source: fails with the
// out-of-memory message when the budget or the system refuses it.
ByteBlock BlockForRest(std::uint64_t size);

// Fails with the out-of-memory message where BlockForRest would refuse `size`
// bytes by the budget alone.
void CheckRestFitsBudget(std::uint64_t size);

// How many of `count` bytes at `offset` lie within `size` bytes: the clamping
// every ReadAt shares.
std::size_t CountWithin(std::uint64_t size, std::uint64_t offset, std::size_t count);

}  // namespace tolvane
