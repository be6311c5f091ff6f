#pragma once

#include <string>

#include "raster/raster.h"
#include "raster/surface.h"

namespace tolvane {

// The PNG image object: decodes PNG input, draws it with its transparency,
// fills a raster from it, and encodes every PNG output.
class PngImage {
 public:
  PngImage() = default;

  // Decodes a PNG file; everything held before is discarded first.
  void LoadPng(const std::string& path);

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

 private:
  int width_ = 0;
  int height_ = 0;
  int interlaceMethod_ = 0;
};

}  // namespace tolvane
