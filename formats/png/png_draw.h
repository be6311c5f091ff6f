#pragma once

#include <vector>

#include "formats/png/png_decoder.h"
#include "formats/png/png_gamma.h"
#include "raster/raster.h"
#include "raster/surface.h"

namespace tolvane::png {

// What the partial-transparency rule reads of a decoded image.
struct PartialSource {
  std::uint8_t colorType = 0;
  const Raster* store = nullptr;
  const AlphaPlane* alpha = nullptr;                   // colour types 4 and 6
  const std::vector<PaletteEntry>* palette = nullptr;  // the PLTE entries, colour type 3
  const ByteTable* transparency = nullptr;             // colour type 3
};

// The partial rule: the image sampled onto the rectangle (quotients formed
// in the extended format, truncated) and blended into the surface's pixels.
// Colour type 3 fails with the palette-entry message on an index beyond the
// palette.
void DrawPartial(const PartialSource& source, Surface& surface, Rect rect);

// The partial rule at scale 1 onto a Bits32 raster of the image's size.
void DrawPartialOnto(const PartialSource& source, Raster& target);

}  // namespace tolvane::png
