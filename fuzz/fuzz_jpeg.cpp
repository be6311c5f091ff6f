#include <span>

#include "formats/jpeg/jpeg_image.h"
#include "fuzz/row_check.h"
#include "support/byte_source.h"
#include "support/error.h"

// The reader as the conversion uses it, then the same bytes decoded with and
// without a row consumer: a multi-scan file is read in another mode when rows
// are wanted, and must still give the same pixels.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    tolvane::MemorySource source({data, size});
    tolvane::JpegImage image;
    image.LoadJpeg(source);
    tolvane::Raster raster;
    image.ToRaster(raster);
  } catch (const tolvane::Error&) {}

  const std::span<const std::uint8_t> bytes(data, size);
  tolvane::fuzz::RowCheck rows;
  const auto plain =
      tolvane::fuzz::Attempt([&] { return tolvane::DecodeJpeg(bytes, false, nullptr); });
  const auto reported =
      tolvane::fuzz::Attempt([&] { return tolvane::DecodeJpeg(bytes, false, &rows); });
  tolvane::fuzz::RequireSame(plain, reported);
  if (reported.raster) rows.RequireFinalRows(*reported.raster);
  return 0;
}
