#include "formats/tiff/tiff_pixels.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "raster/raster.h"

namespace tolvane {

namespace {

// Pixels are looked at in runs: a run of opaque ones, the common case, is
// swapped in loops the compiler can vectorise. A run fits the L1 cache.
constexpr std::size_t kRunPixels = 64;

constexpr std::uint32_t Red(std::uint32_t packed) { return packed & 0xFF; }
constexpr std::uint32_t Green(std::uint32_t packed) { return (packed >> 8) & 0xFF; }
constexpr std::uint32_t Blue(std::uint32_t packed) { return (packed >> 16) & 0xFF; }
constexpr std::uint32_t Alpha(std::uint32_t packed) { return packed >> 24; }

// The value whose bytes in memory are blue, green, red, alpha.
constexpr std::uint32_t InMemoryOrder(std::uint32_t blue, std::uint32_t green, std::uint32_t red,
                                      std::uint32_t alpha) {
  if constexpr (std::endian::native == std::endian::little) {
    return blue | green << 8 | red << 16 | alpha << 24;
  } else {
    return blue << 24 | green << 16 | red << 8 | alpha;
  }
}

constexpr std::uint32_t SwappedOpaque(std::uint32_t packed) {
  return InMemoryOrder(Blue(packed), Green(packed), Red(packed), 0xFF);
}

std::uint32_t Converted(std::uint32_t packed, bool associated) {
  const std::uint32_t alpha = Alpha(packed);
  if (alpha == 0xFF) return SwappedOpaque(packed);
  if (alpha == 0) return 0;
  auto channel = [&](std::uint32_t colour) {
    return PremultipliedChannel(associated ? StraightChannel(colour, alpha) : colour, alpha);
  };
  return InMemoryOrder(channel(Blue(packed)), channel(Green(packed)), channel(Red(packed)), alpha);
}

std::uint32_t Load(const std::uint8_t* bytes) {
  std::uint32_t value = 0;
  std::memcpy(&value, bytes, 4);  // the bytes need not be aligned for 32-bit access
  return value;
}

void Store(std::uint8_t* bytes, std::uint32_t value) { std::memcpy(bytes, &value, 4); }

void ConvertRun(std::uint8_t* bytes, std::size_t count, bool associated) {
  std::uint32_t all = 0xFFFFFFFF;
  for (std::size_t i = 0; i < count; ++i) all &= Load(bytes + 4 * i);
  if (Alpha(all) == 0xFF) {
    for (std::size_t i = 0; i < count; ++i)
      Store(bytes + 4 * i, SwappedOpaque(Load(bytes + 4 * i)));
  } else {
    for (std::size_t i = 0; i < count; ++i)
      Store(bytes + 4 * i, Converted(Load(bytes + 4 * i), associated));
  }
}

}  // namespace

void ToPremultipliedBgra(std::span<std::uint8_t> pixels, bool associated) {
  const std::size_t count = pixels.size() / 4;
  for (std::size_t first = 0; first < count; first += kRunPixels) {
    ConvertRun(pixels.data() + 4 * first, std::min(kRunPixels, count - first), associated);
  }
}

}  // namespace tolvane
