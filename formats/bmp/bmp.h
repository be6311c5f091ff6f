#pragma once

#include <string>

#include "raster/raster.h"

namespace tolvane {

// Reads a Windows bitmap file into raster, which loses what it held; a
// failure leaves raster as it was.
void LoadBmpFile(const std::string& path, Raster& raster);

// Writes raster as a Windows bitmap file, atomically.
void SaveBmpFile(const Raster& raster, const std::string& path);

}  // namespace tolvane
