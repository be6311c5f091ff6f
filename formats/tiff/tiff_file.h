#pragma once

#include <tiffio.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>

#include "support/byte_block.h"
#include "support/byte_source.h"

namespace tolvane {

// What libtiff's client procedures read from: a source from a given start,
// at most `size` bytes of it, and, where the file is held whole, the mapping
// libtiff may read through instead.
struct TiffBytes {
  ByteSource* source = nullptr;
  std::uint64_t start = 0;
  std::uint64_t size = 0;
  std::uint64_t position = 0;
  const std::uint8_t* mapping = nullptr;
  // The source's own failure (a read error), kept to be thrown once libtiff
  // has given up: an exception must not cross libtiff's frames.
  std::exception_ptr failure;
};

struct TiffDeleter {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffDeleter>;

// A TIFF file opened at its first directory, from the source's position on,
// with libtiff's messages dropped and its single allocations held to the
// memory budget. Fails with the invalid-stream-format message.
//
// libtiff reads the file in pieces, as it asks for them, where that reads the
// same bytes the same way as a mapping of it would. For the other layouts
// (no compression, where libtiff reads a strip or tile by its computed size
// rather than its byte count only when the file is not mapped, and the rarer
// codecs) the file is held whole and mapped, as libtiff reads it fastest and
// as every such file has always been read. `source` must outlive the object.
class OpenTiff {
 public:
  explicit OpenTiff(ByteSource& source);
  OpenTiff(const OpenTiff&) = delete;
  OpenTiff& operator=(const OpenTiff&) = delete;

  TIFF* Get() const { return tif_.get(); }

  // Throws the source's failure if reading it failed; the message for the
  // file is then the read error, not what libtiff made of the missing bytes.
  void RethrowReadFailure() const;

 private:
  void OpenHeldWhole(ByteSource& source);

  TiffBytes streamed_;
  ByteBlock held_;
  std::optional<MemorySource> heldSource_;
  TiffBytes mapped_;
  TiffHandle tif_;
};

[[noreturn]] void ThrowInvalidTiff();

}  // namespace tolvane
