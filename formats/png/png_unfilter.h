#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvane::png {

// The PNG filter types; a type byte above 4 counts as None.
inline constexpr std::uint8_t kFilterNone = 0;
inline constexpr std::uint8_t kFilterSub = 1;
inline constexpr std::uint8_t kFilterUp = 2;
inline constexpr std::uint8_t kFilterAverage = 3;
inline constexpr std::uint8_t kFilterPaeth = 4;

// The instruction sets the unfiltering may use. Every level gives the same
// bytes; the decoder takes the best one the processor has, the tests run
// each one it has.
enum class SimdLevel { None, Sse2, Sse41 };

// The best level of this build on this processor (looked up once).
SimdLevel BestSimdLevel();

// Undoes the filter of one scan line of n bytes in place. prev holds the
// unfiltered line above (zeros above a pass's first line); bpp is the
// filter's bytes per pixel: 1, 2, 3, 4, 6 or 8, and n a multiple of it (a
// line is whole pixels, or whole bytes of packed ones).
void Unfilter(std::uint8_t type, std::uint8_t* row, const std::uint8_t* prev, std::size_t n,
              std::size_t bpp, SimdLevel level);

// Undoes the filter of a line of width 8-bit red-green-blue pixels and
// writes them in blue-green-red order, the pixel store's, so that no second
// pass over the line is needed. prevBgr is the unfiltered line above in that
// order, which is where the store already holds it. out overlaps neither.
void UnfilterRgbToBgr(std::uint8_t type, const std::uint8_t* raw, const std::uint8_t* prevBgr,
                      std::uint8_t* out, std::size_t width, SimdLevel level);

}  // namespace tolvane::png
