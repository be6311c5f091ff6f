#include "formats/bmp/bmp.h"
#include "fuzz/fuzz_input.h"
#include "support/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = tolvane::fuzz::Scratch().Write("input.bmp", data, size);
  try {
    tolvane::Raster raster;
    tolvane::LoadBmpFile(path, raster);
  } catch (const tolvane::Error&) {
  }
  return 0;
}
