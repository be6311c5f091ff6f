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
  return static_cast<long>(
      std::min<std::uint64_t>(MemoryBudget(), std::numeric_limits<long>::max()));
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
  blockArrays_.emplace(info_);
  AttachJpegMemorySource(&info_, source_, data);
}

JpegDecompressor::~JpegDecompressor() { jpeg_destroy_decompress(&info_); }

void JpegDecompressor::ReadHeader() {
  jpeg_decompress_struct* info = &info_;
  if (!Guarded(errors_, [info] { jpeg_read_header(info, TRUE); })) {
    ThrowJpegFailure(errors_.pub.msg_code);
  }
}

bool JpegDecompressor::HasMultipleScans() {
  jpeg_decompress_struct* info = &info_;
  boolean multiple = FALSE;
  boolean* result = &multiple;
  if (!Guarded(errors_, [info, result] { *result = jpeg_has_multiple_scans(info); })) {
    ThrowJpegFailure(errors_.pub.msg_code);
  }
  return multiple != FALSE;
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

int JpegDecompressor::ConsumeInput() {
  jpeg_decompress_struct* info = &info_;
  int status = 0;
  int* result = &status;
  if (!Guarded(errors_, [info, result] { *result = jpeg_consume_input(info); })) {
    ThrowJpegFailure(errors_.pub.msg_code);
  }
  // The source never suspends.
  if (status == JPEG_SUSPENDED) ThrowJpegFailure(JERR_CANT_SUSPEND);
  return status;
}

void JpegDecompressor::StartOutput(int scan) {
  jpeg_decompress_struct* info = &info_;
  if (!Guarded(errors_, [info, scan] { jpeg_start_output(info, scan); })) {
    ThrowJpegFailure(errors_.pub.msg_code);
  }
}

void JpegDecompressor::FinishOutput() {
  jpeg_decompress_struct* info = &info_;
  if (!Guarded(errors_, [info] { jpeg_finish_output(info); })) {
    ThrowJpegFailure(errors_.pub.msg_code);
  }
}

void JpegDecompressor::FinishDecompress() {
  jpeg_decompress_struct* info = &info_;
  if (!Guarded(errors_, [info] { jpeg_finish_decompress(info); })) {
    ThrowJpegFailure(errors_.pub.msg_code);
  }
}

}  // namespace tolvane
