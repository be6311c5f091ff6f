#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "formats/png/png_header.h"
#include "raster/raster.h"
#include "support/byte_block.h"
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

// The program's PNG writer: a whole file written a row at a time. The
// signature, IHDR and, when given, PLTE (3 bytes an entry) and tRNS go out
// when it is made; rows come top first; Finish writes the rest of the image
// data and IEND. Every scan line is filtered with Sub. Without interlace each
// row is compressed as it comes; with Adam7 the rows are kept until Finish,
// which writes the seven passes in order.
class PngWriter {
 public:
  // Fails with the pixel-format message for a colour type, bit depth or
  // interlace method PNG does not have.
  PngWriter(AtomicOutputFile& out, const ImageHeader& header,
            std::span<const std::uint8_t> palette = {},
            std::span<const std::uint8_t> transparency = {});
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;

  // The next row in PNG byte order: ceil(width x bits per pixel / 8) bytes.
  void WriteRow(std::span<const std::uint8_t> raw);
  // The next row of an 8-bit RGB image as width pixels of blue, green, red
  // and an ignored fourth byte.
  void WriteRowBgrx(const std::uint8_t* pixels);
  void Finish();

 private:
  std::uint8_t* KeptRow();

  AtomicOutputFile& out_;
  ImageHeader header_;
  std::size_t rowBytes_ = 0;
  std::size_t filterBpp_ = 1;
  std::uint32_t rowsWritten_ = 0;
  std::vector<std::uint8_t> filtered_;
  ByteBlock kept_;                    // with Adam7: every row, until Finish
  std::unique_ptr<IdatWriter> idat_;  // without: the stream the rows go into
};

// A raster as the program writes it: 1-, 4- and 8-bit rasters (and other
// depths below 16) as palette images of their depth with the raster's
// palette padded to 2^bits entries, every other as 8-bit RGB; a transparent
// raster's key colour as tRNS (for a palette image the first entry of that
// colour, if any). Interlaced with Adam7 when interlace is 1.
void WritePng(AtomicOutputFile& out, const Raster& raster, std::uint8_t interlace);

}  // namespace tolvane::png

namespace tolvane {

// Writes a raster as a PNG file (png::WritePng), atomically: the file
// appears only when complete.
void SavePngFile(const Raster& raster, const std::string& path, std::uint8_t interlace = 0);

}  // namespace tolvane
