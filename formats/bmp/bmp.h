#pragma once

#include <string>

#include "raster/raster.h"
#include "raster/row_progress.h"
#include "support/byte_source.h"

namespace tolvane {

// Reads a Windows bitmap into raster, which loses what it held; a failure
// leaves raster as it was. The rows go to the progress, if given, once the
// whole bitmap is read. LoadBmpFile opens the file first.
void LoadBmp(ByteSource& source, Raster& raster, RowProgress* progress = nullptr);
void LoadBmpFile(const std::string& path, Raster& raster, RowProgress* progress = nullptr);

// Writes raster as a Windows bitmap file, atomically.
void SaveBmpFile(const Raster& raster, const std::string& path);

}  // namespace tolvane
