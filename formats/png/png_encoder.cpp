#include "formats/png/png_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/png/png_unfilter.h"
#include "support/byte_block.h"
#include "support/error.h"
#include "support/memory_budget.h"
#include "support/messages.h"

namespace tolvane::png {

namespace {

constexpr std::size_t kChunkHead = 8;  // length and type
constexpr std::size_t kChunkCrc = 4;
constexpr int kCompressionLevel = 7;

// zlib restarts the CRC when handed a null buffer, so empty data must not
// reach it.
std::uint32_t Crc(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
  if (size == 0) return crc;
  return static_cast<std::uint32_t>(::crc32_z(crc, data, size));
}

[[noreturn]] void FailWrite() { throw Error(std::string(messages::kWriteError)); }
[[noreturn]] void FailPixelFormat() { throw Error(std::string(messages::kInvalidPixelFormat)); }

}  // namespace

void WriteChunk(AtomicOutputFile& out, const char (&type)[5], std::span<const std::uint8_t> data) {
  // A chunk length is at most 2^31 - 1.
  if (data.size() > 0x7FFFFFFFu) FailWrite();
  std::uint8_t head[kChunkHead];
  StoreBe32(head, static_cast<std::uint32_t>(data.size()));
  std::memcpy(head + 4, type, 4);
  std::uint32_t crc = Crc(0, head + 4, 4);
  crc = Crc(crc, data.data(), data.size());
  std::uint8_t tail[kChunkCrc];
  StoreBe32(tail, crc);
  out.Write(head, sizeof head);
  if (!data.empty()) out.Write(data.data(), data.size());
  out.Write(tail, sizeof tail);
}

// The deflate stream and the buffer its output lands in. The buffer has room
// for the chunk's length and type in front and its CRC behind, so a full IDAT
// chunk leaves in a single write.
struct IdatWriter::Stream {
  z_stream z{};
  bool open = false;
  std::vector<std::uint8_t> chunk =
      std::vector<std::uint8_t>(kChunkHead + kMaxIdatPiece + kChunkCrc);

  Stream() {
    const int result = ::deflateInit(&z, kCompressionLevel);
    if (result == Z_MEM_ERROR) throw Error(std::string(messages::kOutOfMemory));
    if (result != Z_OK) FailWrite();
    open = true;
    ResetOutput();
  }
  ~Stream() {
    if (open) ::deflateEnd(&z);
  }
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  std::uint8_t* Data() { return chunk.data() + kChunkHead; }
  void ResetOutput() {
    z.next_out = Data();
    z.avail_out = static_cast<uInt>(kMaxIdatPiece);
  }
  std::size_t Pending() const { return kMaxIdatPiece - z.avail_out; }

  void Emit(AtomicOutputFile& out) {
    const std::size_t size = Pending();
    std::uint8_t* head = chunk.data();
    StoreBe32(head, static_cast<std::uint32_t>(size));
    std::memcpy(head + 4, "IDAT", 4);
    StoreBe32(head + kChunkHead + size, Crc(0, head + 4, 4 + size));
    out.Write(head, kChunkHead + size + kChunkCrc);
    ResetOutput();
  }

  // Hands one input to deflate with flush 0; every time the buffer fills it
  // goes out as one IDAT chunk.
  void Feed(AtomicOutputFile& out, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
      const std::size_t piece = std::min<std::size_t>(size, UINT_MAX);
      // zlib reads its input through a non-const pointer but never writes it.
      z.next_in = const_cast<Bytef*>(data);
      z.avail_in = static_cast<uInt>(piece);
      do {
        const int result = ::deflate(&z, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_BUF_ERROR) FailWrite();
        if (z.avail_out == 0) Emit(out);
      } while (z.avail_in > 0);
      data += piece;
      size -= piece;
    }
  }

  void Finish(AtomicOutputFile& out) {
    z.next_in = nullptr;
    z.avail_in = 0;
    for (;;) {
      const int result = ::deflate(&z, Z_FINISH);
      if (result == Z_STREAM_END) break;
      if (result != Z_OK && result != Z_BUF_ERROR) FailWrite();
      if (z.avail_out == 0) Emit(out);
    }
    // When the stream ends right after a full chunk went out nothing is left,
    // and that full chunk was the last one: an empty IDAT is never written.
    if (Pending() > 0) Emit(out);
    open = false;
    ::deflateEnd(&z);
  }
};

IdatWriter::IdatWriter(AtomicOutputFile& out) : out_(out), stream_(std::make_unique<Stream>()) {}

IdatWriter::~IdatWriter() = default;

void IdatWriter::WriteScanLine(std::uint8_t filterType, std::span<const std::uint8_t> filtered) {
  if (!stream_ || !stream_->open) FailWrite();
  stream_->Feed(out_, &filterType, 1);
  stream_->Feed(out_, filtered.data(), filtered.size());
}

void IdatWriter::Finish() {
  if (!stream_ || !stream_->open) FailWrite();
  stream_->Finish(out_);
}

namespace {

std::uint32_t Channels(std::uint8_t colorType) {
  const int channels = ChannelsOf(colorType);
  if (channels == 0) FailPixelFormat();
  return static_cast<std::uint32_t>(channels);
}

bool ValidDepth(std::uint8_t colorType, std::uint8_t bitDepth) {
  switch (colorType) {
    case kGray:
      return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
    case kPalette: return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
    default: return bitDepth == 8 || bitDepth == 16;
  }
}

// Byte k becomes raw[k] - raw[k - bpp], the bytes before the first pixel
// counting as zero.
void FilterSub(const std::uint8_t* raw, std::uint8_t* filtered, std::size_t size, std::size_t bpp) {
  const std::size_t head = std::min(bpp, size);
  for (std::size_t k = 0; k < head; ++k) filtered[k] = raw[k];
  for (std::size_t k = head; k < size; ++k) {
    filtered[k] = static_cast<std::uint8_t>(raw[k] - raw[k - bpp]);
  }
}

template <std::size_t N>
void GatherPixelsOf(const std::uint8_t* row, std::uint8_t* out, std::size_t count,
                    std::size_t start, std::size_t step) {
  const std::uint8_t* in = row + start * N;
  const std::size_t stride = step * N;
  for (std::size_t j = 0; j < count; ++j, in += stride, out += N) {
    for (std::size_t b = 0; b < N; ++b) out[b] = in[b];
  }
}

// Copies every step-th pixel of a row, starting at pixel start, for pixels of
// whole bytes.
void GatherPixels(const std::uint8_t* row, std::uint8_t* out, std::size_t count, std::size_t start,
                  std::size_t step, std::size_t pixelBytes) {
  switch (pixelBytes) {
    case 1: return GatherPixelsOf<1>(row, out, count, start, step);
    case 2: return GatherPixelsOf<2>(row, out, count, start, step);
    case 3: return GatherPixelsOf<3>(row, out, count, start, step);
    case 4: return GatherPixelsOf<4>(row, out, count, start, step);
    case 6: return GatherPixelsOf<6>(row, out, count, start, step);
    case 8: return GatherPixelsOf<8>(row, out, count, start, step);
    default: FailPixelFormat();
  }
}

// The same for pixels of 1, 2 or 4 bits, packed from the most significant
// bit; the unused low bits of the last byte are zero.
void GatherSubBytePixels(const std::uint8_t* row, std::uint8_t* out, std::size_t count,
                         std::size_t start, std::size_t step, unsigned bits) {
  const unsigned mask = (1u << bits) - 1;
  const unsigned perByte = 8 / bits;
  unsigned packed = 0;
  unsigned filled = 0;
  std::size_t bit = start * bits;
  const std::size_t bitStride = step * bits;
  for (std::size_t j = 0; j < count; ++j, bit += bitStride) {
    const unsigned sample = (row[bit >> 3] >> (8 - bits - (bit & 7))) & mask;
    packed = (packed << bits) | sample;
    if (++filled == perByte) {
      *out++ = static_cast<std::uint8_t>(packed);
      packed = 0;
      filled = 0;
    }
  }
  if (filled > 0) *out = static_cast<std::uint8_t>(packed << (bits * (perByte - filled)));
}

std::size_t RowBytes(std::uint64_t width, std::uint32_t bitsPerPixel) {
  const std::uint64_t bytes = (width * bitsPerPixel + 7) / 8;
  // A scan line with its filter byte must fit the buffers we allocate.
  if (bytes >= std::numeric_limits<std::size_t>::max() / 2) {
    throw Error(std::string(messages::kOutOfMemory));
  }
  return static_cast<std::size_t>(bytes);
}

std::vector<std::uint8_t> RowBuffer(std::size_t size) {
  try {
    return std::vector<std::uint8_t>(size);
  } catch (const std::bad_alloc&) {
    throw Error(std::string(messages::kOutOfMemory));
  } catch (const std::length_error&) {
    throw Error(std::string(messages::kOutOfMemory));
  }
}

// The bits of a pixel, the bytes of a whole scan line and the filter's bytes
// per pixel, for a header the writer takes; fails with the pixel-format
// message for any other.
struct RowLayout {
  std::uint32_t bitsPerPixel;
  std::size_t rowBytes;
  std::size_t filterBpp;
};

RowLayout CheckedLayout(const ImageHeader& header) {
  if (!ValidDepth(header.colorType, header.bitDepth) || header.interlace > 1) FailPixelFormat();
  if (header.height > static_cast<std::uint32_t>(std::numeric_limits<int>::max()))
    FailPixelFormat();
  const std::uint32_t bitsPerPixel = header.bitDepth * Channels(header.colorType);
  return {bitsPerPixel, RowBytes(header.width, bitsPerPixel),
          std::max<std::size_t>(1, bitsPerPixel / 8)};
}

}  // namespace

void WriteImageData(AtomicOutputFile& out, const ImageHeader& header,
                    const std::function<std::span<const std::uint8_t>(int y)>& fetchRow) {
  const auto [bitsPerPixel, rowBytes, bpp] = CheckedLayout(header);
  const bool interlaced = header.interlace == 1;

  // All buffers are made once, at the size of a whole row; no pass row is longer.
  std::vector<std::uint8_t> filtered = RowBuffer(rowBytes);
  std::vector<std::uint8_t> passRow = RowBuffer(interlaced ? rowBytes : 0);

  IdatWriter idat(out);
  const std::span<const Adam7Pass> passes =
      interlaced ? std::span<const Adam7Pass>(kAdam7) : std::span<const Adam7Pass>(&kWholeImage, 1);
  for (const Adam7Pass& pass : passes) {
    const std::uint32_t columns = PassExtent(header.width, pass.startColumn, pass.columnStep);
    const std::uint32_t rows = PassExtent(header.height, pass.startRow, pass.rowStep);
    if (columns == 0 || rows == 0) continue;
    const std::size_t passBytes = RowBytes(columns, bitsPerPixel);
    for (std::uint32_t i = 0; i < rows; ++i) {
      const auto y = static_cast<int>(pass.startRow + i * pass.rowStep);
      const std::span<const std::uint8_t> raw = fetchRow(y);
      if (raw.size() < rowBytes) FailPixelFormat();
      const std::uint8_t* source = raw.data();
      if (interlaced) {
        if (bitsPerPixel < 8) {
          GatherSubBytePixels(source, passRow.data(), columns, pass.startColumn, pass.columnStep,
                              bitsPerPixel);
        } else {
          GatherPixels(source, passRow.data(), columns, pass.startColumn, pass.columnStep,
                       bitsPerPixel / 8);
        }
        source = passRow.data();
      }
      FilterSub(source, filtered.data(), passBytes, bpp);
      idat.WriteScanLine(kFilterSub, std::span<const std::uint8_t>(filtered.data(), passBytes));
    }
  }
  idat.Finish();
}

namespace {

// Blue, green, red, x to red, green, blue, filtered with Sub on the way.
void FilterSubFromBgrx(const std::uint8_t* in, std::uint8_t* out, std::uint32_t width) {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  for (std::uint32_t x = 0; x < width; ++x, in += 4, out += 3) {
    out[0] = static_cast<std::uint8_t>(in[2] - r);
    out[1] = static_cast<std::uint8_t>(in[1] - g);
    out[2] = static_cast<std::uint8_t>(in[0] - b);
    r = in[2];
    g = in[1];
    b = in[0];
  }
}

}  // namespace

namespace {

void WriteHeader(AtomicOutputFile& out, const ImageHeader& header) {
  out.Write(kSignature, sizeof kSignature);
  std::uint8_t ihdr[13] = {};
  StoreBe32(ihdr, header.width);
  StoreBe32(ihdr + 4, header.height);
  ihdr[8] = header.bitDepth;
  ihdr[9] = header.colorType;
  ihdr[12] = header.interlace;
  WriteChunk(out, "IHDR", ihdr);
}

}  // namespace

PngWriter::PngWriter(AtomicOutputFile& out, const ImageHeader& header,
                     std::span<const std::uint8_t> palette,
                     std::span<const std::uint8_t> transparency)
    : out_(out), header_(header) {
  const RowLayout layout = CheckedLayout(header);
  rowBytes_ = layout.rowBytes;
  filterBpp_ = layout.filterBpp;
  if (header.interlace == 1) {
    // In 64 bits: a 32-bit program's size_t could wrap.
    const std::uint64_t keptBytes = std::uint64_t{rowBytes_} * header.height;
    if (!FitsMemoryBudget(keptBytes) || keptBytes > std::numeric_limits<std::size_t>::max()) {
      throw Error(std::string(messages::kSystemResourcesLow));
    }
    kept_ = ZeroedPixelBytes(static_cast<std::size_t>(keptBytes));
  } else {
    filtered_ = RowBuffer(rowBytes_);
  }
  WriteHeader(out, header);
  if (header.colorType == kPalette) WriteChunk(out, "PLTE", palette);
  if (!transparency.empty()) WriteChunk(out, "tRNS", transparency);
  if (header.interlace == 0) idat_ = std::make_unique<IdatWriter>(out);
}

std::uint8_t* PngWriter::KeptRow() {
  if (rowsWritten_ >= header_.height) FailPixelFormat();
  return kept_.data() + rowBytes_ * rowsWritten_++;
}

void PngWriter::WriteRow(std::span<const std::uint8_t> raw) {
  if (raw.size() < rowBytes_) FailPixelFormat();
  if (!idat_) {
    std::memcpy(KeptRow(), raw.data(), rowBytes_);
    return;
  }
  // A pass without columns has no scan lines.
  if (header_.width == 0) return;
  FilterSub(raw.data(), filtered_.data(), rowBytes_, filterBpp_);
  idat_->WriteScanLine(kFilterSub, filtered_);
}

void PngWriter::WriteRowBgrx(const std::uint8_t* pixels) {
  if (header_.colorType != kRgb || header_.bitDepth != 8) FailPixelFormat();
  if (!idat_) {
    std::uint8_t* row = KeptRow();
    for (std::uint32_t x = 0; x < header_.width; ++x, pixels += 4) {
      row[3 * x] = pixels[2];
      row[3 * x + 1] = pixels[1];
      row[3 * x + 2] = pixels[0];
    }
    return;
  }
  if (header_.width == 0) return;
  FilterSubFromBgrx(pixels, filtered_.data(), header_.width);
  idat_->WriteScanLine(kFilterSub, filtered_);
}

void PngWriter::Finish() {
  if (idat_) {
    idat_->Finish();
  } else {
    WriteImageData(out_, header_, [&](int y) {
      return std::span<const std::uint8_t>(kept_.data() + rowBytes_ * static_cast<std::size_t>(y),
                                           rowBytes_);
    });
  }
  WriteChunk(out_, "IEND", {});
}

namespace {

// PLTE: red, green and blue of every entry, padded to 2^bits entries.
std::vector<std::uint8_t> PaletteChunk(const Raster& raster, int bits) {
  std::vector<PaletteEntry> palette = raster.Palette();
  palette.resize(std::size_t{1} << bits);
  std::vector<std::uint8_t> bytes;
  for (const PaletteEntry& c : palette) bytes.insert(bytes.end(), {c.red, c.green, c.blue});
  return bytes;
}

// tRNS for a transparent raster: the key colour of an RGB image, or for a
// palette image the first entry of that colour made fully transparent.
std::vector<std::uint8_t> TransparencyChunk(const Raster& raster,
                                            std::span<const std::uint8_t> plte) {
  if (!raster.Transparent()) return {};
  const Rgb key = raster.TransparentColor();
  if (plte.empty()) return {0, key.red, 0, key.green, 0, key.blue};
  for (std::size_t i = 0; i + 2 < plte.size(); i += 3) {
    if (plte[i] == key.red && plte[i + 1] == key.green && plte[i + 2] == key.blue) {
      std::vector<std::uint8_t> trns(i / 3, 255);
      trns.push_back(0);
      return trns;
    }
  }
  return {};
}

}  // namespace

void WritePng(AtomicOutputFile& out, const Raster& raster, std::uint8_t interlace) {
  const int bits = raster.BitsPerPixel();
  const bool indexed = bits < 16;
  if (indexed && bits <= 0) FailPixelFormat();
  ImageHeader header;
  header.width = static_cast<std::uint32_t>(raster.Width());
  header.height = static_cast<std::uint32_t>(raster.Height());
  header.bitDepth = static_cast<std::uint8_t>(indexed && !raster.Empty() ? bits : 8);
  header.colorType = indexed ? kPalette : kRgb;
  header.interlace = interlace;
  const std::vector<std::uint8_t> plte =
      indexed ? PaletteChunk(raster, bits) : std::vector<std::uint8_t>{};
  const std::vector<std::uint8_t> trns = TransparencyChunk(raster, plte);

  PngWriter writer(out, header, plte, trns);
  if (raster.Empty()) {
    // No row holds a pixel, and a pass without rows or columns has no scan
    // lines: there is nothing to write.
  } else if (indexed) {
    for (int y = 0; y < raster.Height(); ++y) writer.WriteRow(raster.Row(y));
  } else if (raster.Format() == RasterFormat::Device || raster.Format() == RasterFormat::Bits32) {
    for (int y = 0; y < raster.Height(); ++y) writer.WriteRowBgrx(raster.Row(y).data());
  } else {
    std::vector<std::uint8_t> line = RowBuffer(4 * static_cast<std::size_t>(raster.Width()));
    for (int y = 0; y < raster.Height(); ++y) {
      ReadRowBgrx(raster, y, line.data());
      writer.WriteRowBgrx(line.data());
    }
  }
  writer.Finish();
}

}  // namespace tolvane::png

namespace tolvane {

void SavePngFile(const Raster& raster, const std::string& path, std::uint8_t interlace) {
  AtomicOutputFile out(path);
  png::WritePng(out, raster, interlace);
  out.Commit();
}

}  // namespace tolvane
