#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "formats/png/png_header.h"
#include "raster/raster.h"
#include "support/files.h"

namespace tolvane::png {

// Appends one chunk: data length, type, data, CRC-32 over type and data.
void WriteChunk(AtomicOutputFile& out, const char (&type)[5], std::span<const std::uint8_t> data);

struct ImageHeader {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint8_t bitDepth = 8;
  std::uint8_t colorType = 2;
  std::uint8_t interlace = 0;  // 0 none, 1 Adam7
};

// The IDAT chunks of one zlib stream (level 7, default parameters). Each scan
// line is fed to deflate as two inputs, its filter-type byte and its filtered
// bytes, with flush 0; every full 65535-byte output buffer is written at once
// as one IDAT chunk, and Finish writes the rest as the last one.
class IdatWriter {
 public:
  explicit IdatWriter(AtomicOutputFile& out);
  ~IdatWriter();
  IdatWriter(const IdatWriter&) = delete;
  IdatWriter& operator=(const IdatWriter&) = delete;

  void WriteScanLine(std::uint8_t filterType, std::span<const std::uint8_t> filtered);
  void Finish();

 private:
  struct Stream;
  AtomicOutputFile& out_;
  std::unique_ptr<Stream> stream_;
};

// Writes the image data of an image whose raw rows, in PNG byte order, come
// from fetchRow(y) (top row first, each ceil(width x bits per pixel / 8)
// bytes): every scan line with filter Sub and, for interlace 1, the seven
// Adam7 passes in order.
void WriteImageData(AtomicOutputFile& out, const ImageHeader& header,
                    const std::function<std::span<const std::uint8_t>(int y)>& fetchRow);

// A whole 8-bit RGB PNG without interlace, written a row at a time: the
// signature and IHDR when made, each row (blue, green, red and an ignored
// fourth byte a pixel) filtered with Sub straight into the IDAT stream, and
// IEND on Finish. The bytes are those PngImage writes for such an image.
class RgbPngWriter {
 public:
  RgbPngWriter(AtomicOutputFile& out, std::uint32_t width, std::uint32_t height);
  // The next row from the top: width pixels of 4 bytes.
  void WriteRowBgrx(const std::uint8_t* pixels);
  void Finish();

 private:
  AtomicOutputFile& out_;
  std::uint32_t width_;
  std::vector<std::uint8_t> filtered_;
  IdatWriter idat_;
};

// The same file for a raster of 32-bit pixels (Device or Bits32, its fourth
// byte ignored), interlaced with Adam7 when interlace is 1.
void WriteRgbPng(AtomicOutputFile& out, const Raster& raster, std::uint8_t interlace);

}  // namespace tolvane::png
