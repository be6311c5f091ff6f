#include "tests/formats/png/png_fixture.h"

#include <zlib.h>

#include <cstdlib>
#include <stdexcept>

#include "support/error.h"

namespace tolvane::testing {

Bytes Deflate(const Bytes& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes out(size);
  if (compress(out.data(), &size, raw.data(), static_cast<uLong>(raw.size())) != Z_OK) {
    throw std::runtime_error("compress failed");
  }
  out.resize(size);
  return out;
}

Bytes ScanLines(const std::vector<Bytes>& rows, std::uint8_t filter) {
  Bytes out;
  for (const Bytes& row : rows) {
    out.push_back(filter);
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

namespace {

int Predictor(int type, int a, int b, int c) {
  switch (type) {
    case 1: return a;
    case 2: return b;
    case 3: return (a + b) / 2;
    case 4: {
      const int p = a + b - c;
      const int pa = std::abs(p - a);
      const int pb = std::abs(p - b);
      const int pc = std::abs(p - c);
      if (pa <= pb && pa <= pc) return a;
      return pb <= pc ? b : c;
    }
    default: return 0;
  }
}

}  // namespace

Bytes FilterLine(int type, const Bytes& line, const Bytes& above, std::size_t bpp) {
  Bytes out(line.size());
  for (std::size_t i = 0; i < line.size(); ++i) {
    const int a = i >= bpp ? line[i - bpp] : 0;
    const int c = i >= bpp ? above[i - bpp] : 0;
    out[i] = static_cast<std::uint8_t>(line[i] - Predictor(type, a, above[i], c));
  }
  return out;
}

PngBuilder::PngBuilder() : bytes_{137, 80, 78, 71, 13, 10, 26, 10} {}

PngBuilder& PngBuilder::Chunk(const std::string& type, const Bytes& data) {
  PutBe32(bytes_, static_cast<std::uint32_t>(data.size()));
  Bytes body(type.begin(), type.end());
  body.insert(body.end(), data.begin(), data.end());
  bytes_.insert(bytes_.end(), body.begin(), body.end());
  PutBe32(bytes_,
          static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
  return *this;
}

PngBuilder& PngBuilder::ChunkWithBadCrc(const std::string& type, const Bytes& data) {
  Chunk(type, data);
  bytes_.back() ^= 0xFF;
  return *this;
}

PngBuilder& PngBuilder::Header(std::uint32_t width, std::uint32_t height, int bitDepth,
                               int colorType, int interlace) {
  Bytes data;
  PutBe32(data, width);
  PutBe32(data, height);
  data.insert(data.end(),
              {static_cast<std::uint8_t>(bitDepth), static_cast<std::uint8_t>(colorType), 0, 0,
               static_cast<std::uint8_t>(interlace)});
  return Chunk("IHDR", data);
}

PngBuilder& PngBuilder::Raw(const Bytes& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

Bytes SimplePng(std::uint32_t width, std::uint32_t height, int bitDepth, int colorType,
                const std::vector<Bytes>& rows,
                const std::vector<std::pair<std::string, Bytes>>& extra, int interlace) {
  PngBuilder png;
  png.Header(width, height, bitDepth, colorType, interlace);
  for (const auto& [type, data] : extra) png.Chunk(type, data);
  return png.Idat(Deflate(ScanLines(rows))).End().Build();
}

PngImage LoadFromBytes(const Bytes& bytes) {
  MemorySource source(bytes);
  PngImage image;
  image.LoadPng(source);
  return image;
}

std::string LoadError(const Bytes& bytes) {
  try {
    LoadFromBytes(bytes);
  } catch (const Error& error) {
    return error.what();
  }
  return "";
}

Bgra PixelAt(const Raster& raster, int x, int y) {
  std::vector<std::uint8_t> line(4 * static_cast<std::size_t>(raster.Width()));
  ReadRowBgrx(raster, y, line.data());
  const std::uint8_t* p = line.data() + 4 * x;
  return {p[0], p[1], p[2], p[3]};
}

}  // namespace tolvane::testing
