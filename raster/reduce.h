#pragma once

#include "raster/raster.h"

namespace tolvane {

// The halftone reduction: the whole source stretched onto the whole
// destination (already sized) by exact area averaging. The destination keeps
// its format and gets colours only, fourth byte 0. Reports nothing: an empty
// source or destination leaves the destination as it was.
void ReduceHalftone(const Raster& source, Raster& destination);

}  // namespace tolvane
