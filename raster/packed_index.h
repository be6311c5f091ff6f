#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvane {

// Palette indices packed into a row of 1, 4 or 8 bits per pixel, each byte
// filled from its most significant bit.

inline unsigned PackedIndexAt(const std::uint8_t* row, std::size_t x, int bits) {
  switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0Fu;
    default: return row[x];
  }
}

inline void SetPackedIndex(std::uint8_t* row, std::size_t x, int bits, unsigned index) {
  switch (bits) {
    case 1: {
      const auto bit = static_cast<std::uint8_t>(0x80u >> (x & 7));
      row[x >> 3] = static_cast<std::uint8_t>((row[x >> 3] & ~bit) | ((index & 1u) ? bit : 0));
      break;
    }
    case 4: {
      const int shift = (x & 1) ? 0 : 4;
      const auto mask = static_cast<std::uint8_t>(0x0Fu << shift);
      row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & ~mask) | ((index & 0x0Fu) << shift));
      break;
    }
    default: row[x] = static_cast<std::uint8_t>(index);
  }
}

}  // namespace tolvane
