// The preview box: where a picture lands, and how it is drawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "convert/preview.h"

namespace tolvane {
namespace {

struct FitCase {
  int width;
  int height;
  Rect drawn;  // left, top, right, bottom
};

class PreviewFitTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(PreviewFitTest, FitsTheDesignBox) {
  const FitCase& c = GetParam();
  EXPECT_EQ(PreviewFit(c.width, c.height, 249, 147), c.drawn) << c.width << " x " << c.height;
}

constexpr Rect At(int left, int top, int width, int height) {
  return Rect{left, top, left + width, top + height};
}

INSTANTIATE_TEST_SUITE_P(
    Examples, PreviewFitTest,
    ::testing::Values(
        FitCase{100, 50, At(0, 11, 249, 124)}, FitCase{50, 100, At(88, 0, 73, 147)},
        FitCase{147, 147, At(51, 0, 147, 147)}, FitCase{1, 1, At(51, 0, 147, 147)},
        FitCase{16, 16, At(51, 0, 147, 147)},
        // The box's own size comes out one row short.
        FitCase{249, 147, At(0, 0, 249, 146)}, FitCase{1920, 1080, At(0, 3, 249, 140)},
        // Plain double arithmetic would give 196 here.
        FitCase{4000, 3000, At(27, 0, 195, 147)}, FitCase{2048, 1536, At(27, 0, 195, 147)},
        FitCase{3000, 4000, At(69, 0, 110, 147)}, FitCase{2047, 1535, At(26, 0, 196, 147)},
        FitCase{10000, 1, At(0, 73, 249, 0)},
        // No picture, or a side of 0: the whole box.
        FitCase{0, 0, At(0, 0, 249, 147)}, FitCase{0, 5, At(0, 0, 249, 147)},
        FitCase{5, 0, At(0, 0, 249, 147)}),
    [](const ::testing::TestParamInfo<FitCase>& param) {
      return std::to_string(param.param.width) + "x" + std::to_string(param.param.height);
    });

TEST(PreviewFit, ScalesWithTheBox) {
  // The box at 192 dots per inch: 294 x 4 / 3 truncates to 391, not 392.
  EXPECT_EQ(PreviewFit(4000, 3000, 498, 294), At(53, 0, 391, 294));
}

// A raster whose pixel (x, y) has blue x, green y, red 7.
Raster Gradient(int width, int height) {
  Raster raster;
  raster.SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = raster.MutableRow(y).data();
    for (int x = 0; x < width; ++x) {
      row[4 * x] = static_cast<std::uint8_t>(x);
      row[4 * x + 1] = static_cast<std::uint8_t>(y);
      row[4 * x + 2] = 7;
      row[4 * x + 3] = 0;
    }
  }
  return raster;
}

const std::uint8_t* PixelAt(const Surface& surface, int x, int y) { return surface.Row(y) + 4 * x; }

TEST(RenderPreview, NothingShowsTheBlackBackground) {
  const Surface box = RenderPreview(Picture{}, 249, 147);
  ASSERT_EQ(box.Width(), 249);
  ASSERT_EQ(box.Height(), 147);
  for (std::uint8_t byte : box.Pixels()) ASSERT_EQ(byte, 0);
}

TEST(RenderPreview, AThinPictureOfHeightZeroDrawsNothing) {
  const Surface box = RenderPreview(Picture{Gradient(10000, 1)}, 249, 147);
  for (std::uint8_t byte : box.Pixels()) ASSERT_EQ(byte, 0);
}

TEST(RenderPreview, DrawsARasterByNearestPixelInItsFittedRectangle) {
  // 100 x 50 lands at 0, 11 as 249 x 124.
  const Surface box = RenderPreview(Picture{Gradient(100, 50)}, 249, 147);
  for (int y = 0; y < 147; ++y) {
    for (int x = 0; x < 249; ++x) {
      const std::uint8_t* p = PixelAt(box, x, y);
      if (y < 11 || y >= 135) {
        ASSERT_EQ(p[0] | p[1] | p[2], 0) << x << ", " << y;
        continue;
      }
      ASSERT_EQ(p[0], x * 100 / 249) << x << ", " << y;
      ASSERT_EQ(p[1], (y - 11) * 50 / 124) << x << ", " << y;
      ASSERT_EQ(p[2], 7);
    }
  }
}

TEST(RenderPreview, IgnoresTheColourKey) {
  Raster raster = Gradient(2, 2);
  raster.SetTransparent(true);
  raster.SetTransparentColor(Rgb{7, 0, 0});
  const Surface box = RenderPreview(Picture{raster}, 4, 4);
  EXPECT_EQ(PixelAt(box, 0, 0)[2], 7);
}

TEST(RenderPreview, BlendsARasterWithAlphaOverTheBackground) {
  // Colours are held premultiplied, so over black the blend shows them as
  // they are stored; a transparent pixel leaves the black.
  for (AlphaMode mode : {AlphaMode::Defined, AlphaMode::Premultiplied}) {
    Raster raster;
    raster.SetSize(2, 1);
    raster.SetAlphaMode(mode);
    std::uint8_t* p = raster.MutableRow(0).data();
    const std::uint8_t pixels[8] = {0, 0, 100, 128, 0, 0, 0, 0};
    std::copy(pixels, pixels + 8, p);
    const Surface box = RenderPreview(Picture{raster}, 2, 1);
    EXPECT_EQ(PixelAt(box, 0, 0)[2], 100) << static_cast<int>(mode);
    EXPECT_EQ(PixelAt(box, 1, 0)[2], 0) << static_cast<int>(mode);
  }
}

TEST(RenderPreview, ARasterWithoutAlphaIsOpaqueEvenWithAFourthByte) {
  Raster raster;
  raster.SetSize(1, 1);
  raster.SetFormat(RasterFormat::Bits32);
  std::uint8_t* p = raster.MutableRow(0).data();
  p[0] = 10;
  p[1] = 20;
  p[2] = 30;
  p[3] = 0;  // would be fully transparent if read as alpha
  const Surface box = RenderPreview(Picture{raster}, 2, 2);
  EXPECT_EQ(PixelAt(box, 1, 1)[0], 10);
  EXPECT_EQ(PixelAt(box, 1, 1)[2], 30);
}

TEST(PictureKeeper, KeepsItsOwnCopy) {
  PictureKeeper keeper;
  {
    Raster raster = Gradient(3, 2);
    keeper.Show(raster);
    raster.MutableRow(0)[0] = 99;  // the giver changes its own
  }
  const Raster* kept = std::get_if<Raster>(&keeper.Current());
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->Width(), 3);
  EXPECT_EQ(kept->Row(0)[0], 0);
}

}  // namespace
}  // namespace tolvane
