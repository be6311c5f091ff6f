#include "formats/png/png_image.h"

namespace tolvane {

// Placeholders until the PNG codec lands.
void PngImage::LoadPng(const std::string& /*path*/) {}
void PngImage::Draw(Surface& /*surface*/, const Rect& /*rect*/) const {}
void PngImage::ToRaster(Raster& /*raster*/) const {}
void PngImage::FromRaster(const Raster& raster) {
  width_ = raster.Width();
  height_ = raster.Height();
}
void PngImage::SavePng(const std::string& /*path*/) const {}

}  // namespace tolvane
