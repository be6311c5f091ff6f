#include <span>

#include "formats/tiff/tiff_decode.h"
#include "formats/tiff/tiff_reader.h"
#include "fuzz/row_check.h"
#include "support/byte_source.h"
#include "support/error.h"

// The reader as the conversion uses it (band by band where it can), against
// the whole-image read of the same bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  tolvane::fuzz::RowCheck rows;
  const auto whole = tolvane::fuzz::Attempt(
      [&] { return tolvane::DecodeTiff(bytes, tolvane::TiffReadOrder::WholeImage); });
  const auto bands = tolvane::fuzz::Attempt([&] {
    tolvane::MemorySource source(bytes);
    tolvane::Raster raster;
    tolvane::LoadTiff(source, raster, &rows);
    return raster;
  });
  tolvane::fuzz::RequireSame(whole, bands);
  if (bands.raster) rows.RequireFinalRows(*bands.raster);
  return 0;
}
