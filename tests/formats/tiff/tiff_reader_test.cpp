#include "formats/tiff/tiff_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "support/byte_source.h"
#include "support/error.h"
#include "support/memory_budget.h"
#include "support/messages.h"
#include "tests/support/platform.h"
#include "tests/support/test_support.h"

namespace tolvane {
namespace {

using testing::MessageOf;

using testing::PutLe16;
using testing::PutLe32;

// The ExtraSamples values of an alpha channel.
constexpr int kAssociatedAlpha = 1;
constexpr int kUnassociatedAlpha = 2;

// One page of an uncompressed TIFF: RGB or RGBA, 8 bits, contiguous samples.
struct Page {
  int width = 1;
  int height = 1;
  int extraSample = -1;               // -1: no alpha; else kAssociatedAlpha or kUnassociatedAlpha
  std::vector<std::uint8_t> samples;  // top row first
};

// Written by hand, little-endian, one strip a page, so that the same files
// reach every platform's reader.
std::vector<std::uint8_t> TiffOf(const std::vector<Page>& pages) {
  std::vector<std::uint8_t> out = {'I', 'I', 42, 0};
  std::size_t nextIfdLink = out.size();
  PutLe32(out, 0);
  for (const Page& page : pages) {
    const std::uint32_t channels = page.extraSample < 0 ? 3 : 4;
    const auto dataOffset = static_cast<std::uint32_t>(out.size());
    out.insert(out.end(), page.samples.begin(), page.samples.end());
    if (out.size() % 2 != 0) out.push_back(0);
    const auto bitsOffset = static_cast<std::uint32_t>(out.size());
    for (std::uint32_t i = 0; i < channels; ++i) PutLe16(out, 8);
    const auto ifdOffset = static_cast<std::uint32_t>(out.size());
    for (int i = 0; i < 4; ++i)
      out[nextIfdLink + i] = static_cast<std::uint8_t>(ifdOffset >> (8 * i));
    struct Entry {
      std::uint16_t tag, type;
      std::uint32_t count, value;
    };
    std::vector<Entry> entries = {
        {256, 4, 1, static_cast<std::uint32_t>(page.width)},
        {257, 4, 1, static_cast<std::uint32_t>(page.height)},
        {258, 3, channels, bitsOffset},
        {259, 3, 1, 1},  // no compression
        {262, 3, 1, 2},  // RGB
        {273, 4, 1, dataOffset},
        {277, 3, 1, channels},
        {278, 4, 1, static_cast<std::uint32_t>(page.height)},
        {279, 4, 1, static_cast<std::uint32_t>(page.samples.size())},
        {284, 3, 1, 1},  // contiguous samples
    };
    if (page.extraSample >= 0)
      entries.push_back({338, 3, 1, static_cast<std::uint32_t>(page.extraSample)});
    PutLe16(out, static_cast<std::uint32_t>(entries.size()));
    for (const Entry& e : entries) {
      PutLe16(out, e.tag);
      PutLe16(out, e.type);
      PutLe32(out, e.count);
      if (e.type == 3 && e.count == 1) {
        PutLe16(out, e.value);
        PutLe16(out, 0);
      } else {
        PutLe32(out, e.value);
      }
    }
    nextIfdLink = out.size();
    PutLe32(out, 0);
  }
  return out;
}

// A page of one colour.
Page Uniform(int width, int height, std::vector<std::uint8_t> pixel, int extraSample = -1) {
  Page page{width, height, extraSample, {}};
  for (int i = 0; i < width * height; ++i)
    page.samples.insert(page.samples.end(), pixel.begin(), pixel.end());
  return page;
}

// Blue, green, red, alpha of pixel (x, y).
std::vector<int> PixelAt(const Raster& raster, int x, int y) {
  const auto row = raster.Row(y);
  return {row[4 * x], row[4 * x + 1], row[4 * x + 2], row[4 * x + 3]};
}

Raster Load(const std::vector<std::uint8_t>& file) {
  MemorySource source(file);
  Raster raster;
  LoadTiff(source, raster);
  return raster;
}

Raster LoadFile(const std::filesystem::path& path) {
  Raster raster;
  LoadTiffFile(path.string(), raster);
  return raster;
}

TEST(LoadTiff, StraightAndAssociatedAlphaBothComeOutPremultipliedByTheSameRule) {
  struct Case {
    int extraSample;
    std::vector<std::uint8_t>
        stored;  // red 200, green 100, blue 50, alpha 128 as the file keeps it
  };
  const Case cases[] = {
      {kUnassociatedAlpha, {200, 100, 50, 128, 30, 60, 90, 0, 10, 20, 30, 255}},
      {kAssociatedAlpha, {100, 50, 25, 128, 0, 0, 0, 0, 10, 20, 30, 255}},
  };
  for (const Case& c : cases) {
    const Raster raster = Load(TiffOf({Page{3, 1, c.extraSample, c.stored}}));
    ASSERT_EQ(raster.Format(), RasterFormat::Bits32);
    EXPECT_EQ(raster.Alpha(), AlphaMode::Defined);
    EXPECT_EQ(raster.GetRowOrder(), RowOrder::BottomUp);
    EXPECT_EQ(PixelAt(raster, 0, 0), (std::vector<int>{25, 50, 100, 128})) << c.extraSample;
    EXPECT_EQ(PixelAt(raster, 1, 0), (std::vector<int>{0, 0, 0, 0})) << c.extraSample;
    EXPECT_EQ(PixelAt(raster, 2, 0), (std::vector<int>{30, 20, 10, 255})) << c.extraSample;
  }
}

TEST(LoadTiff, EveryColourAndAlphaPairFollowsTheRoundingRule) {
  // Column c, row a: colour c with alpha a.
  Page straight{256, 256, kUnassociatedAlpha, {}};
  Page associated{256, 256, kAssociatedAlpha, {}};
  for (int a = 0; a < 256; ++a) {
    for (int c = 0; c < 256; ++c) {
      const auto colour = static_cast<std::uint8_t>(c);
      const auto alpha = static_cast<std::uint8_t>(a);
      straight.samples.insert(straight.samples.end(), {colour, colour, colour, alpha});
      associated.samples.insert(associated.samples.end(), {colour, colour, colour, alpha});
    }
  }
  const Raster fromStraight = Load(TiffOf({straight}));
  const Raster fromAssociated = Load(TiffOf({associated}));
  for (int a = 0; a < 256; ++a) {
    for (int c = 0; c < 256; ++c) {
      const int premultiplied = (c * a + 127) / 255;
      ASSERT_EQ(PixelAt(fromStraight, c, a),
                (std::vector<int>{premultiplied, premultiplied, premultiplied, a}))
          << "straight " << c << " " << a;
      // Stored premultiplied: kept, except colours above their alpha, which
      // no straight colour can give and which become the alpha. The system's
      // decoder makes colours straight by its own rounding, which may lose
      // one, and has no rule for colours above their alpha.
      const int kept = std::min(c, a);
      const std::vector<int> pixel = PixelAt(fromAssociated, c, a);
      if (!testing::kSystemDecodesTiff) {
        ASSERT_EQ(pixel, (std::vector<int>{kept, kept, kept, a})) << "associated " << c << " " << a;
      } else if (c <= a) {
        ASSERT_LE(kept - pixel[0], 1) << "associated " << c << " " << a;
        ASSERT_GE(kept - pixel[0], 0) << "associated " << c << " " << a;
        ASSERT_EQ(pixel[3], a) << "associated " << c << " " << a;
      }
    }
  }
}

TEST(LoadTiff, RgbWithoutAlphaKeepsItsColoursWithAlpha255) {
  Page page{2, 2, -1, {255, 0, 0, 0, 255, 0, 0, 0, 255, 7, 8, 9}};
  const Raster raster = Load(TiffOf({page}));
  EXPECT_EQ(raster.Alpha(), AlphaMode::Defined);
  EXPECT_EQ(PixelAt(raster, 0, 0), (std::vector<int>{0, 0, 255, 255}));  // top row on top
  EXPECT_EQ(PixelAt(raster, 1, 0), (std::vector<int>{0, 255, 0, 255}));
  EXPECT_EQ(PixelAt(raster, 0, 1), (std::vector<int>{255, 0, 0, 255}));
  EXPECT_EQ(PixelAt(raster, 1, 1), (std::vector<int>{9, 8, 7, 255}));
}

TEST(LoadTiff, AMultiPageFileYieldsItsFirstPage) {
  const Raster raster = Load(TiffOf({Uniform(3, 2, {200, 0, 0}), Uniform(5, 5, {0, 0, 200})}));
  EXPECT_EQ(raster.Width(), 3);
  EXPECT_EQ(raster.Height(), 2);
  EXPECT_EQ(PixelAt(raster, 2, 1), (std::vector<int>{0, 0, 200, 255}));
}

TEST(LoadTiff, ALargeImageKeepsItsSize) {
  const Raster raster = Load(TiffOf({Uniform(4000, 3000, {10, 20, 30})}));
  EXPECT_EQ(raster.Width(), 4000);
  EXPECT_EQ(raster.Height(), 3000);
  EXPECT_EQ(PixelAt(raster, 3999, 2999), (std::vector<int>{30, 20, 10, 255}));
}

// A little-endian TIFF header with one 8-bit grey strip of the given size,
// whose data are absent.
std::vector<std::uint8_t> GreyHeader(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> out = {'I', 'I', 42, 0};
  PutLe32(out, 8);
  struct Entry {
    std::uint16_t tag, type;
    std::uint32_t value;
  };
  const Entry entries[] = {{256, 4, width}, {257, 4, height}, {258, 3, 8},
                           {259, 3, 1},     {262, 3, 1},      {273, 4, 200},
                           {277, 3, 1},     {278, 4, height}, {279, 4, 16}};
  PutLe16(out, static_cast<std::uint32_t>(std::size(entries)));
  for (const Entry& e : entries) {
    PutLe16(out, e.tag);
    PutLe16(out, e.type);
    PutLe32(out, 1);
    if (e.type == 3) {
      PutLe16(out, e.value);
      PutLe16(out, 0);
    } else {
      PutLe32(out, e.value);
    }
  }
  PutLe32(out, 0);
  out.resize(216, 0x80);
  return out;
}

TEST(LoadTiff, FailuresLeaveTheTargetAsItWas) {
  const std::vector<std::uint8_t> whole = TiffOf({Uniform(64, 64, {1, 2, 3})});
  const std::string invalid(messages::kInvalidStreamFormat);
  const std::string memory(messages::kOutOfMemory);
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    std::string message;
  };
  const Case cases[] = {
      {"empty", {}, invalid},
      {"not an image", {'h', 'e', 'l', 'l', 'o', ' ', 't', 'i', 'f', 'f'}, invalid},
      {"a PNG signature", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, invalid},
      {"cut short", std::vector<std::uint8_t>(whole.begin(), whole.begin() + 200), invalid},
      {"header only", std::vector<std::uint8_t>(whole.begin(), whole.begin() + 8), invalid},
      // 23171 x 4 x 23171 and 65536 x 4 x 8192 pass 2,147,483,647 bytes.
      {"pixel buffer past 2 GiB", GreyHeader(23171, 23171), memory},
      {"pixel buffer of exactly 2 GiB", GreyHeader(65536, 8192), memory},
  };
  for (const Case& c : cases) {
    MemorySource source(c.bytes);
    Raster target;
    target.SetSize(2, 1);
    EXPECT_EQ(MessageOf([&] { LoadTiff(source, target); }), c.message) << c.what;
    EXPECT_EQ(target.Width(), 2) << c.what;
    EXPECT_EQ(target.Format(), RasterFormat::Device) << c.what;
  }
}

// A header of 8192 x 8192 grey pixels with 16 bytes of data: the 256 MiB
// pixel buffer is refused by a budget just below it; within the budget the
// decode goes on and fails on the missing strip, without filling the buffer.
TEST(LoadTiff, TheMemoryBudgetBoundsThePixelBufferAHeaderAnnounces) {
  const std::vector<std::uint8_t> huge = GreyHeader(8192, 8192);
  const std::uint64_t pixelBytes = std::uint64_t{8192} * 4 * 8192;
  const struct {
    std::uint64_t budget;
    std::string message;
  } cases[] = {
      {pixelBytes - 1, std::string(messages::kOutOfMemory)},
      {pixelBytes, std::string(messages::kInvalidStreamFormat)},
  };
  for (const auto& c : cases) {
    const ScopedMemoryBudget budget(c.budget);
    MemorySource source(huge);
    Raster target;
    EXPECT_EQ(MessageOf([&] { LoadTiff(source, target); }), c.message) << c.budget;
    EXPECT_TRUE(target.Empty());
  }
}

TEST(LoadTiffFile, EverySuiteFileDecodesOrFailsWithTheFormatMessage) {
  const auto dir = testing::TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "peer suites absent";
  int decoded = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "tiff")) {
    const std::string name = entry.path().filename().string();
    if (name.find(".tif") == std::string::npos) continue;
    Raster raster;
    const std::string message = MessageOf([&] { LoadTiffFile(entry.path().string(), raster); });
    if (message.empty()) {
      ++decoded;
      EXPECT_EQ(raster.Format(), RasterFormat::Bits32) << name;
      EXPECT_EQ(raster.Alpha(), AlphaMode::Defined) << name;
      EXPECT_GT(raster.Width(), 0) << name;
    } else {
      EXPECT_EQ(message, messages::kInvalidStreamFormat) << name;
    }
    std::cout << name << ": " << (message.empty() ? "decoded" : message) << "\n";
  }
  // libtiff reads 27 of them, Wine's imaging component 20.
  EXPECT_GE(decoded, 20);
}

TEST(LoadTiffFile, SuiteImagesOfEachKindComeOutAsBgra) {
  const auto dir = testing::TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "peer suites absent";
  const Raster rgb = LoadFile(dir / "tiff" / "rgb-3c-8b.tiff");
  const Raster grey = LoadFile(dir / "tiff" / "minisblack-1c-8b.tiff");
  const Raster palette = LoadFile(dir / "tiff" / "palette-1c-8b.tiff");
  for (const Raster* raster : {&rgb, &grey, &palette}) {
    EXPECT_EQ(raster->Width(), 157);
    EXPECT_EQ(raster->Height(), 151);
    for (int y = 0; y < raster->Height(); y += 10) {
      for (int x = 0; x < raster->Width(); x += 10) ASSERT_EQ(PixelAt(*raster, x, y)[3], 255);
    }
  }
  const Raster pages = LoadFile(dir / "tiff" / "test_two_ifds.tif");
  EXPECT_GT(pages.Width(), 0);
}

}  // namespace
}  // namespace tolvane
