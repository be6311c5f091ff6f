#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/png/png_decoder.h"
#include "formats/png/png_gamma.h"
#include "formats/png/png_header.h"
#include "raster/raster.h"
#include "raster/row_progress.h"
#include "raster/surface.h"
#include "support/byte_source.h"

namespace tolvane {

// A decoded PNG file: decodes PNG input, draws it with its transparency
// (the preview shows it so) and fills a raster from it. It writes nothing;
// every PNG output goes through png::PngWriter (png_encoder.h), which keeps
// only the interlace method of a decoded PNG (InterlaceMethod).
class PngImage {
 public:
  PngImage() = default;

  // Decodes a PNG file; everything held before is discarded first.
  // With a progress, the rows of a plain (not interlaced) RGB image, whose
  // store becomes the working raster as it is, are handed over as they are
  // decoded.
  void LoadPng(const std::string& path, RowProgress* progress = nullptr);
  // The same from bytes already at hand; the path form opens the file.
  void LoadPng(ByteSource& source, RowProgress* progress = nullptr);

  int Width() const { return width_; }
  int Height() const { return height_; }

  // Draws the image into the rectangle of the surface, scaled to fill it.
  void Draw(Surface& surface, const Rect& rect) const;

  // Makes raster a copy of the decoded image: the working raster. Its rows
  // go to the progress, if given, unless LoadPng handed them over already.
  void ToRaster(Raster& raster, RowProgress* progress = nullptr) const;

  // 0 (none) or 1 (Adam7): from the last file decoded.
  int InterlaceMethod() const { return interlaceMethod_; }

  // How the image is drawn, from its colour type and its tRNS chunk.
  enum class Transparency { None, Key, Partial };
  Transparency TransparencyMode() const;

 private:
  void Discard();
  bool StoreIsWorkingRaster() const;
  Raster WorkingRaster() const;
  void ReadHeaderChunk(const std::vector<std::uint8_t>& data);
  void ReadPaletteChunk(const std::vector<std::uint8_t>& data, const png::ByteTable& gamma);
  void ReadTransparencyChunk(const std::vector<std::uint8_t>& data);
  void MakeGrayRamp(const png::ByteTable& gamma);
  Rgb DeriveKeyColor(const png::ByteTable& gamma) const;

  int width_ = 0;
  int height_ = 0;
  int interlaceMethod_ = 0;
  png::PngHeader header_;
  // Of the chunks read: whether there were any, and whether one was tRNS;
  // nothing else of them is used.
  bool readChunks_ = false;
  bool hasTransparencyChunk_ = false;
  // Copies share the decoded planes; nothing changes them after decoding.
  png::DecodedPlanes planes_;
  std::vector<PaletteEntry> palette_;
  png::ByteTable transparency_ = png::ByteTable{};
  // Worked out when decoding ends, so that copies key the same colour.
  Rgb keyColor_;
  // The store's rows went to LoadPng's progress as they were decoded.
  bool rowsReported_ = false;
};

}  // namespace tolvane
