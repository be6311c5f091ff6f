#include "raster/reduce.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace tolvane {

namespace {

// Row weights never sum to more than this, so that an accumulator of 255 x
// the sum fits 32 bits.
constexpr std::int64_t kMaxRowWeightSum = std::int64_t{1} << 24;

// Column weights are first made to sum to exactly 2^32 per destination
// column, then divided by the row weight sum into the final fixed point.
constexpr int kColumnUnitBits = 32;
constexpr int kColumnShift = 55;

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
  accumulator_.assign(static_cast<std::size_t>(stride_) * static_cast<std::size_t>(sourceWidth_), 0);
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
  const std::uint64_t divisor = rowWeightSum_;
  const std::uint64_t half = divisor / 2;

  first_.resize(static_cast<std::size_t>(destinationWidth_));
  offset_.assign(1, 0);
  offset_.reserve(static_cast<std::size_t>(destinationWidth_) + 1);
  weights_.clear();
  weights_.reserve(static_cast<std::size_t>(sourceWidth_) + static_cast<std::size_t>(destinationWidth_));
  for (std::int64_t x = 0; x < destinationWidth_; ++x) {
    const std::int64_t begin = x * columnSpan;
    const std::int64_t end = begin + columnSpan;
    const std::int64_t firstColumn = begin / columnUnit;
    first_[static_cast<std::size_t>(x)] = static_cast<std::uint32_t>(firstColumn);
    for (std::int64_t i = firstColumn; i * columnUnit < end; ++i) {
      const std::int64_t low = std::max(i * columnUnit, begin) - begin;
      const std::int64_t high = std::min((i + 1) * columnUnit, end) - begin;
      const std::uint64_t unitWeight = scaled(high) - scaled(low);
      weights_.push_back(((unitWeight << (kColumnShift - kColumnUnitBits)) + half) / divisor);
    }
    offset_.push_back(static_cast<std::uint32_t>(weights_.size()));
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

void HalftoneReducer::PushRow(const std::uint8_t* pixels) {
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
    Accumulate(pixels, weight);
    if (rowEnd > bottom) break;  // the destination row goes on below this source row
    EmitRow();
    if (rowEnd == bottom) break;
  }
}

void HalftoneReducer::Accumulate(const std::uint8_t* pixels, std::uint32_t weight) {
  std::uint32_t* acc = accumulator_.data();
  const std::size_t count = accumulator_.size();
  // Two plain loops the compiler vectorises; the first row of a destination
  // row overwrites instead of clearing and adding.
  if (accumulatorEmpty_) {
    for (std::size_t b = 0; b < count; ++b) acc[b] = weight * pixels[b];
  } else {
    for (std::size_t b = 0; b < count; ++b) acc[b] += weight * pixels[b];
  }
  accumulatorEmpty_ = false;
}

template <int Stride>
void HalftoneReducer::ResolveColumns() {
  constexpr std::uint64_t kHalf = std::uint64_t{1} << (kColumnShift - 1);
  const std::uint32_t* acc = accumulator_.data();
  const std::uint64_t* weights = weights_.data();
  std::uint8_t* out = output_.data();
  std::uint32_t k = 0;
  for (std::size_t x = 0; x < first_.size(); ++x) {
    const std::uint32_t* a = acc + std::size_t{Stride} * first_[x];
    const std::uint32_t end = offset_[x + 1];
    std::uint64_t blue = kHalf;
    std::uint64_t green = kHalf;
    std::uint64_t red = kHalf;
    for (; k < end; ++k, a += Stride) {
      const std::uint64_t w = weights[k];
      blue += w * a[0];
      green += w * a[1];
      red += w * a[2];
    }
    out[4 * x] = static_cast<std::uint8_t>(std::min<std::uint64_t>(blue >> kColumnShift, 255));
    out[4 * x + 1] = static_cast<std::uint8_t>(std::min<std::uint64_t>(green >> kColumnShift, 255));
    out[4 * x + 2] = static_cast<std::uint8_t>(std::min<std::uint64_t>(red >> kColumnShift, 255));
    out[4 * x + 3] = 0;
  }
}

void HalftoneReducer::EmitRow() {
  if (stride_ == 3) {
    ResolveColumns<3>();
  } else {
    ResolveColumns<4>();
  }
  accumulatorEmpty_ = true;
  const int y = destinationRow_++;
  if (sink_) sink_(y, output_);
}

void ReduceHalftone(const Raster& source, Raster& destination) {
  if (source.Empty() || destination.Empty()) return;
  // A shared copy keeps the source intact even if it is the destination.
  const Raster input = source;
  destination.SetAlphaMode(AlphaMode::None);

  const bool packedOutput = destination.Format() == RasterFormat::Device ||
                            destination.Format() == RasterFormat::Bits32;
  const int width = input.Width();
  const RasterFormat format = input.Format();
  const bool bgr = format == RasterFormat::Bits24;
  const bool bgrx = format == RasterFormat::Bits32 || format == RasterFormat::Device;

  HalftoneReducer reducer(width, input.Height(), destination.Width(), destination.Height(),
                          bgr ? SourcePixels::Bgr : SourcePixels::Bgrx,
                          [&destination, packedOutput](int y, std::span<const std::uint8_t> row) {
                            if (packedOutput) {
                              std::memcpy(destination.MutableRow(y).data(), row.data(), row.size());
                            } else {
                              WriteRowBgrx(destination, y, row.data());
                            }
                          });
  std::vector<std::uint8_t> line;
  if (!bgr && !bgrx) line.resize(4 * static_cast<std::size_t>(width));
  for (int y = 0; y < input.Height() && !reducer.Finished(); ++y) {
    if (bgr || bgrx) {
      reducer.PushRow(input.Row(y).data());
    } else {
      ReadRowBgrx(input, y, line.data());
      reducer.PushRow(line.data());
    }
  }
}

}  // namespace tolvane
