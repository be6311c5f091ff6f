#include "formats/png/png_unfilter.h"

#include <cstdlib>
#include <type_traits>

#include "formats/png/png_unfilter_x86.h"

namespace tolvane::png {

namespace {

// p - a, p - b and p - c with p = a + b - c, written so that no branch is
// needed: the choice becomes conditional moves.
std::uint8_t Paeth(int a, int b, int c) {
  const int pa = std::abs(b - c);
  const int pb = std::abs(a - c);
  const int pc = std::abs(a + b - 2 * c);
  const int bOrC = pb <= pc ? b : c;
  return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : bOrC);
}

// The prediction of a filter from the byte to the left (a), above (b) and
// above-left (c).
template <std::uint8_t kType>
int Predict(int a, int b, int c) {
  if constexpr (kType == kFilterSub) return a;
  if constexpr (kType == kFilterUp) return b;
  if constexpr (kType == kFilterAverage) return (a + b) >> 1;
  if constexpr (kType == kFilterPaeth) return Paeth(a, b, c);
  return 0;
}

// One filter over a line with the pixel to the left and above-left held in
// registers, one lane per byte of a pixel: the plain loop waits on each byte
// it has just stored. kReversed reads each pixel's bytes in reverse order,
// which turns red-green-blue into blue-green-red; otherwise in may be out.
template <std::uint8_t kType, std::size_t kBpp, bool kReversed>
void ScalarLine(const std::uint8_t* in, const std::uint8_t* prev, std::uint8_t* out,
                std::size_t n) {
  // Of the lane types tried, these give the compiler's shortest loops.
  using Lane = std::conditional_t<kType == kFilterSub, std::uint8_t, int>;
  Lane left[kBpp] = {};
  Lane upLeft[kBpp] = {};
  for (std::size_t i = 0; i < n; i += kBpp) {
    for (std::size_t k = 0; k < kBpp; ++k) {
      const Lane up = prev[i + k];
      const int filtered = in[i + (kReversed ? kBpp - 1 - k : k)];
      left[k] = static_cast<std::uint8_t>(filtered + Predict<kType>(left[k], up, upLeft[k]));
      out[i + k] = static_cast<std::uint8_t>(left[k]);
      upLeft[k] = up;
    }
  }
}

template <std::uint8_t kType>
void ScalarLine(std::uint8_t* row, const std::uint8_t* prev, std::size_t n, std::size_t bpp) {
  switch (bpp) {
    case 1: ScalarLine<kType, 1, false>(row, prev, row, n); break;
    case 2: ScalarLine<kType, 2, false>(row, prev, row, n); break;
    case 3: ScalarLine<kType, 3, false>(row, prev, row, n); break;
    case 4: ScalarLine<kType, 4, false>(row, prev, row, n); break;
    case 6: ScalarLine<kType, 6, false>(row, prev, row, n); break;
    default: ScalarLine<kType, 8, false>(row, prev, row, n); break;
  }
}

void ScalarRgbToBgr(std::uint8_t type, const std::uint8_t* raw, const std::uint8_t* prev,
                    std::uint8_t* out, std::size_t n) {
  switch (type) {
    case kFilterSub: ScalarLine<kFilterSub, 3, true>(raw, prev, out, n); break;
    case kFilterUp: ScalarLine<kFilterUp, 3, true>(raw, prev, out, n); break;
    case kFilterAverage: ScalarLine<kFilterAverage, 3, true>(raw, prev, out, n); break;
    case kFilterPaeth: ScalarLine<kFilterPaeth, 3, true>(raw, prev, out, n); break;
    default: ScalarLine<kFilterNone, 3, true>(raw, prev, out, n); break;
  }
}

#if TOLVANE_PNG_X86
// The vector kernels take one pixel of 3 bytes or more a step. Average stays
// scalar at every level: each of its steps waits on the last one, and that
// chain is three instructions, which the vector units run no faster. So does
// Sub straight into the store: three one-instruction chains in general
// registers beat one vector chain of two-cycle additions there.
bool PixelKernels(SimdLevel level, std::size_t bpp) { return level != SimdLevel::None && bpp >= 3; }
#endif

}  // namespace

SimdLevel BestSimdLevel() {
#if TOLVANE_PNG_X86
  static const SimdLevel best = x86::HasSse41() ? SimdLevel::Sse41 : SimdLevel::Sse2;
  return best;
#else
  return SimdLevel::None;
#endif
}

void Unfilter(std::uint8_t type, std::uint8_t* row, const std::uint8_t* prev, std::size_t n,
              std::size_t bpp, [[maybe_unused]] SimdLevel level) {
  switch (type) {
    case kFilterSub:
#if TOLVANE_PNG_X86
      if (PixelKernels(level, bpp)) return x86::SubSse2(row, n, bpp);
#endif
      return ScalarLine<kFilterSub>(row, prev, n, bpp);
    case kFilterUp:
      // The compiler makes this loop wide by itself.
      for (std::size_t i = 0; i < n; ++i) row[i] = static_cast<std::uint8_t>(row[i] + prev[i]);
      return;
    case kFilterAverage: return ScalarLine<kFilterAverage>(row, prev, n, bpp);
    case kFilterPaeth:
#if TOLVANE_PNG_X86
      if (PixelKernels(level, bpp)) {
        return level == SimdLevel::Sse41 ? x86::PaethSse41(row, prev, n, bpp)
                                         : x86::PaethSse2(row, prev, n, bpp);
      }
#endif
      return ScalarLine<kFilterPaeth>(row, prev, n, bpp);
    default: return;
  }
}

void UnfilterRgbToBgr(std::uint8_t type, const std::uint8_t* raw, const std::uint8_t* prevBgr,
                      std::uint8_t* out, std::size_t width, [[maybe_unused]] SimdLevel level) {
#if TOLVANE_PNG_X86
  if (type != kFilterAverage && type != kFilterSub && level != SimdLevel::None) {
    return level == SimdLevel::Sse41 ? x86::RgbToBgrSse41(type, raw, prevBgr, out, width)
                                     : x86::RgbToBgrSse2(type, raw, prevBgr, out, width);
  }
#endif
  ScalarRgbToBgr(type, raw, prevBgr, out, 3 * width);
}

}  // namespace tolvane::png
