// Files of several scans: counting them, and handing out rows while the last
// one is read.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "formats/jpeg/jpeg_image.h"
#include "formats/jpeg/jpeg_scans.h"
#include "support/block_cache.h"
#include "tests/formats/jpeg/jpeg_fixtures.h"
#include "tests/support/test_support.h"

namespace tolvane {
namespace {

using testing::CutInScan;
using testing::ExpectEveryRowReportedFinal;
using testing::ExpectSamePixels;
using testing::JpegRecipe;
using testing::JpegScan;
using testing::MakeJpeg;
using testing::RowRecorder;

// Busy colours, so that every coefficient band carries something.
JpegRecipe Busy(int components) {
  JpegRecipe recipe;
  recipe.width = 97;
  recipe.height = 70;
  recipe.components = components;
  recipe.quality = 90;
  recipe.pixel = [components](int x, int y, std::uint8_t* out) {
    for (int c = 0; c < components; ++c) {
      out[c] =
          static_cast<std::uint8_t>((x * (7 + c) + y * (13 - c) + ((x * y) >> (c + 1))) & 0xFF);
    }
  };
  return recipe;
}

struct MultiScanCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
};

std::vector<MultiScanCase> MultiScanFiles() {
  JpegRecipe progressive = Busy(3);
  progressive.progressive = true;
  JpegRecipe dcLast = Busy(3);
  dcLast.scans = {{{0, 1, 2}, 0, 0, 0, 1},
                  {{0}, 1, 63, 0, 0},
                  {{1}, 1, 63, 0, 0},
                  {{2}, 1, 63, 0, 0},
                  {{0, 1, 2}, 0, 0, 1, 0}};
  // Bits never sent: libjpeg smooths the blocks.
  JpegRecipe unrefined = Busy(3);
  unrefined.scans = {
      {{0, 1, 2}, 0, 0, 0, 0}, {{0}, 1, 5, 0, 2}, {{1}, 1, 63, 0, 1}, {{2}, 1, 63, 0, 1}};
  JpegRecipe perComponent = Busy(3);
  perComponent.scans = {{{0}}, {{1}}, {{2}}};
  JpegRecipe cmyk = Busy(4);
  cmyk.progressive = true;
  JpegRecipe restarts = progressive;
  restarts.restartRows = 1;
  const std::vector<std::uint8_t> whole = MakeJpeg(progressive);
  const int scans = CountJpegScans(whole);
  return {{"progressive", whole},
          {"last scan refines DC", MakeJpeg(dcLast)},
          {"coefficients never refined", MakeJpeg(unrefined)},
          {"one sequential scan per component", MakeJpeg(perComponent)},
          {"progressive CMYK", MakeJpeg(cmyk)},
          {"restart markers", MakeJpeg(restarts)},
          {"cut in the last scan", CutInScan(whole, scans)},
          {"cut in an earlier scan", CutInScan(whole, scans / 2)}};
}

TEST(JpegMultiScan, RowsReportedWhileTheLastScanIsReadAreTheWholeDecodes) {
  for (const MultiScanCase& c : MultiScanFiles()) {
    SCOPED_TRACE(c.name);
    const Raster plain = DecodeJpeg(c.bytes, false, nullptr);
    RowRecorder recorder;
    const Raster reported = DecodeJpeg(c.bytes, false, &recorder);
    ExpectSamePixels(reported, plain);
    ExpectEveryRowReportedFinal(recorder, plain);
  }
}

TEST(JpegMultiScan, AWrongForecastOfTheScansStillGivesTheWholeDecode) {
  JpegRecipe recipe = Busy(3);
  recipe.progressive = true;
  const std::vector<std::uint8_t> bytes = MakeJpeg(recipe);
  const int scans = CountJpegScans(bytes);
  const Raster plain = DecodeJpeg(bytes, false, nullptr, scans);
  struct Forecast {
    int scans;
    int abandoned;  // rows handed out too early are withdrawn
  };
  for (const Forecast forecast : {Forecast{1, 1}, Forecast{scans / 2, 1}, Forecast{scans - 1, 1},
                                  Forecast{scans, 0}, Forecast{scans + 1, 0}, Forecast{1000, 0}}) {
    SCOPED_TRACE(forecast.scans);
    RowRecorder recorder;
    ExpectSamePixels(DecodeJpeg(bytes, false, &recorder, forecast.scans), plain);
    // ...and the rows come again, from the whole decode.
    ExpectEveryRowReportedFinal(recorder, plain, forecast.abandoned);
  }
}

// The whole-image coefficients are given back behind the last output pass
// as it goes, in whole huge pages: an image large enough to have many. While
// freed blocks are kept nothing is given back, which makes the reference.
TEST(JpegMultiScan, CoefficientsGivenBackBehindTheOutputAreNeverNeededAgain) {
  JpegRecipe recipe = Busy(3);
  recipe.width = 1601;
  recipe.height = 1203;
  recipe.progressive = true;
  const std::vector<std::uint8_t> bytes = MakeJpeg(recipe);
  const int scans = CountJpegScans(bytes);
  Raster kept;
  {
    const KeepFreedBlocks keep;
    kept = DecodeJpeg(bytes, false, nullptr);
  }
  ExpectSamePixels(DecodeJpeg(bytes, false, nullptr), kept);
  RowRecorder recorder;
  ExpectSamePixels(DecodeJpeg(bytes, false, &recorder, scans), kept);
  ExpectEveryRowReportedFinal(recorder, kept);
  // A scan after the forecast last one: decoded again from the start.
  RowRecorder early;
  ExpectSamePixels(DecodeJpeg(bytes, false, &early, scans - 1), kept);
  ExpectEveryRowReportedFinal(early, kept, 1);
}

TEST(JpegMultiScan, CountsTheScansOfAFile) {
  JpegRecipe baseline = Busy(3);
  JpegRecipe progressive = Busy(3);
  progressive.progressive = true;
  JpegRecipe grey = Busy(1);
  grey.progressive = true;
  JpegRecipe restarts = Busy(3);
  restarts.restartRows = 1;
  const std::vector<std::uint8_t> whole = MakeJpeg(progressive);
  std::vector<std::uint8_t> overlong = MakeJpeg(baseline);
  overlong.resize(overlong.size() - 2);  // no end marker: a comment runs past the end instead
  overlong.insert(overlong.end(), {0xFF, 0xFE, 0x40, 0x00, 'x'});
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    int scans;
  };
  const Case cases[] = {
      {"baseline", MakeJpeg(baseline), 1},
      {"baseline with restart markers", MakeJpeg(restarts), 1},
      {"progressive colour", whole, 10},
      {"progressive grey", MakeJpeg(grey), 6},
      {"cut in the fourth scan", CutInScan(whole, 4), 4},
      {"a segment longer than the file", overlong, 1},
      {"no start of image", {0x89, 'P', 'N', 'G'}, 0},
      {"empty", {}, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(CountJpegScans(c.bytes), c.scans) << c.name;
}

}  // namespace
}  // namespace tolvane
