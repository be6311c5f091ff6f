#include "raster/surface.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tolvane {
namespace {

// A top-down 32-bit raster whose pixel (x, y) has blue x, green y, red 200,
// fourth byte `fourth`.
Raster Numbered(int width, int height, int bits = 32, std::uint8_t fourth = 0) {
  StoreLayout layout;
  layout.width = width;
  layout.height = height;
  layout.bitsPerPixel = bits;
  layout.rowOrder = RowOrder::TopDown;
  Raster r;
  r.CreateIndependent(layout);
  const int bytes = bits / 8;
  for (int y = 0; y < height; ++y) {
    auto row = r.MutableRow(y);
    for (int x = 0; x < width; ++x) {
      row[bytes * x] = static_cast<std::uint8_t>(x);
      row[bytes * x + 1] = static_cast<std::uint8_t>(y);
      row[bytes * x + 2] = 200;
      if (bytes == 4) row[bytes * x + 3] = fourth;
    }
  }
  return r;
}

const std::uint8_t* Pixel(const Surface& s, int x, int y) { return s.Row(y) + 4 * x; }

TEST(Surface, NearestStretchRepeatsAndDropsWholeRowsAndColumns) {
  const Raster source = Numbered(4, 2, 32, 77);
  Surface surface(8, 3, SurfacePixel{1, 2, 3, 4});
  // 8 x 3 onto 4 x 2: columns 0,0,1,1,2,2,3,3; rows trunc(j * 2 / 3) = 0,0,1.
  StretchNearest(surface, Rect{0, 0, 8, 3}, source);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(Pixel(surface, x, y)[0], x / 2);
      EXPECT_EQ(Pixel(surface, x, y)[1], y < 2 ? 0 : 1);
      EXPECT_EQ(Pixel(surface, x, y)[2], 200);
      EXPECT_EQ(Pixel(surface, x, y)[3], 77);
    }
  }
  // Shrinking drops: 4 columns onto 2 take columns 0 and 2.
  Surface small(2, 1);
  StretchNearest(small, Rect{0, 0, 2, 1}, source);
  EXPECT_EQ(Pixel(small, 0, 0)[0], 0);
  EXPECT_EQ(Pixel(small, 1, 0)[0], 2);
  // A 24-bit source has no fourth byte: 0.
  StretchNearest(small, Rect{0, 0, 2, 1}, Numbered(2, 1, 24));
  EXPECT_EQ(Pixel(small, 0, 0)[3], 0);
}

TEST(Surface, StretchClipsToTheSurfaceAndIgnoresEmptyInput) {
  const Raster source = Numbered(4, 4);
  Surface surface(3, 3, SurfacePixel{9, 9, 9, 9});
  // The rectangle starts off the surface: the visible part keeps its mapping.
  StretchNearest(surface, Rect{-2, -1, 2, 2}, source);
  EXPECT_EQ(Pixel(surface, 0, 0)[0], 2);
  EXPECT_EQ(Pixel(surface, 0, 0)[1], 1);
  EXPECT_EQ(Pixel(surface, 1, 1)[0], 3);
  EXPECT_EQ(Pixel(surface, 2, 0)[0], 9);  // right of the rectangle
  EXPECT_EQ(Pixel(surface, 0, 2)[0], 9);  // below it

  const std::vector<std::uint8_t> before(surface.Pixels().begin(), surface.Pixels().end());
  StretchNearest(surface, Rect{0, 0, 0, 3}, source);
  StretchNearest(surface, Rect{2, 2, 1, 3}, source);
  StretchNearest(surface, Rect{5, 5, 9, 9}, source);
  StretchNearest(surface, Rect{-2147483647, 0, 2147483647, 3}, source);  // no overflow
  Raster empty;
  empty.SetWidth(5);
  StretchNearest(surface, Rect{0, 0, 3, 3}, empty);
  Surface none(0, 0);
  StretchNearest(none, Rect{0, 0, 3, 3}, source);
  // Only the huge rectangle draws, on row 0 to 2.
  Surface reference(3, 3, SurfacePixel{9, 9, 9, 9});
  StretchNearest(reference, Rect{-2, -1, 2, 2}, source);
  StretchNearest(reference, Rect{-2147483647, 0, 2147483647, 3}, source);
  EXPECT_EQ(std::vector<std::uint8_t>(surface.Pixels().begin(), surface.Pixels().end()),
            std::vector<std::uint8_t>(reference.Pixels().begin(), reference.Pixels().end()));
}

TEST(Surface, ColorKeyLeavesKeyPixelsUnchanged) {
  Raster source = Numbered(2, 1, 24);  // (0, 0, 200) and (1, 0, 200)
  Surface surface(2, 1, SurfacePixel{50, 60, 70, 80});
  StretchColorKey(surface, Rect{0, 0, 2, 1}, source, Rgb{200, 0, 1});
  EXPECT_EQ(Pixel(surface, 0, 0)[0], 0);
  EXPECT_EQ(Pixel(surface, 0, 0)[2], 200);
  EXPECT_EQ(Pixel(surface, 1, 0)[0], 50);  // key colour: untouched
  EXPECT_EQ(Pixel(surface, 1, 0)[3], 80);
}

TEST(Surface, AlphaBlendComposesPremultipliedOverTheSurface) {
  StoreLayout layout;
  layout.width = 3;
  layout.height = 1;
  layout.bitsPerPixel = 32;
  Raster source;
  source.CreateIndependent(layout);
  const std::uint8_t pixels[12] = {0,  0,  128, 128,  // half-transparent red, premultiplied
                                   0,  0,  0,   0,    // fully transparent
                                   10, 20, 30,  255};
  std::copy(pixels, pixels + 12, source.MutableRow(0).begin());
  Surface surface(3, 1, SurfacePixel{255, 255, 255, 255});
  StretchAlphaBlend(surface, Rect{0, 0, 3, 1}, source);
  const std::uint8_t expected[12] = {127, 127, 255, 255, 255, 255, 255, 255, 10, 20, 30, 255};
  EXPECT_EQ(std::vector<std::uint8_t>(surface.Pixels().begin(), surface.Pixels().end()),
            std::vector<std::uint8_t>(expected, expected + 12));

  // Without a fourth byte there is no alpha: opaque.
  Surface opaque(2, 1, SurfacePixel{255, 255, 255, 255});
  StretchAlphaBlend(opaque, Rect{0, 0, 2, 1}, Numbered(2, 1, 24));
  EXPECT_EQ(Pixel(opaque, 1, 0)[0], 1);
  EXPECT_EQ(Pixel(opaque, 1, 0)[2], 200);
}

}  // namespace
}  // namespace tolvane
