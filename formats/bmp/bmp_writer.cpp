#include "formats/bmp/bmp.h"

namespace tolvane {

void SaveBmpFile(const Raster& /*raster*/, const std::string& /*path*/) {}

}  // namespace tolvane
