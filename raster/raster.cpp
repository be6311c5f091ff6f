#include "raster/raster.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "raster/packed_index.h"
#include "support/byte_block.h"
#include "support/error.h"
#include "support/memory_budget.h"
#include "support/messages.h"

namespace tolvane {

namespace {

int BitsOf(RasterFormat format, int customBits) {
  switch (format) {
    case RasterFormat::Device: return kDeviceBitsPerPixel;
    case RasterFormat::Bits1: return 1;
    case RasterFormat::Bits4: return 4;
    case RasterFormat::Bits8: return 8;
    case RasterFormat::Bits15:
    case RasterFormat::Bits16: return 16;
    case RasterFormat::Bits24: return 24;
    case RasterFormat::Bits32: return 32;
    case RasterFormat::Custom: return customBits;
  }
  return customBits;
}

// How many palette entries a store of this depth can address.
std::size_t IndexCount(int bits) { return std::size_t{1} << std::clamp(bits, 0, 8); }

constexpr std::size_t kMaxPaletteEntries = 256;

constexpr BitMasks kMasks565{0xF800, 0x07E0, 0x001F};
constexpr BitMasks kMasks555{0x7C00, 0x03E0, 0x001F};
constexpr BitMasks kMasks888{0xFF0000, 0x00FF00, 0x0000FF};

// A bit field scaled to 8 bits, rounded to nearest.
std::uint8_t ScaleField(std::uint32_t pixel, std::uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const std::uint64_t max = mask >> shift;
  const std::uint64_t value = (pixel & mask) >> shift;
  return static_cast<std::uint8_t>((value * 255 + max / 2) / max);
}

// The inverse of ScaleField: an 8-bit channel placed into a bit field.
std::uint32_t PlaceField(std::uint8_t channel, std::uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const std::uint64_t max = mask >> shift;
  return static_cast<std::uint32_t>(((channel * max + 127) / 255) << shift) & mask;
}

// The entry nearest to the colour among the first `usable` entries (those a
// store of the raster's depth can address); 0 when there are none.
std::size_t NearestIndex(const std::vector<PaletteEntry>& palette, std::size_t usable, int red,
                         int green, int blue) {
  std::size_t best = 0;
  long bestDistance = -1;
  for (std::size_t i = 0; i < std::min(palette.size(), usable); ++i) {
    const long dr = palette[i].red - red;
    const long dg = palette[i].green - green;
    const long db = palette[i].blue - blue;
    const long distance = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return best;
}

std::uint32_t LoadLittle(const std::uint8_t* p, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

void StoreLittle(std::uint8_t* p, int bytes, std::uint32_t value) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

BitMasks MasksFor(const Raster& raster) {
  if (raster.HasMasks()) return raster.Masks();
  return raster.BitsPerPixel() == 16 ? kMasks555 : kMasks888;
}

// Writes 32-bit pixels (blue, green, red, fourth byte) into a row of the
// given layout; the inverse of ReadRowBgrx.
void PackRowBgrx(const std::uint8_t* in, int width, RasterFormat format, int bits,
                 const BitMasks& masks, const std::vector<PaletteEntry>& palette,
                 std::uint8_t* row) {
  for (int x = 0; x < width; ++x) {
    const std::uint8_t* px = in + 4 * x;
    if (IsPaletteFormat(format)) {
      SetPackedIndex(
          row, x, bits,
          static_cast<unsigned>(NearestIndex(palette, IndexCount(bits), px[2], px[1], px[0])));
    } else if (bits == 24) {
      std::memcpy(row + 3 * x, px, 3);
    } else if (format == RasterFormat::Device || format == RasterFormat::Bits32) {
      std::memcpy(row + 4 * x, px, 4);
    } else if (bits == 16 || bits == 32) {
      const int bytes = bits / 8;
      const std::uint32_t value = PlaceField(px[2], masks.red) | PlaceField(px[1], masks.green) |
                                  PlaceField(px[0], masks.blue);
      StoreLittle(row + bytes * x, bytes, value);
    }
  }
}

}  // namespace

struct Raster::PixelStore {
  ByteBlock bytes;
};

namespace {

[[noreturn]] void Refuse(StoreRefusal refusal) {
  throw Error(std::string(refusal == StoreRefusal::OutOfMemory ? messages::kOutOfMemory
                                                               : messages::kSystemResourcesLow));
}

}  // namespace

ByteBlock ZeroedPixelBytes(std::size_t size, StoreRefusal refusal) {
  try {
    return ByteBlock::Zeroed(size);
  } catch (const std::bad_alloc&) {
    Refuse(refusal);
  }
}

namespace {

// In 64 bits: in a 32-bit program a row of a hostile width can exceed size_t.
std::uint64_t WideRowBytes(int width, int bitsPerPixel) {
  const std::uint64_t bits = static_cast<std::uint64_t>(std::max(width, 0)) *
                             static_cast<std::uint64_t>(std::max(bitsPerPixel, 0));
  return (bits + 31) / 32 * 4;
}

}  // namespace

std::size_t Raster::RowBytesFor(int width, int bitsPerPixel) {
  return static_cast<std::size_t>(WideRowBytes(width, bitsPerPixel));
}

void Raster::MakeStore(int width, int height, RasterFormat format, int bitsPerPixel,
                       StoreRefusal refusal) {
  std::shared_ptr<PixelStore> store;
  if (width > 0 && height > 0) {
    const std::uint64_t total =
        WideRowBytes(width, bitsPerPixel) * static_cast<std::uint64_t>(height);
    // Refused before anything is reserved: a header may announce any size.
    if (!FitsMemoryBudget(total)) Refuse(refusal);
    if constexpr (sizeof(std::size_t) < sizeof(std::uint64_t)) {
      if (total > std::numeric_limits<std::size_t>::max()) Refuse(refusal);
    }
    store = std::make_shared<PixelStore>();
    // Zero pages come lazily, so a large store costs nothing until written.
    store->bytes = ZeroedPixelBytes(static_cast<std::size_t>(total), refusal);
  }
  width_ = width;
  height_ = height;
  format_ = format;
  bitsPerPixel_ = bitsPerPixel;
  store_ = std::move(store);
}

void Raster::Detach() {
  if (store_ && store_.use_count() > 1) {
    auto copy = std::make_shared<PixelStore>();
    copy->bytes = ZeroedPixelBytes(store_->bytes.size());
    std::memcpy(copy->bytes.data(), store_->bytes.data(), store_->bytes.size());
    store_ = std::move(copy);
  }
}

void Raster::SetWidth(int width) { SetSize(width, height_); }
void Raster::SetHeight(int height) { SetSize(width_, height); }

void Raster::SetSize(int width, int height, StoreRefusal refusal) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  Raster old = *this;
  MakeStore(width, height, format_, bitsPerPixel_, refusal);
  if (Empty()) return;

  // White, as the platform fills a new bitmap.
  std::vector<std::uint8_t> white(4 * static_cast<std::size_t>(width));
  for (int x = 0; x < width; ++x) {
    white[4 * x] = white[4 * x + 1] = white[4 * x + 2] = 0xFF;
    white[4 * x + 3] = 0;
  }
  const BitMasks masks = MasksFor(*this);
  std::vector<std::uint8_t> first(RowBytes());
  PackRowBgrx(white.data(), width, format_, bitsPerPixel_, masks, palette_, first.data());
  for (int y = 0; y < height; ++y) std::memcpy(MutableRow(y).data(), first.data(), first.size());

  if (old.Empty()) return;
  const int rows = std::min(height, old.height_);
  const std::uint64_t bits = static_cast<std::uint64_t>(std::min(width, old.width_)) *
                             static_cast<std::uint64_t>(bitsPerPixel_);
  const std::size_t wholeBytes = static_cast<std::size_t>(bits / 8);
  const int restBits = static_cast<int>(bits % 8);
  for (int y = 0; y < rows; ++y) {
    auto target = MutableRow(y);
    auto source = old.Row(y);
    std::memcpy(target.data(), source.data(), wholeBytes);
    if (restBits != 0) {
      const auto keep = static_cast<std::uint8_t>(0xFFu << (8 - restBits));
      target[wholeBytes] =
          static_cast<std::uint8_t>((source[wholeBytes] & keep) | (target[wholeBytes] & ~keep));
    }
  }
}

void Raster::SetSizeToOverwrite(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  MakeStore(width, height, format_, bitsPerPixel_);
}

void Raster::SetFormat(RasterFormat format) {
  if (format == format_) return;
  if (format == RasterFormat::Custom) throw Error(std::string(messages::kInvalidPixelFormat));
  Raster old = *this;
  const int bits = BitsOf(format, bitsPerPixel_);
  MakeStore(width_, height_, format, bits);
  hasMasks_ = format == RasterFormat::Bits16;
  masks_ = hasMasks_ ? kMasks565 : BitMasks{};
  if (IsPaletteFormat(format)) {
    // Only entries the new depth can address; a fresh 1-bit store reads as
    // black and white. (The 16-colour and halftone palettes a display would
    // supply are not built: the readers overwrite palette and pixels.)
    if (palette_.size() > IndexCount(bits)) palette_.resize(IndexCount(bits));
    if (palette_.empty() && format == RasterFormat::Bits1) {
      palette_ = {PaletteEntry{0, 0, 0, 0}, PaletteEntry{255, 255, 255, 0}};
    }
  } else {
    palette_.clear();
  }
  if (format != RasterFormat::Bits32) alpha_ = AlphaMode::None;
  if (Empty() || old.Empty()) return;
  std::vector<std::uint8_t> line(4 * static_cast<std::size_t>(width_));
  const BitMasks masks = MasksFor(*this);
  for (int y = 0; y < height_; ++y) {
    ReadRowBgrx(old, y, line.data());
    PackRowBgrx(line.data(), width_, format_, bitsPerPixel_, masks, palette_, MutableRow(y).data());
  }
}

void Raster::CreateIndependent(const StoreLayout& layout, StoreRefusal refusal) {
  if (layout.bitsPerPixel <= 0 || layout.bitsPerPixel > 64) {
    throw Error(std::string(messages::kInvalidPixelFormat));
  }
  // Bit fields belong to 16- and 32-bit stores only.
  const bool hasMasks =
      layout.masks.has_value() && (layout.bitsPerPixel == 16 || layout.bitsPerPixel == 32);
  BitMasks masks = hasMasks ? *layout.masks : BitMasks{};
  if (hasMasks && masks.red == 0) masks = layout.bitsPerPixel == 16 ? kMasks565 : kMasks888;
  RasterFormat format = RasterFormat::Custom;
  switch (layout.bitsPerPixel) {
    case 1: format = RasterFormat::Bits1; break;
    case 4: format = RasterFormat::Bits4; break;
    case 8: format = RasterFormat::Bits8; break;
    case 24: format = RasterFormat::Bits24; break;
    case 16:
      format = !hasMasks ? RasterFormat::Bits15
                         : (masks.green == 0x07E0 ? RasterFormat::Bits16 : RasterFormat::Custom);
      break;
    case 32: format = hasMasks ? RasterFormat::Custom : RasterFormat::Bits32; break;
    default: format = RasterFormat::Custom;
  }
  Raster fresh;
  fresh.MakeStore(layout.width, layout.height, format, layout.bitsPerPixel, refusal);
  fresh.hasMasks_ = hasMasks;
  fresh.masks_ = masks;
  fresh.rowOrder_ = layout.rowOrder;
  if (IsPaletteFormat(format)) {
    fresh.palette_.assign(layout.palette.begin(),
                          layout.palette.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                       layout.palette.size(), kMaxPaletteEntries)));
  }
  *this = std::move(fresh);
}

void Raster::SetPalette(std::vector<PaletteEntry> palette) {
  if (palette.size() > kMaxPaletteEntries) palette.resize(kMaxPaletteEntries);
  if (IsPaletteFormat(format_) && !Empty() && !palette_.empty() && palette != palette_) {
    const std::size_t count = IndexCount(bitsPerPixel_);
    std::vector<unsigned> map(count);
    bool identity = true;
    for (unsigned i = 0; i < count; ++i) {
      const PaletteEntry c = i < palette_.size() ? palette_[i] : PaletteEntry{};
      map[i] = static_cast<unsigned>(NearestIndex(palette, count, c.red, c.green, c.blue));
      identity = identity && map[i] == i;
    }
    if (!identity) {
      for (int y = 0; y < height_; ++y) {
        std::uint8_t* row = MutableRow(y).data();
        for (int x = 0; x < width_; ++x) {
          SetPackedIndex(row, x, bitsPerPixel_, map[PackedIndexAt(row, x, bitsPerPixel_)]);
        }
      }
    }
  }
  palette_ = std::move(palette);
}

void Raster::SetAlphaMode(AlphaMode mode) {
  const bool wasAlpha = alpha_ != AlphaMode::None;
  const bool isAlpha = mode != AlphaMode::None;
  // Device pixels have the same blue, green, red, fourth-byte layout as Bits32.
  const bool byteLayout32 = format_ == RasterFormat::Bits32 || format_ == RasterFormat::Device;
  if (byteLayout32 && !Empty() && wasAlpha != isAlpha) {
    for (int y = 0; y < height_; ++y) {
      std::uint8_t* px = MutableRow(y).data();
      for (int x = 0; x < width_; ++x, px += 4) {
        const unsigned a = px[3];
        if (a == 255) continue;  // both ways leave an opaque pixel as it is
        for (int c = 0; c < 3; ++c)
          px[c] = isAlpha ? PremultipliedChannel(px[c], a) : StraightChannel(px[c], a);
      }
    }
  }
  alpha_ = mode;
}

Rgb Raster::TransparentColor() const {
  if (transparentColor_) return *transparentColor_;
  if (format_ == RasterFormat::Bits1 || Empty()) return Rgb{255, 255, 255};
  std::vector<std::uint8_t> line(4 * static_cast<std::size_t>(width_));
  ReadRowBgrx(*this, height_ - 1, line.data());
  return Rgb{line[2], line[1], line[0]};
}

std::size_t Raster::StoredRowIndex(int y) const {
  if (y < 0 || y >= height_) throw Error(std::string(messages::kScanLineOutOfRange));
  return static_cast<std::size_t>(rowOrder_ == RowOrder::BottomUp ? height_ - 1 - y : y);
}

std::span<const std::uint8_t> Raster::Row(int y) const {
  const std::size_t index = StoredRowIndex(y);
  if (!store_) return {};  // a raster 0 wide still has its rows, of no bytes
  return {store_->bytes.data() + index * RowBytes(), RowBytes()};
}

std::span<std::uint8_t> Raster::MutableRow(int y) {
  const std::size_t index = StoredRowIndex(y);
  if (!store_) return {};
  Detach();
  return {store_->bytes.data() + index * RowBytes(), RowBytes()};
}

std::span<const std::uint8_t> Raster::Store() const {
  if (!store_) return {};
  return {store_->bytes.data(), store_->bytes.size()};
}

std::span<std::uint8_t> Raster::MutableStore() {
  if (!store_) return {};
  Detach();
  return {store_->bytes.data(), store_->bytes.size()};
}

void ReadRowBgrx(const Raster& raster, int y, std::uint8_t* out) {
  const std::uint8_t* row = raster.Row(y).data();
  const int width = raster.Width();
  const int bits = raster.BitsPerPixel();
  const RasterFormat format = raster.Format();
  if (IsPaletteFormat(format)) {
    const auto& palette = raster.Palette();
    for (int x = 0; x < width; ++x) {
      const unsigned index = PackedIndexAt(row, x, bits);
      const PaletteEntry c = index < palette.size() ? palette[index] : PaletteEntry{};
      out[4 * x] = c.blue;
      out[4 * x + 1] = c.green;
      out[4 * x + 2] = c.red;
      out[4 * x + 3] = 0;
    }
  } else if (bits == 24) {
    for (int x = 0; x < width; ++x) {
      std::memcpy(out + 4 * x, row + 3 * x, 3);
      out[4 * x + 3] = 0;
    }
  } else if (format == RasterFormat::Device || format == RasterFormat::Bits32) {
    std::memcpy(out, row, 4 * static_cast<std::size_t>(width));
  } else if (bits == 16 || bits == 32) {
    const BitMasks masks = MasksFor(raster);
    const int bytes = bits / 8;
    for (int x = 0; x < width; ++x) {
      const std::uint32_t value = LoadLittle(row + bytes * x, bytes);
      out[4 * x] = ScaleField(value, masks.blue);
      out[4 * x + 1] = ScaleField(value, masks.green);
      out[4 * x + 2] = ScaleField(value, masks.red);
      out[4 * x + 3] = bits == 32 ? static_cast<std::uint8_t>(value >> 24) : 0;
    }
  } else {
    std::memset(out, 0, 4 * static_cast<std::size_t>(width));
  }
}

void WriteRowBgrx(Raster& raster, int y, const std::uint8_t* in) {
  std::uint8_t* row = raster.MutableRow(y).data();
  const BitMasks masks = MasksFor(raster);
  PackRowBgrx(in, raster.Width(), raster.Format(), raster.BitsPerPixel(), masks, raster.Palette(),
              row);
}

}  // namespace tolvane
