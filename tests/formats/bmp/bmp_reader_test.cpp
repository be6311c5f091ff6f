#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/bmp/bmp.h"
#include "support/error.h"
#include "support/files.h"
#include "support/memory_budget.h"
#include "support/messages.h"
#include "tests/formats/bmp/bmp_fixture.h"
#include "tests/support/platform.h"
#include "tests/support/test_support.h"

namespace tolvane {
namespace {

using testing::AllPixels;
using testing::BmpFixture;
using testing::ColourTable;
using testing::LoadBmpBytes;
using testing::PixelAt;

const std::string kInvalid(messages::kInvalidBitmap);
const std::string kRead(messages::kReadError);
const std::string kMemory(messages::kOutOfMemory);

// A valid 2 x 2 24-bit file that the failure cases bend.
BmpFixture Good24() {
  BmpFixture f;
  f.width = 2;
  f.height = 2;
  f.pixels = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
  return f;
}

std::vector<std::uint8_t> FirstBytes(std::vector<std::uint8_t> bytes, std::size_t count) {
  bytes.resize(count);
  return bytes;
}

struct FailureCase {
  std::string name;
  std::vector<std::uint8_t> bytes;
  std::string message;
};

std::vector<FailureCase> FailureCases() {
  std::vector<FailureCase> cases;
  const auto add = [&](std::string name, const BmpFixture& f, const std::string& message) {
    cases.push_back({std::move(name), f.Bytes(), message});
  };
  for (std::size_t n = 1; n <= 13; ++n) {
    cases.push_back(
        {"file of " + std::to_string(n) + " bytes", FirstBytes(Good24().Bytes(), n), kRead});
  }
  {
    auto bytes = Good24().Bytes();
    bytes[1] = 'A';
    cases.push_back({"magic BA", bytes, kInvalid});
    bytes[0] = 'M';
    bytes[1] = 'B';
    cases.push_back({"magic MB", bytes, kInvalid});
  }
  // The info header must be whole.
  cases.push_back({"file header only", FirstBytes(Good24().Bytes(), 14), kInvalid});
  cases.push_back({"ends inside the length", FirstBytes(Good24().Bytes(), 16), kInvalid});
  const auto withHeaderLength = [](std::uint32_t length) {
    BmpFixture f = Good24();
    f.headerLength = length;
    return f.Bytes();
  };
  cases.push_back(
      {"ends inside a core header", FirstBytes(withHeaderLength(12), 14 + 10), kInvalid});
  cases.push_back(
      {"ends inside a 40-byte header", FirstBytes(Good24().Bytes(), 14 + 30), kInvalid});
  cases.push_back(
      {"ends inside a 124-byte header", FirstBytes(withHeaderLength(124), 14 + 100), kInvalid});
  for (std::uint32_t length : {0u, 4u, 11u, 16u, 20u, 39u}) {
    BmpFixture f = Good24();
    f.headerLength = length;
    add("header length " + std::to_string(length), f, kInvalid);
  }
  for (std::uint16_t planes : {0, 2}) {
    BmpFixture f = Good24();
    f.planes = planes;
    add("planes " + std::to_string(planes), f, kInvalid);
  }
  {
    BmpFixture f = Good24();
    f.bitCount = 16;
    f.compression = 3;
    auto bytes = f.Bytes();
    bytes.resize(14 + 40 + 6);
    cases.push_back({"ends inside the masks", bytes, kRead});
  }
  {
    BmpFixture f = Good24();
    f.bitCount = 8;
    f.colourTable.assign(100, 0);
    f.pixels.clear();
    add("ends inside the colour table", f, kRead);
  }
  {
    BmpFixture f = Good24();
    f.bitCount = 8;
    f.clrUsed = 257;
    f.colourTable.assign(257 * 4, 0);
    add("257 colours", f, kInvalid);
  }
  {
    BmpFixture f = Good24();
    f.clrUsed = 0x40000001;  // times 4 wraps to 4 in 32 bits
    add("colour count that wraps", f, kInvalid);
  }
  // Combinations the published format does not allow.
  struct Combination {
    const char* name;
    std::uint16_t bits;
    std::uint32_t compression;
  };
  for (const Combination& c : std::vector<Combination>{{"0 bits", 0, 0},
                                                       {"2 bits", 2, 0},
                                                       {"48 bits", 48, 0},
                                                       {"64 bits", 64, 0},
                                                       {"bit fields at 8 bits", 8, 3},
                                                       {"bit fields at 24 bits", 24, 3},
                                                       {"RLE8 at 4 bits", 4, 1},
                                                       {"RLE8 at 24 bits", 24, 1},
                                                       {"RLE4 at 8 bits", 8, 2},
                                                       {"JPEG", 24, 4},
                                                       {"PNG", 24, 5},
                                                       {"alpha bit fields", 32, 6},
                                                       {"compression 99", 8, 99}}) {
    BmpFixture f = Good24();
    f.bitCount = c.bits;
    f.compression = c.compression;
    if (c.compression == 3) f.masks = {0xF800, 0x07E0, 0x001F};
    if (c.bits == 4 || c.bits == 8) f.colourTable.assign(std::size_t{4} << c.bits, 0);
    add(c.name, f, kInvalid);
  }
  for (std::uint16_t bits : {16, 32}) {
    BmpFixture f = Good24();
    f.headerLength = 12;
    f.bitCount = bits;
    add("core header at " + std::to_string(bits) + " bits", f, kInvalid);
  }
  {
    BmpFixture f = Good24();
    f.headerLength = 44;  // too short to hold the masks
    f.bitCount = 16;
    f.compression = 3;
    add("bit fields in a 44-byte header", f, kInvalid);
  }
  for (const auto& [name, width, height] :
       std::vector<std::tuple<std::string, std::int32_t, std::int32_t>>{
           {"width 0", 0, 2},
           {"width -1", -1, 2},
           {"height 0", 2, 0},
           {"height -2^31", 2, INT32_MIN}}) {
    BmpFixture f = Good24();
    f.width = width;
    f.height = height;
    add(name, f, kInvalid);
  }
  {
    BmpFixture f = Good24();
    f.headerLength = 12;
    f.height = 0;
    add("core height 0", f, kInvalid);
  }
  {
    BmpFixture f = Good24();
    f.bitCount = 8;
    f.compression = 1;
    f.height = -2;
    f.pixels = {0, 1};
    f.colourTable.assign(256 * 4, 0);
    add("top-down RLE8", f, kInvalid);
    f.bitCount = 4;
    f.compression = 2;
    f.colourTable.assign(16 * 4, 0);
    add("top-down RLE4", f, kInvalid);
  }
  // Stores beyond any memory: refused before anything is allocated.
  {
    BmpFixture f = Good24();
    f.width = 0x7FFFFFFF;
    f.height = 0x7FFFFFFF;
    f.bitCount = 32;
    add("32-bit store of 2^64 bytes", f, kMemory);
    f.height = -0x7FFFFFFF;
    add("top-down 32-bit store of 2^64 bytes", f, kMemory);
    f.height = 0x7FFFFFFF;
    f.bitCount = 8;
    f.compression = 1;
    f.colourTable.assign(256 * 4, 0);
    f.pixels = {0, 1};
    add("RLE8 bitmap of 2^64 bytes", f, kMemory);
  }
  return cases;
}

Raster Sentinel() {
  Raster raster;
  raster.SetSize(2, 3);
  raster.MutableRow(1)[0] = 0x5A;
  return raster;
}

TEST(BmpReader, EachFailureCarriesItsMessageAndLeavesTheRasterAsItWas) {
  const Raster sentinel = Sentinel();
  const std::vector<std::uint8_t> sentinelStore(sentinel.Store().begin(), sentinel.Store().end());
  for (const FailureCase& c : FailureCases()) {
    SCOPED_TRACE(c.name);
    MemorySource source(c.bytes);
    Raster raster = Sentinel();
    try {
      LoadBmp(source, raster);
      ADD_FAILURE() << "read without error";
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), c.message);
    }
    EXPECT_EQ(raster.Width(), 2);
    EXPECT_EQ(raster.Height(), 3);
    EXPECT_EQ(raster.Format(), RasterFormat::Device);
    EXPECT_EQ(std::vector<std::uint8_t>(raster.Store().begin(), raster.Store().end()),
              sentinelStore);
  }
}

// A header may announce any size; the store it needs is the memory budget's
// to grant. Within the budget a file that lacks its pixels still reads.
TEST(BmpReader, TheMemoryBudgetDecidesWhetherAnAnnouncedStoreIsMade) {
  struct Case {
    const char* name;
    std::uint64_t budget;
    std::int32_t width, height;
    std::uint16_t bitCount;
    std::uint32_t compression;
    bool fits;
  };
  // 24-bit rows of 512 pixels take 1,536 bytes: 682 of them fit in 1 MiB. A
  // run-length bitmap is held as 32-bit Device pixels: 512 rows fit.
  const Case cases[] = {
      {"100000 x 100000 at 24 bits", std::uint64_t{1} << 30, 100000, 100000, 24, 0, false},
      {"100000 x 100000 RLE8", std::uint64_t{1} << 30, 100000, 100000, 8, 1, false},
      {"24 bits just within", 1 << 20, 512, 682, 24, 0, true},
      {"24 bits just above", 1 << 20, 512, 683, 24, 0, false},
      {"RLE8 just within", 1 << 20, 512, 512, 8, 1, true},
      {"RLE8 just above", 1 << 20, 512, 513, 8, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ScopedMemoryBudget budget(c.budget);
    BmpFixture f;
    f.width = c.width;
    f.height = c.height;
    f.bitCount = c.bitCount;
    f.compression = c.compression;
    if (c.bitCount == 8) f.colourTable = ColourTable({0x102030});
    f.clrUsed = c.bitCount == 8 ? 1 : 0;
    f.pixels = {0, 1};  // a short pixel array, or an RLE end of bitmap
    if (c.fits) {
      const Raster raster = LoadBmpBytes(f.Bytes());
      EXPECT_EQ(raster.Height(), c.height);
      EXPECT_EQ(PixelAt(raster, 0, 0) & 0xFFFFFF, c.compression == 0 ? 0u : 0x102030u);
    } else {
      try {
        LoadBmpBytes(f.Bytes());
        ADD_FAILURE() << "read without error";
      } catch (const Error& e) {
        EXPECT_EQ(e.what(), kMemory);
      }
    }
  }
}

TEST(BmpReader, MissingFileCannotBeOpened) {
  testing::TempDir dir;
  const std::string path = dir.File("absent.bmp");
  Raster raster;
  try {
    LoadBmpFile(path, raster);
    FAIL() << "read without error";
  } catch (const Error& e) {
    EXPECT_EQ(e.what(), messages::CannotOpenFile(path, OsErrorText(testing::kNoSuchFile)));
  }
}

TEST(BmpReader, ZeroByteFileGivesAnEmptyRaster) {
  testing::TempDir dir;
  const std::string path = dir.File("empty.bmp");
  testing::WriteFile(path, {});
  Raster raster = Sentinel();
  LoadBmpFile(path, raster);  // through the file, as the conversion reads it
  EXPECT_EQ(raster.Width(), 0);
  EXPECT_EQ(raster.Height(), 0);
  EXPECT_TRUE(raster.Empty());
}

TEST(BmpReader, ReadsA24BitFileBottomRowFirst) {
  const Raster raster = LoadBmpBytes(Good24().Bytes());
  EXPECT_EQ(raster.Format(), RasterFormat::Bits24);
  EXPECT_EQ(raster.Width(), 2);
  EXPECT_EQ(raster.Height(), 2);
  EXPECT_EQ(raster.GetRowOrder(), RowOrder::BottomUp);
  EXPECT_EQ(raster.Alpha(), AlphaMode::None);
  EXPECT_FALSE(raster.Transparent());
  EXPECT_FALSE(raster.Os2Header());
  EXPECT_FALSE(raster.HasMasks());
  EXPECT_TRUE(raster.Palette().empty());
  EXPECT_EQ(AllPixels(raster),
            (std::vector<std::uint32_t>{0x090807, 0x0C0B0A, 0x030201, 0x060504}));
}

TEST(BmpReader, PaletteFilesTakeTheirColourTable) {
  struct Case {
    const char* name;
    std::uint16_t bits;
    std::uint32_t clrUsed;
    std::size_t entries;
    std::uint8_t firstByte;  // the pixel byte of a 1-pixel-wide row
    std::uint32_t colour;
  };
  for (const Case& c :
       std::vector<Case>{{"1 bit, full table", 1, 0, 2, 0x80, 0x000001},
                         {"4 bits, full table", 4, 0, 16, 0xF0, 0x00000F},
                         {"8 bits, full table", 8, 0, 256, 200, 0x0000C8},
                         {"8 bits, 3 colours", 8, 3, 3, 2, 0x000002},
                         {"8 bits, 256 colours given", 8, 256, 256, 255, 0x0000FF},
                         {"8 bits, index beyond the table", 8, 3, 3, 7, 0x000000}}) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint32_t> colours;
    for (std::uint32_t i = 0; i < c.entries; ++i) colours.push_back(i);
    BmpFixture f;
    f.bitCount = c.bits;
    f.clrUsed = c.clrUsed;
    f.colourTable = ColourTable(colours);
    f.colourTable[3] = 0x77;  // a reserved byte, kept as stored
    f.pixels = {c.firstByte, 0, 0, 0};
    const Raster raster = LoadBmpBytes(f.Bytes());
    ASSERT_EQ(raster.Palette().size(), c.entries);
    EXPECT_EQ(raster.Palette()[0].reserved, 0x77);
    EXPECT_EQ(PixelAt(raster, 0, 0), c.colour);
  }
}

TEST(BmpReader, CoreHeaderWithEightBitsReads256ThreeByteEntries) {
  std::vector<std::uint32_t> colours;
  for (std::uint32_t i = 0; i < 256; ++i) colours.push_back((0x010203 * i) & 0xFFFFFF);
  BmpFixture f;
  f.headerLength = 12;
  f.width = 3;
  f.height = 2;
  f.bitCount = 8;
  f.colourTable = ColourTable(colours, /*core=*/true);
  f.pixels = {1, 2, 3, 0, 255, 254, 253, 0};
  const Raster raster = LoadBmpBytes(f.Bytes());
  EXPECT_TRUE(raster.Os2Header());
  EXPECT_EQ(raster.Format(), RasterFormat::Bits8);
  ASSERT_EQ(raster.Palette().size(), 256u);
  EXPECT_EQ(raster.Palette()[5], (PaletteEntry{15, 10, 5, 0}));
  EXPECT_EQ(AllPixels(raster), (std::vector<std::uint32_t>{colours[255], colours[254], colours[253],
                                                           colours[1], colours[2], colours[3]}));
}

TEST(BmpReader, CoreHeaderSizesAreUnsigned) {
  BmpFixture f;
  f.headerLength = 12;
  f.width = 0x8001;
  f.height = 0x8000;  // would be negative as a signed 16-bit field
  f.bitCount = 1;
  f.colourTable = ColourTable({0, 0xFFFFFF}, true);
  const Raster raster = LoadBmpBytes(f.Bytes());
  EXPECT_EQ(raster.Width(), 0x8001);
  EXPECT_EQ(raster.Height(), 0x8000);
  EXPECT_EQ(raster.GetRowOrder(), RowOrder::BottomUp);
}

TEST(BmpReader, PixelsFollowTheTableWhateverBfOffBitsSays) {
  BmpFixture f;
  f.gap = {0x11, 0x22, 0x33, 0x44};
  f.pixels = {0x55, 0x66, 0x77, 0};
  EXPECT_EQ(PixelAt(LoadBmpBytes(f.Bytes()), 0, 0), 0x332211u);
}

TEST(BmpReader, TopDownFileKeepsItsRowOrder) {
  BmpFixture f = Good24();
  f.height = -2;
  const Raster raster = LoadBmpBytes(f.Bytes());
  EXPECT_EQ(raster.Height(), 2);
  EXPECT_EQ(raster.GetRowOrder(), RowOrder::TopDown);
  EXPECT_EQ(AllPixels(raster),
            (std::vector<std::uint32_t>{0x030201, 0x060504, 0x090807, 0x0C0B0A}));
}

TEST(BmpReader, ShortPixelArrayLeavesTheTopRowsZero) {
  BmpFixture f;
  f.width = 1;
  f.height = 3;
  f.pixels = {1, 2, 3, 0, 4, 5};  // the bottom row and part of the next
  EXPECT_EQ(AllPixels(LoadBmpBytes(f.Bytes())),
            (std::vector<std::uint32_t>{0, 0x000504, 0x030201}));

  f.bitCount = 8;
  f.colourTable = ColourTable({0x102030, 0x405060});
  f.colourTable.resize(256 * 4, 0);
  f.pixels = {1, 0, 0, 0};
  EXPECT_EQ(AllPixels(LoadBmpBytes(f.Bytes())),
            (std::vector<std::uint32_t>{0x102030, 0x102030, 0x405060}));
}

TEST(BmpReader, ColourTableOfATrueColourFileIsSkipped) {
  BmpFixture f;
  f.clrUsed = 2;
  f.colourTable = ColourTable({0xABCDEF, 0x123456});
  f.pixels = {1, 2, 3, 0};
  const Raster raster = LoadBmpBytes(f.Bytes());
  EXPECT_TRUE(raster.Palette().empty());
  EXPECT_EQ(PixelAt(raster, 0, 0), 0x030201u);
}

TEST(BmpReader, SixteenAndThirtyTwoBitLayouts) {
  struct Case {
    const char* name;
    std::uint32_t headerLength;
    std::uint16_t bits;
    std::uint32_t compression;
    std::vector<std::uint32_t> masks;
    std::vector<std::uint8_t> pixel;
    RasterFormat format;
    std::optional<BitMasks> expectedMasks;
    std::uint32_t colour;
  };
  // One case a line reads better than one field a line.
  // clang-format off
  const std::vector<Case> cases = {
      {"555", 40, 16, 0, {}, {0x00, 0x7C}, RasterFormat::Bits15, std::nullopt, 0xFF0000},
      {"565", 40, 16, 3, {0xF800, 0x07E0, 0x001F}, {0xE0, 0x07}, RasterFormat::Bits16,
       BitMasks{0xF800, 0x07E0, 0x001F}, 0x00FF00},
      {"555 as bit fields", 40, 16, 3, {0x7C00, 0x03E0, 0x001F}, {0x1F, 0x00}, RasterFormat::Custom,
       BitMasks{0x7C00, 0x03E0, 0x001F}, 0x0000FF},
      {"red mask 0 takes 565", 40, 16, 3, {0, 0, 0}, {0x00, 0xF8}, RasterFormat::Bits16,
       BitMasks{0xF800, 0x07E0, 0x001F}, 0xFF0000},
      {"4444 inside a 108-byte header", 108, 16, 3, {0x0F00, 0x00F0, 0x000F}, {0x0F, 0x0F},
       RasterFormat::Custom, BitMasks{0x0F00, 0x00F0, 0x000F}, 0xFF00FF},
      {"masks of a 124-byte header unused without bit fields", 124, 16, 0, {0x0F00, 0x00F0, 0x000F},
       {0x00, 0x7C}, RasterFormat::Bits15, std::nullopt, 0xFF0000},
      {"32 bits", 40, 32, 0, {}, {1, 2, 3, 4}, RasterFormat::Bits32, std::nullopt, 0x04030201},
      {"32-bit bit fields", 40, 32, 3, {0x000000FF, 0x0000FF00, 0x00FF0000}, {1, 2, 3, 0},
       RasterFormat::Custom, BitMasks{0x000000FF, 0x0000FF00, 0x00FF0000}, 0x010203},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BmpFixture f;
    f.headerLength = c.headerLength;
    f.bitCount = c.bits;
    f.compression = c.compression;
    f.masks = c.masks;
    f.pixels = c.pixel;
    f.pixels.resize(4, 0);
    const Raster raster = LoadBmpBytes(f.Bytes());
    EXPECT_EQ(raster.Format(), c.format);
    EXPECT_EQ(raster.HasMasks(), c.expectedMasks.has_value());
    if (c.expectedMasks) {
      EXPECT_EQ(raster.Masks(), *c.expectedMasks);
    }
    EXPECT_EQ(PixelAt(raster, 0, 0), c.colour);
  }
}

TEST(BmpReader, ThirtyTwoBitFourthBytesAreKeptButNotAlpha) {
  BmpFixture f;
  f.width = 3;
  f.bitCount = 32;
  f.pixels = {10, 20, 30, 0, 10, 20, 30, 128, 10, 20, 30, 255};
  const Raster raster = LoadBmpBytes(f.Bytes());
  EXPECT_EQ(raster.Alpha(), AlphaMode::None);
  EXPECT_EQ(std::vector<std::uint8_t>(raster.Store().begin(), raster.Store().end()), f.pixels);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(PixelAt(raster, x, 0) & 0xFFFFFF, 0x1E140Au);
}

TEST(BmpReader, BitFieldPixelCountIsCutToTheStore) {
  BmpFixture f;
  f.width = 2;
  f.bitCount = 16;
  f.compression = 3;
  f.masks = {0xF800, 0x07E0, 0x001F};
  f.pixels = {0x1F, 0x00, 0x1F, 0x00, 0xEE, 0xEE, 0xEE, 0xEE};
  f.sizeImage = 0xFFFFFF00;  // far beyond the 4-byte store
  const Raster big = LoadBmpBytes(f.Bytes());
  EXPECT_EQ(big.Store().size(), 4u);
  EXPECT_EQ(AllPixels(big), (std::vector<std::uint32_t>{0xFF, 0xFF}));
  f.sizeImage = 2;  // only the first pixel
  EXPECT_EQ(AllPixels(LoadBmpBytes(f.Bytes())), (std::vector<std::uint32_t>{0xFF, 0}));
}

}  // namespace
}  // namespace tolvane
