#include "formats/tiff/tiff_reader.h"
#include "fuzz/fuzz_input.h"
#include "support/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = tolvane::fuzz::Scratch().Write("input.tif", data, size);
  try {
    tolvane::Raster raster;
    tolvane::LoadTiffFile(path, raster);
  } catch (const tolvane::Error&) {
  }
  return 0;
}
