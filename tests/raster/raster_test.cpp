#include "raster/raster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "support/error.h"
#include "support/memory_budget.h"
#include "support/messages.h"

namespace tolvane {
namespace {

StoreLayout Layout(int width, int height, int bits, std::optional<BitMasks> masks = std::nullopt,
                   RowOrder order = RowOrder::BottomUp) {
  StoreLayout layout;
  layout.width = width;
  layout.height = height;
  layout.bitsPerPixel = bits;
  layout.masks = masks;
  layout.rowOrder = order;
  return layout;
}

std::vector<std::uint8_t> Bgrx(const Raster& raster, int y) {
  std::vector<std::uint8_t> out(4 * static_cast<std::size_t>(raster.Width()));
  ReadRowBgrx(raster, y, out.data());
  return out;
}

template <typename F>
void ExpectError(F&& f, std::string_view message) {
  try {
    f();
    ADD_FAILURE() << "no error, expected " << message;
  } catch (const Error& e) {
    EXPECT_EQ(e.what(), std::string(message));
  }
}

TEST(Raster, NewRasterIsEmptyDeviceWithDefaults) {
  const Raster r;
  EXPECT_EQ(r.Width(), 0);
  EXPECT_EQ(r.Height(), 0);
  EXPECT_TRUE(r.Empty());
  EXPECT_TRUE(r.Store().empty());
  EXPECT_EQ(r.Format(), RasterFormat::Device);
  EXPECT_EQ(r.BitsPerPixel(), 32);
  EXPECT_TRUE(r.Palette().empty());
  EXPECT_EQ(r.Alpha(), AlphaMode::None);
  EXPECT_FALSE(r.Transparent());
  EXPECT_FALSE(r.Os2Header());
  EXPECT_EQ(r.GetRowOrder(), RowOrder::BottomUp);
}

TEST(Raster, ZeroSideKeepsItsNumbersWithoutStore) {
  Raster r;
  r.SetWidth(2047);
  r.SetHeight(0);
  EXPECT_EQ(r.Width(), 2047);
  EXPECT_EQ(r.Height(), 0);
  EXPECT_TRUE(r.Empty());
  r.SetHeight(3);
  EXPECT_FALSE(r.Empty());
  EXPECT_EQ(r.Store().size(), 2047u * 4u * 3u);
  r.SetWidth(0);
  EXPECT_TRUE(r.Empty());
  EXPECT_EQ(r.Height(), 3);
  // Rows of a raster 0 wide exist but hold no bytes.
  EXPECT_TRUE(r.Row(2).empty());
}

TEST(Raster, NewSizeIsWhiteDevice) {
  Raster r;
  r.SetWidth(5);
  r.SetHeight(3);
  EXPECT_EQ(r.Format(), RasterFormat::Device);
  EXPECT_EQ(r.RowBytes(), 20u);
  ASSERT_EQ(r.Store().size(), 60u);
  for (int y = 0; y < 3; ++y) {
    const auto row = r.Row(y);
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(row[4 * x], 0xFF);
      EXPECT_EQ(row[4 * x + 1], 0xFF);
      EXPECT_EQ(row[4 * x + 2], 0xFF);
    }
  }
}

TEST(Raster, SizeToOverwriteKeepsTheFormatAndLeavesTheStoreZero) {
  Raster r;
  r.CreateIndependent(Layout(3, 2, 24));
  r.MutableRow(0)[0] = 7;
  r.SetSizeToOverwrite(5, 4);
  EXPECT_EQ(r.Format(), RasterFormat::Bits24);
  EXPECT_EQ(r.Width(), 5);
  EXPECT_EQ(r.Height(), 4);
  ASSERT_EQ(r.Store().size(), 4 * r.RowBytes());
  EXPECT_TRUE(
      std::all_of(r.Store().begin(), r.Store().end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(Raster, ResizeKeepsOldPixelsTopLeftAndFillsWhite) {
  Raster r;
  r.CreateIndependent(Layout(3, 2, 24));
  for (int y = 0; y < 2; ++y) {
    auto row = r.MutableRow(y);
    for (int x = 0; x < 3; ++x) row[3 * x] = static_cast<std::uint8_t>(10 * y + x);
  }
  r.SetSize(4, 3);
  ASSERT_EQ(r.Format(), RasterFormat::Bits24);
  for (int y = 0; y < 3; ++y) {
    const auto row = r.Row(y);
    for (int x = 0; x < 4; ++x) {
      const bool old = y < 2 && x < 3;
      EXPECT_EQ(row[3 * x], old ? 10 * y + x : 0xFF) << x << "," << y;
    }
  }
  // Shrinking a 1-bit store keeps the bits of the surviving pixels only.
  Raster bits;
  bits.CreateIndependent(Layout(12, 1, 1));
  bits.MutableRow(0)[0] = 0xA5;
  bits.MutableRow(0)[1] = 0xF0;
  bits.SetWidth(10);
  EXPECT_EQ(bits.Row(0)[0], 0xA5);
  EXPECT_EQ(bits.Row(0)[1] & 0xC0, 0xC0);
}

TEST(Raster, RowZeroIsTheTopRowWhateverTheOrder) {
  for (const RowOrder order : {RowOrder::BottomUp, RowOrder::TopDown}) {
    Raster r;
    r.CreateIndependent(Layout(2, 3, 24, std::nullopt, order));
    r.MutableRow(0)[0] = 0x11;
    const auto store = r.Store();
    const std::size_t topInMemory = order == RowOrder::BottomUp ? 2 * r.RowBytes() : 0;
    EXPECT_EQ(store[topInMemory], 0x11);
    EXPECT_EQ(r.Row(0).data(), store.data() + topInMemory);
  }
}

TEST(Raster, RowAccessOutsideTheRowsFails) {
  Raster r;
  r.SetSize(4, 3);
  for (const int y : {-1, 3, 1000}) {
    ExpectError([&] { (void)r.Row(y); }, messages::kScanLineOutOfRange);
    ExpectError([&] { (void)r.MutableRow(y); }, messages::kScanLineOutOfRange);
  }
  const Raster empty;
  ExpectError([&] { (void)empty.Row(0); }, messages::kScanLineOutOfRange);
}

TEST(Raster, CopiesShareTheStoreUntilOneChanges) {
  Raster a;
  a.SetSize(3, 2);
  Raster b = a;
  EXPECT_EQ(a.Store().data(), b.Store().data());
  b.MutableRow(1)[0] = 7;
  EXPECT_NE(a.Store().data(), b.Store().data());
  EXPECT_EQ(a.Row(1)[0], 0xFF);
  EXPECT_EQ(b.Row(1)[0], 7);

  // Every kind of change detaches: size, format and alpha mode too.
  Raster c = a;
  c.SetFormat(RasterFormat::Bits32);
  c.MutableRow(0)[3] = 128;
  Raster d = c;
  d.SetAlphaMode(AlphaMode::Defined);
  EXPECT_EQ(c.Row(0)[0], 0xFF);
  EXPECT_EQ(d.Row(0)[0], 128);
  Raster e = a;
  e.SetSize(1, 1);
  EXPECT_EQ(a.Width(), 3);
  EXPECT_EQ(a.Store().size(), 24u);

  // Assignment carries every field.
  Raster f;
  f.CreateIndependent(Layout(2, 2, 8, std::nullopt, RowOrder::TopDown));
  f.SetPalette({PaletteEntry{1, 2, 3, 0}});
  f.SetTransparent(true);
  f.SetTransparentColor(Rgb{9, 8, 7});
  f.SetOs2Header(true);
  Raster g;
  g = f;
  EXPECT_EQ(g.Format(), RasterFormat::Bits8);
  EXPECT_EQ(g.Palette(), f.Palette());
  EXPECT_EQ(g.GetRowOrder(), RowOrder::TopDown);
  EXPECT_TRUE(g.Transparent());
  EXPECT_EQ(g.TransparentColor(), (Rgb{9, 8, 7}));
  EXPECT_TRUE(g.Os2Header());
}

// (colour, alpha) -> premultiplied value, and (premultiplied, alpha) -> straight.
struct AlphaCase {
  int color;
  int alpha;
  int expected;
};

TEST(Raster, PremultiplyRoundsToNearest) {
  const AlphaCase cases[] = {
      {255, 128, 128}, {1, 128, 1}, {1, 127, 0}, {100, 51, 20}, {200, 255, 200},
      {200, 0, 0},     {3, 85, 1},  {128, 2, 1}, {127, 2, 1},   {254, 128, 127},
  };
  for (const AlphaCase& c : cases) {
    Raster r;
    r.CreateIndependent(Layout(1, 1, 32));
    auto px = r.MutableRow(0);
    px[0] = px[1] = px[2] = static_cast<std::uint8_t>(c.color);
    px[3] = static_cast<std::uint8_t>(c.alpha);
    r.SetAlphaMode(AlphaMode::Defined);
    EXPECT_EQ(r.Row(0)[2], c.expected) << c.color << " x " << c.alpha;
    EXPECT_EQ(r.Row(0)[3], c.alpha);
  }
}

TEST(Raster, UnpremultiplyRoundsHalvesAwayFromZeroAndZeroWithoutAlpha) {
  const AlphaCase cases[] = {
      {1, 2, 128},  // 127.5
      {1, 102, 3},  // 2.5
      {1, 3, 85},    {128, 128, 255}, {64, 128, 128},
      {10, 0, 0},    {0, 0, 0},       {200, 100, 255},  // beyond 255 is clamped
      {20, 51, 100},
  };
  for (const AlphaCase& c : cases) {
    Raster r;
    r.CreateIndependent(Layout(1, 1, 32));
    r.SetAlphaMode(AlphaMode::Premultiplied);  // an empty-valued store: nothing to see yet
    auto px = r.MutableRow(0);
    px[0] = px[1] = px[2] = static_cast<std::uint8_t>(c.color);
    px[3] = static_cast<std::uint8_t>(c.alpha);
    r.SetAlphaMode(AlphaMode::None);
    EXPECT_EQ(r.Row(0)[0], c.expected) << c.color << " / " << c.alpha;
  }
}

TEST(Raster, AlphaModeRoundTripAndUntouchedCases) {
  Raster r;
  r.CreateIndependent(Layout(2, 1, 32));
  auto px = r.MutableRow(0);
  const std::uint8_t straight[8] = {255, 128, 0, 128, 90, 60, 30, 255};
  std::copy(straight, straight + 8, px.begin());
  r.SetAlphaMode(AlphaMode::Defined);
  EXPECT_EQ(r.Row(0)[0], 128);
  EXPECT_EQ(r.Row(0)[1], 64);
  r.SetAlphaMode(AlphaMode::Premultiplied);  // between alpha modes the pixels stay
  EXPECT_EQ(r.Row(0)[0], 128);
  r.SetAlphaMode(AlphaMode::None);
  const auto back = r.Row(0);
  EXPECT_EQ(back[0], 255);
  EXPECT_EQ(back[1], 128);
  EXPECT_EQ(std::vector<std::uint8_t>(back.begin() + 4, back.end()),
            std::vector<std::uint8_t>(straight + 4, straight + 8));

  // Stores without a fourth byte are not touched; the mode is still recorded.
  Raster rgb;
  rgb.CreateIndependent(Layout(1, 1, 24));
  rgb.MutableRow(0)[0] = 200;
  rgb.SetAlphaMode(AlphaMode::Defined);
  EXPECT_EQ(rgb.Alpha(), AlphaMode::Defined);
  EXPECT_EQ(rgb.Row(0)[0], 200);
}

struct ClassCase {
  int bits;
  std::optional<BitMasks> masks;
  RasterFormat format;
  std::optional<BitMasks> storedMasks;
};

TEST(Raster, CreateIndependentClassifiesTheLayout) {
  const ClassCase cases[] = {
      {1, std::nullopt, RasterFormat::Bits1, std::nullopt},
      {4, std::nullopt, RasterFormat::Bits4, std::nullopt},
      {8, std::nullopt, RasterFormat::Bits8, std::nullopt},
      {24, std::nullopt, RasterFormat::Bits24, std::nullopt},
      {24, BitMasks{0xFF0000, 0xFF00, 0xFF}, RasterFormat::Bits24, std::nullopt},
      {16, std::nullopt, RasterFormat::Bits15, std::nullopt},
      {16, BitMasks{0xF800, 0x07E0, 0x001F}, RasterFormat::Bits16,
       BitMasks{0xF800, 0x07E0, 0x001F}},
      {16, BitMasks{0x7C00, 0x07E0, 0x001F}, RasterFormat::Bits16,
       BitMasks{0x7C00, 0x07E0, 0x001F}},
      {16, BitMasks{0x7C00, 0x03E0, 0x001F}, RasterFormat::Custom,
       BitMasks{0x7C00, 0x03E0, 0x001F}},
      {16, BitMasks{0, 0x03E0, 0x001F}, RasterFormat::Bits16, BitMasks{0xF800, 0x07E0, 0x001F}},
      {32, std::nullopt, RasterFormat::Bits32, std::nullopt},
      {32, BitMasks{0xFF0000, 0xFF00, 0xFF}, RasterFormat::Custom,
       BitMasks{0xFF0000, 0xFF00, 0xFF}},
      {32, BitMasks{0, 0, 0}, RasterFormat::Custom, BitMasks{0xFF0000, 0x00FF00, 0x0000FF}},
      {2, std::nullopt, RasterFormat::Custom, std::nullopt},
  };
  for (const ClassCase& c : cases) {
    Raster r;
    r.SetTransparent(true);
    r.CreateIndependent(Layout(3, 2, c.bits, c.masks));
    EXPECT_EQ(r.Format(), c.format) << c.bits;
    EXPECT_EQ(r.BitsPerPixel(), c.bits);
    EXPECT_EQ(r.HasMasks(), c.storedMasks.has_value()) << c.bits;
    if (c.storedMasks) {
      EXPECT_EQ(r.Masks(), *c.storedMasks) << c.bits;
    }
    EXPECT_EQ(r.RowBytes(), (3u * static_cast<unsigned>(c.bits) + 31) / 32 * 4);
    EXPECT_EQ(r.Store().size(), 2 * r.RowBytes());
    EXPECT_FALSE(r.Transparent());
    EXPECT_EQ(r.Alpha(), AlphaMode::None);
  }
  Raster r;
  ExpectError([&] { r.CreateIndependent(Layout(3, 2, 0)); }, messages::kInvalidPixelFormat);
  ExpectError([&] { r.CreateIndependent(Layout(1 << 30, 1 << 30, 32)); }, messages::kOutOfMemory);
  EXPECT_TRUE(r.Empty());
}

TEST(Raster, AStoreAboveTheMemoryBudgetIsRefusedAndOneWithinItIsMade) {
  const std::uint64_t budget = std::uint64_t{1} << 20;
  const ScopedMemoryBudget scoped(budget);
  EXPECT_EQ(MemoryBudget(), budget);

  // 512 x 512 Device pixels take the budget exactly; one row more is 2 KiB above it.
  Raster r;
  r.SetSize(512, 512);
  EXPECT_EQ(r.Store().size(), budget);
  ExpectError([&] { r.SetSize(512, 513); }, messages::kSystemResourcesLow);
  EXPECT_EQ(r.Height(), 512);
  EXPECT_EQ(r.Store().size(), budget);
  ExpectError([&] { r.SetFormat(RasterFormat::Custom); }, messages::kInvalidPixelFormat);

  // 24-bit rows of 1,536 bytes: 682 rows fit, 683 do not.
  Raster independent;
  independent.CreateIndependent(Layout(512, 682, 24));
  EXPECT_EQ(independent.Height(), 682);
  ExpectError([&] { independent.CreateIndependent(Layout(512, 683, 24)); }, messages::kOutOfMemory);
  EXPECT_EQ(independent.Height(), 682);
}

TEST(Raster, SetFormatCustomFailsAndKeepsTheRaster) {
  Raster r;
  r.SetSize(2, 2);
  const std::uint8_t* before = r.Store().data();
  ExpectError([&] { r.SetFormat(RasterFormat::Custom); }, messages::kInvalidPixelFormat);
  EXPECT_EQ(r.Format(), RasterFormat::Device);
  EXPECT_EQ(r.Store().data(), before);
}

TEST(Raster, SetFormatLeavesAValidStoreOfTheNewLayout) {
  const RasterFormat formats[] = {RasterFormat::Bits1,  RasterFormat::Bits4,  RasterFormat::Bits8,
                                  RasterFormat::Bits15, RasterFormat::Bits16, RasterFormat::Bits24,
                                  RasterFormat::Bits32, RasterFormat::Device};
  for (const RasterFormat format : formats) {
    Raster r;
    r.SetSize(5, 2);
    r.SetFormat(format);
    EXPECT_EQ(r.Format(), format);
    EXPECT_EQ(r.Store().size(), 2 * Raster::RowBytesFor(5, r.BitsPerPixel()));
    EXPECT_EQ(r.HasMasks(), format == RasterFormat::Bits16);
    EXPECT_LE(r.Palette().size(), std::size_t{1} << std::min(r.BitsPerPixel(), 8));
    const auto pixels = Bgrx(r, 1);
    const bool keepsWhite = format != RasterFormat::Bits4 && format != RasterFormat::Bits8;
    if (keepsWhite) {
      EXPECT_EQ(pixels[0], 0xFF) << static_cast<int>(format);
    }
  }
  Raster wide;
  wide.CreateIndependent(Layout(4, 1, 8));
  wide.SetPalette(std::vector<PaletteEntry>(256, PaletteEntry{9, 9, 9, 0}));
  wide.SetFormat(RasterFormat::Bits4);
  EXPECT_EQ(wide.Palette().size(), 16u);
}

TEST(Raster, BitFieldsAreScaledToEightBits) {
  struct Case {
    int bits;
    std::optional<BitMasks> masks;
    std::uint32_t pixel;
    std::uint8_t blue, green, red;
  };
  const Case cases[] = {
      {16, std::nullopt, 0x7FFF, 255, 255, 255},
      {16, std::nullopt, (16u << 10) | (1u << 5) | 31u, 255, 8, 132},
      {16, BitMasks{0xF800, 0x07E0, 0x001F}, (31u << 11) | (32u << 5) | 0u, 0, 130, 255},
      {32, BitMasks{0x3FF00000, 0x000FFC00, 0x000003FF}, (1023u << 20) | (512u << 10) | 1u, 0, 128,
       255},
      {32, BitMasks{0x000000FF, 0x0000FF00, 0x00FF0000}, 0x00112233, 0x11, 0x22, 0x33},
  };
  for (const Case& c : cases) {
    Raster r;
    r.CreateIndependent(Layout(1, 1, c.bits, c.masks));
    auto row = r.MutableRow(0);
    for (int i = 0; i < c.bits / 8; ++i) row[i] = static_cast<std::uint8_t>(c.pixel >> (8 * i));
    const auto px = Bgrx(r, 0);
    EXPECT_EQ(px[0], c.blue) << std::hex << c.pixel;
    EXPECT_EQ(px[1], c.green) << std::hex << c.pixel;
    EXPECT_EQ(px[2], c.red) << std::hex << c.pixel;
  }
}

TEST(Raster, PaletteStoresReadThroughTheirPaletteAndRemap) {
  Raster r;
  StoreLayout layout = Layout(3, 1, 4);
  layout.palette = {PaletteEntry{0, 0, 255, 0}, PaletteEntry{255, 0, 0, 0}};
  r.CreateIndependent(layout);
  r.MutableRow(0)[0] = 0x01;  // pixels 0, 1
  r.MutableRow(0)[1] = 0x50;  // pixel 2 refers to a missing entry: black
  auto px = Bgrx(r, 0);
  EXPECT_EQ(px[2], 255);
  EXPECT_EQ(px[4], 255);
  EXPECT_EQ(px[8] + px[9] + px[10], 0);
  // A new palette keeps the colours by re-mapping the indices.
  r.SetPalette({PaletteEntry{255, 0, 0, 0}, PaletteEntry{0, 0, 255, 0}});
  px = Bgrx(r, 0);
  EXPECT_EQ(px[2], 255);
  EXPECT_EQ(px[4], 255);
  EXPECT_EQ(r.Row(0)[0], 0x10);
}

TEST(Raster, TransparentColorIsSetOrAutomatic) {
  Raster r;
  r.CreateIndependent(Layout(2, 2, 24));
  r.MutableRow(1)[0] = 10;  // bottom-left: blue 10
  r.MutableRow(1)[1] = 20;
  r.MutableRow(1)[2] = 30;
  EXPECT_EQ(r.TransparentColor(), (Rgb{30, 20, 10}));
  r.SetTransparentColor(Rgb{1, 2, 3});
  EXPECT_EQ(r.TransparentColor(), (Rgb{1, 2, 3}));
  Raster mono;
  StoreLayout layout = Layout(2, 2, 1);
  layout.palette = {PaletteEntry{0, 0, 0, 0}, PaletteEntry{0, 0, 0, 0}};
  mono.CreateIndependent(layout);
  EXPECT_EQ(mono.TransparentColor(), (Rgb{255, 255, 255}));
}

TEST(Raster, WriteRowBgrxPacksEachLayout) {
  const std::uint8_t in[8] = {0x10, 0x80, 0xFF, 0x44, 0x00, 0x00, 0x00, 0x00};
  for (const int bits : {16, 24, 32}) {
    Raster r;
    r.CreateIndependent(Layout(2, 1, bits));
    WriteRowBgrx(r, 0, in);
    const auto px = Bgrx(r, 0);
    EXPECT_NEAR(px[0], 0x10, 4) << bits;
    EXPECT_NEAR(px[1], 0x80, 4) << bits;
    EXPECT_EQ(px[2], 0xFF) << bits;
    EXPECT_EQ(px[3], bits == 32 ? 0x44 : 0) << bits;
  }
}

}  // namespace
}  // namespace tolvane
