#include "formats/tiff/tiff_pixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tolvane {
namespace {

struct Rgba {
  int red, green, blue, alpha;
};

// libtiff's packing: red in the low byte, alpha in the high one.
std::vector<std::uint8_t> Packed(const std::vector<Rgba>& pixels) {
  std::vector<std::uint8_t> bytes;
  for (const Rgba& p : pixels) {
    const std::uint32_t value =
        static_cast<std::uint32_t>(p.red) | static_cast<std::uint32_t>(p.green) << 8 |
        static_cast<std::uint32_t>(p.blue) << 16 | static_cast<std::uint32_t>(p.alpha) << 24;
    std::uint8_t native[4];
    std::memcpy(native, &value, 4);
    bytes.insert(bytes.end(), native, native + 4);
  }
  return bytes;
}

int Straight(int colour, int alpha, bool associated) {
  if (!associated) return colour;
  return alpha == 0 ? 0 : std::min((colour * 255 + alpha / 2) / alpha, 255);
}

std::vector<std::uint8_t> Expected(const std::vector<Rgba>& pixels, bool associated) {
  std::vector<std::uint8_t> bytes;
  for (const Rgba& p : pixels) {
    for (int colour : {p.blue, p.green, p.red}) {
      bytes.push_back(
          static_cast<std::uint8_t>((Straight(colour, p.alpha, associated) * p.alpha + 127) / 255));
    }
    bytes.push_back(static_cast<std::uint8_t>(p.alpha));
  }
  return bytes;
}

// Opaque runs broken by one other pixel at every place within and across
// groups, and every colour with every alpha, alpha changing from pixel to
// pixel; lengths that leave a tail of each size.
TEST(ToPremultipliedBgra, TurnsEveryPixelByTheRoundingRuleWhateverItsNeighbours) {
  std::vector<Rgba> pixels;
  for (int broken = 0; broken < 24; ++broken) {
    for (int i = 0; i < 24; ++i) {
      const int alpha = i == broken ? broken * 10 : 255;
      pixels.push_back({i * 11 % 256, 200 - i, 37 + broken, alpha});
    }
  }
  for (int i = 0; i < 256 * 256; ++i)
    pixels.push_back({i / 256, 255 - i / 256, (i / 256 + 77) % 256, i % 256});
  for (const bool associated : {false, true}) {
    for (std::size_t length = pixels.size() - 9; length <= pixels.size(); ++length) {
      const std::vector<Rgba> some(pixels.begin(),
                                   pixels.begin() + static_cast<std::ptrdiff_t>(length));
      std::vector<std::uint8_t> bytes = Packed(some);
      ToPremultipliedBgra(bytes, associated);
      ASSERT_EQ(bytes, Expected(some, associated))
          << "associated " << associated << ", " << length << " pixels";
    }
  }
}

}  // namespace
}  // namespace tolvane
