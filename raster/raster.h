#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "support/byte_block.h"

namespace tolvane {

enum class RasterFormat { Device, Bits1, Bits4, Bits8, Bits15, Bits16, Bits24, Bits32, Custom };

// How the fourth byte of a Bits32 pixel is read.
enum class AlphaMode {
  None,           // not alpha
  Defined,        // alpha; colours held premultiplied in memory, straight in BMP files
  Premultiplied,  // alpha; colours premultiplied in memory and in files
};

// One colour channel between straight and premultiplied alpha, as the alpha
// modes convert it: c x a / 255, and c x 255 / a (0 where a is 0, at most
// 255), both rounded to nearest with halves up.
constexpr std::uint8_t PremultipliedChannel(unsigned colour, unsigned alpha) {
  return static_cast<std::uint8_t>((colour * alpha * 2 + 255) / 510);
}
constexpr std::uint8_t StraightChannel(unsigned colour, unsigned alpha) {
  return alpha == 0
             ? 0
             : static_cast<std::uint8_t>(std::min((colour * 255u * 2 + alpha) / (2 * alpha), 255u));
}

// The formats whose pixels are indices into a palette.
constexpr bool IsPaletteFormat(RasterFormat format) {
  return format == RasterFormat::Bits1 || format == RasterFormat::Bits4 ||
         format == RasterFormat::Bits8;
}

enum class RowOrder { BottomUp, TopDown };

// The message a pixel store fails with when the budget or the system refuses
// it: a resized raster reads as a new bitmap would, a store read from a
// file's header as the reader's lack of memory.
enum class StoreRefusal { SystemResourcesLow, OutOfMemory };

struct PaletteEntry {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  std::uint8_t reserved = 0;
  friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

struct BitMasks {
  std::uint32_t red = 0;
  std::uint32_t green = 0;
  std::uint32_t blue = 0;
  friend bool operator==(const BitMasks&, const BitMasks&) = default;
};

struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The layout of a device-independent store as a file header describes it.
struct StoreLayout {
  int width = 0;
  int height = 0;  // the row count, above 0
  int bitsPerPixel = 0;
  std::optional<BitMasks> masks;  // bit fields, for 16 and 32 bits
  RowOrder rowOrder = RowOrder::BottomUp;
  std::vector<PaletteEntry> palette;
};

// The 32-bit layout of a Device pixel: blue, green, red, unused.
inline constexpr int kDeviceBitsPerPixel = 32;

// The program's in-memory pixel image. A value type: copies share the pixel
// store until one of them is about to change it (copy-on-write).
class Raster {
 public:
  Raster() = default;

  int Width() const { return width_; }
  int Height() const { return height_; }
  // True when there is no pixel store (a side is 0).
  bool Empty() const { return store_ == nullptr; }

  RasterFormat Format() const { return format_; }
  int BitsPerPixel() const { return bitsPerPixel_; }
  // Bytes of one stored row, padded to a multiple of 4.
  std::size_t RowBytes() const { return RowBytesFor(width_, bitsPerPixel_); }
  static std::size_t RowBytesFor(int width, int bitsPerPixel);

  // A changed size re-makes the store in the current format, white, with the
  // old pixels in its top-left corner. Fails with the system-resources message,
  // also for a store above the memory budget (support/memory_budget.h).
  void SetWidth(int width);
  void SetHeight(int height);
  void SetSize(int width, int height, StoreRefusal refusal = StoreRefusal::SystemResourcesLow);
  // For a raster whose every row is about to be written: sets the size like
  // SetSize, but leaves the new store zero rather than filling it white and
  // copying the old pixels, which would touch every page of it twice.
  void SetSizeToOverwrite(int width, int height);

  // Re-lays the store in another layout, converting the pixels. Custom fails
  // with the invalid-pixel-format message. A palette format keeps only the
  // entries its depth can address (Bits1 without any gets black and white);
  // every other format drops the palette, and only Bits32 keeps its alpha mode.
  void SetFormat(RasterFormat format);

  // Makes a zero-filled independent store of the given layout (what a file
  // header describes), classifying its format by the bit count and masks; a
  // bit-field layout with red mask 0 takes the default masks of its depth.
  // The raster becomes a new one of that layout: alpha None, transparency
  // key and os2Header reset. Fails with the refusal's message (also for a
  // store above the memory budget), or the invalid-pixel-format one for a bit
  // count outside 1 to 64.
  void CreateIndependent(const StoreLayout& layout,
                         StoreRefusal refusal = StoreRefusal::OutOfMemory);

  const std::vector<PaletteEntry>& Palette() const { return palette_; }
  // Replaces the palette (at most 256 entries kept); the indices of a palette store are re-mapped
  // to the nearest colours of the new one.
  void SetPalette(std::vector<PaletteEntry> palette);

  // Meaningful for 16- and 32-bit stores with bit fields (Bits16, Custom).
  const BitMasks& Masks() const { return masks_; }
  bool HasMasks() const { return hasMasks_; }

  RowOrder GetRowOrder() const { return rowOrder_; }

  AlphaMode Alpha() const { return alpha_; }
  // From None to an alpha mode premultiplies (c x a / 255), back to None
  // un-premultiplies (c x 255 / a, 0 where a is 0), both rounded to nearest
  // with halves away from zero; only Bits32 and Device stores are touched.
  void SetAlphaMode(AlphaMode mode);
  // For a store whose colours a decoder has already premultiplied: the mode
  // becomes Defined and no pixel is touched (rows handed to another thread
  // stay as they are).
  void SetAlphaDefinedAsStored() { alpha_ = AlphaMode::Defined; }

  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on) { transparent_ = on; }
  // The key colour: the one set, or white for Bits1 and otherwise the colour
  // of the bottom-left pixel.
  Rgb TransparentColor() const;
  void SetTransparentColor(Rgb color) { transparentColor_ = color; }

  bool Os2Header() const { return os2Header_; }
  void SetOs2Header(bool on) { os2Header_ = on; }

  // Row y counted from the top row, whatever the row order. Fails with the
  // scan-line message outside 0 to height - 1; a raster 0 wide has rows of
  // no bytes. A mutable span gives this raster a private store first and is
  // valid until the raster is next copied, resized or re-formatted.
  std::span<const std::uint8_t> Row(int y) const;
  std::span<std::uint8_t> MutableRow(int y);

  // The whole store in memory order (the first stored row first).
  std::span<const std::uint8_t> Store() const;
  std::span<std::uint8_t> MutableStore();

 private:
  struct PixelStore;

  void MakeStore(int width, int height, RasterFormat format, int bitsPerPixel,
                 StoreRefusal refusal = StoreRefusal::SystemResourcesLow);
  void Detach();
  std::size_t StoredRowIndex(int y) const;

  int width_ = 0;
  int height_ = 0;
  RasterFormat format_ = RasterFormat::Device;
  int bitsPerPixel_ = kDeviceBitsPerPixel;
  std::vector<PaletteEntry> palette_;
  BitMasks masks_;
  bool hasMasks_ = false;
  RowOrder rowOrder_ = RowOrder::BottomUp;
  AlphaMode alpha_ = AlphaMode::None;
  bool transparent_ = false;
  std::optional<Rgb> transparentColor_;
  bool os2Header_ = false;
  std::shared_ptr<PixelStore> store_;
};

// The zero bytes of a new pixel store, or of an image-sized buffer made in
// its stead. Fails with the message `refusal` names when the system refuses.
ByteBlock ZeroedPixelBytes(std::size_t size,
                           StoreRefusal refusal = StoreRefusal::SystemResourcesLow);

// Row y of any raster as 32-bit pixels: blue, green, red, fourth byte. Palette
// stores are read through their palette, bit fields scaled to 8 bits. The
// fourth byte is the stored one for 32-bit stores and 0 otherwise.
void ReadRowBgrx(const Raster& raster, int y, std::uint8_t* out);

// The inverse: row y of the raster from 32-bit pixels, packed into its layout
// (palette stores take the nearest entry, bit fields the scaled channel).
void WriteRowBgrx(Raster& raster, int y, const std::uint8_t* in);

}  // namespace tolvane
