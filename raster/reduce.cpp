#include "raster/reduce.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <utility>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TOLVANE_REDUCE_SSE2 1
#endif

namespace tolvane {

namespace {

// Row weights never sum to more than this, so that an accumulator of 255 x
// the sum fits 32 bits.
constexpr std::int64_t kMaxRowWeightSum = std::int64_t{1} << 24;

// Column weights are first made to sum to exactly 2^32 per destination
// column, then divided by the row weight sum into the final fixed point.
constexpr int kColumnUnitBits = 32;

// Two rows are combined in one pass while their weights fit the signed
// 16-bit multipliers of the pairwise multiply-add.
constexpr std::uint32_t kMaxPairedWeightSum = 0x7FFF;

// The final shift: as large as keeps every column weight below 2^31 (so it
// multiplies a 32-bit accumulator in one 32 x 32 -> 64-bit step) while the
// sums of weight x accumulator, at most 255 x 2^shift, fit 64 bits.
int ColumnShift(std::uint32_t rowWeightSum) {
  int log2 = 0;
  while ((std::uint64_t{2} << log2) <= rowWeightSum) ++log2;
  return 31 + log2;
}

}  // namespace

HalftoneReducer::HalftoneReducer(int sourceWidth, int sourceHeight, int destinationWidth,
                                 int destinationHeight, SourcePixels layout, RowSink sink)
    : sink_(std::move(sink)) {
  if (sourceWidth <= 0 || sourceHeight <= 0 || destinationWidth <= 0 || destinationHeight <= 0) {
    return;  // finished: destinationRow_ 0 >= destinationHeight_ 0
  }
  sourceWidth_ = sourceWidth;
  sourceHeight_ = sourceHeight;
  destinationWidth_ = destinationWidth;
  destinationHeight_ = destinationHeight;
  stride_ = layout == SourcePixels::Bgr ? 3 : 4;

  const std::int64_t rows = std::gcd(sourceHeight, destinationHeight);
  rowUnit_ = destinationHeight / rows;
  rowSpan_ = sourceHeight / rows;
  rowWeightSum_ = static_cast<std::uint32_t>(std::min(rowSpan_, kMaxRowWeightSum));

  PrepareColumns();
  // Spare zeros at the end: the padded taps of the last columns read past the
  // last pixel (with weight 0), and the vector path reads four lanes a pixel.
  accumulator_.assign(
      static_cast<std::size_t>(stride_) * (static_cast<std::size_t>(sourceWidth_) + taps_) + 1, 0);
  output_.assign(4 * static_cast<std::size_t>(destinationWidth_), 0);
}

void HalftoneReducer::PrepareColumns() {
  // Horizontal positions in units of 1/columnUnit source columns: source
  // column i spans [i columnUnit, (i+1) columnUnit), destination column x
  // [x columnSpan, (x+1) columnSpan). Both fit 31 bits, products 62.
  const std::int64_t columns = std::gcd(sourceWidth_, destinationWidth_);
  const std::int64_t columnUnit = destinationWidth_ / columns;
  const std::int64_t columnSpan = sourceWidth_ / columns;

  // Cumulative rounding of positions inside a destination column makes its
  // weights sum to exactly 2^32.
  const auto scaled = [columnSpan](std::int64_t offset) {
    return (static_cast<std::uint64_t>(offset) << kColumnUnitBits) /
           static_cast<std::uint64_t>(columnSpan);
  };
  columnShift_ = ColumnShift(rowWeightSum_);
  const std::uint64_t divisor = rowWeightSum_;
  const std::uint64_t half = divisor / 2;

  // Every column gets the same number of taps, the most any column needs
  // (at most sw/dw + 2), padded with zero weights: a loop of one fixed length
  // runs without mispredicted exits.
  const auto firstOf = [&](std::int64_t x) { return x * columnSpan / columnUnit; };
  const auto endOf = [&](std::int64_t x) {
    return ((x + 1) * columnSpan + columnUnit - 1) / columnUnit;
  };
  std::int64_t taps = 1;
  for (std::int64_t x = 0; x < destinationWidth_; ++x) taps = std::max(taps, endOf(x) - firstOf(x));
  taps_ = static_cast<std::size_t>(taps);

  first_.resize(static_cast<std::size_t>(destinationWidth_));
  weights_.assign(2 * static_cast<std::size_t>(destinationWidth_) * taps_, 0);
  for (std::int64_t x = 0; x < destinationWidth_; ++x) {
    const std::int64_t begin = x * columnSpan;
    const std::int64_t end = begin + columnSpan;
    const std::int64_t firstColumn = firstOf(x);
    first_[static_cast<std::size_t>(x)] = static_cast<std::uint32_t>(firstColumn);
    std::uint64_t* columnWeights = weights_.data() + 2 * static_cast<std::size_t>(x) * taps_;
    for (std::int64_t i = firstColumn; i < endOf(x); ++i) {
      const std::int64_t low = std::max(i * columnUnit, begin) - begin;
      const std::int64_t high = std::min((i + 1) * columnUnit, end) - begin;
      // unitWeight x 2^(shift - 32) / divisor, rounded; shift - 32 may be -1.
      const std::uint64_t unitWeight = scaled(high) - scaled(low);
      const std::uint64_t numerator = columnShift_ >= kColumnUnitBits
                                          ? unitWeight << (columnShift_ - kColumnUnitBits)
                                          : unitWeight >> (kColumnUnitBits - columnShift_);
      const std::uint64_t weight = (numerator + half) / divisor;
      columnWeights[2 * (i - firstColumn)] = weight;
      columnWeights[2 * (i - firstColumn) + 1] = weight;
    }
  }
}

// The weight of the source rows [low, high) (in row units) within the current
// destination row.
std::uint32_t HalftoneReducer::RowWeight(std::int64_t low, std::int64_t high) const {
  if (rowSpan_ <= kMaxRowWeightSum) return static_cast<std::uint32_t>(high - low);
  // Scaled by cumulative rounding so that a row's weights still sum to 2^24.
  const std::int64_t begin = std::int64_t{destinationRow_} * rowSpan_;
  const auto scaled = [this, begin](std::int64_t position) {
    return (static_cast<std::uint64_t>(position - begin) << 24) /
           static_cast<std::uint64_t>(rowSpan_);
  };
  return static_cast<std::uint32_t>(scaled(high) - scaled(low));
}

void HalftoneReducer::PushRow(const std::uint8_t* pixels, bool rowStaysValid) {
  if (Finished() || sourceRow_ >= sourceHeight_) return;
  const std::int64_t top = std::int64_t{sourceRow_} * rowUnit_;
  const std::int64_t bottom = top + rowUnit_;
  ++sourceRow_;
  // The row contributes to every destination row it overlaps: one or two
  // when reducing, several when enlarging.
  while (!Finished()) {
    const std::int64_t rowBegin = std::int64_t{destinationRow_} * rowSpan_;
    const std::int64_t rowEnd = rowBegin + rowSpan_;
    const std::uint32_t weight = RowWeight(std::max(top, rowBegin), std::min(bottom, rowEnd));
    Contribute(pixels, weight, rowEnd <= bottom, rowStaysValid);
    if (rowEnd > bottom) break;  // the destination row goes on below this source row
    EmitRow();
    if (rowEnd == bottom) break;
  }
}

namespace {

#if TOLVANE_REDUCE_SSE2
// The source streams from memory once; the kernels ask for it this far ahead.
constexpr std::size_t kPrefetchAhead = 4096;
#endif

// acc[b] (+)= weight x pixels[b]: plain loops the compiler vectorises. The
// first row of a destination row overwrites instead of clearing and adding.
// Weights that fit 16 bits use the 16 x 16 -> 32-bit multiply the baseline
// vector units have; a 32-bit multiply needs newer ones.
void MultiplyAdd(std::uint32_t* __restrict acc, const std::uint8_t* __restrict pixels,
                 std::size_t count, std::uint32_t weight, bool overwrite) {
  if (overwrite) {
    for (std::size_t b = 0; b < count; ++b) acc[b] = weight * pixels[b];
  } else {
    for (std::size_t b = 0; b < count; ++b) acc[b] += weight * pixels[b];
  }
}

// The same for weights below 2^16, 16 bytes at a time: the 16-bit low and
// high halves of each product, interleaved into 32-bit lanes.
void MultiplyAdd16(std::uint32_t* __restrict acc, const std::uint8_t* __restrict pixels,
                   std::size_t count, std::uint16_t weight, bool overwrite) {
  std::size_t b = 0;
#if TOLVANE_REDUCE_SSE2
  const __m128i zero = _mm_setzero_si128();
  const __m128i w = _mm_set1_epi16(static_cast<short>(weight));
  for (; b + 16 <= count; b += 16) {
    _mm_prefetch(reinterpret_cast<const char*>(pixels + b) + kPrefetchAhead, _MM_HINT_T0);
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + b));
    const __m128i halves[2] = {_mm_unpacklo_epi8(p, zero), _mm_unpackhi_epi8(p, zero)};
    __m128i products[4];
    for (int h = 0; h < 2; ++h) {
      const __m128i low = _mm_mullo_epi16(halves[h], w);
      const __m128i high = _mm_mulhi_epu16(halves[h], w);
      products[2 * h] = _mm_unpacklo_epi16(low, high);
      products[2 * h + 1] = _mm_unpackhi_epi16(low, high);
    }
    __m128i* target = reinterpret_cast<__m128i*>(acc + b);
    for (int q = 0; q < 4; ++q) {
      const __m128i sum =
          overwrite ? products[q] : _mm_add_epi32(_mm_loadu_si128(target + q), products[q]);
      _mm_storeu_si128(target + q, sum);
    }
  }
#endif
  MultiplyAdd(acc + b, pixels + b, count - b, weight, overwrite);
}

// acc[b] (+)= w1 x first[b] + w2 x second[b]. The bytes of the two rows are
// interleaved into 16-bit pairs, which one pairwise multiply-add turns into
// 32-bit sums.
void MultiplyAddPair(std::uint32_t* __restrict acc, const std::uint8_t* first,
                     const std::uint8_t* second, std::size_t count, std::uint16_t firstWeight,
                     std::uint16_t secondWeight, bool overwrite) {
  std::size_t b = 0;
#if TOLVANE_REDUCE_SSE2
  const __m128i zero = _mm_setzero_si128();
  const __m128i w =
      _mm_set1_epi32(static_cast<int>((std::uint32_t{secondWeight} << 16) | firstWeight));
  for (; b + 16 <= count; b += 16) {
    _mm_prefetch(reinterpret_cast<const char*>(first + b) + kPrefetchAhead, _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(second + b) + kPrefetchAhead, _MM_HINT_T0);
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + b));
    const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second + b));
    const __m128i pairs[2] = {_mm_unpacklo_epi8(p, q), _mm_unpackhi_epi8(p, q)};
    __m128i sums[4];
    for (int h = 0; h < 2; ++h) {
      sums[2 * h] = _mm_madd_epi16(_mm_unpacklo_epi8(pairs[h], zero), w);
      sums[2 * h + 1] = _mm_madd_epi16(_mm_unpackhi_epi8(pairs[h], zero), w);
    }
    __m128i* target = reinterpret_cast<__m128i*>(acc + b);
    for (int i = 0; i < 4; ++i) {
      const __m128i sum = overwrite ? sums[i] : _mm_add_epi32(_mm_loadu_si128(target + i), sums[i]);
      _mm_storeu_si128(target + i, sum);
    }
  }
#endif
  const std::uint32_t w1 = firstWeight;
  const std::uint32_t w2 = secondWeight;
  for (; b < count; ++b) {
    const std::uint32_t sum = w1 * first[b] + w2 * second[b];
    acc[b] = overwrite ? sum : acc[b] + sum;
  }
}

}  // namespace

// Holds a row back until the next one of the same destination row arrives,
// so that the two are added in one pass over the accumulator.
void HalftoneReducer::Contribute(const std::uint8_t* pixels, std::uint32_t weight, bool lastOfRow,
                                 bool rowStaysValid) {
  if (rowWeightSum_ > kMaxPairedWeightSum) {
    Accumulate(pixels, weight);
  } else if (pending_ != nullptr) {
    AccumulatePair(pending_, pendingWeight_, pixels, weight);
    pending_ = nullptr;
  } else if (lastOfRow) {
    Accumulate(pixels, weight);
  } else {
    if (!rowStaysValid) {
      pendingCopy_.assign(pixels, pixels + stride_ * static_cast<std::size_t>(sourceWidth_));
      pixels = pendingCopy_.data();
    }
    pending_ = pixels;
    pendingWeight_ = weight;
  }
}

void HalftoneReducer::AccumulatePair(const std::uint8_t* first, std::uint32_t firstWeight,
                                     const std::uint8_t* second, std::uint32_t secondWeight) {
  const std::size_t count =
      static_cast<std::size_t>(stride_) * static_cast<std::size_t>(sourceWidth_);
  MultiplyAddPair(accumulator_.data(), first, second, count,
                  static_cast<std::uint16_t>(firstWeight), static_cast<std::uint16_t>(secondWeight),
                  accumulatorEmpty_);
  accumulatorEmpty_ = false;
}

void HalftoneReducer::Accumulate(const std::uint8_t* pixels, std::uint32_t weight) {
  const std::size_t count =
      static_cast<std::size_t>(stride_) * static_cast<std::size_t>(sourceWidth_);
  if (rowWeightSum_ <= 0xFFFF) {
    MultiplyAdd16(accumulator_.data(), pixels, count, static_cast<std::uint16_t>(weight),
                  accumulatorEmpty_);
  } else {
    MultiplyAdd(accumulator_.data(), pixels, count, weight, accumulatorEmpty_);
  }
  accumulatorEmpty_ = false;
}

namespace {

[[maybe_unused]] std::uint8_t Channel(std::uint64_t sum, int shift) {
  return static_cast<std::uint8_t>(std::min<std::uint64_t>(sum >> shift, 255));
}

}  // namespace

// Taps is the tap count when it is known at compile time (the loops unroll),
// 0 otherwise.
template <int Stride, int Taps>
void HalftoneReducer::ResolveColumns() {
  const int shift = columnShift_;
  const std::uint64_t half = std::uint64_t{1} << (shift - 1);
  const std::uint32_t* acc = accumulator_.data();
  const std::uint64_t* weights = weights_.data();
  std::uint8_t* out = output_.data();
  const std::size_t taps = Taps > 0 ? std::size_t{Taps} : taps_;
#if TOLVANE_REDUCE_SSE2
  const __m128i shiftCount = _mm_cvtsi32_si128(shift);
  const __m128i firstThree = _mm_set_epi32(0, -1, -1, -1);
#endif
  for (std::size_t x = 0; x < first_.size(); ++x, out += 4, weights += 2 * taps) {
    const std::uint32_t* a = acc + std::size_t{Stride} * first_[x];
#if TOLVANE_REDUCE_SSE2
    // One pixel's four accumulators (blue, green, red, the next one) in a
    // register: lanes 0 and 2 times the weight give blue and red as 64-bit
    // sums, lanes 1 and 3 shifted down give green. The accumulator has a
    // spare element at its end for the last pixel's fourth lane.
    __m128i blueRed = _mm_set1_epi64x(static_cast<long long>(half));
    __m128i greenRest = blueRed;
    for (std::size_t k = 0; k < taps; ++k, a += Stride) {
      // Unaligned: a vector's storage is 16-byte aligned only where malloc's
      // is (not in 32-bit Windows programs).
      const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + 2 * k));
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
      blueRed = _mm_add_epi64(blueRed, _mm_mul_epu32(v, w));
      greenRest = _mm_add_epi64(greenRest, _mm_mul_epu32(_mm_srli_epi64(v, 32), w));
    }
    // Shifted down the sums are below 256: dwords blue, 0, red, 0 and green,
    // 0, rest, 0 merge into blue, green, red, 0, saturated down to bytes.
    blueRed = _mm_srl_epi64(blueRed, shiftCount);
    greenRest = _mm_slli_epi64(_mm_srl_epi64(greenRest, shiftCount), 32);
    const __m128i merged = _mm_and_si128(_mm_or_si128(blueRed, greenRest), firstThree);
    const __m128i words = _mm_packs_epi32(merged, merged);
    const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
    std::memcpy(out, &bytes, 4);
#else
    std::uint64_t blue = half;
    std::uint64_t green = half;
    std::uint64_t red = half;
    for (std::size_t k = 0; k < taps; ++k, a += Stride) {
      const std::uint64_t w = weights[2 * k];
      blue += w * a[0];
      green += w * a[1];
      red += w * a[2];
    }
    out[0] = Channel(blue, shift);
    out[1] = Channel(green, shift);
    out[2] = Channel(red, shift);
    out[3] = 0;
#endif
  }
}

template <int Stride>
void HalftoneReducer::ResolveColumnsOf() {
  switch (taps_) {
    case 2: ResolveColumns<Stride, 2>(); break;
    case 3: ResolveColumns<Stride, 3>(); break;
    case 4: ResolveColumns<Stride, 4>(); break;
    case 5: ResolveColumns<Stride, 5>(); break;
    case 6: ResolveColumns<Stride, 6>(); break;
    default: ResolveColumns<Stride, 0>(); break;
  }
}

void HalftoneReducer::EmitRow() {
  if (stride_ == 3) {
    ResolveColumnsOf<3>();
  } else {
    ResolveColumnsOf<4>();
  }
  accumulatorEmpty_ = true;
  const int y = destinationRow_++;
  if (sink_) sink_(y, output_);
}

namespace {

bool IsBgr(const Raster& raster) { return raster.Format() == RasterFormat::Bits24; }

bool IsBgrx(const Raster& raster) {
  return raster.Format() == RasterFormat::Bits32 || raster.Format() == RasterFormat::Device;
}

}  // namespace

RasterReducer::RasterReducer(const Raster& source, int destinationWidth, int destinationHeight,
                             HalftoneReducer::RowSink sink)
    : readsInPlace_(IsBgr(source) || IsBgrx(source)),
      reducer_(source.Width(), source.Height(), destinationWidth, destinationHeight,
               IsBgr(source) ? SourcePixels::Bgr : SourcePixels::Bgrx, std::move(sink)) {
  if (!readsInPlace_) {
    for (auto& line : lines_) line.resize(4 * static_cast<std::size_t>(source.Width()));
  }
}

void RasterReducer::PushRow(const Raster& source, int y) {
  if (readsInPlace_) {
    reducer_.PushRow(source.Row(y).data(), true);
    return;
  }
  std::vector<std::uint8_t>& line = lines_[y % 2];
  ReadRowBgrx(source, y, line.data());
  reducer_.PushRow(line.data(), true);
}

void ReduceHalftone(const Raster& source, Raster& destination) {
  if (source.Empty() || destination.Empty()) return;
  // A shared copy keeps the source intact even if it is the destination.
  const Raster input = source;
  destination.SetAlphaMode(AlphaMode::None);

  const bool packedOutput = IsBgrx(destination);
  RasterReducer reducer(input, destination.Width(), destination.Height(),
                        [&destination, packedOutput](int y, std::span<const std::uint8_t> row) {
                          if (packedOutput) {
                            std::memcpy(destination.MutableRow(y).data(), row.data(), row.size());
                          } else {
                            WriteRowBgrx(destination, y, row.data());
                          }
                        });
  for (int y = 0; y < input.Height() && !reducer.Finished(); ++y) reducer.PushRow(input, y);
}

}  // namespace tolvane
