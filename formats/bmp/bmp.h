#pragma once

#include <string>

#include "raster/raster.h"
#include "support/byte_source.h"

namespace tolvane {

// Reads a Windows bitmap into raster, which loses what it held; a failure
// leaves raster as it was. LoadBmpFile opens the file first.
void LoadBmp(ByteSource& source, Raster& raster);
void LoadBmpFile(const std::string& path, Raster& raster);

// Writes raster as a Windows bitmap file, atomically.
void SaveBmpFile(const Raster& raster, const std::string& path);

}  // namespace tolvane
