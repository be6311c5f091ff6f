#include "formats/jpeg/jpeg_source.h"

#include <algorithm>
#include <cstdlib>

namespace tolvane {

namespace {

constexpr JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

JpegMemorySource& SourceOf(j_decompress_ptr cinfo) {
  return *reinterpret_cast<JpegMemorySource*>(cinfo->src);
}

// libjpeg's ERREXIT and WARNMS, without their C casts.
[[noreturn]] void Fail(j_decompress_ptr cinfo, int code) {
  cinfo->err->msg_code = code;
  cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
  // error_exit never returns; should a foreign one, stop here all the same.
  std::abort();
}

void Warn(j_decompress_ptr cinfo, int code) {
  cinfo->err->msg_code = code;
  cinfo->err->emit_message(reinterpret_cast<j_common_ptr>(cinfo), -1);
}

void InitSource(j_decompress_ptr /*cinfo*/) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  JpegMemorySource& source = SourceOf(cinfo);
  if (source.offset >= source.size) {
    if (!source.handedOut) Fail(cinfo, JERR_INPUT_EMPTY);
    Warn(cinfo, JWRN_JPEG_EOF);
    source.pub.next_input_byte = kEndOfImage;
    source.pub.bytes_in_buffer = sizeof kEndOfImage;
    return TRUE;
  }
  const std::size_t piece = std::min(kJpegSourcePiece, source.size - source.offset);
  source.pub.next_input_byte = source.data + source.offset;
  source.pub.bytes_in_buffer = piece;
  source.offset += piece;
  source.handedOut = true;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  JpegMemorySource& source = SourceOf(cinfo);
  auto remaining = static_cast<unsigned long>(count);
  while (remaining > source.pub.bytes_in_buffer) {
    remaining -= static_cast<unsigned long>(source.pub.bytes_in_buffer);
    FillInputBuffer(cinfo);
  }
  source.pub.next_input_byte += remaining;
  source.pub.bytes_in_buffer -= remaining;
}

void TermSource(j_decompress_ptr /*cinfo*/) {}

}  // namespace

void AttachJpegMemorySource(j_decompress_ptr cinfo, JpegMemorySource& source,
                            std::span<const std::uint8_t> data) {
  source.pub.next_input_byte = nullptr;
  source.pub.bytes_in_buffer = 0;
  source.pub.init_source = InitSource;
  source.pub.fill_input_buffer = FillInputBuffer;
  source.pub.skip_input_data = SkipInputData;
  source.pub.resync_to_restart = jpeg_resync_to_restart;
  source.pub.term_source = TermSource;
  source.data = data.data();
  source.size = data.size();
  source.offset = 0;
  source.handedOut = false;
  cinfo->src = &source.pub;
}

}  // namespace tolvane
