#pragma once

#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <span>

namespace tolvane {

// A TIFF file's bytes, which libtiff reads through client procedures and
// sees as a read-only mapping.
struct MemoryFile {
  std::span<const std::uint8_t> bytes;
  std::uint64_t position = 0;
};

struct TiffDeleter {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffDeleter>;

// Opens the file at its first directory, with libtiff's messages dropped and
// its single allocations held to the memory budget. Fails with the
// invalid-stream-format message. `file` must outlive the handle.
TiffHandle OpenFirstDirectory(MemoryFile& file);

[[noreturn]] void ThrowInvalidTiff();

}  // namespace tolvane
