#include "formats/png/png_text.h"

#include <algorithm>

#include "formats/png/png_inflate.h"

namespace tolvane::png {

constexpr std::size_t kTextBufferBytes = 16 * 1024;

void CompressedTextReader::Read(std::span<const std::uint8_t> chunkData) {
  const auto keywordEnd = std::find(chunkData.begin(), chunkData.end(), std::uint8_t{0});
  if (keywordEnd == chunkData.end() || keywordEnd + 1 == chunkData.end()) return;
  if (*(keywordEnd + 1) != 0) return;
  const std::span<const std::uint8_t> compressed(keywordEnd + 2, chunkData.end());
  if (compressed.empty() || textLeft_ == 0) return;

  buffer_.resize(kTextBufferBytes);
  InflateStream inflater;
  z_stream& stream = inflater.Get();
  stream.next_in = const_cast<Bytef*>(compressed.data());
  stream.avail_in = static_cast<uInt>(compressed.size());  // a chunk's length has 32 bits
  while (stream.avail_in > 0 && textLeft_ > 0) {
    stream.next_out = buffer_.data();
    stream.avail_out = static_cast<uInt>(std::min<std::uint64_t>(buffer_.size(), textLeft_));
    const uInt outBefore = stream.avail_out;
    const bool ended = inflater.Step();
    textLeft_ -= outBefore - stream.avail_out;
    if (ended) return;
  }
}

}  // namespace tolvane::png
