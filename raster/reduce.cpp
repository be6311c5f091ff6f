#include "raster/reduce.h"

namespace tolvane {

// Placeholder until the area-averaging reduction lands.
void ReduceHalftone(const Raster& /*source*/, Raster& /*destination*/) {}

}  // namespace tolvane
