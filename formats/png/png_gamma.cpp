#include "formats/png/png_gamma.h"

#include <cmath>

namespace tolvane::png {

ByteTable IdentityTable() {
  ByteTable table{};
  for (int i = 0; i < 256; ++i) table[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  return table;
}

void GammaTables::Apply(std::uint32_t gammaValue) {
  if (gammaValue == 0) return;
  const double exponent = 1.0 / (gammaValue / 100000.0 * 2.2);
  for (int i = 0; i < 256; ++i) {
    const double base = i / 255.0;
    // pow gives 0 for a zero base and 1 for a zero exponent, as wanted.
    const double value = std::nearbyint(std::pow(base, exponent) * 255.0);  // ties to even
    const auto entry = static_cast<std::uint8_t>(std::fmin(std::fmax(value, 0.0), 255.0));
    forward[static_cast<std::size_t>(i)] = entry;
    inverse[entry] = static_cast<std::uint8_t>(i);
  }
}

}  // namespace tolvane::png
