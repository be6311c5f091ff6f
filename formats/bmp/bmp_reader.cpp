#include "formats/bmp/bmp.h"

namespace tolvane {

void LoadBmpFile(const std::string& /*path*/, Raster& /*raster*/) {}

}  // namespace tolvane
