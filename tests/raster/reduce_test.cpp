#include "raster/reduce.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

namespace tolvane {
namespace {

using Image = std::vector<Rgb>;  // top row first

Raster MakeRaster(int width, int height, int bits, const Image& image,
                  RowOrder order = RowOrder::BottomUp) {
  StoreLayout layout;
  layout.width = width;
  layout.height = height;
  layout.bitsPerPixel = bits;
  layout.rowOrder = order;
  Raster r;
  r.CreateIndependent(layout);
  const int bytes = bits / 8;
  for (int y = 0; y < height; ++y) {
    auto row = r.MutableRow(y);
    for (int x = 0; x < width; ++x) {
      const Rgb c = image[static_cast<std::size_t>(y) * width + x];
      row[bytes * x] = c.blue;
      row[bytes * x + 1] = c.green;
      row[bytes * x + 2] = c.red;
    }
  }
  return r;
}

Raster Output(int width, int height) {
  Raster r;
  r.SetWidth(width);
  r.SetHeight(height);
  return r;
}

// Every pixel of the raster, top row first.
Image Pixels(const Raster& r) {
  Image out;
  std::vector<std::uint8_t> line(4 * static_cast<std::size_t>(r.Width()));
  for (int y = 0; y < r.Height(); ++y) {
    ReadRowBgrx(r, y, line.data());
    for (int x = 0; x < r.Width(); ++x)
      out.push_back(Rgb{line[4 * x + 2], line[4 * x + 1], line[4 * x]});
  }
  return out;
}

Rgb PixelAt(const Raster& r, int x, int y) {
  return Pixels(r)[static_cast<std::size_t>(y) * r.Width() + x];
}

// The exact area-weighted mean, rounded to nearest (halves up), in integers:
// a source pixel is dw x dh units, a destination pixel sw x sh.
Image ExactReduction(const Image& source, int sw, int sh, int dw, int dh) {
  const auto overlap = [](std::int64_t a0, std::int64_t a1, std::int64_t b0, std::int64_t b1) {
    return std::max<std::int64_t>(0, std::min(a1, b1) - std::max(a0, b0));
  };
  Image out;
  const std::int64_t area = std::int64_t{sw} * sh;
  for (std::int64_t y = 0; y < dh; ++y) {
    for (std::int64_t x = 0; x < dw; ++x) {
      std::int64_t sums[3] = {0, 0, 0};
      for (std::int64_t j = y * sh / dh; j < sh && j * dh < (y + 1) * sh; ++j) {
        const std::int64_t wy = overlap(y * sh, (y + 1) * sh, j * dh, (j + 1) * dh);
        for (std::int64_t i = x * sw / dw; i < sw && i * dw < (x + 1) * sw; ++i) {
          const std::int64_t w = wy * overlap(x * sw, (x + 1) * sw, i * dw, (i + 1) * dw);
          const Rgb c = source[static_cast<std::size_t>(j * sw + i)];
          sums[0] += w * c.red;
          sums[1] += w * c.green;
          sums[2] += w * c.blue;
        }
      }
      const auto round = [area](std::int64_t s) {
        return static_cast<std::uint8_t>((2 * s + area) / (2 * area));
      };
      out.push_back(Rgb{round(sums[0]), round(sums[1]), round(sums[2])});
    }
  }
  return out;
}

struct Sizes {
  int sw, sh, dw, dh;
};

TEST(ReduceHalftone, UniformSourceGivesExactlyItsColour) {
  const Sizes sizes[] = {{7, 5, 3, 2},
                         {101, 37, 17, 6},
                         {2049, 3, 2048, 2},
                         {2, 2, 1, 1},
                         {2500, 1001, 2047, 819},
                         {4097, 7, 2047, 3},
                         {9, 9, 9, 9},
                         {3, 2, 7, 5},
                         {1, 1, 4, 3}};
  const Rgb colours[] = {{0, 0, 0}, {255, 255, 255}, {1, 128, 254}, {37, 200, 3}};
  for (const Sizes& s : sizes) {
    for (const Rgb& colour : colours) {
      const Image image(static_cast<std::size_t>(s.sw) * s.sh, colour);
      for (const int bits : {24, 32}) {
        Raster out = Output(s.dw, s.dh);
        ReduceHalftone(MakeRaster(s.sw, s.sh, bits, image), out);
        const Image got = Pixels(out);
        EXPECT_EQ(std::count(got.begin(), got.end(), colour), std::int64_t{s.dw} * s.dh)
            << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh << " bits " << bits
            << " colour " << int{colour.red};
      }
    }
  }
}

// A Bits8 raster of the given indices and palette.
Raster PaletteRaster(int width, int height, const std::vector<std::uint8_t>& indices,
                     const std::vector<PaletteEntry>& palette) {
  StoreLayout layout;
  layout.width = width;
  layout.height = height;
  layout.bitsPerPixel = 8;
  layout.palette = palette;
  Raster r;
  r.CreateIndependent(layout);
  for (int y = 0; y < height; ++y) {
    std::copy_n(indices.begin() + static_cast<std::ptrdiff_t>(y) * width, width,
                r.MutableRow(y).begin());
  }
  return r;
}

TEST(ReduceHalftone, MatchesTheExactAreaMeanWithinOne) {
  // Odd pairs, integer ratios, enlargements, and sizes that reach every
  // kernel: more than 2^15 and 2^16 row units, and a few hundred taps.
  const Sizes sizes[] = {{7, 5, 3, 2},     {101, 37, 17, 6},   {2049, 3, 2048, 2},
                         {6, 4, 3, 2},     {13, 1000, 2, 151}, {1000, 1, 999, 1},
                         {5, 5, 5, 5},     {3, 2, 7, 5},       {64, 48, 1, 1},
                         {6, 40001, 1, 2}, {7, 70001, 5, 2},   {40001, 2, 3, 1}};
  std::mt19937 random(2048);
  for (const Sizes& s : sizes) {
    for (const bool extremes : {false, true}) {
      // Random colours, or only 0 and 255, which makes the largest rounding steps.
      std::vector<PaletteEntry> palette(256);
      for (PaletteEntry& e : palette) {
        const auto value = [&] {
          const auto r = static_cast<std::uint8_t>(random());
          return extremes ? static_cast<std::uint8_t>(r & 1 ? 255 : 0) : r;
        };
        e = PaletteEntry{value(), value(), value(), 0};
      }
      std::vector<std::uint8_t> indices(static_cast<std::size_t>(s.sw) * s.sh);
      Image image;
      for (std::uint8_t& index : indices) {
        index = static_cast<std::uint8_t>(random());
        image.push_back(Rgb{palette[index].red, palette[index].green, palette[index].blue});
      }
      const Image expected = ExactReduction(image, s.sw, s.sh, s.dw, s.dh);
      // The same picture as a 24-bit, a 32-bit and a palette store.
      const Raster sources[] = {MakeRaster(s.sw, s.sh, 24, image),
                                MakeRaster(s.sw, s.sh, 32, image),
                                PaletteRaster(s.sw, s.sh, indices, palette)};
      for (const Raster& source : sources) {
        Raster out = Output(s.dw, s.dh);
        ReduceHalftone(source, out);
        const Image got = Pixels(out);
        int worst = 0;
        for (std::size_t i = 0; i < got.size(); ++i) {
          worst = std::max({worst, std::abs(got[i].red - expected[i].red),
                            std::abs(got[i].green - expected[i].green),
                            std::abs(got[i].blue - expected[i].blue)});
        }
        EXPECT_LE(worst, 1) << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh << " bits "
                            << source.BitsPerPixel();
      }
    }
  }
}

TEST(ReduceHalftone, OutputIsDeviceColoursWithFourthByteZero) {
  const Image image(16, Rgb{10, 20, 30});
  Raster out = Output(2, 2);
  for (std::uint8_t& b : out.MutableStore()) b = 0xAB;  // earlier content is replaced
  out.SetFormat(RasterFormat::Bits32);
  out.SetAlphaMode(AlphaMode::Defined);
  out.SetFormat(RasterFormat::Device);
  ReduceHalftone(MakeRaster(4, 4, 32, image), out);
  EXPECT_EQ(out.Format(), RasterFormat::Device);
  EXPECT_EQ(out.Alpha(), AlphaMode::None);
  EXPECT_TRUE(out.Palette().empty());
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 2; ++x) {
      const auto px = out.Row(y).subspan(4 * static_cast<std::size_t>(x), 4);
      EXPECT_EQ(std::vector<std::uint8_t>(px.begin(), px.end()),
                (std::vector<std::uint8_t>{30, 20, 10, 0}));
    }
  }
  // Another destination format keeps its layout.
  Raster packed;
  StoreLayout layout;
  layout.width = 1;
  layout.height = 1;
  layout.bitsPerPixel = 24;
  packed.CreateIndependent(layout);
  ReduceHalftone(MakeRaster(4, 4, 32, image), packed);
  EXPECT_EQ(packed.Format(), RasterFormat::Bits24);
  EXPECT_EQ(PixelAt(packed, 0, 0), (Rgb{10, 20, 30}));
}

TEST(ReduceHalftone, PaletteSourceGivesTrueColours) {
  StoreLayout layout;
  layout.width = 4;
  layout.height = 4;
  layout.bitsPerPixel = 8;
  layout.palette = {PaletteEntry{0, 0, 255, 0}, PaletteEntry{0, 255, 0, 0},
                    PaletteEntry{255, 0, 0, 0}, PaletteEntry{40, 80, 120, 0}};
  Raster source;
  source.CreateIndependent(layout);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x)
      source.MutableRow(y)[x] = static_cast<std::uint8_t>(2 * (y / 2) + x / 2);
  }
  Raster out = Output(2, 2);
  ReduceHalftone(source, out);
  EXPECT_TRUE(out.Palette().empty());
  EXPECT_EQ(PixelAt(out, 0, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(PixelAt(out, 1, 0), (Rgb{0, 255, 0}));
  EXPECT_EQ(PixelAt(out, 0, 1), (Rgb{0, 0, 255}));
  EXPECT_EQ(PixelAt(out, 1, 1), (Rgb{120, 80, 40}));

  // A 1-bit checkerboard averages to mid grey.
  layout.width = 2;
  layout.height = 2;
  layout.bitsPerPixel = 1;
  layout.palette = {PaletteEntry{0, 0, 0, 0}, PaletteEntry{255, 255, 255, 0}};
  Raster mono;
  mono.CreateIndependent(layout);
  mono.MutableRow(0)[0] = 0x80;
  mono.MutableRow(1)[0] = 0x40;
  Raster grey = Output(1, 1);
  ReduceHalftone(mono, grey);
  EXPECT_NEAR(PixelAt(grey, 0, 0).red, 127.5, 1);
}

TEST(ReduceHalftone, AlphaSourceContributesItsPremultipliedColours) {
  Raster source = MakeRaster(4, 4, 32, Image(16, Rgb{255, 0, 0}));
  for (int y = 0; y < 4; ++y) {
    auto row = source.MutableRow(y);
    for (int x = 0; x < 4; ++x) row[4 * x + 3] = 128;
  }
  source.SetAlphaMode(AlphaMode::Defined);  // red 255 at alpha 128 is held as 128
  Raster out = Output(2, 2);
  ReduceHalftone(source, out);
  EXPECT_EQ(out.Alpha(), AlphaMode::None);
  EXPECT_EQ(PixelAt(out, 1, 1), (Rgb{128, 0, 0}));
  EXPECT_EQ(out.Row(1)[3], 0);
}

TEST(ReduceHalftone, BitFieldSourcesAreScaledToEightBits) {
  struct Case {
    int bits;
    std::optional<BitMasks> masks;
    std::uint32_t pixel;
    Rgb colour;
  };
  const Case cases[] = {
      {16, std::nullopt, (16u << 10) | (1u << 5) | 31u, Rgb{132, 8, 255}},
      {16, BitMasks{0xF800, 0x07E0, 0x001F}, (31u << 11) | (32u << 5), Rgb{255, 130, 0}},
      {32, BitMasks{0x3FF00000, 0x000FFC00, 0x000003FF}, (1023u << 20) | (512u << 10) | 0xC0000000u,
       Rgb{255, 128, 0}},
  };
  for (const Case& c : cases) {
    StoreLayout layout;
    layout.width = 5;
    layout.height = 3;
    layout.bitsPerPixel = c.bits;
    layout.masks = c.masks;
    Raster source;
    source.CreateIndependent(layout);
    const int bytes = c.bits / 8;
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 5; ++x) {
        for (int i = 0; i < bytes; ++i) {
          source.MutableRow(y)[bytes * x + i] = static_cast<std::uint8_t>(c.pixel >> (8 * i));
        }
      }
    }
    Raster out = Output(2, 1);
    ReduceHalftone(source, out);
    EXPECT_EQ(PixelAt(out, 0, 0), c.colour) << c.bits;
    EXPECT_EQ(PixelAt(out, 1, 0), c.colour) << c.bits;
  }
}

TEST(ReduceHalftone, RowOrderIsHonoured) {
  Image image(8, Rgb{200, 0, 0});
  for (std::size_t i = 4; i < 8; ++i) image[i] = Rgb{0, 0, 200};  // bottom half blue
  for (const RowOrder order : {RowOrder::BottomUp, RowOrder::TopDown}) {
    Raster out = Output(1, 2);
    ReduceHalftone(MakeRaster(2, 4, 24, image, order), out);
    EXPECT_EQ(PixelAt(out, 0, 0), (Rgb{200, 0, 0}));
    EXPECT_EQ(PixelAt(out, 0, 1), (Rgb{0, 0, 200}));
  }
}

TEST(ReduceHalftone, EmptySourceOrDestinationDoesNothing) {
  Raster strip = MakeRaster(5, 1, 24, Image(5, Rgb{1, 2, 3}));
  Raster flat = Output(5, 0);
  ReduceHalftone(strip, flat);
  EXPECT_TRUE(flat.Empty());
  EXPECT_EQ(flat.Width(), 5);
  EXPECT_EQ(flat.Height(), 0);

  Raster white = Output(3, 3);
  Raster none;
  none.SetWidth(7);
  ReduceHalftone(none, white);
  EXPECT_EQ(PixelAt(white, 2, 2), (Rgb{255, 255, 255}));
}

TEST(ReduceHalftone, SourceMayBeItsOwnDestination) {
  Image image;
  for (int i = 0; i < 12; ++i) image.push_back(Rgb{static_cast<std::uint8_t>(20 * i), 7, 9});
  Raster r = MakeRaster(4, 3, 32, image);
  ReduceHalftone(r, r);
  EXPECT_EQ(Pixels(r), image);
}

TEST(HalftoneReducer, HandsOverEachRowAsSoonAsItIsComplete) {
  std::vector<int> emitted;
  std::vector<std::uint8_t> last;
  HalftoneReducer reducer(2, 3, 1, 2, SourcePixels::Bgr,
                          [&](int y, std::span<const std::uint8_t> row) {
                            emitted.push_back(y);
                            last.assign(row.begin(), row.end());
                          });
  const std::uint8_t rows[3][6] = {
      {0, 0, 0, 0, 0, 0}, {90, 90, 90, 90, 90, 90}, {60, 0, 0, 60, 0, 0}};
  // One buffer for every row, overwritten after each push, as a decoder does.
  std::uint8_t buffer[6];
  const auto push = [&](int j) {
    std::copy_n(rows[j], 6, buffer);
    reducer.PushRow(buffer);
    std::fill_n(buffer, 6, 0xEE);
  };
  push(0);
  EXPECT_TRUE(emitted.empty());
  push(1);  // destination row 0 covers source rows 0 and half of 1
  EXPECT_EQ(emitted, (std::vector<int>{0}));
  EXPECT_EQ(last, (std::vector<std::uint8_t>{30, 30, 30, 0}));
  push(2);
  EXPECT_EQ(emitted, (std::vector<int>{0, 1}));
  EXPECT_EQ(last, (std::vector<std::uint8_t>{70, 30, 30, 0}));
  EXPECT_TRUE(reducer.Finished());
  reducer.PushRow(rows[2]);  // ignored
  EXPECT_EQ(emitted.size(), 2u);

  // Enlarging: one source row completes several destination rows at once.
  int count = 0;
  HalftoneReducer grow(1, 1, 1, 3, SourcePixels::Bgrx, [&](int, std::span<const std::uint8_t> row) {
    count += row[0] == 5 ? 1 : 0;
  });
  const std::uint8_t one[4] = {5, 5, 5, 99};
  grow.PushRow(one);
  EXPECT_EQ(count, 3);

  HalftoneReducer idle(0, 5, 3, 3, SourcePixels::Bgr, nullptr);
  EXPECT_TRUE(idle.Finished());
  idle.PushRow(rows[0]);
}

// More source rows per destination row than the accumulator can weigh
// exactly: the row weights are scaled, and the result stays within 1.
TEST(HalftoneReducer, VeryTallSourcesStayWithinOne) {
  constexpr int kRows = (1 << 24) + 1;
  std::vector<std::array<std::uint8_t, 3>> got;
  HalftoneReducer reducer(1, kRows, 1, 2, SourcePixels::Bgr,
                          [&](int, std::span<const std::uint8_t> row) {
                            got.push_back({row[0], row[1], row[2]});
                          });
  // Exact sums in units: a source row is 2 units, a destination row kRows.
  std::int64_t sums[2] = {0, 0};
  for (std::int64_t j = 0; j < kRows; ++j) {
    const std::uint8_t value = static_cast<std::uint8_t>((j * j) >> 40 & 0xFF);
    const std::uint8_t row[3] = {value, 255, 0};
    reducer.PushRow(row);
    const std::int64_t top = 2 * j;
    const std::int64_t inFirst =
        std::max<std::int64_t>(0, std::min<std::int64_t>(top + 2, kRows) - top);
    sums[0] += inFirst * value;
    sums[1] += (2 - inFirst) * value;
  }
  ASSERT_EQ(got.size(), 2u);
  for (int y = 0; y < 2; ++y) {
    const std::int64_t expected = (2 * sums[y] + kRows) / (2 * std::int64_t{kRows});
    EXPECT_LE(std::abs(got[static_cast<std::size_t>(y)][0] - expected), 1) << y;
    EXPECT_EQ(got[static_cast<std::size_t>(y)][1], 255);
    EXPECT_EQ(got[static_cast<std::size_t>(y)][2], 0);
  }
}

}  // namespace
}  // namespace tolvane
