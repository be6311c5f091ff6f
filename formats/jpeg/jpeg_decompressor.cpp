#include "formats/jpeg/jpeg_decompressor.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "support/memory_budget.h"

namespace tolvane {

namespace {

// libjpeg's whole-image buffers (multi-scan files, two-pass quantising) may
// take the memory budget; beyond it libjpeg fails as if memory were
// exhausted. A hostile header can thus not make it reserve tens of gigabytes.
long WorkMemoryLimit() {
  return static_cast<long>(std::min<std::uint64_t>(MemoryBudget(), std::numeric_limits<long>::max()));
}

// Runs call with the jump target set. Between this frame and libjpeg's
// error_exit there are only libjpeg's frames, our C-style callbacks and the
// call itself, none of which own anything to destroy.
template <typename Call>
bool Guarded(JpegErrorManager& errors, Call call) {
  static_assert(std::is_trivially_destructible_v<Call>);
  if (setjmp(errors.jump) != 0) return false;
  call();
  return true;
}

}  // namespace

JpegDecompressor::JpegDecompressor(std::span<const std::uint8_t> data) {
  InstallJpegErrorManager(errors_);
  info_.err = &errors_.pub;
  jpeg_decompress_struct* info = &info_;
  if (!Guarded(errors_, [info] {
        jpeg_CreateDecompress(info, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
      })) {
    const int code = errors_.pub.msg_code;
    jpeg_destroy_decompress(&info_);
    ThrowJpegFailure(code);
  }
  info_.mem->max_memory_to_use = WorkMemoryLimit();
  AttachJpegMemorySource(&info_, source_, data);
}

JpegDecompressor::~JpegDecompressor() { jpeg_destroy_decompress(&info_); }

void JpegDecompressor::ReadHeader() {
  jpeg_decompress_struct* info = &info_;
  if (!Guarded(errors_, [info] { jpeg_read_header(info, TRUE); })) {
    ThrowJpegFailure(errors_.pub.msg_code);
  }
}

void JpegDecompressor::StartDecompress() {
  jpeg_decompress_struct* info = &info_;
  if (!Guarded(errors_, [info] { jpeg_start_decompress(info); })) {
    ThrowJpegFailure(errors_.pub.msg_code);
  }
}

void JpegDecompressor::ReadScanline(std::uint8_t* row) {
  jpeg_decompress_struct* info = &info_;
  JDIMENSION rows = 0;
  JDIMENSION* result = &rows;
  if (!Guarded(errors_, [info, row, result] {
        JSAMPROW target = row;
        *result = jpeg_read_scanlines(info, &target, 1);
      })) {
    ThrowJpegFailure(errors_.pub.msg_code);
  }
  // The source never suspends, so libjpeg always delivers the row.
  if (rows != 1) ThrowJpegFailure(JERR_CANT_SUSPEND);
}

void JpegDecompressor::FinishDecompress() {
  jpeg_decompress_struct* info = &info_;
  if (!Guarded(errors_, [info] { jpeg_finish_decompress(info); })) {
    ThrowJpegFailure(errors_.pub.msg_code);
  }
}

}  // namespace tolvane
