// The TIFF reader reads band by band where that gives the pixels of a read of
// the whole image, and hands each finished row on at once.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "formats/tiff/tiff_decode.h"
#include "formats/tiff/tiff_reader.h"
#include "raster/row_progress.h"
#include "support/byte_source.h"
#include "support/error.h"
#include "support/messages.h"
#include "tests/formats/tiff/tiff_fixture.h"
#include "tests/support/test_support.h"

namespace tolvane {
namespace {

using testing::ExpectEveryRowReportedFinal;
using testing::ExpectSamePixels;
using testing::MessageOf;
using testing::ReadFile;
using testing::RowRecorder;
using testing::TiffRecipe;
using testing::With;

void ExpectSameImage(const Raster& actual, const Raster& expected) {
  ExpectSamePixels(actual, expected);
  EXPECT_EQ(actual.Format(), RasterFormat::Bits32);
  EXPECT_EQ(actual.Alpha(), AlphaMode::Defined);
  EXPECT_EQ(expected.Alpha(), AlphaMode::Defined);
  EXPECT_EQ(actual.GetRowOrder(), expected.GetRowOrder());
}

// Decodes the file both ways: the bands (when taken) must report every row
// and give the whole-image read's pixels; the whole-image read reports none.
// Returns whether the bands were taken.
bool ExpectBandsMatchWholeImage(const std::vector<std::uint8_t>& data) {
  Raster whole;
  const std::string wholeMessage =
      MessageOf([&] { whole = DecodeTiff(data, TiffReadOrder::WholeImage); });
  RowRecorder recorder;
  Raster banded;
  const std::string bandMessage =
      MessageOf([&] { banded = DecodeTiff(data, TiffReadOrder::BandsWherePossible, &recorder); });
  EXPECT_EQ(bandMessage, wholeMessage);
  if (!wholeMessage.empty() || !bandMessage.empty()) return recorder.begins > 0;
  ExpectSameImage(banded, whole);
  if (recorder.begins > 0) ExpectEveryRowReportedFinal(recorder, banded);
  return recorder.begins > 0;
}

TiffRecipe Recipe(int width, int height, std::uint32_t rowsPerStrip) {
  TiffRecipe recipe;
  recipe.width = width;
  recipe.height = height;
  recipe.rowsPerStrip = rowsPerStrip;
  return recipe;
}

TEST(TiffBands, GiveTheWholeImageReadsPixelsAndReportEachRowOnceWhenFinal) {
  struct Case {
    const char* what;
    TiffRecipe recipe;
    bool bands;
  };
  const TiffRecipe rgb = Recipe(41, 50, 7);  // 7 rows per strip do not divide 50
  const Case cases[] = {
      {"RGB, LZW, 7 rows per strip", rgb, true},
      {"RGB, LZW with predictor, 1 row per strip",
       With(rgb, [](TiffRecipe& r) { r.rowsPerStrip = 1, r.predictor = PREDICTOR_HORIZONTAL; }),
       true},
      {"strips taller than the image", With(rgb, [](TiffRecipe& r) { r.rowsPerStrip = 64; }), true},
      {"orientation top-left given",
       With(rgb, [](TiffRecipe& r) { r.orientation = ORIENTATION_TOPLEFT; }), true},
      {"orientation bottom-right given: read as stored",
       With(rgb, [](TiffRecipe& r) { r.orientation = ORIENTATION_BOTRIGHT; }), true},
      {"straight alpha, PackBits, 16 rows per strip",
       With(rgb,
            [](TiffRecipe& r) {
              r.extraSample = EXTRASAMPLE_UNASSALPHA, r.compression = COMPRESSION_PACKBITS,
              r.rowsPerStrip = 16;
            }),
       true},
      {"associated alpha, 16 bits, LZW, 5 rows per strip",
       With(rgb,
            [](TiffRecipe& r) {
              r.extraSample = EXTRASAMPLE_ASSOCALPHA, r.bitsPerSample = 16, r.rowsPerStrip = 5;
            }),
       true},
      {"straight alpha, 16 bits, uncompressed, 3 rows per strip",
       With(rgb,
            [](TiffRecipe& r) {
              r.extraSample = EXTRASAMPLE_UNASSALPHA, r.bitsPerSample = 16,
              r.compression = COMPRESSION_NONE, r.rowsPerStrip = 3;
            }),
       true},
      {"palette, 8 bits, 4 rows per strip",
       With(rgb, [](TiffRecipe& r) { r.photometric = PHOTOMETRIC_PALETTE, r.rowsPerStrip = 4; }),
       true},
      {"grey, 8 bits, uncompressed, 6 rows per strip",
       With(rgb,
            [](TiffRecipe& r) {
              r.photometric = PHOTOMETRIC_MINISBLACK, r.compression = COMPRESSION_NONE,
              r.rowsPerStrip = 6;
            }),
       true},
      {"grey with straight alpha",
       With(rgb,
            [](TiffRecipe& r) {
              r.photometric = PHOTOMETRIC_MINISBLACK, r.extraSample = EXTRASAMPLE_UNASSALPHA;
            }),
       true},
      {"grey, 1 bit, PackBits, 9 rows per strip",
       With(rgb,
            [](TiffRecipe& r) {
              r.photometric = PHOTOMETRIC_MINISWHITE, r.bitsPerSample = 1,
              r.compression = COMPRESSION_PACKBITS, r.rowsPerStrip = 9;
            }),
       true},
      // Read whole: the whole-image read's own layouts and codecs.
      {"tiles", With(rgb, [](TiffRecipe& r) { r.tileSide = 16; }), false},
      {"separate planes", With(rgb, [](TiffRecipe& r) { r.separatePlanes = true; }), false},
      {"Deflate", With(rgb, [](TiffRecipe& r) { r.compression = COMPRESSION_ADOBE_DEFLATE; }),
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ExpectBandsMatchWholeImage(testing::TiffBytes(c.recipe)), c.bands);
  }
}

// An uncompressed strip is held to its byte count, the first strip of a read
// call as every later one: a strip whose byte count falls short of its rows,
// at the start of what would be the second band, fails the image in either
// order, although the rows after it are in the file.
TEST(TiffBands, AnUncompressedStripWhoseByteCountFallsShortOfItsRowsFailsInEitherOrder) {
  const int width = 10;
  const int height = 50;
  const std::uint32_t rowsPerStrip = 4;
  const std::vector<std::uint8_t> data = testing::TiffInMemory([&](TIFF* tif) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    for (std::uint32_t strip = 0; strip * rowsPerStrip < height; ++strip) {
      const std::uint32_t rows =
          std::min<std::uint32_t>(rowsPerStrip, height - strip * rowsPerStrip);
      std::vector<std::uint8_t> bytes(rows * width);
      for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(strip * 16 + i);
      // Strip 8 begins row 32, where the second band would.
      const std::size_t stored = strip == 8 ? bytes.size() / 2 : bytes.size();
      ASSERT_EQ(TIFFWriteRawStrip(tif, strip, bytes.data(), static_cast<tmsize_t>(stored)),
                static_cast<tmsize_t>(stored));
    }
  });
  for (const TiffReadOrder order : {TiffReadOrder::WholeImage, TiffReadOrder::BandsWherePossible}) {
    EXPECT_EQ(MessageOf([&] { (void)DecodeTiff(data, order); }), messages::kInvalidStreamFormat);
  }
}

TEST(TiffBands, ACorruptLaterStripFailsAndLeavesTheTargetAsItWas) {
  std::vector<std::uint8_t> data = testing::TiffBytes(Recipe(30, 100, 8));
  testing::SpoilStrip(data, 10);  // rows 80 to 87, inside the third band
  MemorySource source(data);
  RowRecorder recorder;
  Raster target;
  target.SetSize(2, 1);
  EXPECT_EQ(MessageOf([&] { LoadTiff(source, target, &recorder); }),
            messages::kInvalidStreamFormat);
  EXPECT_EQ(target.Width(), 2);
  EXPECT_EQ(target.Format(), RasterFormat::Device);
  // The rows of the bands before it were handed on, and then given up.
  EXPECT_EQ(recorder.order.size(), 64u);
  EXPECT_EQ(recorder.abandons, 1);
}

// A source that fails to give the bytes around one offset, as a file
// shortened or unreadable while it is read.
class FailingSource : public MemorySource {
 public:
  FailingSource(std::span<const std::uint8_t> bytes, std::uint64_t badOffset)
      : MemorySource(bytes), badOffset_(badOffset) {}
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
    if (offset <= badOffset_ && badOffset_ < offset + count) {
      throw Error(std::string(messages::kReadError));
    }
    return MemorySource::ReadAt(offset, buffer, count);
  }
  ByteBlock ReadRest(std::size_t) override { throw Error(std::string(messages::kReadError)); }

 private:
  std::uint64_t badOffset_;
};

// Compressed files are read in pieces as libtiff asks for them, uncompressed
// ones held whole: both start where the source stands, and a read that fails
// on the way gives the read error, not the format message.
TEST(TiffBands, ReadsFromTheSourcesPositionAndReportsItsReadErrors) {
  for (const std::uint16_t compression :
       {std::uint16_t{COMPRESSION_LZW}, std::uint16_t{COMPRESSION_NONE}}) {
    SCOPED_TRACE(compression);
    const std::vector<std::uint8_t> data = testing::TiffBytes(
        With(Recipe(30, 100, 8), [&](TiffRecipe& r) { r.compression = compression; }));
    std::vector<std::uint8_t> prefixed(5, 0xFF);
    prefixed.insert(prefixed.end(), data.begin(), data.end());
    MemorySource prefixedSource(prefixed);
    prefixedSource.Skip(5);
    Raster fromPrefixed;
    LoadTiff(prefixedSource, fromPrefixed);
    ExpectSameImage(fromPrefixed, DecodeTiff(data, TiffReadOrder::WholeImage));

    FailingSource failing(data, data.size() / 2);
    RowRecorder recorder;
    Raster target;
    target.SetSize(2, 1);
    EXPECT_EQ(MessageOf([&] { LoadTiff(failing, target, &recorder); }), messages::kReadError);
    EXPECT_EQ(target.Width(), 2);
  }
}

// Where the values of `tag` stand in a little-endian TIFF's first directory.
std::uint64_t TagValuesAt(const std::vector<std::uint8_t>& data, std::uint16_t tag) {
  const auto u16 = [&](std::size_t at) { return std::uint32_t{data[at]} | data[at + 1] << 8; };
  const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
  const std::size_t directory = u32(4);
  for (std::uint32_t entry = 0; entry < u16(directory); ++entry) {
    const std::size_t at = directory + 2 + 12 * entry;
    if (u16(at) == tag) return u32(at + 8);
  }
  ADD_FAILURE() << "no tag " << tag;
  return 0;
}

// libtiff reads a palette file whose colour map it cannot read as a grey
// one; the failed read is still the read error, as when the file was held
// whole, and no grey image comes out.
TEST(TiffBands, AReadErrorLibtiffWouldGetOverIsStillTheReadError) {
  const std::vector<std::uint8_t> data = testing::TiffBytes(
      With(Recipe(30, 100, 8), [](TiffRecipe& r) { r.photometric = PHOTOMETRIC_PALETTE; }));
  ASSERT_EQ(data[0], 'I');
  FailingSource failing(data, TagValuesAt(data, TIFFTAG_COLORMAP));
  Raster target;
  EXPECT_EQ(MessageOf([&] { LoadTiff(failing, target); }), messages::kReadError);
  EXPECT_TRUE(target.Empty());
}

TEST(TiffBands, GiveTheWholeImageReadsPixelsForEverySuiteFile) {
  const auto dir = testing::TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "peer suites absent";
  int banded = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "tiff")) {
    const std::string name = entry.path().filename().string();
    if (name.find(".tif") == std::string::npos) continue;
    SCOPED_TRACE(name);
    if (ExpectBandsMatchWholeImage(ReadFile(entry.path().string()))) ++banded;
  }
  EXPECT_GT(banded, 5);
}

}  // namespace
}  // namespace tolvane
