#pragma once

#include <cstdint>
#include <span>

namespace tolvane {

// Turns pixels as libtiff's RGBA interface packs them (a 32-bit value per
// pixel, red in the low byte, alpha in the high) into the raster's: blue,
// green, red premultiplied by alpha with c := (c x a + 127) div 255, alpha.
// `associated`: libtiff handed colours already premultiplied; they are first
// brought back to straight ones (c x 255 / a rounded, at most 255), so that
// both kinds of file meet the same rounding. Opaque pixels only change order.
void ToPremultipliedBgra(std::span<std::uint8_t> pixels, bool associated);

}  // namespace tolvane
