#include <gtest/gtest.h>

#include "support/error.h"
#include "support/messages.h"
#include "tests/formats/png/png_fixture.h"

namespace tolvane::testing {
namespace {

Bgra At(const Surface& surface, int x, int y) {
  const std::uint8_t* p = surface.Row(y) + 4 * x;
  return {p[0], p[1], p[2], p[3]};
}

const SurfacePixel kGrey{100, 100, 100, 0};
const Bgra kGreyBgra{100, 100, 100, 0};

TEST(PngDraw, NoneStretchesTheStore) {
  TempDir dir;
  const auto image = LoadFromBytes(SimplePng(2, 1, 8, 2, {{10, 20, 30, 40, 50, 60}}));
  Surface surface(5, 2, kGrey);
  image.Draw(surface, {0, 0, 4, 2});
  EXPECT_EQ(At(surface, 1, 1), (Bgra{30, 20, 10, 0}));
  EXPECT_EQ(At(surface, 2, 0), (Bgra{60, 50, 40, 0}));
  EXPECT_EQ(At(surface, 4, 0), (Bgra{100, 100, 100, 0}));
}

TEST(PngDraw, KeyLeavesKeyPixelsAlone) {
  TempDir dir;
  const auto image = LoadFromBytes(
      SimplePng(2, 1, 8, 2, {{10, 20, 30, 40, 50, 60}}, {{"tRNS", {0, 40, 0, 50, 0, 60}}}));
  Surface surface(2, 1, kGrey);
  image.Draw(surface, {0, 0, 2, 1});
  EXPECT_EQ(At(surface, 0, 0), (Bgra{30, 20, 10, 0}));
  EXPECT_EQ(At(surface, 1, 0), (Bgra{100, 100, 100, 0}));
}

// A gray key of a depth below 8 is the colour the pixels of that sample
// show: 2-bit samples go through every fifth entry of their 16-entry ramp.
TEST(PngDraw, GrayKeyOfALowDepthMatchesThePixelsOfThatSample) {
  TempDir dir;
  struct Case {
    int bitDepth;
    Bytes row;  // four pixels
    std::uint8_t keySample;
    std::uint8_t levels[4];
    int keyed;  // the one pixel of the key colour
  };
  const Case cases[] = {
      {1, {0x50}, 1, {0, 255, 0, 255}, -1},  // both pixels of sample 1: checked below
      {2, {0x1B}, 3, {0, 85, 170, 255}, 3},
      {2, {0x1B}, 1, {0, 85, 170, 255}, 1},
      {4, {0x05, 0xAF}, 5, {0, 85, 170, 255}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "depth " << c.bitDepth << ", key " << int{c.keySample});
    const auto image =
        LoadFromBytes(SimplePng(4, 1, c.bitDepth, 0, {c.row}, {{"tRNS", {0, c.keySample}}}));
    ASSERT_EQ(image.TransparencyMode(), PngImage::Transparency::Key);
    Raster raster;
    image.ToRaster(raster);
    EXPECT_TRUE(raster.Transparent());
    Surface surface(4, 1, kGrey);
    image.Draw(surface, {0, 0, 4, 1});
    for (int x = 0; x < 4; ++x) {
      const bool keyed = c.keyed < 0 ? c.levels[x] == 255 : x == c.keyed;
      const std::uint8_t level = c.levels[x];
      EXPECT_EQ(At(surface, x, 0), keyed ? kGreyBgra : (Bgra{level, level, level, 0})) << "x " << x;
      if (keyed) {
        EXPECT_EQ(raster.TransparentColor(), (Rgb{level, level, level}));
      }
    }
  }
}

TEST(PngDraw, PartialBlendsByColourType) {
  TempDir dir;
  struct Case {
    const char* name;
    Bytes file;
    Bgra expected;
  };
  // Over a surface pixel of 100 with fourth byte 0: source 200 at alpha 128.
  const Case cases[] = {
      {"RGBA", SimplePng(1, 1, 8, 6, {{200, 200, 200, 128}}), {150, 150, 150, 128}},
      {"RGBA opaque", SimplePng(1, 1, 8, 6, {{200, 201, 202, 255}}), {202, 201, 200, 255}},
      {"RGBA clear", SimplePng(1, 1, 8, 6, {{200, 200, 200, 0}}), {100, 100, 100, 0}},
      {"gray + alpha, its index not its ramp colour",
       SimplePng(1, 1, 8, 4, {{200, 128}}, {{"gAMA", {0, 1, 0x86, 0xA0}}}),
       {150, 150, 150, 128}},
      {"gray + alpha clear", SimplePng(1, 1, 8, 4, {{200, 0}}), {100, 100, 100, 0}},
      {"palette",
       SimplePng(1, 1, 8, 3, {{0}}, {{"PLTE", {200, 200, 200}}, {"tRNS", {128, 7}}}),
       {150, 150, 150, 128}},
  };
  for (const Case& c : cases) {
    Surface surface(1, 1, kGrey);
    LoadFromBytes(c.file).Draw(surface, {0, 0, 1, 1});
    EXPECT_EQ(At(surface, 0, 0), c.expected) << c.name;
  }
}

TEST(PngDraw, PartialSamplesWithExtendedQuotients) {
  TempDir dir;
  // 20 columns whose red is the column number; drawn 2 wide, fx = 0.1, so
  // column 1 takes source column trunc(1 / 0.1) = 9 (10 in double arithmetic).
  Bytes row;
  for (std::uint8_t x = 0; x < 20; ++x) row.insert(row.end(), {x, 0, 0, 255});
  const auto image = LoadFromBytes(SimplePng(20, 1, 8, 6, {row}));
  Surface surface(2, 1);
  image.Draw(surface, {0, 0, 2, 1});
  EXPECT_EQ(At(surface, 0, 0).red, 0);
  EXPECT_EQ(At(surface, 1, 0).red, 9);
}

TEST(PngDraw, PartialRectangleRules) {
  TempDir dir;
  const auto image = LoadFromBytes(SimplePng(2, 1, 8, 6, {{10, 0, 0, 255, 20, 0, 0, 255}}));
  Surface reversed(3, 1, kGrey);
  image.Draw(reversed, {2, 1, 0, 0});  // put in order
  EXPECT_EQ(At(reversed, 0, 0).red, 10);
  EXPECT_EQ(At(reversed, 1, 0).red, 20);
  Surface empty(3, 1, kGrey);
  image.Draw(empty, {0, 0, 0, 1});
  image.Draw(empty, {1, 0, 1, 1});
  EXPECT_EQ(At(empty, 0, 0), (Bgra{100, 100, 100, 0}));
  // Partly off the surface: only what lies on it is drawn.
  Surface clipped(2, 1, kGrey);
  image.Draw(clipped, {-2, 0, 2, 1});
  EXPECT_EQ(At(clipped, 0, 0).red, 20);
  EXPECT_EQ(At(clipped, 1, 0).red, 20);
}

TEST(PngDraw, PartialPaletteWithoutEntryFails) {
  TempDir dir;
  const auto image = LoadFromBytes(SimplePng(1, 1, 8, 3, {{0}}, {{"tRNS", {0, 0}}}));
  Surface surface(1, 1);
  try {
    image.Draw(surface, {0, 0, 1, 1});
    FAIL() << "no failure";
  } catch (const Error& error) {
    EXPECT_EQ(error.what(), messages::kPngNoPaletteEntry);
  }
}

TEST(PngDraw, EmptyObjectDrawsNothing) {
  Surface surface(1, 1, kGrey);
  PngImage().Draw(surface, {0, 0, 1, 1});
  EXPECT_EQ(At(surface, 0, 0), (Bgra{100, 100, 100, 0}));
}

}  // namespace
}  // namespace tolvane::testing
