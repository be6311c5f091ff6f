#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "formats/bmp/bmp.h"
#include "formats/bmp/bmp_layout.h"
#include "support/files.h"

namespace tolvane {

namespace {

using namespace bmp;

constexpr std::size_t kWriteChunkBytes = std::size_t{1} << 20;

// A raster read from a core-header file goes back with one, where that
// header can describe it.
bool UsesCoreHeader(const Raster& raster) {
  return raster.Os2Header() &&
         (IsPaletteFormat(raster.Format()) || raster.Format() == RasterFormat::Bits24) &&
         !raster.HasMasks() && raster.GetRowOrder() == RowOrder::BottomUp &&
         raster.Width() <= 0xFFFF && raster.Height() <= 0xFFFF;
}

bool UsesBitFields(const Raster& raster) {
  return raster.HasMasks() && (raster.BitsPerPixel() == 16 || raster.BitsPerPixel() == 32);
}

// The colour table as written. A core header has no colour count, so its
// table always has 2^bits entries; an empty palette is written out in full
// (black, as the pixels show) so that a reader does not take pixels for it.
std::vector<PaletteEntry> TableFor(const Raster& raster, bool core) {
  if (!IsPaletteFormat(raster.Format())) return {};
  std::vector<PaletteEntry> table = raster.Palette();
  const std::size_t full = std::size_t{1} << raster.BitsPerPixel();
  if (core || table.empty()) table.resize(full);
  return table;
}

// Sizes beyond the 32-bit fields are written as 0, which readers recompute.
std::uint32_t SizeField(std::uint64_t value) {
  return value > std::numeric_limits<std::uint32_t>::max() ? 0 : static_cast<std::uint32_t>(value);
}

std::vector<std::uint8_t> Headers(const Raster& raster) {
  const bool core = UsesCoreHeader(raster);
  const bool bitFields = UsesBitFields(raster);
  const std::vector<PaletteEntry> table = TableFor(raster, core);
  const std::size_t infoBytes = core ? kCoreHeaderBytes : kInfoHeaderBytes;
  const std::size_t entryBytes = core ? 3 : 4;
  const std::size_t offBits =
      kFileHeaderBytes + infoBytes + (bitFields ? kMaskBytes : 0) + table.size() * entryBytes;
  const std::uint64_t imageBytes =
      static_cast<std::uint64_t>(raster.RowBytes()) * static_cast<std::uint64_t>(raster.Height());

  std::vector<std::uint8_t> out(offBits, 0);
  std::uint8_t* p = out.data();
  p[0] = 'B';
  p[1] = 'M';
  PutLe32(p + 2, SizeField(offBits + imageBytes));
  PutLe32(p + 10, static_cast<std::uint32_t>(offBits));
  p += kFileHeaderBytes;
  if (core) {
    PutLe32(p, kCoreHeaderBytes);
    PutLe16(p + 4, static_cast<std::uint32_t>(raster.Width()));
    PutLe16(p + 6, static_cast<std::uint32_t>(raster.Height()));
    PutLe16(p + 8, 1);
    PutLe16(p + 10, static_cast<std::uint32_t>(raster.BitsPerPixel()));
  } else {
    const std::int64_t height = raster.GetRowOrder() == RowOrder::TopDown
                                    ? -std::int64_t{raster.Height()}
                                    : raster.Height();
    PutLe32(p, kInfoHeaderBytes);
    PutLe32(p + 4, static_cast<std::uint32_t>(raster.Width()));
    PutLe32(p + 8, static_cast<std::uint32_t>(height));
    PutLe16(p + 12, 1);
    PutLe16(p + 14, static_cast<std::uint32_t>(raster.BitsPerPixel()));
    PutLe32(p + 16, bitFields ? kBitFields : kRgb);
    PutLe32(p + 20, SizeField(imageBytes));
    PutLe32(p + 32, static_cast<std::uint32_t>(table.size()));
  }
  p += infoBytes;
  if (bitFields) {
    PutLe32(p, raster.Masks().red);
    PutLe32(p + 4, raster.Masks().green);
    PutLe32(p + 8, raster.Masks().blue);
    p += kMaskBytes;
  }
  for (const PaletteEntry& entry : table) {
    p[0] = entry.blue;
    p[1] = entry.green;
    p[2] = entry.red;
    if (!core) p[3] = entry.reserved;
    p += entryBytes;
  }
  return out;
}

// One stored row as the file holds it.
void PrepareRow(const Raster& raster, std::uint8_t* row) {
  const int width = raster.Width();
  if (raster.Format() == RasterFormat::Device) {
    for (int x = 0; x < width; ++x) row[4 * static_cast<std::size_t>(x) + 3] = 0;
  } else if (raster.Format() == RasterFormat::Bits32 && raster.Alpha() == AlphaMode::Defined) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* px = row + 4 * static_cast<std::size_t>(x);
      for (int c = 0; c < 3; ++c) px[c] = StraightChannel(px[c], px[3]);
    }
  }
}

// The rows in the order they are stored, which is the file's order: the
// header's height sign says which.
void WritePixels(const Raster& raster, AtomicOutputFile& out) {
  const std::span<const std::uint8_t> store = raster.Store();
  const std::size_t rowBytes = raster.RowBytes();
  const std::size_t rowsPerChunk = std::max<std::size_t>(1, kWriteChunkBytes / rowBytes);
  std::vector<std::uint8_t> chunk;
  for (std::size_t first = 0; first < static_cast<std::size_t>(raster.Height());
       first += rowsPerChunk) {
    const std::size_t rows =
        std::min(rowsPerChunk, static_cast<std::size_t>(raster.Height()) - first);
    chunk.assign(store.begin() + static_cast<std::ptrdiff_t>(first * rowBytes),
                 store.begin() + static_cast<std::ptrdiff_t>((first + rows) * rowBytes));
    for (std::size_t r = 0; r < rows; ++r) PrepareRow(raster, chunk.data() + r * rowBytes);
    out.Write(chunk.data(), chunk.size());
  }
}

}  // namespace

void SaveBmpFile(const Raster& raster, const std::string& path) {
  AtomicOutputFile out(path);
  if (!raster.Empty()) {
    const std::vector<std::uint8_t> headers = Headers(raster);
    out.Write(headers.data(), headers.size());
    WritePixels(raster, out);
  }
  out.Commit();
}

}  // namespace tolvane
