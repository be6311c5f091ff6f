#include "formats/png/png_unfilter_x86.h"

#if TOLVANE_PNG_X86

#include <emmintrin.h>
#include <smmintrin.h>

#include <cstring>

#include "formats/png/png_unfilter.h"

// SSE4.1 code is compiled for that instruction set function by function and
// reached only after HasSse41(); the rest of the program stays at SSE2.
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#define TOLVANE_SSE41
#define TOLVANE_ALWAYS_INLINE __forceinline
#else
#define TOLVANE_SSE41 __attribute__((target("sse4.1")))
#define TOLVANE_ALWAYS_INLINE inline __attribute__((always_inline))
#endif

namespace tolvane::png::x86 {

bool HasSse41() {
#if defined(_MSC_VER) && !defined(__clang__)
  int info[4] = {};
  __cpuid(info, 1);
  return (info[2] & (1 << 19)) != 0;
#else
  return __builtin_cpu_supports("sse4.1") != 0;
#endif
}

namespace {

template <class T>
T Read(const std::uint8_t* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

template <class T>
void Write(std::uint8_t* p, T value) {
  std::memcpy(p, &value, sizeof value);
}

// The bytes of one pixel, to and from the low bytes of a register.
template <std::size_t kBpp>
struct PixelIo {
  static_assert(kBpp == 3 || kBpp == 4 || kBpp == 6 || kBpp == 8);

  // The pixel and the bytes after it up to 4 or 8: for a pixel that has
  // another one after it in the line.
  static __m128i LoadWide(const std::uint8_t* p) {
    if constexpr (kBpp <= 4) {
      return _mm_cvtsi32_si128(Read<std::int32_t>(p));
    } else {
      return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    }
  }
  static __m128i LoadExact(const std::uint8_t* p) {
    if constexpr (kBpp == 3) {
      return _mm_cvtsi32_si128(Read<std::uint16_t>(p) | (p[2] << 16));
    } else if constexpr (kBpp == 6) {
      return _mm_unpacklo_epi32(_mm_cvtsi32_si128(Read<std::int32_t>(p)),
                                _mm_cvtsi32_si128(Read<std::uint16_t>(p + 4)));
    } else {
      return LoadWide(p);
    }
  }
  static void StoreWide(std::uint8_t* p, __m128i bytes) {
    if constexpr (kBpp <= 4) {
      Write(p, _mm_cvtsi128_si32(bytes));
    } else {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(p), bytes);
    }
  }
  static void StoreExact(std::uint8_t* p, __m128i bytes) {
    if constexpr (kBpp == 3) {
      const auto value = static_cast<std::uint32_t>(_mm_cvtsi128_si32(bytes));
      Write(p, static_cast<std::uint16_t>(value));
      p[2] = static_cast<std::uint8_t>(value >> 16);
    } else if constexpr (kBpp == 6) {
      Write(p, _mm_cvtsi128_si32(bytes));
      Write(p + 4, static_cast<std::uint16_t>(_mm_cvtsi128_si32(_mm_srli_si128(bytes, 4))));
    } else {
      StoreWide(p, bytes);
    }
  }
};

// Bytes to 16-bit lanes; reversed, the first three lanes swap ends (red,
// green, blue become blue, green, red).
template <bool kReversed>
__m128i Widen(__m128i bytes) {
  const __m128i lanes = _mm_unpacklo_epi8(bytes, _mm_setzero_si128());
  if constexpr (kReversed) return _mm_shufflelo_epi16(lanes, _MM_SHUFFLE(3, 0, 1, 2));
  return lanes;
}

__m128i LowBytes(__m128i lanes) { return _mm_and_si128(lanes, _mm_set1_epi16(0xFF)); }

// Runs a filter over a line, one pixel a step with its bytes in 16-bit
// lanes. A step reads the next pixel's filtered bytes before it writes its
// result, 4 or 8 bytes at once and so into the next pixel; the last pixel is
// read and written exactly. So in may be out, and nothing beyond the line is
// read or written.
template <std::size_t kBpp, bool kReversed, class Filter>
TOLVANE_ALWAYS_INLINE void RunPixels(const std::uint8_t* in, const std::uint8_t* prev,
                                     std::uint8_t* out, std::size_t pixels, Filter filter) {
  using Io = PixelIo<kBpp>;
  if (pixels == 0) return;
  __m128i filtered = Widen<kReversed>(pixels > 1 ? Io::LoadWide(in) : Io::LoadExact(in));
  std::size_t at = 0;
  for (std::size_t i = 0; i + 1 < pixels; ++i, at += kBpp) {
    const std::uint8_t* following = in + at + kBpp;
    const __m128i next =
        Widen<kReversed>(i + 2 < pixels ? Io::LoadWide(following) : Io::LoadExact(following));
    const __m128i result = filter.Step(filtered, Widen<false>(Io::LoadWide(prev + at)));
    Io::StoreWide(out + at, _mm_packus_epi16(result, result));
    filtered = next;
  }
  const __m128i result = filter.Step(filtered, Widen<false>(Io::LoadExact(prev + at)));
  Io::StoreExact(out + at, _mm_packus_epi16(result, result));
}

// Each Step takes the filtered pixel and the one above and gives the
// unfiltered pixel, every lane 0 to 255. Sub keeps its running sum whole, as
// only its low byte matters: each step waits on one addition.
struct SubStep {
  __m128i sum = _mm_setzero_si128();
  TOLVANE_ALWAYS_INLINE __m128i Step(__m128i filtered, __m128i) {
    sum = _mm_add_epi16(sum, filtered);
    return LowBytes(sum);
  }
};

// None and Up, for lines that go straight into the store (in place, the
// plain loops are as fast).
struct NoneStep {
  TOLVANE_ALWAYS_INLINE __m128i Step(__m128i filtered, __m128i) { return filtered; }
};

struct UpStep {
  TOLVANE_ALWAYS_INLINE __m128i Step(__m128i filtered, __m128i up) {
    return LowBytes(_mm_add_epi16(filtered, up));
  }
};

// mask ? ifSet : ifClear, lane by lane.
struct BlendSse2 {
  static TOLVANE_ALWAYS_INLINE __m128i Pick(__m128i mask, __m128i ifSet, __m128i ifClear) {
    return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, ifClear));
  }
};

// Not forced inline: the compilers may inline it only once the kernels
// around it are inside a function compiled for SSE4.1, which they are.
struct BlendSse41 {
  static TOLVANE_SSE41 __m128i Pick(__m128i mask, __m128i ifSet, __m128i ifClear) {
    return _mm_blendv_epi8(ifClear, ifSet, mask);
  }
};

// Paeth predicts a (left) when |b - c| <= |a - c| and |b - c| <= |a + b - 2c|,
// else b (up) when |a - c| <= |a + b - 2c|, else c (up-left). For given b and
// c the choice depends only on where a lies: outside the open range between
// b and 3c - 2b it is a; inside, it is the larger of b and c when a is above
// the midpoint (3c - b) / 2, the smaller below it, and b at it. The range, the
// midpoint and both sums with the filtered byte are made before the left pixel
// is known, so that a step waits on the one before for three operations only
// (compares, an and, a blend) where the formula itself takes eight: a line is
// one long chain of steps, and only the operations on that chain count.
template <class Blend>
struct PaethStep {
  __m128i left = _mm_setzero_si128();
  __m128i upLeft = _mm_setzero_si128();

  TOLVANE_ALWAYS_INLINE __m128i Step(__m128i filtered, __m128i up) {
    const __m128i b = up;
    const __m128i c = upLeft;
    const __m128i s = _mm_sub_epi16(_mm_add_epi16(_mm_add_epi16(c, c), c), b);  // 3c - b
    const __m128i e = _mm_sub_epi16(s, b);                                      // 3c - 2b
    const __m128i low = _mm_min_epi16(b, e);
    const __m128i high = _mm_max_epi16(b, e);
    // The largest a that still picks the smaller: floor((s - 1) / 2) when
    // b >= c, floor(s / 2) when b < c (b takes the midpoint).
    const __m128i bBelowC = _mm_cmpgt_epi16(c, b);
    const __m128i mid =
        _mm_srai_epi16(_mm_sub_epi16(_mm_sub_epi16(s, _mm_set1_epi16(1)), bBelowC), 1);
    const __m128i withLarger = LowBytes(_mm_add_epi16(filtered, _mm_max_epi16(b, c)));
    const __m128i withSmaller = LowBytes(_mm_add_epi16(filtered, _mm_min_epi16(b, c)));

    const __m128i a = left;
    const __m128i inside = _mm_and_si128(_mm_cmpgt_epi16(a, low), _mm_cmpgt_epi16(high, a));
    const __m128i withBOrC = Blend::Pick(_mm_cmpgt_epi16(a, mid), withLarger, withSmaller);
    left = Blend::Pick(inside, withBOrC, LowBytes(_mm_add_epi16(filtered, a)));
    upLeft = b;
    return left;
  }
};

template <class Step>
TOLVANE_ALWAYS_INLINE void InPlace(std::uint8_t* row, const std::uint8_t* prev, std::size_t n,
                                   std::size_t bpp) {
  switch (bpp) {
    case 3: return RunPixels<3, false>(row, prev, row, n / 3, Step{});
    case 4: return RunPixels<4, false>(row, prev, row, n / 4, Step{});
    case 6: return RunPixels<6, false>(row, prev, row, n / 6, Step{});
    default: return RunPixels<8, false>(row, prev, row, n / 8, Step{});
  }
}

}  // namespace

// Sub never looks at the line above.
void SubSse2(std::uint8_t* row, std::size_t n, std::size_t bpp) {
  InPlace<SubStep>(row, row, n, bpp);
}

void PaethSse2(std::uint8_t* row, const std::uint8_t* prev, std::size_t n, std::size_t bpp) {
  InPlace<PaethStep<BlendSse2>>(row, prev, n, bpp);
}

TOLVANE_SSE41 void PaethSse41(std::uint8_t* row, const std::uint8_t* prev, std::size_t n,
                              std::size_t bpp) {
  InPlace<PaethStep<BlendSse41>>(row, prev, n, bpp);
}

void RgbToBgrSse2(std::uint8_t type, const std::uint8_t* raw, const std::uint8_t* prevBgr,
                  std::uint8_t* out, std::size_t width) {
  switch (type) {
    case kFilterUp: return RunPixels<3, true>(raw, prevBgr, out, width, UpStep{});
    case kFilterPaeth: return RunPixels<3, true>(raw, prevBgr, out, width, PaethStep<BlendSse2>{});
    default: return RunPixels<3, true>(raw, prevBgr, out, width, NoneStep{});
  }
}

TOLVANE_SSE41 void RgbToBgrSse41(std::uint8_t type, const std::uint8_t* raw,
                                 const std::uint8_t* prevBgr, std::uint8_t* out,
                                 std::size_t width) {
  if (type != kFilterPaeth) return RgbToBgrSse2(type, raw, prevBgr, out, width);
  RunPixels<3, true>(raw, prevBgr, out, width, PaethStep<BlendSse41>{});
}

}  // namespace tolvane::png::x86

#endif
