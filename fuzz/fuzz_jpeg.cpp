#include "formats/jpeg/jpeg_image.h"
#include "fuzz/fuzz_input.h"
#include "support/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = tolvane::fuzz::Scratch().Write("input.jpg", data, size);
  try {
    tolvane::JpegImage image;
    image.LoadJpeg(path);
    tolvane::Raster raster;
    image.ToRaster(raster);
  } catch (const tolvane::Error&) {
  }
  return 0;
}
