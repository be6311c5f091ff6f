#include "formats/tiff/tiff_reader.h"

#include <utility>

#include "formats/tiff/tiff_decode.h"
#include "support/files.h"

namespace tolvane {

// An image not read band by band hands its rows over once the file is let go
// (formats/tiff/tiff_file.h: some layouts are held whole).
void LoadTiff(ByteSource& source, Raster& raster, RowProgress* progress) {
  bool readInBands = false;
  Raster decoded = DecodeTiff(source, TiffReadOrder::BandsWherePossible, progress, &readInBands);
  raster = std::move(decoded);
  if (!readInBands) HandOverAllRows(progress, raster);
}

void LoadTiffFile(const std::string& path, Raster& raster, RowProgress* progress) {
  InputFile file(path);
  LoadTiff(file, raster, progress);
}

}  // namespace tolvane
