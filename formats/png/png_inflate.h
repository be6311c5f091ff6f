#pragma once

#include <zlib.h>

namespace tolvane::png {

// Fails with the zlib message for a result of inflate or inflateInit.
[[noreturn]] void FailInflate(int zlibResult);

// zlib's inflate state (window bits 15), released on every path; the image
// data and the compressed text go through the same rules.
class InflateStream {
 public:
  // Fails with the zlib message when zlib cannot start.
  InflateStream();
  ~InflateStream() { inflateEnd(&stream_); }
  InflateStream(const InflateStream&) = delete;
  InflateStream& operator=(const InflateStream&) = delete;

  z_stream& Get() { return stream_; }

  // One call of inflate with what next_in and next_out offer. True when the
  // stream has ended. Fails with the zlib message on an error, on a request
  // for a dictionary (none can be given), and on a call that makes no
  // progress, so that no caller can loop on it.
  bool Step();

 private:
  z_stream stream_{};
};

}  // namespace tolvane::png
