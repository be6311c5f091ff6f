#include "formats/png/png_text.h"

#include <zlib.h>

#include <algorithm>

#include "formats/png/png_decoder.h"

namespace tolvane::png {

namespace {

constexpr std::size_t kTextBufferBytes = 16 * 1024;

// zlib's inflate state, released on every path.
class TextInflater {
 public:
  TextInflater() {
    const int result = inflateInit(&stream_);
    if (result != Z_OK) FailInflate(result);
  }
  ~TextInflater() { inflateEnd(&stream_); }
  TextInflater(const TextInflater&) = delete;
  TextInflater& operator=(const TextInflater&) = delete;

  z_stream& Stream() { return stream_; }

 private:
  z_stream stream_{};
};

}  // namespace

void CompressedTextReader::Read(std::span<const std::uint8_t> chunkData) {
  const auto keywordEnd = std::find(chunkData.begin(), chunkData.end(), std::uint8_t{0});
  if (keywordEnd == chunkData.end() || keywordEnd + 1 == chunkData.end()) return;
  if (*(keywordEnd + 1) != 0) return;
  const std::span<const std::uint8_t> compressed(keywordEnd + 2, chunkData.end());
  if (compressed.empty() || textLeft_ == 0) return;

  buffer_.resize(kTextBufferBytes);
  TextInflater inflater;
  z_stream& stream = inflater.Stream();
  stream.next_in = const_cast<Bytef*>(compressed.data());
  stream.avail_in = static_cast<uInt>(compressed.size());  // a chunk's length has 32 bits
  while (stream.avail_in > 0 && textLeft_ > 0) {
    stream.next_out = buffer_.data();
    stream.avail_out = static_cast<uInt>(std::min<std::uint64_t>(buffer_.size(), textLeft_));
    const uInt inBefore = stream.avail_in;
    const uInt outBefore = stream.avail_out;
    const int result = inflate(&stream, Z_NO_FLUSH);
    textLeft_ -= outBefore - stream.avail_out;
    if (result == Z_STREAM_END) return;
    if (result != Z_OK) FailInflate(result);  // Z_NEED_DICT: no dictionary can be given
    if (stream.avail_in == inBefore && stream.avail_out == outBefore) FailInflate(Z_BUF_ERROR);
  }
}

}  // namespace tolvane::png
