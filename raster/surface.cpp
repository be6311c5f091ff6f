#include "raster/surface.h"

#include <algorithm>
#include <cstring>

namespace tolvane {

Surface::Surface(int width, int height, SurfacePixel fill)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(4 * static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_)) {
  for (std::size_t i = 0; i < pixels_.size(); i += 4) {
    pixels_[i] = fill.blue;
    pixels_[i + 1] = fill.green;
    pixels_[i + 2] = fill.red;
    pixels_[i + 3] = fill.fourth;
  }
}

namespace {

// Calls blend(destination pixel, source pixel) for every pixel of the
// rectangle that lies on the surface.
template <typename Blend>
void Stretch(Surface& surface, const Rect& rect, const Raster& source, Blend blend) {
  // 64-bit throughout: a rectangle far off the surface must not overflow.
  const std::int64_t left = rect.left;
  const std::int64_t top = rect.top;
  const std::int64_t dw = std::int64_t{rect.right} - left;
  const std::int64_t dh = std::int64_t{rect.bottom} - top;
  if (dw <= 0 || dh <= 0 || source.Empty()) return;
  const std::int64_t sw = source.Width();
  const std::int64_t sh = source.Height();
  const int x0 = std::max(rect.left, 0);
  const int x1 = std::min(rect.right, surface.Width());
  const int y0 = std::max(rect.top, 0);
  const int y1 = std::min(rect.bottom, surface.Height());
  if (x0 >= x1 || y0 >= y1) return;

  std::vector<int> columns(static_cast<std::size_t>(x1 - x0));
  for (int x = x0; x < x1; ++x) {
    columns[static_cast<std::size_t>(x - x0)] = static_cast<int>((x - left) * sw / dw);
  }
  std::vector<std::uint8_t> line(4 * static_cast<std::size_t>(sw));
  int loaded = -1;
  for (int y = y0; y < y1; ++y) {
    const int sy = static_cast<int>((y - top) * sh / dh);
    if (sy != loaded) {
      ReadRowBgrx(source, sy, line.data());
      loaded = sy;
    }
    std::uint8_t* out = surface.Row(y) + 4 * static_cast<std::size_t>(x0);
    for (int sx : columns) {
      blend(out, line.data() + 4 * static_cast<std::size_t>(sx));
      out += 4;
    }
  }
}

}  // namespace

void StretchNearest(Surface& surface, const Rect& rect, const Raster& source) {
  const bool keepFourth = source.BitsPerPixel() == 32;
  Stretch(surface, rect, source, [keepFourth](std::uint8_t* d, const std::uint8_t* s) {
    std::memcpy(d, s, 3);
    d[3] = keepFourth ? s[3] : 0;
  });
}

void StretchColorKey(Surface& surface, const Rect& rect, const Raster& source, Rgb key) {
  const bool keepFourth = source.BitsPerPixel() == 32;
  Stretch(surface, rect, source, [key, keepFourth](std::uint8_t* d, const std::uint8_t* s) {
    if (s[2] == key.red && s[1] == key.green && s[0] == key.blue) return;
    std::memcpy(d, s, 3);
    d[3] = keepFourth ? s[3] : 0;
  });
}

void StretchAlphaBlend(Surface& surface, const Rect& rect, const Raster& source) {
  // A store without a fourth byte has no alpha: it is drawn opaque.
  const bool hasAlpha = source.BitsPerPixel() == 32;
  Stretch(surface, rect, source, [hasAlpha](std::uint8_t* d, const std::uint8_t* s) {
    const unsigned keep = hasAlpha ? 255u - s[3] : 0u;
    for (int c = 0; c < 4; ++c) {
      const unsigned value = s[c] + (d[c] * keep + 127) / 255;
      d[c] = static_cast<std::uint8_t>(std::min(value, 255u));
    }
  });
}

}  // namespace tolvane
