#pragma once

#include <cstdint>
#include <vector>

#include "tests/support/test_support.h"

namespace tolvane::testing {

// A 24-bit bottom-up BMP of one colour.
inline std::vector<std::uint8_t> UniformBmp(int width, int height, std::uint8_t blue = 10,
                                            std::uint8_t green = 20, std::uint8_t red = 30) {
  return Bmp24(width, height, [=](int, int) { return Bgr{blue, green, red}; });
}

}  // namespace tolvane::testing
