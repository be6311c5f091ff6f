#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "formats/png/png_header.h"
#include "support/error.h"
#include "support/memory_budget.h"
#include "support/messages.h"
#include "tests/formats/png/png_fixture.h"

namespace tolvane::testing {
namespace {

using Mode = PngImage::Transparency;

Bytes Be16(unsigned value) {
  return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}
Bytes Be32(std::uint32_t value) {
  Bytes out;
  PutBe32(out, value);
  return out;
}

Raster RasterOf(const PngImage& image) {
  Raster raster;
  image.ToRaster(raster);
  return raster;
}

TEST(PngDecode, RgbaPixelIsPremultipliedIntoADefinedRaster) {
  TempDir dir;
  const auto image = LoadFromBytes(SimplePng(2, 1, 8, 6, {{255, 0, 0, 128, 10, 20, 30, 0}}));
  EXPECT_EQ(image.TransparencyMode(), Mode::Partial);
  const Raster raster = RasterOf(image);
  EXPECT_EQ(raster.Format(), RasterFormat::Bits32);
  EXPECT_EQ(raster.Alpha(), AlphaMode::Defined);
  EXPECT_EQ(PixelAt(raster, 0, 0), (Bgra{0, 0, 128, 128}));
  EXPECT_EQ(PixelAt(raster, 1, 0), (Bgra{0, 0, 0, 0}));
}

TEST(PngDecode, GrayAlphaKeepsItsGrayWhateverTheGamma) {
  TempDir dir;
  const auto image = LoadFromBytes(SimplePng(1, 1, 8, 4, {{200, 255}}, {{"gAMA", Be32(100000)}}));
  EXPECT_EQ(PixelAt(RasterOf(image), 0, 0), (Bgra{200, 200, 200, 255}));
}

TEST(PngDecode, PaletteTransparencyPicksKeyOrPartial) {
  TempDir dir;
  const Bytes plte = {10, 20, 30, 40, 50, 60, 70, 80, 90};
  const std::vector<Bytes> rows = {{0, 1, 2}};
  {
    // Every tRNS byte 255: partial, fully opaque.
    const auto image =
        LoadFromBytes(SimplePng(3, 1, 8, 3, rows, {{"PLTE", plte}, {"tRNS", {255, 255}}}));
    EXPECT_EQ(image.TransparencyMode(), Mode::Partial);
    const Raster raster = RasterOf(image);
    EXPECT_EQ(raster.Format(), RasterFormat::Bits32);
    EXPECT_EQ(raster.Alpha(), AlphaMode::Defined);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(PixelAt(raster, x, 0).fourth, 255);
    // (a x s + (255 - a) x d + 255) div 256 over black
    EXPECT_EQ(PixelAt(raster, 1, 0),
              (Bgra{(255 * 60 + 255) / 256, (255 * 50 + 255) / 256, (255 * 40 + 255) / 256, 255}));
  }
  {
    // One byte below 255: key mode, colours unchanged, key = the entry whose value is 0.
    const auto image =
        LoadFromBytes(SimplePng(3, 1, 8, 3, rows, {{"PLTE", plte}, {"tRNS", {255, 0}}}));
    EXPECT_EQ(image.TransparencyMode(), Mode::Key);
    const Raster raster = RasterOf(image);
    EXPECT_EQ(raster.Format(), RasterFormat::Bits8);
    EXPECT_TRUE(raster.Transparent());
    EXPECT_EQ(raster.TransparentColor(), (Rgb{40, 50, 60}));
    EXPECT_EQ(PixelAt(raster, 1, 0), (Bgra{60, 50, 40, 0}));
  }
  {
    // One byte below 255 but none 0: the key is black.
    const auto image =
        LoadFromBytes(SimplePng(3, 1, 8, 3, rows, {{"PLTE", plte}, {"tRNS", {255, 9}}}));
    EXPECT_EQ(RasterOf(image).TransparentColor(), (Rgb{0, 0, 0}));
  }
}

TEST(PngDecode, GammaTables) {
  struct Case {
    const char* name;
    Bytes gama;
    Bytes expected;  // samples 0, 1, 128, 254, 255
  };
  const Case cases[] = {
      {"45455", Be32(45455), {0, 1, 128, 254, 255}},
      {"100000", Be32(100000), {0, 21, 186, 255, 255}},
      {"zero", Be32(0), {0, 1, 128, 254, 255}},
      {"length not 4", {0, 1, 0x86, 0xA0, 0}, {0, 0, 0, 0, 255}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes row = {0, 0, 0, 1, 1, 1, 128, 128, 128, 254, 254, 254, 255, 255, 255};
    const Raster raster = RasterOf(LoadFromBytes(SimplePng(5, 1, 8, 2, {row}, {{"gAMA", c.gama}})));
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(PixelAt(raster, x, 0).red, c.expected[static_cast<std::size_t>(x)]) << "x " << x;
    }
  }
}

TEST(PngDecode, SixteenBitSamplesKeepTheirHighBytes) {
  TempDir dir;
  const auto image = LoadFromBytes(SimplePng(1, 1, 16, 2, {{0x12, 0xFF, 0x34, 0x00, 0x56, 0xAA}}));
  const Raster raster = RasterOf(image);
  EXPECT_EQ(raster.Format(), RasterFormat::Bits24);
  EXPECT_EQ(PixelAt(raster, 0, 0), (Bgra{0x56, 0x34, 0x12, 0}));
}

TEST(PngDecode, TwoBitGrayShowsFourLevelsInterlacedOrNot) {
  TempDir dir;
  for (int interlace : {0, 1}) {
    SCOPED_TRACE(interlace);
    // Four pixels 0, 1, 2, 3; Adam7 puts column 0 in pass 1, 2 in pass 4, 1 and 3 in pass 6.
    const Bytes data =
        interlace == 0 ? ScanLines({{0x1B}}) : ScanLines({{0x00}, {0x80}, {0x70}});  // 0 | 2 | 1,3
    const auto image =
        LoadFromBytes(PngBuilder().Header(4, 1, 2, 0, interlace).Idat(Deflate(data)).End().Build());
    const Raster raster = RasterOf(image);
    EXPECT_EQ(raster.Format(), RasterFormat::Bits4);
    EXPECT_EQ(image.InterlaceMethod(), interlace);
    const std::uint8_t levels[] = {0, 85, 170, 255};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(PixelAt(raster, x, 0).green, levels[x]) << "x " << x;
  }
}

TEST(PngDecode, LowDepthsKeepTheirPalettes) {
  TempDir dir;
  const Raster gray = RasterOf(LoadFromBytes(SimplePng(3, 1, 1, 0, {{0x40}})));
  EXPECT_EQ(gray.Format(), RasterFormat::Bits1);
  ASSERT_EQ(gray.Palette().size(), 2u);
  EXPECT_EQ(gray.Palette()[0], (PaletteEntry{0, 0, 0, 0}));
  EXPECT_EQ(gray.Palette()[1], (PaletteEntry{255, 255, 255, 0}));
  EXPECT_EQ(PixelAt(gray, 1, 0).red, 255);

  const Raster palette =
      RasterOf(LoadFromBytes(SimplePng(2, 1, 4, 3, {{0x10}}, {{"PLTE", {1, 2, 3, 4, 5, 6}}})));
  EXPECT_EQ(palette.Format(), RasterFormat::Bits4);
  EXPECT_EQ(palette.Palette().size(), 2u);
  EXPECT_EQ(PixelAt(palette, 0, 0), (Bgra{6, 5, 4, 0}));
  EXPECT_EQ(PixelAt(palette, 1, 0), (Bgra{3, 2, 1, 0}));

  // Eight-bit gray becomes gray colour pixels through its gamma ramp.
  const Raster wide =
      RasterOf(LoadFromBytes(SimplePng(1, 1, 8, 0, {{128}}, {{"gAMA", Be32(100000)}})));
  EXPECT_EQ(wide.Format(), RasterFormat::Bits24);
  EXPECT_EQ(PixelAt(wide, 0, 0), (Bgra{186, 186, 186, 0}));
}

TEST(PngDecode, GrayAndRgbKeys) {
  TempDir dir;
  const auto gray = LoadFromBytes(SimplePng(2, 1, 8, 0, {{7, 9}}, {{"tRNS", Be16(0x0109)}}));
  EXPECT_EQ(gray.TransparencyMode(), Mode::Key);
  EXPECT_EQ(RasterOf(gray).TransparentColor(), (Rgb{9, 9, 9}));  // the low byte

  const auto rgb = LoadFromBytes(SimplePng(
      1, 1, 8, 2, {{1, 2, 3}}, {{"gAMA", Be32(100000)}, {"tRNS", {0, 1, 0, 128, 0, 254}}}));
  EXPECT_EQ(RasterOf(rgb).TransparentColor(), (Rgb{21, 186, 255}));  // through the gamma table
  // A copy keys the same colour as the object it was copied from.
  const PngImage copy = rgb;
  EXPECT_EQ(RasterOf(copy).TransparentColor(), (Rgb{21, 186, 255}));
}

TEST(PngDecode, ChunkRules) {
  TempDir dir;
  const Bytes idat = Deflate(ScanLines({{5}}));
  const auto base = [] { return PngBuilder().Header(1, 1, 8, 0); };
  struct Case {
    const char* name;
    Bytes file;
    std::string expected;
  };
  const Case cases[] = {
      {"cHRM with a wrong CRC is skipped",
       base().ChunkWithBadCrc("cHRM", Bytes(32, 1)).Idat(idat).End().Build(), ""},
      {"unknown ancillary chunk with a wrong CRC",
       base().ChunkWithBadCrc("prIv", {1}).Idat(idat).End().Build(),
       std::string(messages::kPngCrcError)},
      {"unknown critical chunk", base().Chunk("PRIV", {1}).Idat(idat).End().Build(),
       std::string(messages::kPngUnknownCriticalChunk)},
      {"bytes after IEND", base().Idat(idat).End().Raw({1, 2, 3, 4, 5, 6, 7, 8, 9}).Build(), ""},
      {"no IEND", base().Idat(idat).Build(), std::string(messages::kPngUnexpectedEnd)},
      {"later IDAT after another chunk is skipped",
       base().Idat(idat).Chunk("tEXt", {'a', 0}).ChunkWithBadCrc("IDAT", {1}).End().Build(), ""},
      {"IDAT interrupted",
       base()
           .Idat(Bytes(idat.begin(), idat.begin() + 4))
           .Chunk("tEXt", {'a', 0})
           .Idat(Bytes(idat.begin() + 4, idat.end()))
           .End()
           .Build(),
       std::string(messages::kPngMissingImagePart)},
      {"IDAT split over chunks",
       base()
           .Idat(Bytes(idat.begin(), idat.begin() + 3))
           .Idat({})
           .Idat(Bytes(idat.begin() + 3, idat.end()))
           .End()
           .Build(),
       ""},
      {"IDAT with a wrong CRC", base().ChunkWithBadCrc("IDAT", idat).End().Build(),
       std::string(messages::kPngCrcError)},
      {"first chunk not IHDR", PngBuilder().Chunk("gAMA", Be32(1)).Build(),
       std::string(messages::kPngIhdrNotFirst)},
      {"no IDAT", base().End().Build(), std::string(messages::kPngNoImageData)},
      {"bad signature", Bytes{137, 80, 78, 71, 13, 10, 26, 11},
       std::string(messages::kPngInvalidSignature)},
      {"short file", Bytes{137, 80, 78}, std::string(messages::kPngInvalidSignature)},
      {"no chunk", PngBuilder().Build(), std::string(messages::kPngUnexpectedEnd)},
      {"PLTE not a multiple of 3", base().Chunk("PLTE", {1, 2}).Idat(idat).End().Build(),
       std::string(messages::kPngInvalidPalette)},
      {"PLTE above 768", base().Chunk("PLTE", Bytes(771)).Idat(idat).End().Build(),
       std::string(messages::kPngInvalidPalette)},
      {"tRNS above 256", base().Chunk("tRNS", Bytes(257)).Idat(idat).End().Build(),
       std::string(messages::kPngInvalidPalette)},
      {"file ends inside the image data",
       base().Raw({0, 0, 0, 50, 'I', 'D', 'A', 'T'}).Raw(idat).Build(),
       std::string(messages::kPngCrcError)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadError(c.file), c.expected) << c.name;
  }
}

TEST(PngDecode, HeaderChecks) {
  TempDir dir;
  const auto header = [](std::uint32_t w, std::uint32_t h, int depth, int type, int compression,
                         int interlace, std::size_t length = 13) {
    Bytes data;
    PutBe32(data, w);
    PutBe32(data, h);
    data.insert(data.end(),
                {static_cast<std::uint8_t>(depth), static_cast<std::uint8_t>(type),
                 static_cast<std::uint8_t>(compression), 0, static_cast<std::uint8_t>(interlace)});
    data.resize(length);
    return PngBuilder().Chunk("IHDR", data).Idat(Deflate(ScanLines({{0, 0, 0}}))).End().Build();
  };
  struct Case {
    const char* name;
    Bytes file;
    std::string_view expected;
  };
  const Case cases[] = {
      {"short IHDR", header(1, 1, 8, 2, 0, 0, 12), messages::kPngInvalidIhdr},
      {"width 65536", header(65536, 1, 8, 2, 0, 0), messages::kPngSizeTooLarge},
      {"height 65536 before a bad compression", header(1, 65536, 8, 2, 1, 0),
       messages::kPngSizeTooLarge},
      {"compression 1", header(1, 1, 8, 2, 1, 2), messages::kPngUnknownCompression},
      {"interlace 2", header(1, 1, 8, 1, 0, 2), messages::kPngUnknownInterlace},
      {"colour type 1", header(1, 1, 0, 1, 0, 0), messages::kPngUnknownColorType},
      {"colour type 7", header(1, 1, 8, 7, 0, 0), messages::kPngUnknownColorType},
      {"bit depth 0", header(1, 1, 0, 2, 0, 0), messages::kPngInvalidBitDepth},
      {"RGB at 4 bits", header(1, 1, 4, 2, 0, 0), messages::kPngInvalidBitDepth},
      {"gray at 3 bits, interlaced", header(1, 1, 3, 0, 0, 1), messages::kPngInvalidBitDepth},
      {"zero width", header(0, 1, 8, 2, 0, 0), messages::kPngInvalidIhdr},
      {"zero height", header(1, 0, 8, 2, 0, 0), messages::kPngInvalidIhdr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadError(c.file), c.expected) << c.name;
  }
}

TEST(PngDecode, WidestImageIsAccepted) {
  TempDir dir;
  const auto image = LoadFromBytes(SimplePng(65535, 1, 1, 0, {Bytes(8192, 0xFF)}));
  EXPECT_EQ(image.Width(), 65535);
  EXPECT_EQ(PixelAt(RasterOf(image), 65534, 0).red, 255);
}

TEST(PngDecode, FilterTypes) {
  TempDir dir;
  // Two RGB rows of two pixels; each filter decodes to the same image.
  const Bytes top = {10, 20, 30, 40, 50, 60};
  const Bytes bottom = {70, 80, 90, 100, 110, 120};
  struct Case {
    int filter;
    Bytes second;  // the bottom row filtered against the top one
  };
  const Case cases[] = {{0, bottom},
                        {1, FilterLine(1, bottom, top, 3)},
                        {2, FilterLine(2, bottom, top, 3)},
                        {3, FilterLine(3, bottom, top, 3)},
                        {4, FilterLine(4, bottom, top, 3)},
                        {5, bottom},
                        {255, bottom}};
  for (const Case& c : cases) {
    Bytes data = ScanLines({top});
    data.push_back(static_cast<std::uint8_t>(c.filter));
    data.insert(data.end(), c.second.begin(), c.second.end());
    const Raster raster =
        RasterOf(LoadFromBytes(PngBuilder().Header(2, 2, 8, 2).Idat(Deflate(data)).End().Build()));
    EXPECT_EQ(PixelAt(raster, 1, 1), (Bgra{120, 110, 100, 0})) << "filter " << c.filter;
  }
}

// The pixel a decoded sample set shows in the working raster: colour
// samples through the gamma function, alpha premultiplied.
Bgra ExpectedPixel(int colorType, const std::uint8_t* samples, int sampleBytes,
                   std::uint32_t gamma) {
  const auto at = [&](int k) { return static_cast<int>(samples[k * sampleBytes]); };
  const auto corrected = [&](int s) {
    if (gamma == 0) return s;
    return static_cast<int>(
        std::nearbyint(std::pow(s / 255.0, 1.0 / (gamma / 100000.0 * 2.2)) * 255.0));
  };
  const auto times = [](int s, int a) {
    return PremultipliedChannel(static_cast<unsigned>(s), static_cast<unsigned>(a));
  };
  switch (colorType) {
    case 0:
      return {static_cast<std::uint8_t>(corrected(at(0))),
              static_cast<std::uint8_t>(corrected(at(0))),
              static_cast<std::uint8_t>(corrected(at(0))), 0};
    case 4:
      return {times(at(0), at(1)), times(at(0), at(1)), times(at(0), at(1)),
              static_cast<std::uint8_t>(at(1))};
    case 2:
      return {static_cast<std::uint8_t>(corrected(at(2))),
              static_cast<std::uint8_t>(corrected(at(1))),
              static_cast<std::uint8_t>(corrected(at(0))), 0};
    default:
      return {times(corrected(at(2)), at(3)), times(corrected(at(1)), at(3)),
              times(corrected(at(0)), at(3)), static_cast<std::uint8_t>(at(3))};
  }
}

// Every line with a filter picked at random, interlaced or not: each pixel
// decodes to the samples that were filtered, for every pixel size the
// filters see, and for 8-bit RGB, which is unfiltered straight into the store.
// The large ones take more than one inflate call's lines.
TEST(PngDecode, RandomlyFilteredImagesDecodeToTheirSamples) {
  struct Case {
    const char* name;
    int colorType;
    int depth;
    std::uint32_t gamma;  // a gAMA value, or 0 for none
    std::size_t width = 21;
    std::size_t height = 13;
  };
  const Case cases[] = {
      {"gray 8", 0, 8, 0},
      {"gray 16", 0, 16, 0},
      {"gray and alpha 8", 4, 8, 0},
      {"gray and alpha 16", 4, 16, 0},
      {"RGB 8", 2, 8, 0},
      {"RGB 8 with gAMA", 2, 8, 100000},
      {"RGB 16", 2, 16, 0},
      {"RGBA 8", 6, 8, 0},
      {"RGBA 16", 6, 16, 0},
      {"large RGB 8", 2, 8, 0, 200, 230},
      {"large RGBA 8", 6, 8, 0, 200, 180},
  };
  std::mt19937 random(5);
  TempDir dir;
  for (const Case& c : cases) {
    for (const int interlace : {0, 1}) {
      SCOPED_TRACE(::testing::Message() << c.name << (interlace == 1 ? ", Adam7" : ""));
      const int channels = png::ChannelsOf(static_cast<std::uint8_t>(c.colorType));
      const auto bpp = static_cast<std::size_t>(channels * c.depth / 8);
      std::vector<Bytes> samples(c.height, Bytes(c.width * bpp));
      for (Bytes& row : samples) {
        for (std::uint8_t& sample : row) sample = static_cast<std::uint8_t>(random());
      }
      const std::vector<png::Adam7Pass> passes =
          interlace == 1 ? std::vector<png::Adam7Pass>(png::kAdam7.begin(), png::kAdam7.end())
                         : std::vector<png::Adam7Pass>{{0, 0, 1, 1}};
      Bytes data;
      for (const png::Adam7Pass& pass : passes) {
        Bytes above;
        for (auto y = static_cast<std::size_t>(pass.startRow); y < c.height;
             y += static_cast<std::size_t>(pass.rowStep)) {
          Bytes line;
          for (auto x = static_cast<std::size_t>(pass.startColumn); x < c.width;
               x += static_cast<std::size_t>(pass.columnStep)) {
            line.insert(line.end(), samples[y].begin() + static_cast<long>(x * bpp),
                        samples[y].begin() + static_cast<long>((x + 1) * bpp));
          }
          if (above.empty()) above.assign(line.size(), 0);
          const int type = static_cast<int>(random() % 5);
          const Bytes filtered = FilterLine(type, line, above, bpp);
          data.push_back(static_cast<std::uint8_t>(type));
          data.insert(data.end(), filtered.begin(), filtered.end());
          above = line;
        }
      }
      PngBuilder png;
      png.Header(c.width, c.height, c.depth, c.colorType, interlace);
      if (c.gamma != 0) png.Chunk("gAMA", Be32(c.gamma));
      const Raster raster = RasterOf(LoadFromBytes(png.Idat(Deflate(data)).End().Build()));
      Bytes row(4 * c.width);
      for (std::size_t y = 0; y < c.height; ++y) {
        ReadRowBgrx(raster, static_cast<int>(y), row.data());
        for (std::size_t x = 0; x < c.width; ++x) {
          const Bgra decoded{row[4 * x], row[4 * x + 1], row[4 * x + 2], row[4 * x + 3]};
          ASSERT_EQ(decoded,
                    ExpectedPixel(c.colorType, samples[y].data() + x * bpp, c.depth / 8, c.gamma))
              << "x " << x << ", y " << y;
        }
      }
    }
  }
}

TEST(PngDecode, StreamEndingBeforeItsChunkIsAccepted) {
  TempDir dir;
  Bytes idat = Deflate(ScanLines({{1, 2, 3}}));
  idat.insert(idat.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x00});
  const auto image = LoadFromBytes(PngBuilder().Header(1, 1, 8, 2).Idat(idat).End().Build());
  EXPECT_EQ(PixelAt(RasterOf(image), 0, 0), (Bgra{3, 2, 1, 0}));
  // The real CRC of that chunk is still checked.
  EXPECT_EQ(LoadError(PngBuilder().Header(1, 1, 8, 2).ChunkWithBadCrc("IDAT", idat).End().Build()),
            messages::kPngCrcError);
}

TEST(PngDecode, StreamEndingBeforeTheLastRowFails) {
  TempDir dir;
  Bytes idat = Deflate(ScanLines({{1, 2, 3}}));  // one row of a two-row image
  idat.insert(idat.end(), 100, 0);               // unused bytes after the stream's end
  EXPECT_EQ(LoadError(PngBuilder().Header(1, 2, 8, 2).Idat(idat).End().Build()),
            messages::PngInflateError(1));
  EXPECT_EQ(
      messages::PngInflateError(1),
      "画像を解凍できませんでした。不正な圧縮データが含まれるためです。\r\n 説明: stream end (1)");
}

TEST(PngDecode, BadCompressedDataFails) {
  TempDir dir;
  EXPECT_EQ(
      LoadError(PngBuilder().Header(1, 1, 8, 2).Idat({0x78, 0x9C, 0xFF, 0xFF, 0xFF}).End().Build()),
      messages::PngInflateError(-3));
  // A stream asking for a preset dictionary cannot be decoded either.
  EXPECT_EQ(
      LoadError(
          PngBuilder().Header(1, 1, 8, 2).Idat({0x78, 0xBB, 0, 0, 0, 1, 1, 2, 3}).End().Build()),
      messages::PngInflateError(2));
}

// The text of a zTXt chunk is inflated when the chunk is read, as the image
// data are, and then thrown away.
TEST(PngDecode, CompressedTextIsInflatedWhenRead) {
  TempDir dir;
  const auto text = [](const std::string& keyword, std::uint8_t method, const Bytes& compressed) {
    Bytes data(keyword.begin(), keyword.end());
    data.insert(data.end(), {0, method});
    data.insert(data.end(), compressed.begin(), compressed.end());
    return data;
  };
  Bytes words;
  for (int i = 0; i < 4000; ++i) words.push_back(static_cast<std::uint8_t>('a' + i * 7 % 26));
  const Bytes whole = Deflate(words);
  const Bytes cutShort(whole.begin(),
                       whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2));
  const Bytes corrupt = {0x78, 0x9C, 0xFF, 0xFF, 0xFF};
  struct Case {
    const char* name;
    Bytes data;
    std::string expected;
  };
  const Case cases[] = {
      {"a text", text("Comment", 0, whole), ""},
      {"an empty text", text("Comment", 0, Deflate({})), ""},
      {"bad compressed data", text("Comment", 0, corrupt), messages::PngInflateError(-3)},
      {"a stream asking for a preset dictionary",
       text("Comment", 0, {0x78, 0xBB, 0, 0, 0, 1, 1, 2, 3}), messages::PngInflateError(2)},
      // As with the image data, running out of compressed bytes simply ends it.
      {"a stream cut short", text("Comment", 0, cutShort), ""},
      {"no compressed bytes", text("Comment", 0, {}), ""},
      {"a keyword without its end", Bytes{'C', 'o', 'm', 'm', 'e', 'n', 't'}, ""},
      {"an unknown compression method is not inflated", text("Comment", 1, corrupt), ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadError(SimplePng(1, 1, 8, 0, {{5}}, {{"zTXt", c.data}})), c.expected) << c.name;
  }
  // After the image data too.
  const Bytes late = PngBuilder()
                         .Header(1, 1, 8, 0)
                         .Idat(Deflate(ScanLines({{5}})))
                         .Chunk("zTXt", text("Comment", 0, corrupt))
                         .End()
                         .Build();
  EXPECT_EQ(LoadError(late), messages::PngInflateError(-3));
}

TEST(PngDecode, HugeHeaderWithTinyImageDataFailsQuickly) {
  TempDir dir;
  // Small enough for a 32-bit program to have it in one piece.
  const ScopedMemoryBudget budget(std::uint64_t{1} << 28);
  // 16-bit RGBA 65535 wide keeps 196,608 colour bytes a row: 1365 rows fit in
  // the budget, 1366 do not. A store that fits is never touched beyond the few
  // rows that arrive, and the file fails on its own fault.
  const Bytes first = Deflate(Bytes(4'000'000, 7));
  const struct {
    std::uint32_t height;
    std::string_view message;
  } cases[] = {
      {65535, messages::kOutOfMemory},
      {1366, messages::kOutOfMemory},
      {1365, messages::kPngCrcError},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LoadError(PngBuilder()
                            .Header(65535, c.height, 16, 6)
                            .Raw({0, 1, 0, 0, 'I', 'D', 'A', 'T'})
                            .Raw(Bytes(first.begin(), first.begin() + 500))
                            .Build()),
              c.message)
        << c.height;
  }
}

TEST(PngDecode, PaletteEntriesBeyondThePalette) {
  TempDir dir;
  // Modes none and key show black; partial fails.
  const auto none = LoadFromBytes(SimplePng(2, 1, 8, 3, {{0, 5}}, {{"PLTE", {9, 9, 9}}}));
  EXPECT_EQ(PixelAt(RasterOf(none), 1, 0), (Bgra{0, 0, 0, 0}));
  const auto partial =
      LoadFromBytes(SimplePng(2, 1, 8, 3, {{0, 5}}, {{"PLTE", {9, 9, 9}}, {"tRNS", {}}}));
  EXPECT_EQ(partial.TransparencyMode(), Mode::Partial);
  Raster raster;
  try {
    partial.ToRaster(raster);
    FAIL() << "no failure";
  } catch (const Error& error) {
    EXPECT_EQ(error.what(), messages::kPngNoPaletteEntry);
  }
}

TEST(PngDecode, LoadReplacesEverything) {
  TempDir dir;
  PngImage image = LoadFromBytes(SimplePng(2, 1, 8, 6, {{1, 2, 3, 4}, {5, 6, 7, 8}}, {}, 1));
  const std::string path = dir.File("second.png");
  WriteFile(path, SimplePng(1, 1, 8, 2, {{9, 8, 7}}));
  image.LoadPng(path);
  EXPECT_EQ(image.Width(), 1);
  EXPECT_EQ(image.InterlaceMethod(), 0);
  EXPECT_EQ(image.TransparencyMode(), Mode::None);
  EXPECT_EQ(PixelAt(RasterOf(image), 0, 0), (Bgra{7, 8, 9, 0}));
}

TEST(PngDecode, MissingFileFailsWithTheOpenMessage) {
  TempDir dir;
  PngImage image;
  try {
    image.LoadPng(dir.File("absent.png"));
    FAIL() << "no failure";
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()).rfind("ファイル ", 0), 0u);
  }
  EXPECT_EQ(image.Width(), 0);
}

}  // namespace
}  // namespace tolvane::testing
