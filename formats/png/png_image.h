#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/png/png_decoder.h"
#include "formats/png/png_gamma.h"
#include "formats/png/png_header.h"
#include "raster/raster.h"
#include "raster/surface.h"

namespace tolvane {

// The PNG image object: decodes PNG input, draws it with its transparency,
// fills a raster from it, and encodes every PNG output.
class PngImage {
 public:
  PngImage() = default;

  // Decodes a PNG file; everything held before is discarded first.
  // With a progress, the rows of a non-interlaced colour image are reported
  // as they are decoded.
  void LoadPng(const std::string& path, RowProgress* progress = nullptr);

  int Width() const { return width_; }
  int Height() const { return height_; }

  // Draws the image into the rectangle of the surface, scaled to fill it.
  void Draw(Surface& surface, const Rect& rect) const;

  // Makes raster a copy of the decoded image.
  void ToRaster(Raster& raster) const;

  // Rebuilds the object from a raster; only the interlace method survives.
  void FromRaster(const Raster& raster);

  // Writes the object as a PNG file, atomically.
  void SavePng(const std::string& path) const;

  // 0 (none) or 1 (Adam7): from the last file decoded.
  int InterlaceMethod() const { return interlaceMethod_; }

  // How the image is drawn, from its colour type and its tRNS chunk.
  enum class Transparency { None, Key, Partial };
  Transparency TransparencyMode() const;

 private:
  struct Chunk {
    png::ChunkType type{};
    std::vector<std::uint8_t> data;  // empty for IDAT: the image lives in the planes
  };

  void Discard();
  bool HasChunk(const png::ChunkType& type) const;
  void ReadHeaderChunk(const std::vector<std::uint8_t>& data);
  void ReadPaletteChunk(const std::vector<std::uint8_t>& data, const png::ByteTable& gamma);
  void ReadTransparencyChunk(const std::vector<std::uint8_t>& data);
  void MakeGrayRamp(const png::ByteTable& gamma);
  Rgb DeriveKeyColor(const png::ByteTable& gamma) const;

  int width_ = 0;
  int height_ = 0;
  int interlaceMethod_ = 0;
  png::PngHeader header_;
  std::vector<Chunk> chunks_;
  // Copies share the decoded planes; nothing changes them after decoding.
  png::DecodedPlanes planes_;
  std::vector<PaletteEntry> palette_;
  png::ByteTable inverseGamma_ = png::IdentityTable();
  png::ByteTable transparency_ = png::ByteTable{};
  // Worked out when decoding ends, so that copies key the same colour.
  Rgb keyColor_;
};

}  // namespace tolvane
