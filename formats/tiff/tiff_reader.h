#pragma once

#include <string>

#include "raster/raster.h"

namespace tolvane {

// Reads the first image of a TIFF file into raster as Bits32 with alpha
// Defined (colours premultiplied); a failure leaves raster as it was.
void LoadTiffFile(const std::string& path, Raster& raster);

}  // namespace tolvane
