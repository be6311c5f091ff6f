#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "raster/raster.h"

namespace tolvane::bmp {

enum class RleKind { Rle8, Rle4 };

// Decodes the run-length coded pixels of a bottom-up bitmap of width x height
// (both above 0) into a Device raster holding the palette's colours. Pixels
// the data never set take palette entry 0; runs and deltas that leave the
// bitmap are clipped. Data that end early simply end the picture. Fails with
// the out-of-memory message when the store cannot be had.
Raster DecodeRle(std::span<const std::uint8_t> data, RleKind kind, int width, int height,
                 const std::vector<PaletteEntry>& palette);

}  // namespace tolvane::bmp
