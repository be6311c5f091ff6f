#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/error.h"
#include "tests/formats/bmp/bmp_fixture.h"

namespace tolvane {
namespace {

using testing::AllPixels;
using testing::BmpFixture;
using testing::ColourTable;
using testing::LoadBmpBytes;

// Entry 0 is not black, so pixels left unset are told from zero bytes.
std::uint32_t Colour(std::uint32_t index) { return 0xA00000 | (index << 8) | index; }

BmpFixture RleFixture(std::uint16_t bits, int width, int height, std::vector<std::uint8_t> data,
                      std::uint32_t clrUsed = 0) {
  BmpFixture f;
  f.width = width;
  f.height = height;
  f.bitCount = bits;
  f.compression = bits == 8 ? 1 : 2;
  f.clrUsed = clrUsed;
  std::vector<std::uint32_t> colours;
  const std::uint32_t entries = clrUsed != 0 ? clrUsed : 1u << bits;
  for (std::uint32_t i = 0; i < entries; ++i) colours.push_back(Colour(i));
  f.colourTable = ColourTable(colours);
  f.sizeImage = static_cast<std::uint32_t>(data.size());
  f.pixels = std::move(data);
  return f;
}

// Expected pixels, top row first, as palette indices (-1 for black).
std::vector<std::uint32_t> Indices(const std::vector<int>& indices) {
  std::vector<std::uint32_t> out;
  for (int i : indices) out.push_back(i < 0 ? 0 : Colour(static_cast<std::uint32_t>(i)));
  return out;
}

struct RleCase {
  std::string name;
  std::uint16_t bits;
  int width;
  int height;
  std::vector<std::uint8_t> data;
  std::vector<int> expected;
  std::uint32_t clrUsed = 0;
};

TEST(BmpRle, DecodesEveryCodeClipsAtTheEdgesAndLeavesUnsetPixelsAtEntryZero) {
  // One case a line reads better than one field a line.
  // clang-format off
  const std::vector<RleCase> cases = {
      {"RLE8 runs, absolute runs with padding, end of line, delta, end of bitmap", 8, 6, 4,
       {0x03, 0x01, 0x00, 0x03, 0x02, 0x03, 0x04, 0x00, 0x00, 0x00,  // row 0: run, odd absolute run
        0x01, 0x05, 0x00, 0x02, 0x03, 0x01,                          // row 1: run, delta 3 right 1 up
        0x02, 0x02, 0x00, 0x00,                                      // row 2 from x 4
        0x00, 0x04, 0x01, 0x02, 0x03, 0x04, 0x00, 0x01,              // row 3: even absolute run, end
        0x01, 0x05},                                                 // after the end: ignored
       {1, 2, 3, 4, 0, 0,  //
        0, 0, 0, 0, 2, 2,  //
        5, 0, 0, 0, 0, 0,  //
        1, 1, 1, 2, 3, 4}},
      {"RLE4 alternating runs, absolute runs with padding, delta", 4, 5, 3,
       {0x05, 0x12, 0x00, 0x00,                    // row 0: 1 2 1 2 1
        0x00, 0x03, 0x34, 0x50,                    // row 1: absolute 3 pixels in 2 bytes
        0x00, 0x02, 0x01, 0x01,                    // delta 1 right 1 up, to x 4 of row 2
        0x00, 0x05, 0x67, 0x89, 0xA0, 0x00,        // absolute 5 pixels, 3 bytes and a pad; 4 clipped
        0x00, 0x01},
       {0, 0, 0, 0, 6,  //
        3, 4, 5, 0, 0,  //
        1, 2, 1, 2, 1}},
      {"runs and deltas that leave the bitmap are clipped, never wrapped", 8, 3, 2,
       {0x05, 0x01,                          // 5 pixels on a row of 3
        0x02, 0x02,                          // wholly outside: must not wrap onto row 1
        0x00, 0x00,                          // end of line
        0x00, 0x02, 0x01, 0x00,              // delta 1 right
        0x01, 0x04,                          //
        0x00, 0x03, 0x05, 0x06, 0x07, 0x00,  // absolute run over the edge
        0x00, 0x02, 0xC8, 0x00,              // delta 200 right
        0x01, 0x03,                          // outside
        0x00, 0x02, 0x00, 0x05,              // delta 5 up, out of the top
        0x01, 0x09},
       {0, 4, 5,  //
        1, 1, 1}},
      {"end of line past the top row", 8, 2, 1, {0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03},
       {1, 0}},
      {"only an end of bitmap", 8, 2, 2, {0x00, 0x01}, {0, 0, 0, 0}},
      {"no data at all", 4, 3, 1, {}, {0, 0, 0}},
      {"an index beyond the table is black", 8, 2, 1, {0x01, 0x07, 0x01, 0x01}, {-1, 1}, 2},
      {"data ending inside an escape", 8, 4, 1, {0x03, 0x01, 0x00}, {1, 1, 1, 0}},
      {"data ending inside a delta", 8, 4, 1, {0x01, 0x01, 0x00, 0x02, 0x01}, {1, 0, 0, 0}},
      {"data ending inside an RLE8 absolute run", 8, 4, 1, {0x00, 0x05, 0x01, 0x02}, {1, 2, 0, 0}},
      {"data ending inside an RLE4 absolute run", 4, 4, 1, {0x00, 0x05, 0x12}, {1, 2, 0, 0}},
  };
  // clang-format on
  for (const RleCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Raster raster =
        LoadBmpBytes(RleFixture(c.bits, c.width, c.height, c.data, c.clrUsed).Bytes());
    EXPECT_EQ(raster.Format(), RasterFormat::Device);
    EXPECT_TRUE(raster.Palette().empty());
    EXPECT_EQ(raster.Width(), c.width);
    EXPECT_EQ(raster.Height(), c.height);
    // The fourth byte is 0: AllPixels would show it on top.
    EXPECT_EQ(AllPixels(raster), Indices(c.expected));
  }
}

TEST(BmpRle, PixelCountLimitsTheCodedData) {
  BmpFixture f = RleFixture(8, 4, 1, {0x02, 0x01, 0x02, 0x02});
  f.sizeImage = 2;  // only the first run
  EXPECT_EQ(AllPixels(LoadBmpBytes(f.Bytes())), Indices({1, 1, 0, 0}));
  f.sizeImage = 0;  // row bytes times height, 4 here
  EXPECT_EQ(AllPixels(LoadBmpBytes(f.Bytes())), Indices({1, 1, 2, 2}));
}

TEST(BmpRle, RunsLongerThanAByteChainAcrossAWideRow) {
  std::vector<std::uint8_t> data = {0xFF, 0x01, 0xFF, 0x02, 0x0C, 0x03, 0x00, 0x01};
  const Raster raster = LoadBmpBytes(RleFixture(8, 522, 1, data).Bytes());
  const std::vector<std::uint32_t> pixels = AllPixels(raster);
  EXPECT_EQ(pixels[254], Colour(1));
  EXPECT_EQ(pixels[255], Colour(2));
  EXPECT_EQ(pixels[509], Colour(2));
  EXPECT_EQ(pixels[510], Colour(3));
  EXPECT_EQ(pixels[521], Colour(3));
}

// Any byte stream decodes to something and stops; under the sanitizers this
// also shows that nothing is written outside the store.
TEST(BmpRle, ArbitraryDataAlwaysEnds) {
  std::mt19937 random(2024);
  for (int round = 0; round < 400; ++round) {
    const std::uint16_t bits = (round & 1) ? 8 : 4;
    const int width = 1 + static_cast<int>(random() % 9);
    const int height = 1 + static_cast<int>(random() % 5);
    std::vector<std::uint8_t> data(random() % 200);
    // Small counts and escapes are the interesting ones.
    for (auto& byte : data)
      byte = static_cast<std::uint8_t>(random() % 4 == 0 ? random() : random() % 6);
    const Raster raster = LoadBmpBytes(RleFixture(bits, width, height, data).Bytes());
    ASSERT_EQ(raster.Width(), width);
    ASSERT_EQ(raster.Height(), height);
  }
}

}  // namespace
}  // namespace tolvane
