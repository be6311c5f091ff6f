#include "formats/png/png_image.h"
#include "raster/surface.h"
#include "support/byte_source.h"
#include "support/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tolvane::MemorySource source({data, size});
  tolvane::PngImage image;
  try {
    image.LoadPng(source);
  } catch (const tolvane::Error&) {
    return 0;
  }
  try {
    tolvane::Raster raster;
    image.ToRaster(raster);
  } catch (const tolvane::Error&) {}
  try {
    // The preview's box, and a box that is neither a multiple nor a divisor of the image.
    tolvane::Surface box(249, 147);
    image.Draw(box, tolvane::Rect{27, 0, 222, 147});
    image.Draw(box, tolvane::Rect{3, 5, 3 + 37, 5 + 23});
  } catch (const tolvane::Error&) {}
  return 0;
}
