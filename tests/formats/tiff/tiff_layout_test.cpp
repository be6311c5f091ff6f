// Whatever the layout of the stored data (strips or tiles of any size,
// contiguous or separate planes, compressed or not) and whatever the
// Orientation tag says, the TIFF reader gives the stored pixels, top row
// first as stored.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <string>
#include <vector>

#include "formats/tiff/tiff_decode.h"
#include "tests/formats/tiff/tiff_fixture.h"
#include "tests/support/test_support.h"

namespace tolvane {
namespace {

using testing::ExpectSamePixels;
using testing::MessageOf;
using testing::TiffRecipe;
using testing::With;

constexpr TiffReadOrder kBothOrders[] = {TiffReadOrder::WholeImage,
                                         TiffReadOrder::BandsWherePossible};

// The recipe's pixels in the plainest layout: LZW strips, contiguous
// samples, no Orientation tag.
Raster Reference(TiffRecipe recipe) {
  recipe.tileSide = 0;
  recipe.tileLength = 0;
  recipe.separatePlanes = false;
  recipe.compression = COMPRESSION_LZW;
  recipe.orientation = 0;
  return DecodeTiff(testing::TiffBytes(recipe), TiffReadOrder::WholeImage);
}

void ExpectStoredPixels(const TiffRecipe& recipe) {
  const Raster expected = Reference(recipe);
  const std::vector<std::uint8_t> data = testing::TiffBytes(recipe);
  for (const TiffReadOrder order : kBothOrders) {
    SCOPED_TRACE(order == TiffReadOrder::WholeImage ? "whole image" : "bands");
    Raster actual;
    EXPECT_EQ(MessageOf([&] { actual = DecodeTiff(data, order); }), "");
    ExpectSamePixels(actual, expected);
  }
}

TEST(TiffLayouts, EveryLayoutGivesTheStoredPixels) {
  struct Case {
    const char* what;
    TiffRecipe recipe;
  };
  // 41 x 50 fills neither the tiles nor the strips evenly; none of the tile
  // sizes below is a multiple of 1024 bytes.
  const TiffRecipe rgb = With(TiffRecipe{}, [](TiffRecipe& r) {
    r.width = 41, r.height = 50, r.compression = COMPRESSION_NONE;
  });
  const Case cases[] = {
      {"RGB tiles 16 x 16", With(rgb, [](TiffRecipe& r) { r.tileSide = 16; })},
      {"RGB tiles 48 x 48", With(rgb, [](TiffRecipe& r) { r.tileSide = 48; })},
      {"RGB tiles 16 x 32", With(rgb, [](TiffRecipe& r) { r.tileSide = 16, r.tileLength = 32; })},
      {"RGB tiles 32 x 16", With(rgb, [](TiffRecipe& r) { r.tileSide = 32, r.tileLength = 16; })},
      {"grey tiles 16 x 16",
       With(rgb, [](TiffRecipe& r) { r.photometric = PHOTOMETRIC_MINISBLACK, r.tileSide = 16; })},
      {"grey tiles 48 x 48",
       With(rgb, [](TiffRecipe& r) { r.photometric = PHOTOMETRIC_MINISBLACK, r.tileSide = 48; })},
      {"RGB 16-bit tiles 16 x 32",
       With(rgb, [](TiffRecipe& r) { r.bitsPerSample = 16, r.tileSide = 16, r.tileLength = 32; })},
      {"palette tiles 16 x 32", With(rgb,
                                     [](TiffRecipe& r) {
                                       r.photometric = PHOTOMETRIC_PALETTE, r.tileSide = 16,
                                       r.tileLength = 32;
                                     })},
      {"RGB with straight alpha, tiles 16 x 16",
       With(rgb, [](TiffRecipe& r) { r.extraSample = EXTRASAMPLE_UNASSALPHA, r.tileSide = 16; })},
      {"RGB tiles 16 x 16, separate planes",
       With(rgb, [](TiffRecipe& r) { r.tileSide = 16, r.separatePlanes = true; })},
      {"RGB tiles 16 x 16, LZW",
       With(rgb, [](TiffRecipe& r) { r.tileSide = 16, r.compression = COMPRESSION_LZW; })},
      {"RGB tiles 16 x 16, PackBits",
       With(rgb, [](TiffRecipe& r) { r.tileSide = 16, r.compression = COMPRESSION_PACKBITS; })},
      {"RGB strips of 3 rows", With(rgb, [](TiffRecipe& r) { r.rowsPerStrip = 3; })},
      {"RGB strips of 1 row, 7 pixels wide",
       With(rgb, [](TiffRecipe& r) { r.width = 7, r.rowsPerStrip = 1; })},
      {"RGB strips taller than the image", With(rgb, [](TiffRecipe& r) { r.rowsPerStrip = 64; })},
      {"RGB strips of 5 rows, separate planes",
       With(rgb, [](TiffRecipe& r) { r.rowsPerStrip = 5, r.separatePlanes = true; })},
      {"grey 1-bit strips of 9 rows", With(rgb,
                                           [](TiffRecipe& r) {
                                             r.photometric = PHOTOMETRIC_MINISWHITE,
                                             r.bitsPerSample = 1, r.rowsPerStrip = 9;
                                           })},
      {"RGB with straight alpha, 16 bits, strips of 3 rows, separate planes",
       With(rgb,
            [](TiffRecipe& r) {
              r.extraSample = EXTRASAMPLE_UNASSALPHA, r.bitsPerSample = 16, r.rowsPerStrip = 3,
              r.separatePlanes = true;
            })},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectStoredPixels(c.recipe);
  }
}

// Orientations 5 to 8 exchange rows and columns; the size stays the stored one.
TEST(TiffOrientation, RowsComeOutAsStoredWhateverTheTagSays) {
  for (const std::uint16_t orientation :
       {ORIENTATION_TOPLEFT, ORIENTATION_TOPRIGHT, ORIENTATION_BOTRIGHT, ORIENTATION_BOTLEFT,
        ORIENTATION_LEFTTOP, ORIENTATION_RIGHTTOP, ORIENTATION_RIGHTBOT, ORIENTATION_LEFTBOT}) {
    SCOPED_TRACE(orientation);
    for (const bool tiled : {false, true}) {
      SCOPED_TRACE(tiled ? "tiles" : "strips");
      // Not square, so that a turned image would not fit.
      ExpectStoredPixels(With(TiffRecipe{}, [&](TiffRecipe& r) {
        r.width = 37, r.height = 50, r.rowsPerStrip = 8, r.tileSide = tiled ? 16 : 0;
        r.orientation = orientation;
      }));
    }
  }
}

}  // namespace
}  // namespace tolvane
