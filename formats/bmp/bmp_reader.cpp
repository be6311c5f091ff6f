#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/bmp/bmp.h"
#include "formats/bmp/bmp_layout.h"
#include "formats/bmp/bmp_rle.h"
#include "support/error.h"
#include "support/files.h"
#include "support/memory_budget.h"
#include "support/messages.h"

namespace tolvane {

namespace {

using namespace bmp;

[[noreturn]] void FailInvalid() { throw Error(std::string(messages::kInvalidBitmap)); }

// The info header in its BITMAPINFOHEADER form; a core header is widened to it.
struct InfoHeader {
  std::uint32_t length = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t planes = 0;
  std::uint16_t bitCount = 0;
  std::uint32_t compression = kRgb;
  std::uint32_t sizeImage = 0;
  std::uint32_t clrUsed = 0;
  std::optional<BitMasks> headerMasks;  // what a header of 52 bytes or more holds at 40..51
  bool core() const { return length == kCoreHeaderBytes; }
};

// Counts the bytes the file still holds past what has been read.
class BmpSource {
 public:
  explicit BmpSource(ByteSource& file) : file_(file), remaining_(file.Size()) {}

  std::uint64_t Remaining() const { return remaining_; }

  // Reads exactly `count` bytes or fails with the stream read error.
  void Read(void* buffer, std::size_t count) {
    file_.ReadExact(buffer, count);
    remaining_ -= count;
  }

  // Reads exactly `count` bytes or fails as an invalid bitmap: the info
  // header has no room to end early.
  void ReadHeaderPart(void* buffer, std::size_t count) {
    if (remaining_ < count) FailInvalid();
    Read(buffer, count);
  }

  void SkipHeaderPart(std::uint64_t count) {
    if (remaining_ < count) FailInvalid();
    file_.Skip(count);
    remaining_ -= count;
  }

 private:
  ByteSource& file_;
  std::uint64_t remaining_;
};

void ReadFileHeader(BmpSource& source) {
  std::array<std::uint8_t, kFileHeaderBytes> header{};
  source.Read(header.data(), header.size());
  if (header[0] != 'B' || header[1] != 'M') FailInvalid();
}

BitMasks MasksAt(const std::uint8_t* p) { return BitMasks{Le32(p), Le32(p + 4), Le32(p + 8)}; }

InfoHeader ReadInfoHeader(BmpSource& source) {
  std::array<std::uint8_t, kHeaderWithMasksBytes> bytes{};
  source.ReadHeaderPart(bytes.data(), 4);
  InfoHeader info;
  info.length = Le32(bytes.data());
  if (info.core()) {
    source.ReadHeaderPart(bytes.data() + 4, kCoreHeaderBytes - 4);
    info.width = Le16(bytes.data() + 4);
    info.height = Le16(bytes.data() + 6);
    info.planes = Le16(bytes.data() + 8);
    info.bitCount = Le16(bytes.data() + 10);
    return info;
  }
  if (info.length < kInfoHeaderBytes) FailInvalid();
  // The whole header must be there before any of it is trusted.
  if (source.Remaining() < info.length - 4) FailInvalid();
  const std::uint32_t kept = std::min(info.length, kHeaderWithMasksBytes);
  source.ReadHeaderPart(bytes.data() + 4, kept - 4);
  source.SkipHeaderPart(info.length - kept);
  const std::uint8_t* p = bytes.data();
  info.width = static_cast<std::int32_t>(Le32(p + 4));
  info.height = static_cast<std::int32_t>(Le32(p + 8));
  info.planes = Le16(p + 12);
  info.bitCount = Le16(p + 14);
  info.compression = Le32(p + 16);
  info.sizeImage = Le32(p + 20);
  info.clrUsed = Le32(p + 32);
  if (info.length >= kHeaderWithMasksBytes) info.headerMasks = MasksAt(p + 40);
  return info;
}

bool HasBitFields(const InfoHeader& info) {
  return info.compression == kBitFields && (info.bitCount == 16 || info.bitCount == 32);
}

std::optional<BitMasks> ReadMasks(BmpSource& source, const InfoHeader& info) {
  if (!HasBitFields(info)) return std::nullopt;
  if (info.length == kInfoHeaderBytes) {
    std::array<std::uint8_t, kMaskBytes> bytes{};
    source.Read(bytes.data(), bytes.size());
    return MasksAt(bytes.data());
  }
  return info.headerMasks;
}

std::uint64_t ColourCount(const InfoHeader& info) {
  if (info.clrUsed != 0) return info.clrUsed;
  if (info.bitCount == 1 || info.bitCount == 4 || info.bitCount == 8)
    return std::uint64_t{1} << info.bitCount;
  return 0;
}

std::vector<PaletteEntry> ReadColourTable(BmpSource& source, const InfoHeader& info) {
  const std::uint64_t entryBytes = info.core() ? 3 : 4;
  const std::uint64_t tableBytes = ColourCount(info) * entryBytes;
  if (tableBytes > kMaxColourTableBytes) FailInvalid();
  std::array<std::uint8_t, kMaxColourTableBytes> bytes{};
  source.Read(bytes.data(), static_cast<std::size_t>(tableBytes));
  std::vector<PaletteEntry> table(static_cast<std::size_t>(tableBytes / entryBytes));
  for (std::size_t i = 0; i < table.size(); ++i) {
    const std::uint8_t* entry = bytes.data() + i * entryBytes;
    // Core entries are blue, green, red; they are widened with a reserved 0.
    table[i] = PaletteEntry{entry[0], entry[1], entry[2], info.core() ? std::uint8_t{0} : entry[3]};
  }
  return table;
}

bool OneOf(int value, std::initializer_list<int> allowed) {
  return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

// The combinations the published format allows. A header longer than 40
// bytes but too short to hold the masks cannot describe bit fields.
bool IsSupported(const InfoHeader& info) {
  if (info.width <= 0 || info.height == 0) return false;
  // |height| must itself be a height.
  if (info.height == std::numeric_limits<std::int32_t>::min()) return false;
  const int bits = info.bitCount;
  if (info.core()) return OneOf(bits, {1, 4, 8, 24});
  switch (info.compression) {
    case kRgb: return OneOf(bits, {1, 4, 8, 16, 24, 32});
    case kBitFields:
      return OneOf(bits, {16, 32}) &&
             (info.length == kInfoHeaderBytes || info.headerMasks.has_value());
    // Run-length data are always stored bottom row first.
    case kRle8: return bits == 8 && info.height > 0;
    case kRle4: return bits == 4 && info.height > 0;
    default: return false;
  }
}

std::uint64_t HeightOf(const InfoHeader& info) {
  return info.height < 0
             ? std::uint64_t{0} - static_cast<std::uint64_t>(static_cast<std::int64_t>(info.height))
             : static_cast<std::uint64_t>(info.height);
}

// The pixel byte count the header announces, saturated instead of wrapping.
std::uint64_t PixelBytes(const InfoHeader& info) {
  if (info.compression != kRgb && info.sizeImage != 0) return info.sizeImage;
  const std::uint64_t rowBytes = Raster::RowBytesFor(info.width, info.bitCount);
  const std::uint64_t rows = HeightOf(info);
  if (rows != 0 && rowBytes > std::numeric_limits<std::uint64_t>::max() / rows) {
    return std::numeric_limits<std::uint64_t>::max();
  }
  return rowBytes * rows;
}

Raster ReadStoredPixels(BmpSource& source, const InfoHeader& info, std::optional<BitMasks> masks,
                        std::vector<PaletteEntry> table, std::uint64_t pixelBytes) {
  StoreLayout layout;
  layout.width = info.width;
  layout.height = static_cast<int>(HeightOf(info));
  layout.bitsPerPixel = info.bitCount;
  layout.masks = masks;
  layout.rowOrder = info.height < 0 ? RowOrder::TopDown : RowOrder::BottomUp;
  layout.palette = std::move(table);
  Raster raster;
  raster.CreateIndependent(layout);
  // The store is zero-filled, so the rows a short file lacks stay zero. A
  // pixel count above the store's own size is cut to it.
  std::span<std::uint8_t> store = raster.MutableStore();
  const std::uint64_t count = std::min<std::uint64_t>(pixelBytes, store.size());
  source.Read(store.data(), static_cast<std::size_t>(count));
  return raster;
}

std::vector<std::uint8_t> ReadCodedPixels(BmpSource& source, std::uint64_t count) {
  std::vector<std::uint8_t> data;
  if (!FitsMemoryBudget(count)) throw Error(std::string(messages::kOutOfMemory));
  try {
    data.resize(static_cast<std::size_t>(count));
  } catch (const std::bad_alloc&) {
    throw Error(std::string(messages::kOutOfMemory));
  } catch (const std::length_error&) {
    throw Error(std::string(messages::kOutOfMemory));
  }
  source.Read(data.data(), data.size());
  return data;
}

Raster ReadBitmap(ByteSource& file) {
  if (file.Size() == 0) return Raster{};
  BmpSource source(file);
  ReadFileHeader(source);
  const InfoHeader info = ReadInfoHeader(source);
  if (info.planes != 1) FailInvalid();
  const std::optional<BitMasks> masks = ReadMasks(source, info);
  std::vector<PaletteEntry> table = ReadColourTable(source, info);
  if (!IsSupported(info)) FailInvalid();

  // The pixels are taken to follow the colour table directly; bfOffBits is
  // not consulted. A file that ends early yields what it holds.
  const std::uint64_t count = std::min(PixelBytes(info), source.Remaining());
  Raster raster;
  if (info.compression == kRle8 || info.compression == kRle4) {
    const std::vector<std::uint8_t> coded = ReadCodedPixels(source, count);
    raster = DecodeRle(coded, info.compression == kRle8 ? RleKind::Rle8 : RleKind::Rle4, info.width,
                       info.height, table);
  } else {
    raster = ReadStoredPixels(source, info, masks, std::move(table), count);
  }
  raster.SetOs2Header(info.core());
  return raster;
}

}  // namespace

void LoadBmp(ByteSource& source, Raster& raster, RowProgress* progress) {
  Raster read = ReadBitmap(source);
  raster = std::move(read);
  HandOverAllRows(progress, raster);
}

void LoadBmpFile(const std::string& path, Raster& raster, RowProgress* progress) {
  InputFile file(path);
  LoadBmp(file, raster, progress);
}

}  // namespace tolvane
