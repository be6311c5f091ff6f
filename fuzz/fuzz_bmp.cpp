#include "formats/bmp/bmp.h"
#include "support/byte_source.h"
#include "support/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tolvane::MemorySource source({data, size});
  try {
    tolvane::Raster raster;
    tolvane::LoadBmp(source, raster);
  } catch (const tolvane::Error&) {}
  return 0;
}
