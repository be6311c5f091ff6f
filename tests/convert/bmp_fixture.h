#pragma once

#include <cstdint>
#include <vector>

#include "tests/support/test_support.h"

namespace tolvane::testing {

// A 24-bit bottom-up BMP of one colour.
inline std::vector<std::uint8_t> UniformBmp(int width, int height, std::uint8_t blue = 10,
                                            std::uint8_t green = 20, std::uint8_t red = 30) {
  const std::uint32_t rowBytes = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
  const std::uint32_t imageBytes = rowBytes * static_cast<std::uint32_t>(height);
  std::vector<std::uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  PutLe32(out, 54 + imageBytes);
  PutLe32(out, 0);
  PutLe32(out, 54);
  PutLe32(out, 40);
  PutLe32(out, static_cast<std::uint32_t>(width));
  PutLe32(out, static_cast<std::uint32_t>(height));
  PutLe16(out, 1);
  PutLe16(out, 24);
  for (int i = 0; i < 6; ++i) PutLe32(out, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      out.push_back(blue);
      out.push_back(green);
      out.push_back(red);
    }
    for (std::uint32_t pad = static_cast<std::uint32_t>(width) * 3; pad < rowBytes; ++pad) {
      out.push_back(0);
    }
  }
  return out;
}

}  // namespace tolvane::testing
