#include "formats/png/png_inflate.h"

#include "support/error.h"
#include "support/messages.h"

namespace tolvane::png {

void FailInflate(int zlibResult) { throw Error(messages::PngInflateError(zlibResult)); }

InflateStream::InflateStream() {
  const int result = inflateInit(&stream_);
  if (result != Z_OK) FailInflate(result);
}

bool InflateStream::Step() {
  const uInt inBefore = stream_.avail_in;
  const uInt outBefore = stream_.avail_out;
  const int result = inflate(&stream_, Z_NO_FLUSH);
  if (result == Z_STREAM_END) return true;
  if (result != Z_OK) FailInflate(result);
  if (stream_.avail_in == inBefore && stream_.avail_out == outBefore) FailInflate(Z_BUF_ERROR);
  return false;
}

}  // namespace tolvane::png
