#include "formats/bmp/bmp_rle.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "support/error.h"
#include "support/messages.h"

namespace tolvane::bmp {

namespace {

// Where the decoded pixels go. Positions are counted as the coded data count
// them: x from the left, y from the bottom row. Both are clamped to the
// bitmap's edge, so no run or delta can reach outside it and no sum of
// hostile deltas can overflow.
class RleCanvas {
 public:
  RleCanvas(Raster& raster, const std::vector<PaletteEntry>& palette)
      : raster_(raster), width_(raster.Width()), height_(raster.Height()) {
    for (std::size_t i = 0; i < colours_.size() && i < palette.size(); ++i) {
      colours_[i] = {palette[i].blue, palette[i].green, palette[i].red, 0};
    }
    // Every pixel starts as entry 0: one row is made, then copied.
    const std::span<std::uint8_t> first = raster_.MutableRow(0);
    for (int x = 0; x < width_; ++x)
      std::memcpy(first.data() + 4 * static_cast<std::size_t>(x), colours_[0].data(), 4);
    for (int y = 1; y < height_; ++y)
      std::memcpy(raster_.MutableRow(y).data(), first.data(), first.size());
  }

  // Nothing can be drawn once the position has left the top of the bitmap:
  // the codes only ever move right or up.
  bool Done() const { return y_ >= height_; }

  // `count` pixels taking `even` and `odd` in turn.
  void Run(unsigned count, unsigned even, unsigned odd) {
    const unsigned inside = std::min<unsigned>(count, static_cast<unsigned>(width_ - x_));
    if (inside == 0) return;
    std::uint8_t* row = Row();
    for (unsigned i = 0; i < inside; ++i) {
      std::memcpy(row + 4 * static_cast<std::size_t>(x_ + static_cast<int>(i)),
                  colours_[(i & 1) ? odd : even].data(), 4);
    }
    x_ += static_cast<int>(inside);
  }

  void Put(unsigned index) { Run(1, index, index); }

  void EndOfLine() {
    x_ = 0;
    ++y_;
  }

  void Move(unsigned right, unsigned up) {
    x_ = static_cast<int>(std::min<std::int64_t>(width_, std::int64_t{x_} + right));
    y_ = static_cast<int>(std::min<std::int64_t>(height_, std::int64_t{y_} + up));
  }

 private:
  std::uint8_t* Row() { return raster_.MutableRow(height_ - 1 - y_).data(); }

  Raster& raster_;
  const int width_;
  const int height_;
  int x_ = 0;
  int y_ = 0;
  std::array<std::array<std::uint8_t, 4>, 256> colours_{};  // indices beyond the palette are black
};

Raster MakeDeviceRaster(int width, int height) {
  Raster raster;
  raster.SetSize(width, height, StoreRefusal::OutOfMemory);
  return raster;
}

// Pixel i of an absolute run.
unsigned AbsoluteIndex(const std::uint8_t* bytes, unsigned i, RleKind kind) {
  if (kind == RleKind::Rle8) return bytes[i];
  const std::uint8_t pair = bytes[i / 2];
  return (i & 1) ? (pair & 0x0Fu) : (pair >> 4u);
}

// Every step consumes at least two bytes, so decoding ends on any input.
void Decode(std::span<const std::uint8_t> data, RleKind kind, RleCanvas& canvas) {
  std::size_t pos = 0;
  while (!canvas.Done() && pos + 2 <= data.size()) {
    const unsigned count = data[pos];
    const unsigned value = data[pos + 1];
    pos += 2;
    if (count > 0) {
      if (kind == RleKind::Rle8) {
        canvas.Run(count, value, value);
      } else {
        canvas.Run(count, value >> 4u, value & 0x0Fu);
      }
      continue;
    }
    switch (value) {
      case 0:  // end of line
        canvas.EndOfLine();
        break;
      case 1:  // end of bitmap
        return;
      case 2:  // delta: right and up
        if (pos + 2 > data.size()) return;
        canvas.Move(data[pos], data[pos + 1]);
        pos += 2;
        break;
      default: {  // absolute run of `value` pixels, padded to a 16-bit word
        const std::size_t bytes = kind == RleKind::Rle8 ? value : (value + 1) / 2;
        const std::size_t available = std::min(bytes, data.size() - pos);
        const unsigned pixels = kind == RleKind::Rle8
                                    ? static_cast<unsigned>(available)
                                    : std::min(value, static_cast<unsigned>(2 * available));
        for (unsigned i = 0; i < pixels; ++i) canvas.Put(AbsoluteIndex(data.data() + pos, i, kind));
        pos += bytes + (bytes & 1);
        break;
      }
    }
  }
}

}  // namespace

Raster DecodeRle(std::span<const std::uint8_t> data, RleKind kind, int width, int height,
                 const std::vector<PaletteEntry>& palette) {
  Raster raster = MakeDeviceRaster(width, height);
  RleCanvas canvas(raster, palette);
  Decode(data, kind, canvas);
  return raster;
}

}  // namespace tolvane::bmp
