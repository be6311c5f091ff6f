#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "raster/raster.h"

namespace tolvane {

// The halftone reduction: the whole source stretched onto the whole
// destination (already sized) by exact area averaging. Every source layout is
// read through its palette, masks and row order; the fourth byte of a 32-bit
// source is ignored. The destination keeps its format, gets colours only
// (fourth byte 0) and alpha None. Reports nothing: an empty source or
// destination leaves the destination as it was.
void ReduceHalftone(const Raster& source, Raster& destination);

// How the rows handed to a HalftoneReducer are laid out.
enum class SourcePixels {
  Bgr,   // 3 bytes a pixel: blue, green, red
  Bgrx,  // 4 bytes a pixel: blue, green, red, a fourth byte that is ignored
};

// The streaming core of the reduction. Destination pixel (x, y) covers the
// source rectangle [x sw/dw, (x+1) sw/dw) x [y sh/dh, (y+1) sh/dh) and takes
// the mean of the source colours weighted by the area of overlap, rounded to
// nearest (at most 1 off the exact value in any channel; a uniform source
// gives exactly its colour).
//
// Source rows are pushed top to bottom; each destination row is handed to
// the sink as soon as the last source row it covers has arrived, as dw pixels
// of blue, green, red, 0. The reducer holds one row of accumulators, one
// output row and at most one held-back source row, whatever the heights, so
// a decoder can feed it while it is still producing rows. One reducer serves
// one thread at a time.
class HalftoneReducer {
 public:
  using RowSink = std::function<void(int y, std::span<const std::uint8_t> bgrx)>;

  // Any side of 0 or less makes a reducer that is already finished.
  HalftoneReducer(int sourceWidth, int sourceHeight, int destinationWidth, int destinationHeight,
                  SourcePixels layout, RowSink sink);
  // Move-only: a held-back row may point into the reducer's own buffer,
  // which moves along but must not be shared by a copy.
  HalftoneReducer(const HalftoneReducer&) = delete;
  HalftoneReducer& operator=(const HalftoneReducer&) = delete;
  HalftoneReducer(HalftoneReducer&&) = default;
  HalftoneReducer& operator=(HalftoneReducer&&) = default;

  // The next source row: sourceWidth pixels in the constructor's layout.
  // Rows after the last one are ignored. With rowStaysValid the caller
  // promises that the bytes stay in place and unchanged until the next
  // PushRow has returned, which saves the reducer a copy of the row.
  void PushRow(const std::uint8_t* pixels, bool rowStaysValid = false);

  // The index of the next source row expected.
  int NextSourceRow() const { return sourceRow_; }
  // True when every destination row has been handed to the sink.
  bool Finished() const { return destinationRow_ >= destinationHeight_; }

 private:
  void PrepareColumns();
  std::uint32_t RowWeight(std::int64_t low, std::int64_t high) const;
  void Contribute(const std::uint8_t* pixels, std::uint32_t weight, bool lastOfRow,
                  bool rowStaysValid);
  void Accumulate(const std::uint8_t* pixels, std::uint32_t weight);
  void AccumulatePair(const std::uint8_t* first, std::uint32_t firstWeight,
                      const std::uint8_t* second, std::uint32_t secondWeight);
  void EmitRow();
  template <int Stride>
  void ResolveColumnsOf();
  template <int Stride, int Taps>
  void ResolveColumns();

  int sourceWidth_ = 0;
  int sourceHeight_ = 0;
  int destinationWidth_ = 0;
  int destinationHeight_ = 0;
  int stride_ = 4;
  RowSink sink_;

  // Vertical positions in units of 1/rowUnit_ source rows: source row j
  // spans [j rowUnit_, (j+1) rowUnit_), destination row y [y rowSpan_, ...).
  std::int64_t rowUnit_ = 1;
  std::int64_t rowSpan_ = 1;
  // The sum of the row weights of one destination row: rowSpan_ itself, or
  // 2^24 when rowSpan_ is larger and the weights are scaled down.
  std::uint32_t rowWeightSum_ = 1;

  // Column weights of destination column x: weights_[2 (x taps_ + k)] for
  // source column first_[x] + k, k < taps_ (0 past the column's end), each
  // stored twice for the two lanes of a vector multiply; fixed point, scaled
  // so that sum(weight x accumulator) >> columnShift_ is the channel value.
  std::vector<std::uint32_t> first_;
  std::size_t taps_ = 1;
  std::vector<std::uint64_t> weights_;
  int columnShift_ = 31;

  std::vector<std::uint32_t> accumulator_;  // stride_ per source pixel, and a spare
  bool accumulatorEmpty_ = true;
  // A row held back to be added together with the next one.
  const std::uint8_t* pending_ = nullptr;
  std::uint32_t pendingWeight_ = 0;
  std::vector<std::uint8_t> pendingCopy_;
  std::vector<std::uint8_t> output_;  // 4 per destination pixel

  int sourceRow_ = 0;
  int destinationRow_ = 0;
};

// The halftone reduction of a raster of any layout, fed its rows one at a
// time from the top: 24- and 32-bit rows are read in place, every other
// layout through ReadRowBgrx. ReduceHalftone feeds it every row at once; a
// decoder can feed it each row as soon as the row is final.
class RasterReducer {
 public:
  // For rows of `source`'s layout and size; no pixel of it is read here.
  RasterReducer(const Raster& source, int destinationWidth, int destinationHeight,
                HalftoneReducer::RowSink sink);

  // Row y of `source`, the next row expected (NextSourceRow). Its bytes stay
  // in place and unchanged until the next PushRow has returned.
  void PushRow(const Raster& source, int y);

  int NextSourceRow() const { return reducer_.NextSourceRow(); }
  bool Finished() const { return reducer_.Finished(); }

 private:
  bool readsInPlace_ = true;
  HalftoneReducer reducer_;
  // Converted rows alternate between two buffers, so that each stays valid
  // until the next push has returned.
  std::vector<std::uint8_t> lines_[2];
};

}  // namespace tolvane
