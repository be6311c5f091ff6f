#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/png/png_image.h"
#include "tests/support/test_support.h"

namespace tolvane::testing {

using Bytes = std::vector<std::uint8_t>;

// zlib's compress at its default level.
Bytes Deflate(const Bytes& raw);

// Scan lines with the given filter byte in front of each row.
Bytes ScanLines(const std::vector<Bytes>& rows, std::uint8_t filter = 0);

// The filter of the PNG standard (0 None, 1 Sub, 2 Up, 3 Average, 4 Paeth)
// applied to an unfiltered line, byte by byte: above is the unfiltered line
// before it, bpp the bytes per pixel.
Bytes FilterLine(int type, const Bytes& line, const Bytes& above, std::size_t bpp);

// A PNG file built chunk by chunk.
class PngBuilder {
 public:
  PngBuilder();  // the signature

  PngBuilder& Chunk(const std::string& type, const Bytes& data);
  PngBuilder& ChunkWithBadCrc(const std::string& type, const Bytes& data);
  PngBuilder& Header(std::uint32_t width, std::uint32_t height, int bitDepth, int colorType,
                     int interlace = 0);
  PngBuilder& Idat(const Bytes& compressed) { return Chunk("IDAT", compressed); }
  PngBuilder& End() { return Chunk("IEND", {}); }
  PngBuilder& Raw(const Bytes& bytes);
  const Bytes& Build() const { return bytes_; }

 private:
  Bytes bytes_;
};

// A whole file: IHDR, the extra chunks, one IDAT of the rows (filter None), IEND.
Bytes SimplePng(std::uint32_t width, std::uint32_t height, int bitDepth, int colorType,
                const std::vector<Bytes>& rows,
                const std::vector<std::pair<std::string, Bytes>>& extra = {}, int interlace = 0);

// Decodes the bytes of a whole file, from memory.
PngImage LoadFromBytes(const Bytes& bytes);

// The message LoadPng fails with, or "" when it succeeds.
std::string LoadError(const Bytes& bytes);

// Pixel x of row y of a raster as blue, green, red, fourth byte.
struct Bgra {
  std::uint8_t blue, green, red, fourth;
  friend bool operator==(const Bgra&, const Bgra&) = default;
};
Bgra PixelAt(const Raster& raster, int x, int y);

}  // namespace tolvane::testing
