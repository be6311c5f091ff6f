// Built only by the test Layers.UpwardIncludeIsRefused, as a source of the
// raster layer: the first include below must not be found.
#include "convert/convert.h"
#include "raster/raster.h"
