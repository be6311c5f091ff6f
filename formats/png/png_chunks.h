#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "formats/png/png_header.h"
#include "support/byte_source.h"

namespace tolvane::png {

// The CRC-32 of PNG chunks, continued over more bytes (zlib's crc32).
std::uint32_t CrcOf(std::uint32_t crc, std::span<const std::uint8_t> bytes);
std::uint32_t CrcStart(const ChunkType& type);

struct ChunkHeader {
  std::uint32_t length = 0;
  ChunkType type{};
};

// Reads a PNG file's chunks through a buffer, so that small fields cost no
// system call each.
class ChunkReader {
 public:
  explicit ChunkReader(ByteSource& file);

  // Reads up to count bytes; fewer only where the file ends.
  std::size_t Read(std::uint8_t* out, std::size_t count);
  void Skip(std::uint64_t count);

  // True when the file begins with the PNG signature.
  bool ReadSignature();

  // The next chunk's length and type. A file that ends before or inside them
  // fails with the unexpected-end message.
  ChunkHeader ReadHeader();

  // Reads the data of a chunk whose header was just read (a file that ends
  // early supplies fewer bytes), then its CRC; a mismatch fails with the CRC
  // message. Memory grows with the bytes that arrive, never with the length.
  std::vector<std::uint8_t> ReadData(const ChunkHeader& header);

  // Reads the 4 CRC bytes and fails with the CRC message unless they are
  // present and equal to crc.
  void CheckCrc(std::uint32_t crc);

 private:
  ByteSource& file_;
  std::vector<std::uint8_t> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

// The compressed image data, fetched from one or more consecutive IDAT chunks
// in pieces of at most 65535 bytes, each chunk's CRC checked as the data move
// on to the next chunk.
class IdatSource {
 public:
  IdatSource(ChunkReader& reader, std::uint32_t firstLength);

  // The next piece; empty when the file has ended. Fails with the CRC message
  // on a chunk whose CRC does not match and with the missing-image-part
  // message when the chunk after an IDAT chunk is not IDAT.
  std::span<const std::uint8_t> Fetch();

  // Ends the image data: the rest of the current chunk is read and its CRC
  // checked, so that a stream ending before its chunk does is accepted.
  void Finish();

 private:
  ChunkReader& reader_;
  std::uint64_t remaining_;
  std::uint32_t crc_;
  bool fileEnded_ = false;
  std::vector<std::uint8_t> piece_;
};

}  // namespace tolvane::png
