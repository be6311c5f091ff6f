// The conversion reduces the rows its reader hands over, and encodes JPEG,
// PNG and TIFF input whose rows come while it is decoded on a second thread.
// These tests hold its results against the one-thread steps done by hand
// with the same readers, reduction and writers.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "convert/read_input.h"
#include "formats/bmp/bmp.h"
#include "formats/jpeg/jpeg_image.h"
#include "formats/png/png_encoder.h"
#include "formats/png/png_image.h"
#include "formats/tiff/tiff_reader.h"
#include "raster/raster.h"
#include "raster/reduce.h"
#include "support/error.h"
#include "support/files.h"
#include "support/memory_budget.h"
#include "support/messages.h"
#include "tests/convert/conversion_failure.h"
#include "tests/formats/jpeg/jpeg_fixtures.h"
#include "tests/formats/png/png_fixture.h"
#include "tests/formats/tiff/tiff_fixture.h"
#include "tests/support/platform.h"
#include "tests/support/test_support.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using testing::ExpectSamePixels;
using testing::FailureOf;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// Keeps every line and every raster shown.
class Recorder : public Log, public Preview {
 public:
  void Clear() override { events.push_back("clear"); }
  void Append(std::string_view line) override { events.push_back(std::string(line)); }
  void Show(const Raster& raster) override {
    events.push_back("show raster");
    shown.push_back(raster);
  }
  void Show(const PngImage&) override { events.push_back("show png"); }

  std::vector<std::string> events;
  std::vector<Raster> shown;
};

// Colours that change from pixel to pixel and row to row, so that every
// source row weighs in the reduced image.
std::uint8_t Noise(int x, int y, int channel) {
  std::uint32_t v = static_cast<std::uint32_t>(x) * 2654435761u ^
                    static_cast<std::uint32_t>(y) * 40503u ^
                    static_cast<std::uint32_t>(channel) * 97u;
  v ^= v >> 13;
  return static_cast<std::uint8_t>((v & 0x7F) + ((x + y) & 0x7F));
}

Raster NoiseRaster(int width, int height, RasterFormat format) {
  Raster raster;
  raster.SetFormat(format);
  raster.SetSize(width, height);
  const int pixelBytes = format == RasterFormat::Bits24 ? 3 : 4;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = raster.MutableRow(y).data();
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) row[pixelBytes * x + c] = Noise(x, y, c);
    }
  }
  return raster;
}

void WriteRgbTiff(const std::string& path, const Raster& raster) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(raster.Width()));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(raster.Height()));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 64);
  std::vector<std::uint8_t> line(3 * static_cast<std::size_t>(raster.Width()));
  for (int y = 0; y < raster.Height(); ++y) {
    const std::uint8_t* in = raster.Row(y).data();
    for (int x = 0; x < raster.Width(); ++x) {
      line[3 * x] = in[3 * x + 2];
      line[3 * x + 1] = in[3 * x + 1];
      line[3 * x + 2] = in[3 * x];
    }
    ASSERT_EQ(TIFFWriteScanline(tif, line.data(), static_cast<std::uint32_t>(y), 0), 1);
  }
  TIFFClose(tif);
}

void WritePng(const std::string& path, const Raster& raster, std::uint8_t interlace) {
  SavePngFile(raster, path, interlace);
}

std::vector<std::uint8_t> NoiseJpeg(int width, int height, int components,
                                    bool progressive = false) {
  testing::JpegRecipe recipe;
  recipe.width = width;
  recipe.height = height;
  recipe.components = components;
  recipe.progressive = progressive;
  recipe.quality = 90;
  recipe.pixel = [components](int x, int y, std::uint8_t* out) {
    for (int c = 0; c < components; ++c) out[c] = Noise(x, y, c);
  };
  return testing::MakeJpeg(recipe);
}

// Noise rows of `channels` bytes a pixel, for a PNG of that many samples.
std::vector<testing::Bytes> NoiseRows(int width, int height, int channels) {
  std::vector<testing::Bytes> rows(static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < channels; ++c) rows[y].push_back(Noise(x, y, c));
    }
  }
  return rows;
}

// PNG files whose working raster is not their decoded store as it stands
// (drawn over alpha, given its palette at the end, converted from gray), or
// whose store is replaced after its rows were decoded.
void WriteOtherPngs(const TempDir& dir) {
  using testing::SimplePng;
  const int w = 2600;
  const int h = 120;
  WriteFile(dir.File("alpha.png"), SimplePng(w, h, 8, 6, NoiseRows(w, h, 4)));
  WriteFile(dir.File("gray.png"), SimplePng(w, h, 8, 0, NoiseRows(w, h, 1)));
  testing::Bytes palette;
  for (int i = 0; i < 3 * 256; ++i) palette.push_back(static_cast<std::uint8_t>(i * 7));
  WriteFile(dir.File("palette.png"),
            SimplePng(w, h, 8, 3, NoiseRows(w, h, 1), {{"PLTE", palette}}));
  WriteFile(dir.File("keyed.png"),
            SimplePng(w, h, 8, 2, NoiseRows(w, h, 3), {{"tRNS", {0, 9, 0, 9, 0, 9}}}));
  // A second header after the image data: the image becomes the new
  // header's, which has no data of its own.
  WriteFile(dir.File("again.png"),
            testing::PngBuilder()
                .Header(w, h, 8, 2)
                .Idat(testing::Deflate(testing::ScanLines(NoiseRows(w, h, 3))))
                .Header(w + 7, h, 8, 2)
                .End()
                .Build());
}

// The reader each test file gets, named here so that the expected steps
// are worked out apart from the format table.
enum class InputKind { Jpeg, Tiff, Png, Bmp };

// What the conversion must leave: the working raster, the reduced raster
// and the output file's bytes, made step by step on this thread.
struct Expected {
  Raster working;
  Raster output;
  std::vector<std::uint8_t> file;
};

Expected OneThreadSteps(InputKind kind, const std::string& path, const fs::path& scratch) {
  Expected expected;
  PngImage png;
  switch (kind) {
    case InputKind::Jpeg: {
      JpegImage jpeg;
      jpeg.LoadJpeg(path);
      jpeg.ToRaster(expected.working);
      break;
    }
    case InputKind::Png:
      png.LoadPng(path);
      png.ToRaster(expected.working);
      break;
    case InputKind::Bmp: LoadBmpFile(path, expected.working); break;
    case InputKind::Tiff: LoadTiffFile(path, expected.working); break;
  }
  const ReducedSize size = ReducedSizeFor(expected.working.Width(), expected.working.Height());
  expected.output.SetWidth(size.width);
  expected.output.SetHeight(size.height);
  ReduceHalftone(expected.working, expected.output);
  const std::string file = (scratch / "expected").string();
  if (kind == InputKind::Bmp) {
    SaveBmpFile(expected.output, file);
  } else {
    SavePngFile(expected.output, file, static_cast<std::uint8_t>(png.InterlaceMethod()));
  }
  expected.file = ReadFile(file);
  return expected;
}

// The log lines and previews of a reduced conversion, in the order of the
// input kind's branch.
std::vector<std::string> ExpectedEvents(InputKind kind, const std::string& path,
                                        const Expected& expected) {
  const std::string size = messages::SizeLine(expected.working.Width(), expected.working.Height());
  std::vector<std::string> events{"clear", path};
  switch (kind) {
    case InputKind::Jpeg:
    case InputKind::Tiff: events.insert(events.end(), {"show raster", size}); break;
    case InputKind::Png: events.insert(events.end(), {size, "show png"}); break;
    case InputKind::Bmp: events.insert(events.end(), {size, "show raster"}); break;
  }
  events.insert(events.end(),
                {"show raster", messages::OutputPathLine(OutputPathFor(path)),
                 messages::OutputSizeLine(expected.output.Width(), expected.output.Height())});
  return events;
}

std::vector<std::string> FilesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PipelinedConversion, GivesTheOneThreadResultForEveryInputKind) {
  TempDir dir;
  const fs::path scratch = dir.Path() / "scratch";
  fs::create_directory(scratch);
  const Raster colours = NoiseRaster(2600, 301, RasterFormat::Bits24);
  const Raster device = NoiseRaster(2600, 301, RasterFormat::Device);
  struct Case {
    const char* name;
    InputKind kind;
  };
  const Case cases[] = {{"photo.jpg", InputKind::Jpeg},       {"grey.jpeg", InputKind::Jpeg},
                        {"progressive.jpg", InputKind::Jpeg}, {"cmyk.jpg", InputKind::Jpeg},
                        {"tall.jpg", InputKind::Jpeg},        {"plain.png", InputKind::Png},
                        {"adam7.png", InputKind::Png},        {"alpha.png", InputKind::Png},
                        {"gray.png", InputKind::Png},         {"palette.png", InputKind::Png},
                        {"keyed.png", InputKind::Png},        {"again.png", InputKind::Png},
                        {"picture.bmp", InputKind::Bmp},      {"scan.tif", InputKind::Tiff},
                        {"alpha.tif", InputKind::Tiff},       {"tall.tif", InputKind::Tiff},
                        {"tiles.tif", InputKind::Tiff}};
  WriteFile(dir.File("photo.jpg"), NoiseJpeg(2600, 301, 3));
  WriteFile(dir.File("grey.jpeg"), NoiseJpeg(2100, 97, 1));  // a palette store: not pipelined
  WriteFile(dir.File("tall.jpg"), NoiseJpeg(150, 2300, 3));
  WriteFile(dir.File("progressive.jpg"),
            NoiseJpeg(2600, 301, 3, true));  // rows during its last scan
  WriteFile(dir.File("cmyk.jpg"), NoiseJpeg(2100, 90, 4, true));
  WritePng(dir.File("plain.png"), device, 0);
  WritePng(dir.File("adam7.png"), device, 1);
  WriteOtherPngs(dir);
  SaveBmpFile(colours, dir.File("picture.bmp"));
  WriteRgbTiff(dir.File("scan.tif"), colours);
  testing::TiffRecipe alpha;  // LZW, read in bands of 35 rows
  alpha.width = 2600;
  alpha.height = 301;
  alpha.rowsPerStrip = 7;
  alpha.extraSample = EXTRASAMPLE_UNASSALPHA;
  testing::WriteTiff(dir.File("alpha.tif"), alpha);
  testing::TiffRecipe tall = alpha;  // one row per strip, bands of 32 rows
  tall.width = 97;
  tall.height = 2300;
  tall.rowsPerStrip = 1;
  tall.extraSample = -1;
  testing::WriteTiff(dir.File("tall.tif"), tall);
  testing::TiffRecipe tiles = alpha;  // read whole: nothing for the second thread
  tiles.tileSide = 256;
  testing::WriteTiff(dir.File("tiles.tif"), tiles);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(c.name);
    const Expected expected = OneThreadSteps(c.kind, path, scratch);
    Recorder recorder;
    ConvertImageFile(path, recorder, recorder);
    const std::string output = OutputPathFor(path);
    EXPECT_EQ(recorder.events, ExpectedEvents(c.kind, path, expected));
    EXPECT_EQ(ReadFile(output), expected.file);
    ASSERT_FALSE(recorder.shown.empty());
    ExpectSamePixels(recorder.shown.back(), expected.output);
    if (c.kind != InputKind::Png) ExpectSamePixels(recorder.shown.front(), expected.working);
  }
}

// The output raster is made when the reader begins to hand over its rows,
// but a failure to make it is met where the one-thread steps meet it: after
// the size line and the preview, before anything else is shown or written.
TEST(PipelinedConversion, AnOutputRasterThatCannotBeMadeFailsAfterTheReading) {
  TempDir dir;
  const fs::path scratch = dir.Path() / "scratch";
  fs::create_directory(scratch);
  // 2100 x 300 at 3 bytes a pixel is 1.9 MB; its reduction, 2047 x 292 at 4
  // bytes, 2.4 MB.
  const int w = 2100;
  const int h = 300;
  WriteFile(dir.File("photo.jpg"), NoiseJpeg(w, h, 3));
  WriteFile(dir.File("grey.jpg"), NoiseJpeg(w, h, 1));
  WritePng(dir.File("plain.png"), NoiseRaster(w, h, RasterFormat::Device), 0);
  SaveBmpFile(NoiseRaster(w, h, RasterFormat::Bits24), dir.File("picture.bmp"));
  struct Case {
    const char* name;
    InputKind kind;
  };
  for (const Case c : {Case{"photo.jpg", InputKind::Jpeg}, Case{"grey.jpg", InputKind::Jpeg},
                       Case{"plain.png", InputKind::Png}, Case{"picture.bmp", InputKind::Bmp}}) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(c.name);
    std::vector<std::string> events =
        ExpectedEvents(c.kind, path, OneThreadSteps(c.kind, path, scratch));
    events.resize(events.size() - 3);  // not the reduction's preview nor its lines
    Recorder recorder;
    {
      const ScopedMemoryBudget budget(2'000'000);
      EXPECT_EQ(FailureOf(path, recorder), messages::kSystemResourcesLow);
    }
    EXPECT_EQ(recorder.events, events);
    EXPECT_FALSE(fs::exists(OutputPathFor(path)));
  }
  EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"grey.jpg", "photo.jpg", "picture.bmp",
                                                           "plain.png", "scratch"}));
}

// The message of reading the file on this thread alone; "" when it reads.
std::string DecoderMessage(const std::string& path) {
  if (path.ends_with(".tif")) {
    Raster raster;
    return testing::MessageOf([&] { LoadTiffFile(path, raster); });
  }
  PngImage png;
  return testing::MessageOf([&] { png.LoadPng(path); });
}

TEST(PipelinedConversion, ADecodeFailureInTheMiddleReportsTheDecoderAndLeavesNoFile) {
  TempDir dir;
  const std::string whole = dir.File("whole.png");
  WritePng(whole, NoiseRaster(2600, 400, RasterFormat::Device), 0);
  std::vector<std::uint8_t> bytes = ReadFile(whole);
  fs::remove(whole);
  bytes.resize(bytes.size() / 2);
  WriteFile(dir.File("cut.png"), bytes);
  testing::TiffRecipe recipe;
  recipe.width = 2600;
  recipe.height = 400;
  recipe.rowsPerStrip = 8;
  std::vector<std::uint8_t> spoilt = testing::TiffBytes(recipe);
  testing::SpoilStrip(spoilt, 30);  // rows 240 to 247
  testing::WriteFile(dir.File("spoilt.tif"), spoilt);

  for (const std::string name : {"cut.png", "spoilt.tif"}) {
    SCOPED_TRACE(name);
    const std::string path = dir.File(name);
    const std::string decoderMessage = DecoderMessage(path);
    ASSERT_FALSE(decoderMessage.empty());

    Recorder recorder;
    EXPECT_EQ(FailureOf(path, recorder), decoderMessage);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"clear", path}));
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"cut.png", "spoilt.tif"}));

    // The decoder's failure comes first also when the output could not have
    // been made either.
    const fs::path output = OutputPathFor(path);
    fs::create_directory(output);
    Recorder second;
    EXPECT_EQ(FailureOf(path, second), decoderMessage);
    std::vector<std::string> left{"cut.png", "spoilt.tif", output.filename()};
    std::sort(left.begin(), left.end());
    EXPECT_EQ(FilesIn(dir.Path()), left);
    fs::remove(output);
  }
}

TEST(PipelinedConversion, AnOutputThatCannotBeMadeFailsAfterThePreviewOfTheReduction) {
  TempDir dir;
  const std::string path = dir.File("photo.jpg");
  WriteFile(path, NoiseJpeg(2600, 200, 3));
  const std::string output = dir.File("photo_2048.png");
  fs::create_directory(output);
  Recorder recorder;
  EXPECT_EQ(FailureOf(path, recorder),
            messages::CannotCreateFile(output, OsErrorText(testing::kIsAFolder)));
  EXPECT_EQ(recorder.events,
            (std::vector<std::string>{"clear", path, "show raster", messages::SizeLine(2600, 200),
                                      "show raster"}));
  EXPECT_EQ(recorder.shown.back().Width(), 2047);
  EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"photo.jpg", "photo_2048.png"}));
}

TEST(PipelinedConversion, AnInputNamedAsItsOutputIsRefusedAndKept) {
  TempDir dir;
  const std::string path = dir.File("x_2048.png");
  WritePng(path, NoiseRaster(2100, 50, RasterFormat::Device), 0);
  const std::vector<std::uint8_t> before = ReadFile(path);
  Recorder recorder;
  EXPECT_EQ(FailureOf(path, recorder), messages::OutputIsInput(path));
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"x_2048.png"});
}

}  // namespace
}  // namespace tolvane
