#include "formats/tiff/tiff_reader.h"

#include <cstddef>
#include <cstdint>

#include "formats/tiff/tiff_decode.h"
#include "support/files.h"

namespace tolvane {

namespace {

constexpr std::size_t kFileReadPiece = 1 << 20;

}  // namespace

void LoadTiffFile(const std::string& path, Raster& raster, RowProgress* progress) {
  ByteBlock data;
  {
    InputFile file(path);
    data = file.ReadRest(kFileReadPiece);
  }
  raster = DecodeTiff(data, TiffReadOrder::BandsWherePossible, progress);
}

}  // namespace tolvane
