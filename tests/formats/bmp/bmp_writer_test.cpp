#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats/bmp/bmp.h"
#include "support/error.h"
#include "support/files.h"
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

std::uint32_t Le32At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes[offset]) |
         (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
         (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

std::vector<std::uint8_t> StoreOf(const Raster& raster) {
  return {raster.Store().begin(), raster.Store().end()};
}

std::vector<std::uint8_t> SaveToBytes(const Raster& raster) {
  testing::TempDir dir;
  const std::string path = dir.File("out.bmp");
  SaveBmpFile(raster, path);
  return testing::ReadFile(path);
}

// A 3 x 2 Device raster, as the reduction leaves one, with fourth bytes that
// are not 0.
Raster Device3x2() {
  Raster raster;
  raster.SetSize(3, 2);
  for (int y = 0; y < 2; ++y) {
    std::uint8_t* row = raster.MutableRow(y).data();
    for (int i = 0; i < 12; ++i) row[i] = static_cast<std::uint8_t>(0x10 * (y + 1) + i);
  }
  return raster;
}

TEST(BmpWriter, WritesADeviceRasterAs32BitBottomRowFirstWithFourthByteZero) {
  const std::vector<std::uint8_t> expected = {'B', 'M', 78, 0, 0, 0,   // bfSize = 54 + 4 x 3 x 2
                                              0, 0, 0, 0,              // reserved
                                              54, 0, 0, 0,             // bfOffBits
                                              40, 0, 0, 0,             // biSize
                                              3, 0, 0, 0,              // biWidth
                                              2, 0, 0, 0,              // biHeight, bottom row first
                                              1, 0,                    // biPlanes
                                              32, 0,                   // biBitCount
                                              0, 0, 0, 0,              // BI_RGB
                                              24, 0, 0, 0,             // biSizeImage
                                              0, 0, 0, 0, 0, 0, 0, 0,  // resolutions
                                              0, 0, 0, 0, 0, 0, 0, 0,  // biClrUsed, biClrImportant
                                              // bottom row (y = 1), then the top row (y = 0)
                                              0x20, 0x21, 0x22, 0, 0x24, 0x25, 0x26, 0, 0x28, 0x29,
                                              0x2A, 0, 0x10, 0x11, 0x12, 0, 0x14, 0x15, 0x16, 0,
                                              0x18, 0x19, 0x1A, 0};
  EXPECT_EQ(SaveToBytes(Device3x2()), expected);
}

TEST(BmpWriter, RasterWithoutStoreGivesAZeroByteFileReplacingTheOldOne) {
  testing::TempDir dir;
  const std::string path = dir.File("out.bmp");
  testing::WriteFile(path, {1, 2, 3});
  Raster raster;
  raster.SetSize(2047, 0);
  SaveBmpFile(raster, path);
  EXPECT_TRUE(testing::ReadFile(path).empty());
  SaveBmpFile(Raster{}, path);
  EXPECT_TRUE(testing::ReadFile(path).empty());
}

TEST(BmpWriter, TargetThatCannotBeCreatedFailsWithThePath) {
  testing::TempDir dir;
  for (const auto& [path, error] : std::vector<std::pair<std::string, int>>{
           {dir.File("missing/out.bmp"), testing::kNoSuchFolder},
           {dir.Path().string(), testing::kIsAFolder}}) {
    SCOPED_TRACE(path);
    try {
      SaveBmpFile(Device3x2(), path);
      ADD_FAILURE() << "written";
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), messages::CannotCreateFile(path, OsErrorText(error)));
    }
  }
}

TEST(BmpWriter, ShortWriteFailsAndLeavesNoFile) {
  if (!testing::FileSizeLimit::Supported()) GTEST_SKIP() << "no file size limit on this system";
  testing::TempDir dir;
  Raster raster;
  raster.SetSize(64, 64);
  const std::string path = dir.File("out.bmp");
  const testing::FileSizeLimit limit(1000);
  EXPECT_EQ(testing::MessageOf([&] { SaveBmpFile(raster, path); }), messages::kWriteError);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(BmpWriter, DeviceRasterReadsBackAsThe32BitFile) {
  const Raster device = Device3x2();
  const Raster back = LoadBmpBytes(SaveToBytes(device));
  EXPECT_EQ(back.Format(), RasterFormat::Bits32);
  std::vector<std::uint32_t> expected = AllPixels(device);
  for (auto& pixel : expected) pixel &= 0xFFFFFF;
  EXPECT_EQ(AllPixels(back), expected);
}

struct RoundTrip {
  std::string name;
  BmpFixture file;
  std::uint32_t writtenHeaderLength = 40;
};

std::vector<RoundTrip> RoundTrips() {
  std::vector<RoundTrip> cases;
  const auto palette = [](int count) {
    std::vector<std::uint32_t> colours;
    for (int i = 0; i < count; ++i)
      colours.push_back(0x030507u * static_cast<std::uint32_t>(i + 1));
    return colours;
  };
  BmpFixture f;
  f.width = 3;
  f.height = 2;
  f.bitCount = 1;
  f.colourTable = ColourTable(palette(2));
  f.pixels = {0xA0, 0, 0, 0, 0x40, 0, 0, 0};
  cases.push_back({"1 bit", f});
  f.bitCount = 4;
  f.colourTable = ColourTable(palette(16));
  f.pixels = {0x12, 0x30, 0, 0, 0xFE, 0xD0, 0, 0};
  cases.push_back({"4 bits", f});
  f.bitCount = 8;
  f.clrUsed = 3;
  f.colourTable = ColourTable(palette(3));
  f.pixels = {0, 1, 2, 0, 2, 1, 0, 0};
  cases.push_back({"8 bits, 3 colours", f});
  f.clrUsed = 0;
  f.headerLength = 12;
  f.colourTable = ColourTable(palette(256), /*core=*/true);
  cases.push_back({"8 bits, core header", f, 12});
  f.colourTable.clear();
  f.bitCount = 24;
  f.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0};
  cases.push_back({"24 bits, core header", f, 12});
  f.headerLength = 40;
  cases.push_back({"24 bits, padded rows", f});
  f.height = -2;
  cases.push_back({"24 bits, top-down", f});
  f.height = 2;
  f.bitCount = 16;
  f.pixels = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
  cases.push_back({"16 bits, 555", f});
  f.compression = 3;
  f.masks = {0xF800, 0x07E0, 0x001F};
  cases.push_back({"16 bits, 565", f});
  f.masks = {0x0F00, 0x00F0, 0x000F};
  cases.push_back({"16 bits, custom masks", f});
  f.masks.clear();
  f.compression = 0;
  f.bitCount = 32;
  f.pixels.clear();
  for (int i = 0; i < 24; ++i) f.pixels.push_back(static_cast<std::uint8_t>(i * 11));
  cases.push_back({"32 bits, fourth byte kept", f});
  f.compression = 3;
  f.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};
  cases.push_back({"32 bits, bit fields", f});
  return cases;
}

TEST(BmpWriter, OtherRastersRoundTripInTheirOwnLayout) {
  for (const RoundTrip& c : RoundTrips()) {
    SCOPED_TRACE(c.name);
    const Raster first = LoadBmpBytes(c.file.Bytes());
    const std::vector<std::uint8_t> written = SaveToBytes(first);
    ASSERT_GE(written.size(), 26u);
    EXPECT_EQ(Le32At(written, 14), c.writtenHeaderLength);
    EXPECT_EQ(Le32At(written, 2), written.size());  // bfSize
    const Raster second = LoadBmpBytes(written);
    EXPECT_EQ(second.Format(), first.Format());
    EXPECT_EQ(second.Width(), first.Width());
    EXPECT_EQ(second.Height(), first.Height());
    EXPECT_EQ(second.GetRowOrder(), first.GetRowOrder());
    EXPECT_EQ(second.Palette(), first.Palette());
    EXPECT_EQ(second.HasMasks(), first.HasMasks());
    EXPECT_EQ(second.Masks(), first.Masks());
    EXPECT_EQ(second.Os2Header(), first.Os2Header());
    EXPECT_EQ(StoreOf(second), StoreOf(first));
  }
}

TEST(BmpWriter, DefinedAlphaIsWrittenStraight) {
  BmpFixture f;
  f.width = 4;
  f.bitCount = 32;
  f.pixels.assign(16, 0);
  Raster raster = LoadBmpBytes(f.Bytes());
  raster.SetAlphaMode(AlphaMode::Defined);
  // Premultiplied colours in memory, blue, green, red, alpha.
  const std::vector<std::uint8_t> held = {0, 0, 128, 128, 0,   32, 64, 128,
                                          9, 9, 9,   0,   200, 0,  0,  100};
  std::copy(held.begin(), held.end(), raster.MutableRow(0).begin());
  const std::vector<std::uint8_t> written = SaveToBytes(raster);
  const std::vector<std::uint8_t> pixels(written.end() - 16, written.end());
  EXPECT_EQ(pixels, (std::vector<std::uint8_t>{0, 0, 255, 128, 0, 64, 128, 128, 0, 0, 0, 0, 255, 0,
                                               0, 100}));
  // The raster itself is left as it was.
  EXPECT_EQ(StoreOf(raster), held);
}

}  // namespace
}  // namespace tolvane
