#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tolvane::png {

// The compressed text of a file's zTXt chunks (keyword, 0, method byte,
// compressed text). Nothing uses the text, but it is inflated when its chunk
// is read, as the image data are, so that bad compressed data fail the file
// in the same way. The text goes through one small buffer and is thrown away.
class CompressedTextReader {
 public:
  // Inflates the text of one chunk's data. A chunk without the 0 after its
  // keyword holds no text; a method other than 0 (zlib) is not inflated.
  // Running out of compressed bytes simply ends the text, as it does for the
  // image data. Fails with the zlib message for bad compressed data.
  void Read(std::span<const std::uint8_t> chunkData);

 private:
  // Inflated text, summed over the file's chunks, after which no more is
  // inflated: a chunk of a few kilobytes can stand for a gigabyte of text,
  // and no real text comes near this.
  std::uint64_t textLeft_ = std::uint64_t{8} << 20;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace tolvane::png
