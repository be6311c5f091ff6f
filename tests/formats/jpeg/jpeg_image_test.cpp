#include "formats/jpeg/jpeg_image.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "formats/jpeg/jpeg_errors.h"
#include "support/error.h"
#include "support/memory_budget.h"
#include "support/messages.h"
#include "tests/formats/jpeg/jpeg_fixtures.h"
#include "tests/support/test_support.h"

namespace tolvane {
namespace {

using testing::MessageOf;

using testing::CutInScan;
using testing::JpegHeaderSpec;
using testing::JpegRecipe;
using testing::MakeJpeg;
using testing::MakeJpegHeader;
using testing::TempDir;
using testing::WriteFile;

struct Loaded {
  TempDir dir;
  JpegImage image;
};

// Loads the bytes of a whole file, from memory.
void LoadBytes(JpegImage& image, const std::vector<std::uint8_t>& bytes) {
  MemorySource source(bytes);
  image.LoadJpeg(source);
}

Raster Decode(const std::vector<std::uint8_t>& bytes, bool paletteMode = false) {
  JpegImage image(paletteMode);
  LoadBytes(image, bytes);
  Raster raster;
  image.ToRaster(raster);
  return raster;
}

struct Bgr {
  int blue, green, red;
};

Bgr PixelAt(const Raster& raster, int x, int y) {
  std::vector<std::uint8_t> line(4 * static_cast<std::size_t>(raster.Width()));
  ReadRowBgrx(raster, y, line.data());
  return {line[4 * x], line[4 * x + 1], line[4 * x + 2]};
}

void ExpectNear(Bgr actual, Bgr expected, int tolerance, const std::string& where) {
  EXPECT_NEAR(actual.blue, expected.blue, tolerance) << where;
  EXPECT_NEAR(actual.green, expected.green, tolerance) << where;
  EXPECT_NEAR(actual.red, expected.red, tolerance) << where;
}

JpegRecipe Flat(int components, std::vector<std::uint8_t> samples, int size = 16) {
  JpegRecipe recipe;
  recipe.width = recipe.height = size;
  recipe.components = components;
  recipe.pixel = [samples](int, int, std::uint8_t* out) {
    for (std::size_t i = 0; i < samples.size(); ++i) out[i] = samples[i];
  };
  return recipe;
}

// A small picture: red top half, blue bottom half, a green square in the middle.
JpegRecipe Picture(int width = 64, int height = 48) {
  JpegRecipe recipe;
  recipe.width = width;
  recipe.height = height;
  recipe.pixel = [width, height](int x, int y, std::uint8_t* out) {
    const bool square =
        x >= width / 4 && x < 3 * width / 4 && y >= height / 4 && y < 3 * height / 4;
    out[0] = square ? 0 : (y < height / 2 ? 255 : 0);
    out[1] = square ? 255 : 0;
    out[2] = square ? 0 : (y < height / 2 ? 0 : 255);
  };
  return recipe;
}

TEST(JpegImage, ReportsTheHeaderSizeBeforeDecodingAndDecodesColourToBits24) {
  TempDir dir;
  JpegImage image;
  LoadBytes(image, MakeJpeg(Picture(4000, 3000)));
  EXPECT_EQ(image.Width(), 4000);
  EXPECT_EQ(image.Height(), 3000);

  Raster raster;
  image.ToRaster(raster);
  EXPECT_EQ(raster.Format(), RasterFormat::Bits24);
  EXPECT_EQ(raster.Width(), 4000);
  EXPECT_EQ(raster.Height(), 3000);
  EXPECT_EQ(raster.GetRowOrder(), RowOrder::BottomUp);
  EXPECT_EQ(raster.Alpha(), AlphaMode::None);
  EXPECT_FALSE(raster.Transparent());
  ExpectNear(PixelAt(raster, 10, 10), {0, 0, 255}, 2, "top is red");
  ExpectNear(PixelAt(raster, 10, 2990), {255, 0, 0}, 2, "bottom is blue");
  ExpectNear(PixelAt(raster, 2000, 1500), {0, 255, 0}, 2, "middle is green");
}

TEST(JpegImage, MatchesTheReferenceDecodeOfTheBaselineAndProgressiveSuiteImages) {
  const auto dir = testing::TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "peer suites absent";
  // testorig.ppm is libjpeg's own decode of testorig.jpg with its integer
  // transform; the floating-point one differs by a level or two, and the
  // progressive copy of the picture a little more.
  const std::vector<std::uint8_t> ppm = testing::ReadFile((dir / "jpeg" / "testorig.ppm").string());
  std::size_t offset = 0;
  int fields[3] = {};
  offset = 2;  // past "P6"
  for (int& field : fields) {
    while (ppm[offset] < '0' || ppm[offset] > '9') ++offset;
    while (ppm[offset] >= '0' && ppm[offset] <= '9') field = field * 10 + (ppm[offset++] - '0');
  }
  offset =
      ppm.size() - static_cast<std::size_t>(fields[0]) * static_cast<std::size_t>(fields[1]) * 3;
  for (const char* name : {"testorig.jpg", "testimgint.jpg"}) {
    const Raster raster = Decode(testing::ReadFile((dir / "jpeg" / name).string()));
    ASSERT_EQ(raster.Width(), fields[0]) << name;
    ASSERT_EQ(raster.Height(), fields[1]) << name;
    int worst = 0;
    long total = 0;
    for (int y = 0; y < raster.Height(); ++y) {
      const auto row = raster.Row(y);
      for (int x = 0; x < raster.Width() * 3; x += 3) {
        const std::size_t at = offset + (static_cast<std::size_t>(y) * raster.Width() * 3 + x);
        for (int c = 0; c < 3; ++c) {
          const int difference = std::abs(row[x + c] - ppm[at + 2 - c]);
          worst = std::max(worst, difference);
          total += difference;
        }
      }
    }
    EXPECT_LT(static_cast<double>(total) / (raster.Width() * raster.Height() * 3), 1.0) << name;
    if (std::string(name) == "testorig.jpg") {
      EXPECT_LE(worst, 8) << name;
    }
  }
}

TEST(JpegImage, GreyscaleBecomesBits8WithThe236LevelGreyPalette) {
  const Raster raster = Decode(MakeJpeg(Flat(1, {128}, 32)));
  ASSERT_EQ(raster.Format(), RasterFormat::Bits8);
  ASSERT_EQ(raster.Palette().size(), 236u);
  for (int j = 0; j < 236; ++j) {
    const auto value = static_cast<std::uint8_t>((255 * j + 117) / 235);
    EXPECT_EQ(raster.Palette()[j], (PaletteEntry{value, value, value, 0})) << j;
  }
  // libjpeg's quantiser puts 128 on the level below (127, index 117); its
  // dithering carries the difference on, so a flat area settles on index 118
  // (128) after the first row, with a stray 117 now and then.
  std::map<int, int> counts;
  for (int y = 0; y < raster.Height(); ++y) {
    for (int x = 0; x < raster.Width(); ++x) ++counts[raster.Row(y)[x]];
  }
  EXPECT_EQ(counts.size(), 2u);
  EXPECT_GT(counts[118], 32 * 32 * 8 / 10);
  EXPECT_EQ(counts[117] + counts[118], 32 * 32);
}

TEST(JpegImage, GreyWithoutAPaletteEntryIsDitheredBetweenItsNeighbours) {
  const Raster raster = Decode(MakeJpeg(Flat(1, {6}, 32)));
  std::set<int> indices;
  for (int y = 0; y < raster.Height(); ++y) {
    for (int x = 0; x < raster.Width(); ++x) indices.insert(raster.Row(y)[x]);
  }
  EXPECT_EQ(indices, (std::set<int>{5, 6}));
}

TEST(JpegImage, AdobeRgbShowsTheSameColoursAsYcbcr) {
  JpegRecipe rgb = Picture();
  rgb.storeAsRgb = true;
  const Raster fromRgb = Decode(MakeJpeg(rgb));
  const Raster fromYcc = Decode(MakeJpeg(Picture()));
  ASSERT_EQ(fromRgb.Format(), RasterFormat::Bits24);
  ExpectNear(PixelAt(fromRgb, 5, 5), {0, 0, 255}, 1, "red stays red");
  ExpectNear(PixelAt(fromRgb, 5, 5), PixelAt(fromYcc, 5, 5), 3, "as from YCbCr");
  ExpectNear(PixelAt(fromRgb, 5, 40), PixelAt(fromYcc, 5, 40), 3, "as from YCbCr");
}

TEST(JpegImage, CmykAndYcckBecomeBits32ReadTheAdobeWay) {
  struct Case {
    std::vector<std::uint8_t> cmyk;
    Bgr expected;
  };
  const Case cases[] = {
      {{255, 255, 255, 255}, {255, 255, 255}},  // no ink: white
      {{255, 255, 255, 0}, {0, 0, 0}},          // K = 0: black
      {{0, 255, 255, 255}, {255, 255, 0}},      // C = 0: cyan
      {{200, 100, 50, 128}, {25, 50, 100}},     // c x k div 255, truncated
  };
  for (bool ycck : {false, true}) {
    for (const Case& c : cases) {
      JpegRecipe recipe = Flat(4, c.cmyk);
      recipe.storeAsYcck = ycck;
      const Raster raster = Decode(MakeJpeg(recipe));
      ASSERT_EQ(raster.Format(), RasterFormat::Bits32);
      EXPECT_EQ(raster.Alpha(), AlphaMode::None);
      const std::string where = std::string(ycck ? "YCCK " : "CMYK ") + std::to_string(c.cmyk[0]) +
                                "," + std::to_string(c.cmyk[3]);
      ExpectNear(PixelAt(raster, 7, 7), c.expected, ycck ? 2 : 0, where);
      for (int y = 0; y < raster.Height(); ++y) {
        for (int x = 0; x < raster.Width(); ++x) ASSERT_EQ(raster.Row(y)[4 * x + 3], 255) << where;
      }
    }
  }
}

TEST(JpegImage, ProgressiveDecodesAllItsScans) {
  JpegRecipe progressive = Picture();
  progressive.progressive = true;
  progressive.quality = 90;
  JpegRecipe baseline = Picture();
  baseline.quality = 90;
  const Raster a = Decode(MakeJpeg(progressive));
  const Raster b = Decode(MakeJpeg(baseline));
  ASSERT_EQ(a.Format(), RasterFormat::Bits24);
  for (int y = 0; y < a.Height(); y += 7) {
    for (int x = 0; x < a.Width(); x += 7) ExpectNear(PixelAt(a, x, y), PixelAt(b, x, y), 2, "");
  }
}

TEST(JpegImage, ACutOffScanDecodesWithoutErrorAndASequentialOneEndsMidGrey) {
  JpegRecipe recipe = Picture(64, 64);
  recipe.quality = 90;
  // Cut halfway through the entropy-coded data of the longest scan.
  const std::vector<std::uint8_t> cut = CutInScan(MakeJpeg(recipe), 0);
  const Raster raster = Decode(cut);
  ASSERT_EQ(raster.Height(), 64);
  ExpectNear(PixelAt(raster, 3, 3), {0, 0, 255}, 3, "the part that arrived");
  for (int x = 0; x < 64; ++x) {
    ExpectNear(PixelAt(raster, x, 63), {128, 128, 128}, 0, "the missing part");
  }

  recipe.progressive = true;
  const Raster partial = Decode(CutInScan(MakeJpeg(recipe), 0));
  EXPECT_EQ(partial.Width(), 64);
}

TEST(JpegImage, PaletteModeQuantisesToAtMost236Colours) {
  JpegRecipe photo;
  photo.width = 96;
  photo.height = 64;
  photo.quality = 85;
  photo.pixel = [](int x, int y, std::uint8_t* out) {
    out[0] = static_cast<std::uint8_t>(x * 2);
    out[1] = static_cast<std::uint8_t>(y * 3);
    out[2] = static_cast<std::uint8_t>((x + y) % 256);
  };
  const Raster colour = Decode(MakeJpeg(photo), true);
  ASSERT_EQ(colour.Format(), RasterFormat::Bits8);
  EXPECT_GT(colour.Palette().size(), 16u);
  EXPECT_LE(colour.Palette().size(), 236u);

  // A CMYK file's map holds inks; its entries are converted like pixels.
  const Raster cmyk = Decode(MakeJpeg(Flat(4, {255, 255, 255, 255})), true);
  ASSERT_EQ(cmyk.Format(), RasterFormat::Bits8);
  ExpectNear(PixelAt(cmyk, 4, 4), {255, 255, 255}, 0, "white");
}

TEST(JpegImage, AnEmptyFileLoadsAsZeroByZeroAndFailsWithCode42WhenDecoded) {
  TempDir dir;
  JpegImage image;
  LoadBytes(image, {});
  EXPECT_EQ(image.Width(), 0);
  EXPECT_EQ(image.Height(), 0);
  Raster target;
  target.SetSize(3, 2);
  EXPECT_EQ(MessageOf([&] { image.ToRaster(target); }), "JPEG エラー #42");
  EXPECT_EQ(target.Width(), 3);
}

TEST(JpegImage, LoadingFailsWithTheSixBCodeOfTheFault) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    int code;
  };
  auto header = [](auto change) {
    JpegHeaderSpec recipe;
    change(recipe);
    return MakeJpegHeader(recipe);
  };
  const std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13};
  const Case cases[] = {
      {"not a JPEG (a PNG)", png, 53},
      {"only the start of image", {0xFF, 0xD8}, 51},
      {"frame header, no scan", header([](JpegHeaderSpec& s) { s.withScan = false; }), 59},
      {"12-bit samples", header([](JpegHeaderSpec& s) { s.precision = 12; }), 15},
      {"sampling factor 5", header([](JpegHeaderSpec& s) { s.sampling = 0x51; }), 18},
      {"eleven components", header([](JpegHeaderSpec& s) { s.components = 11; }), 26},
      {"wider than 65500", header([](JpegHeaderSpec& s) { s.width = 65501; }), 41},
      {"higher than 65500", header([](JpegHeaderSpec& s) { s.height = 65501; }), 41},
      {"lossless (SOF3)", header([](JpegHeaderSpec& s) { s.frameMarker = 0xC3; }), 60},
      {"hierarchical (SOF5)", header([](JpegHeaderSpec& s) { s.frameMarker = 0xC5; }), 60},
      {"reserved (C8)", header([](JpegHeaderSpec& s) { s.frameMarker = 0xC8; }), 60},
      {"arithmetic lossless (SOF11)", header([](JpegHeaderSpec& s) { s.frameMarker = 0xCB; }), 60},
  };
  for (const Case& c : cases) {
    TempDir dir;
    JpegImage image;
    EXPECT_EQ(MessageOf([&] { LoadBytes(image, c.bytes); }), messages::JpegError(c.code)) << c.what;
  }
}

TEST(JpegImage, FilesLibjpegWouldPassThroughUnconvertedAreRefusedWhenDecoded) {
  for (int components : {2, 5, 10}) {
    JpegHeaderSpec recipe;
    recipe.components = components;
    TempDir dir;
    JpegImage image;
    LoadBytes(image, MakeJpegHeader(recipe));
    EXPECT_EQ(image.Width(), 8);
    Raster target;
    EXPECT_EQ(MessageOf([&] { image.ToRaster(target); }), "JPEG エラー #27") << components;
  }
}

TEST(JpegImage, SuiteFilesOfUnsupportedKindsFailWithTheirCodes) {
  const auto dir = testing::TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "peer suites absent";
  JpegImage twelveBit;
  EXPECT_EQ(MessageOf([&] { twelveBit.LoadJpeg((dir / "jpeg" / "monkey12.jpg").string()); }),
            "JPEG エラー #15");

  // libjpeg-turbo could decode it; the program refuses as 6b did.
  JpegImage arithmetic;
  arithmetic.LoadJpeg((dir / "jpeg" / "testimgari.jpg").string());
  EXPECT_EQ(arithmetic.Width(), 227);
  EXPECT_EQ(arithmetic.Height(), 149);
  Raster target;
  EXPECT_EQ(MessageOf([&] { arithmetic.ToRaster(target); }), "JPEG エラー #1");
}

// A frame header claiming 65500 x 65500 in front of a few bytes of data: the
// pixels are legally there (a sequential image decodes as grey from the cut
// on), but they take far more than the budget, and the decode fails before
// any of it is reserved. A progressive frame fails in libjpeg's coefficient
// buffer, a sequential one in the raster's store.
TEST(JpegImage, AHostileSizeInTheFrameHeaderFailsWithinTheMemoryBudget) {
  const ScopedMemoryBudget budget(std::uint64_t{1} << 30);
  for (const bool progressive : {true, false}) {
    SCOPED_TRACE(progressive ? "progressive" : "sequential");
    JpegRecipe recipe = Flat(3, {10, 20, 30});
    recipe.progressive = progressive;
    std::vector<std::uint8_t> bytes = MakeJpeg(recipe);
    for (std::size_t i = 0; i + 8 < bytes.size(); ++i) {
      if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC2 || bytes[i + 1] == 0xC0)) {
        bytes[i + 5] = bytes[i + 7] = 0xFF;
        bytes[i + 6] = bytes[i + 8] = 0xDC;
        break;
      }
    }
    TempDir dir;
    JpegImage image;
    LoadBytes(image, bytes);
    ASSERT_EQ(image.Width(), 65500);
    Raster target;
    EXPECT_EQ(MessageOf([&] { image.ToRaster(target); }),
              progressive ? messages::kOutOfMemory : messages::kSystemResourcesLow);
    EXPECT_TRUE(target.Empty());
  }
}

TEST(JpegImage, ErrorCodesAreNumberedAsInRelease6b) {
  EXPECT_EQ(SixBMessageCode(JERR_ARITH_NOTIMPL), 1);
  EXPECT_EQ(SixBMessageCode(JERR_BAD_PRECISION), 15);
  EXPECT_EQ(SixBMessageCode(JERR_BAD_SAMPLING), 18);
  EXPECT_EQ(SixBMessageCode(JERR_COMPONENT_COUNT), 26);
  EXPECT_EQ(SixBMessageCode(JERR_CONVERSION_NOTIMPL), 27);
  EXPECT_EQ(SixBMessageCode(JERR_IMAGE_TOO_BIG), 41);
  EXPECT_EQ(SixBMessageCode(JERR_INPUT_EMPTY), 42);
  EXPECT_EQ(SixBMessageCode(JERR_NO_IMAGE), 51);
  EXPECT_EQ(SixBMessageCode(JERR_NO_SOI), 53);
  EXPECT_EQ(SixBMessageCode(JERR_SOF_NO_SOS), 59);
  EXPECT_EQ(SixBMessageCode(JERR_SOF_UNSUPPORTED), 60);
  EXPECT_EQ(SixBMessageCode(JWRN_JPEG_EOF), 120);
  EXPECT_EQ(SixBMessageCode(JWRN_TOO_MUCH_DATA), 123);
}

}  // namespace
}  // namespace tolvane
