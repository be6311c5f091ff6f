#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/jpeg/jpeg_library.h"

namespace tolvane {

// The reader's source manager: hands libjpeg the loaded bytes in pieces of at
// most 4096, and an end-of-image marker for ever once they are used up, so a
// cut-off file ends the way libjpeg's recovery expects.
struct JpegMemorySource {
  jpeg_source_mgr pub;  // first, so libjpeg's pointer to it is a pointer to the whole
  const std::uint8_t* data;
  std::size_t size;
  std::size_t offset;
  bool handedOut;  // whether any byte of the data has been given to libjpeg
};

inline constexpr std::size_t kJpegSourcePiece = 4096;

// Points the source at data (which must outlive the decompressor) and
// attaches it to cinfo.
void AttachJpegMemorySource(j_decompress_ptr cinfo, JpegMemorySource& source,
                            std::span<const std::uint8_t> data);

}  // namespace tolvane
