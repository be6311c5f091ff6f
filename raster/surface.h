#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "raster/raster.h"

namespace tolvane {

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// A fixed-size 32-bit canvas: blue, green, red, fourth byte; top row first;
// rows of exactly 4 x width bytes. It stands where the platform would have a
// device context.
struct SurfacePixel {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  std::uint8_t fourth = 0;
};

class Surface {
 public:
  Surface(int width, int height, SurfacePixel fill = SurfacePixel{});

  int Width() const { return width_; }
  int Height() const { return height_; }
  std::uint8_t* Row(int y) { return pixels_.data() + RowOffset(y); }
  const std::uint8_t* Row(int y) const { return pixels_.data() + RowOffset(y); }
  std::span<const std::uint8_t> Pixels() const { return pixels_; }
  std::span<std::uint8_t> Pixels() { return pixels_; }

 private:
  std::size_t RowOffset(int y) const {
    return static_cast<std::size_t>(y) * 4 * static_cast<std::size_t>(width_);
  }

  int width_;
  int height_;
  std::vector<std::uint8_t> pixels_;
};

// The blits the program needs. Each maps destination pixel (i, j) of the
// rectangle onto source pixel (trunc(i x source width / rectangle width),
// trunc(j x source height / rectangle height)), like a stretch that drops or
// repeats whole rows and columns. Parts of the rectangle outside the surface
// are clipped. An empty source or rectangle draws nothing.

// Opaque: the source colours replace the surface's; the fourth byte becomes
// the source's for 32-bit stores and 0 otherwise.
void StretchNearest(Surface& surface, const Rect& rect, const Raster& source);

// As StretchNearest, but source pixels of the key colour leave the surface
// as it was.
void StretchColorKey(Surface& surface, const Rect& rect, const Raster& source, Rgb key);

// A 32-bit source with premultiplied colours and its fourth byte as alpha,
// blended over the surface: d := s + d x (255 - a) / 255 for all four bytes
// (rounded, saturating at 255). Any other source is drawn opaque.
void StretchAlphaBlend(Surface& surface, const Rect& rect, const Raster& source);

}  // namespace tolvane
