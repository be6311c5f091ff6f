#pragma once

#include <string>

#include "raster/raster.h"
#include "raster/row_progress.h"
#include "support/byte_source.h"

namespace tolvane {

// Reads the first image of a TIFF file into raster as Bits32 with alpha
// Defined (colours premultiplied); a failure leaves raster as it was. The
// rows go to `progress`, if given: where the file's layout lets it be read
// band by band, each as soon as it is final, otherwise all of them once the
// image is decoded. LoadTiff takes the rest of `source`; LoadTiffFile opens
// the file first.
void LoadTiff(ByteSource& source, Raster& raster, RowProgress* progress = nullptr);
void LoadTiffFile(const std::string& path, Raster& raster, RowProgress* progress = nullptr);

}  // namespace tolvane
