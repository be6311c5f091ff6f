#include "formats/png/png_draw.h"

#include <algorithm>
#include <span>
#include <string>

#include "raster/packed_index.h"
#include "support/error.h"
#include "support/exact.h"
#include "support/messages.h"

namespace tolvane::png {

namespace {

// Over-blending with the image's alpha, as for colour types 4 and 6.
void BlendOver(std::uint8_t* d, const std::uint8_t (&s)[3], unsigned a) {
  const unsigned keep = 255 - a;
  for (int c = 0; c < 3; ++c)
    d[c] = static_cast<std::uint8_t>((d[c] * keep + s[c] * a + 127) / 255);
  d[3] = static_cast<std::uint8_t>(255 - (keep * (255u - d[3]) + 127) / 255);
}

// Blends source row sy, sampled at the given columns, into consecutive
// 32-bit pixels at out.
void BlendRow(const PartialSource& source, int sy, std::span<const int> columns,
              std::uint8_t* out) {
  const std::uint8_t* row = source.store->Row(sy).data();
  switch (source.colorType) {
    case kRgbAlpha: {
      const std::uint8_t* alpha = source.alpha->Row(static_cast<std::uint32_t>(sy));
      for (const int sx : columns) {
        const unsigned a = alpha[sx];
        const std::uint8_t* s = row + 3 * static_cast<std::size_t>(sx);
        if (a == 255) {
          out[0] = s[0];
          out[1] = s[1];
          out[2] = s[2];
          out[3] = 255;
        } else if (a != 0) {
          BlendOver(out, {s[0], s[1], s[2]}, a);
        }
        out += 4;
      }
      break;
    }
    case kGrayAlpha: {
      // The stored gray index itself, not its ramp colour.
      const std::uint8_t* alpha = source.alpha->Row(static_cast<std::uint32_t>(sy));
      for (const int sx : columns) {
        const std::uint8_t s = row[sx];
        BlendOver(out, {s, s, s}, alpha[sx]);
        out += 4;
      }
      break;
    }
    case kPalette: {
      const auto& palette = *source.palette;
      const int bits = source.store->BitsPerPixel();
      for (const int sx : columns) {
        const unsigned index = PackedIndexAt(row, static_cast<std::size_t>(sx), bits);
        if (index >= palette.size()) throw Error(std::string(messages::kPngNoPaletteEntry));
        const PaletteEntry& c = palette[index];
        const unsigned a = (*source.transparency)[index];
        const std::uint8_t s[3] = {c.blue, c.green, c.red};
        for (int k = 0; k < 3; ++k)
          out[k] = static_cast<std::uint8_t>((a * s[k] + (255 - a) * out[k] + 255) / 256);
        out[3] = static_cast<std::uint8_t>(a);
        out += 4;
      }
      break;
    }
    default: break;
  }
}

}  // namespace

void DrawPartial(const PartialSource& source, Surface& surface, Rect rect) {
  if (rect.Width() == 0 || rect.Height() == 0 || source.store == nullptr || source.store->Empty())
    return;
  if (rect.right < rect.left) std::swap(rect.left, rect.right);
  if (rect.bottom < rect.top) std::swap(rect.top, rect.bottom);
  const int w = source.store->Width();
  const int h = source.store->Height();
  const int dw = rect.Width();
  const int dh = rect.Height();
  double fx = 1.0;
  double fy = 1.0;
  if (dw != w || dh != h) {
    fx = exact::QuotientAsDouble(dw, w);
    fy = exact::QuotientAsDouble(dh, h);
  }
  // Only the part of the rectangle that lies on the surface is touched.
  const int i0 = std::max(0, -rect.left);
  const int i1 = std::min(dw, surface.Width() - rect.left);
  const int j0 = std::max(0, -rect.top);
  const int j1 = std::min(dh, surface.Height() - rect.top);
  if (i0 >= i1 || j0 >= j1) return;

  std::vector<int> columns(static_cast<std::size_t>(i1 - i0));
  for (int i = i0; i < i1; ++i) {
    columns[static_cast<std::size_t>(i - i0)] =
        static_cast<int>(std::min<long long>(exact::TruncQuotient(i, fx), w - 1));
  }
  for (int j = j0; j < j1; ++j) {
    const int sy = static_cast<int>(std::min<long long>(exact::TruncQuotient(j, fy), h - 1));
    BlendRow(source, sy, columns,
             surface.Row(rect.top + j) + 4 * static_cast<std::size_t>(rect.left + i0));
  }
}

void DrawPartialOnto(const PartialSource& source, Raster& target) {
  const int w = target.Width();
  std::vector<int> columns(static_cast<std::size_t>(w));
  for (int i = 0; i < w; ++i) columns[static_cast<std::size_t>(i)] = i;  // trunc(i / 1) = i
  for (int y = 0; y < target.Height(); ++y)
    BlendRow(source, y, columns, target.MutableRow(y).data());
}

}  // namespace tolvane::png
