#pragma once

#include <tiffio.h>

#include <cstdint>
#include <optional>

namespace tolvane {

// How many rows each band holds when the first image of the open file can be
// read band by band through libtiff's RGBA interface (a band being a run of
// whole strips) with exactly the pixels that one read of the whole image
// gives; nothing when that cannot be shown for the file's layout.
// `fileSize`: the bytes the file holds.
std::optional<std::uint32_t> BandRowsFor(TIFF* tif, std::uint64_t fileSize);

}  // namespace tolvane
