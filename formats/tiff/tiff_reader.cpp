#include "formats/tiff/tiff_reader.h"

#include <cstddef>

#include "formats/tiff/tiff_decode.h"
#include "support/files.h"

namespace tolvane {

namespace {

constexpr std::size_t kFileReadPiece = 1 << 20;

}  // namespace

// libtiff seeks all over the file, so the reader holds it whole and hands
// libtiff a mapping of it.
void LoadTiff(ByteSource& source, Raster& raster, RowProgress* progress) {
  const ByteBlock data = source.ReadRest(kFileReadPiece);
  raster = DecodeTiff(data, TiffReadOrder::BandsWherePossible, progress);
}

void LoadTiffFile(const std::string& path, Raster& raster, RowProgress* progress) {
  InputFile file(path);
  LoadTiff(file, raster, progress);
}

}  // namespace tolvane
