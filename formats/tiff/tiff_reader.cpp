#include "formats/tiff/tiff_reader.h"

#include <cstddef>
#include <utility>

#include "formats/tiff/tiff_decode.h"
#include "support/files.h"

namespace tolvane {

namespace {

constexpr std::size_t kFileReadPiece = 1 << 20;

}  // namespace

// libtiff seeks all over the file, so the reader holds it whole and hands
// libtiff a mapping of it. An image not read band by band hands its rows
// over once the file's bytes are let go.
void LoadTiff(ByteSource& source, Raster& raster, RowProgress* progress) {
  bool readInBands = false;
  Raster decoded = [&] {
    const ByteBlock data = source.ReadRest(kFileReadPiece);
    return DecodeTiff(data, TiffReadOrder::BandsWherePossible, progress, &readInBands);
  }();
  raster = std::move(decoded);
  if (!readInBands) HandOverAllRows(progress, raster);
}

void LoadTiffFile(const std::string& path, Raster& raster, RowProgress* progress) {
  InputFile file(path);
  LoadTiff(file, raster, progress);
}

}  // namespace tolvane
