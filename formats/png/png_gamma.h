#pragma once

#include <array>
#include <cstdint>

namespace tolvane::png {

using ByteTable = std::array<std::uint8_t, 256>;

ByteTable IdentityTable();

// The gamma table and its inverse; the identity until a gAMA chunk.
struct GammaTables {
  ByteTable forward = IdentityTable();
  ByteTable inverse = IdentityTable();

  // A gAMA value g (in units of 1/100000): gamma[i] = round((i / 255) ^
  // (1 / (g / 100000 x 2.2)) x 255), halves to even, and inverse[gamma[i]] = i
  // with later i winning. A value of 0 changes nothing.
  void Apply(std::uint32_t gammaValue);
};

}  // namespace tolvane::png
