#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "formats/jpeg/jpeg_block_arrays.h"
#include "formats/jpeg/jpeg_errors.h"
#include "formats/jpeg/jpeg_library.h"
#include "formats/jpeg/jpeg_source.h"

namespace tolvane {

// One libjpeg decompressor over bytes in memory, with the reader's error and
// source managers, destroyed with the object on every path. Each operation
// runs its libjpeg call under a jump target; an error inside libjpeg comes
// back to it and leaves as tolvane::Error from there, so no C++ exception
// ever passes through libjpeg's frames.
class JpegDecompressor {
 public:
  // The data must outlive the decompressor.
  explicit JpegDecompressor(std::span<const std::uint8_t> data);
  ~JpegDecompressor();
  JpegDecompressor(const JpegDecompressor&) = delete;
  JpegDecompressor& operator=(const JpegDecompressor&) = delete;

  jpeg_decompress_struct& Info() { return info_; }

  void ReadHeader();                     // jpeg_read_header, an image required
  bool HasMultipleScans();               // jpeg_has_multiple_scans
  void StartDecompress();                // jpeg_start_decompress
  void ReadScanline(std::uint8_t* row);  // one row by jpeg_read_scanlines
  void FinishDecompress();               // jpeg_finish_decompress

  // Buffered-image mode: jpeg_consume_input (its result), jpeg_start_output
  // and jpeg_finish_output.
  int ConsumeInput();
  void StartOutput(int scan);
  void FinishOutput();

  // The output pass about to start is the last: the whole-image
  // coefficients it leaves behind are given back as it goes.
  void DiscardCoefficientsBehindOutput() { blockArrays_->DiscardBehindReads(); }

 private:
  jpeg_decompress_struct info_{};
  JpegErrorManager errors_{};
  JpegMemorySource source_{};
  std::optional<JpegBlockArrays> blockArrays_;  // after info_: freed once libjpeg is gone
};

}  // namespace tolvane
