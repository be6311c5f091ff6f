#include "formats/jpeg/jpeg_image.h"

namespace tolvane {

namespace {
bool gPaletteMode = false;
}  // namespace

void SetJpegPaletteMode(bool on) { gPaletteMode = on; }
bool JpegPaletteMode() { return gPaletteMode; }

// Placeholders until the JPEG reader lands.
void JpegImage::LoadJpeg(const std::string& /*path*/) {}
int JpegImage::Width() const { return decoded_ ? raster_.Width() : width_; }
int JpegImage::Height() const { return decoded_ ? raster_.Height() : height_; }
void JpegImage::ToRaster(Raster& raster) { raster = raster_; }

}  // namespace tolvane
