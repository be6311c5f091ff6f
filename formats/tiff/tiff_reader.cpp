#include "formats/tiff/tiff_reader.h"

namespace tolvane {

// Placeholder until the TIFF reader lands.
void LoadTiffFile(const std::string& /*path*/, Raster& /*raster*/) {}

}  // namespace tolvane
