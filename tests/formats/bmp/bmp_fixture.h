#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raster/raster.h"

namespace tolvane::testing {

// A bitmap file described field by field, for building fixtures in code.
struct BmpFixture {
  std::uint32_t headerLength = 40;  // 12 writes the core header
  std::int32_t width = 1;
  std::int32_t height = 1;
  std::uint16_t planes = 1;
  std::uint16_t bitCount = 24;
  std::uint32_t compression = 0;
  std::uint32_t sizeImage = 0;
  std::uint32_t clrUsed = 0;
  // After a 40-byte header; inside a header of 52 bytes or more.
  std::vector<std::uint32_t> masks;
  std::vector<std::uint8_t> colourTable;  // raw entries, 3 or 4 bytes each
  std::vector<std::uint8_t> gap;          // between the table and the pixels; bfOffBits skips it
  std::vector<std::uint8_t> pixels;

  std::vector<std::uint8_t> Bytes() const;
};

// Colour-table bytes: 4-byte entries (blue, green, red, reserved) or, for a
// core header, 3-byte ones. Colours are 0xRRGGBB.
std::vector<std::uint8_t> ColourTable(const std::vector<std::uint32_t>& colours, bool core = false);

// Reads the bytes of a whole file, from memory.
Raster LoadBmpBytes(const std::vector<std::uint8_t>& bytes);

// The colour of pixel (x, y), y counted from the top, as 0xXXRRGGBB with the
// fourth byte on top.
std::uint32_t PixelAt(const Raster& raster, int x, int y);

// Every pixel, top row first, as PixelAt gives them.
std::vector<std::uint32_t> AllPixels(const Raster& raster);

}  // namespace tolvane::testing
