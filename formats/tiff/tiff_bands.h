#pragma once

#include <tiffio.h>

#include <cstdint>
#include <optional>

namespace tolvane {

// How many rows each band holds when the first image of the open file can be
// read band by band through libtiff's RGBA interface (a band being a run of
// whole strips) with exactly the pixels that one read of the whole image
// gives; nothing when that cannot be shown for the file's layout. The file
// must be open mapped and read in its stored row order (formats/tiff/tiff_file.h,
// formats/tiff/tiff_decode.cpp).
std::optional<std::uint32_t> BandRowsFor(TIFF* tif);

}  // namespace tolvane
