#include <gtest/gtest.h>

#include <zlib.h>

#include "formats/png/png_encoder.h"
#include "tests/formats/png/png_fixture.h"

namespace tolvane::testing {
namespace {

struct FileChunk {
  std::string type;
  Bytes data;
};

std::vector<FileChunk> ChunksIn(const Bytes& file) {
  std::vector<FileChunk> chunks;
  for (std::size_t p = 8; p + 12 <= file.size();) {
    const std::uint32_t n = (std::uint32_t{file[p]} << 24) | (std::uint32_t{file[p + 1]} << 16) |
                            (std::uint32_t{file[p + 2]} << 8) | file[p + 3];
    const auto begin = file.begin() + static_cast<long>(p);
    chunks.push_back({std::string(begin + 4, begin + 8), Bytes(begin + 8, begin + 8 + n)});
    p += 12 + n;
  }
  return chunks;
}

Raster DeviceRaster(int width, int height) {
  Raster raster;
  raster.SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = raster.MutableRow(y).data();
    for (int x = 0; x < width; ++x) {
      row[4 * x] = static_cast<std::uint8_t>(x);
      row[4 * x + 1] = static_cast<std::uint8_t>(y);
      row[4 * x + 2] = static_cast<std::uint8_t>(x + y);
      row[4 * x + 3] = 77;
    }
  }
  return raster;
}

TEST(PngWrite, SavedDeviceRasterHasTheProgramsLayout) {
  TempDir dir;
  for (int interlace : {0, 1}) {
    SCOPED_TRACE(interlace);
    const std::string path = dir.File("out.png");
    SavePngFile(DeviceRaster(37, 11), path, static_cast<std::uint8_t>(interlace));
    const auto chunks = ChunksIn(ReadFile(path));
    ASSERT_GE(chunks.size(), 3u);
    EXPECT_EQ(chunks.front().type, "IHDR");
    EXPECT_EQ(chunks.front().data,
              (Bytes{0, 0, 0, 37, 0, 0, 0, 11, 8, 2, 0, 0, static_cast<std::uint8_t>(interlace)}));
    EXPECT_EQ(chunks.back().type, "IEND");
    for (std::size_t i = 1; i + 1 < chunks.size(); ++i) EXPECT_EQ(chunks[i].type, "IDAT");

    PngImage reread;
    reread.LoadPng(path);
    EXPECT_EQ(reread.InterlaceMethod(), interlace);
    Raster pixels;
    reread.ToRaster(pixels);
    for (int y = 0; y < 11; ++y) {
      for (int x = 0; x < 37; ++x) {
        ASSERT_EQ(PixelAt(pixels, x, y),
                  (Bgra{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y),
                        static_cast<std::uint8_t>(x + y), 0}));
      }
    }
  }
}

TEST(PngWrite, PaletteRasterRoundTrips) {
  TempDir dir;
  Raster raster;
  StoreLayout layout;
  layout.width = 3;
  layout.height = 1;
  layout.bitsPerPixel = 4;
  layout.palette = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
  raster.CreateIndependent(layout);
  raster.MutableRow(0)[0] = 0x12;
  raster.MutableRow(0)[1] = 0x00;
  const std::string path = dir.File("palette.png");
  SavePngFile(raster, path);
  const auto chunks = ChunksIn(ReadFile(path));
  ASSERT_GE(chunks.size(), 4u);
  EXPECT_EQ(chunks[0].data[8], 4);
  EXPECT_EQ(chunks[0].data[9], 3);
  EXPECT_EQ(chunks[1].type, "PLTE");
  EXPECT_EQ(chunks[1].data.size(), 48u);
  PngImage reread;
  reread.LoadPng(path);
  Raster pixels;
  reread.ToRaster(pixels);
  EXPECT_EQ(pixels.Format(), RasterFormat::Bits4);
  EXPECT_EQ(PixelAt(pixels, 0, 0), (Bgra{4, 5, 6, 0}));
  EXPECT_EQ(PixelAt(pixels, 1, 0), (Bgra{7, 8, 9, 0}));
  EXPECT_EQ(PixelAt(pixels, 2, 0), (Bgra{1, 2, 3, 0}));
}

TEST(PngWrite, ATransparentRastersKeyBecomesTrns) {
  TempDir dir;
  Raster rgb = DeviceRaster(4, 2);
  rgb.SetTransparent(true);
  rgb.SetTransparentColor({10, 20, 30});
  SavePngFile(rgb, dir.File("rgb.png"));
  const auto rgbChunks = ChunksIn(ReadFile(dir.File("rgb.png")));
  ASSERT_GE(rgbChunks.size(), 2u);
  EXPECT_EQ(rgbChunks[1].type, "tRNS");
  EXPECT_EQ(rgbChunks[1].data, (Bytes{0, 10, 0, 20, 0, 30}));

  // A palette image marks the first entry of the key colour; without one
  // it has no tRNS.
  StoreLayout layout;
  layout.width = 2;
  layout.height = 1;
  layout.bitsPerPixel = 8;
  layout.palette = {{1, 2, 3, 0}, {30, 20, 10, 0}, {30, 20, 10, 0}};
  Raster indexed;
  indexed.CreateIndependent(layout);
  indexed.SetTransparent(true);
  indexed.SetTransparentColor({10, 20, 30});
  SavePngFile(indexed, dir.File("indexed.png"));
  const auto chunks = ChunksIn(ReadFile(dir.File("indexed.png")));
  ASSERT_GE(chunks.size(), 3u);
  EXPECT_EQ(chunks[1].type, "PLTE");
  EXPECT_EQ(chunks[1].data.size(), 3u * 256);
  EXPECT_EQ(chunks[2].type, "tRNS");
  EXPECT_EQ(chunks[2].data, (Bytes{255, 0}));
  indexed.SetTransparentColor({9, 9, 9});
  SavePngFile(indexed, dir.File("nokey.png"));
  EXPECT_EQ(ChunksIn(ReadFile(dir.File("nokey.png")))[2].type, "IDAT");
}

}  // namespace
}  // namespace tolvane::testing
