#pragma once

#include <cstdint>

namespace tolvane {

// One CMYK pixel as Adobe applications store it (255 means no ink) made
// into red, green and blue: each colour is the ink value times K, over 255,
// truncated.
struct CmykAsRgb {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
};

inline CmykAsRgb ConvertCmyk(unsigned c, unsigned m, unsigned y, unsigned k) {
  return {static_cast<std::uint8_t>(c * k / 255), static_cast<std::uint8_t>(m * k / 255),
          static_cast<std::uint8_t>(y * k / 255)};
}

// Replaces width pixels of C, M, Y, K in place by blue, green, red, 255.
void ConvertCmykRow(std::uint8_t* row, int width);

}  // namespace tolvane
