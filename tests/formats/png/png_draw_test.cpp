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
  const auto image = LoadFromBytes(SimplePng(2, 1, 8, 2, {{10, 20, 30, 40, 50, 60}}, {{"tRNS", {0, 40, 0, 50, 0, 60}}}));
  Surface surface(2, 1, kGrey);
  image.Draw(surface, {0, 0, 2, 1});
  EXPECT_EQ(At(surface, 0, 0), (Bgra{30, 20, 10, 0}));
  EXPECT_EQ(At(surface, 1, 0), (Bgra{100, 100, 100, 0}));
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
       SimplePng(1, 1, 8, 4, {{200, 128}}, {{"gAMA", {0, 1, 0x86, 0xA0}}}), {150, 150, 150, 128}},
      {"gray + alpha clear", SimplePng(1, 1, 8, 4, {{200, 0}}), {100, 100, 100, 0}},
      {"palette", SimplePng(1, 1, 8, 3, {{0}}, {{"PLTE", {200, 200, 200}}, {"tRNS", {128, 7}}}), {150, 150, 150, 128}},
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
