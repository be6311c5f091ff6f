#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "formats/png/png_unfilter.h"
#include "tests/formats/png/png_fixture.h"

namespace tolvane::testing {
namespace {

using png::SimdLevel;

// Every level this processor runs; each must give the bytes of the plain filter.
std::vector<SimdLevel> Levels() {
  std::vector<SimdLevel> levels = {SimdLevel::None};
  if (png::BestSimdLevel() != SimdLevel::None) levels.push_back(SimdLevel::Sse2);
  if (png::BestSimdLevel() == SimdLevel::Sse41) levels.push_back(SimdLevel::Sse41);
  return levels;
}

const char* NameOf(SimdLevel level) {
  switch (level) {
    case SimdLevel::None: return "scalar";
    case SimdLevel::Sse2: return "SSE2";
    default: return "SSE4.1";
  }
}

// Random bytes, half of the lines from a few values near the ends and the
// middle, where Paeth's distances tie most often.
Bytes RandomLine(std::mt19937& random, std::size_t n) {
  static constexpr std::uint8_t kEdges[] = {0, 1, 2, 127, 128, 129, 253, 254, 255};
  const bool edges = random() % 2 == 0;
  Bytes line(n);
  for (auto& byte : line) {
    byte = edges ? kEdges[random() % std::size(kEdges)] : static_cast<std::uint8_t>(random());
  }
  return line;
}

Bytes Reversed(Bytes pixels) {
  for (std::size_t i = 0; i + 3 <= pixels.size(); i += 3) std::swap(pixels[i], pixels[i + 2]);
  return pixels;
}

TEST(PngUnfilter, UndoesEveryFilterForEveryPixelSize) {
  std::mt19937 random(7);
  for (const SimdLevel level : Levels()) {
    for (const std::size_t bpp : {1, 2, 3, 4, 6, 8}) {
      for (const int type : {0, 1, 2, 3, 4}) {
        for (const std::size_t pixels : {1, 2, 3, 5, 16, 61}) {
          SCOPED_TRACE(::testing::Message()
                       << NameOf(level) << ", " << bpp << " bytes a pixel, filter " << type << ", "
                       << pixels << " pixels");
          const Bytes line = RandomLine(random, pixels * bpp);
          const Bytes above = RandomLine(random, line.size());
          // Exact sizes, so that the sanitizers see any byte read or written beyond them.
          Bytes row = FilterLine(type, line, above, bpp);
          png::Unfilter(static_cast<std::uint8_t>(type), row.data(), above.data(), row.size(), bpp,
                        level);
          ASSERT_EQ(row, line);
        }
      }
    }
  }
}

TEST(PngUnfilter, TypesAboveFourLeaveTheLineAsItIs) {
  const Bytes line = {1, 2, 3, 4, 5, 6};
  const Bytes above = {9, 9, 9, 9, 9, 9};
  for (const SimdLevel level : Levels()) {
    for (const int type : {5, 255}) {
      Bytes row = line;
      png::Unfilter(static_cast<std::uint8_t>(type), row.data(), above.data(), row.size(), 3,
                    level);
      EXPECT_EQ(row, line) << NameOf(level) << ", filter " << type;
      Bytes out(line.size());
      png::UnfilterRgbToBgr(static_cast<std::uint8_t>(type), line.data(), above.data(), out.data(),
                            2, level);
      EXPECT_EQ(out, Reversed(line)) << NameOf(level) << ", filter " << type;
    }
  }
}

// Every left, up and up-left byte: the vector kernels decide Paeth by ranges
// made from up and up-left, and a wrong bound shows only at its own values.
TEST(PngUnfilter, PaethAgreesForEveryTriple) {
  // Per up-left c, one line of 3-byte pixels in pairs: the first pixel of a
  // pair gives a (its byte) and c (the byte above it), the second b above it.
  constexpr std::size_t kPairs = (256 * 256 + 2) / 3;
  for (int c = 0; c < 256; ++c) {
    Bytes line(kPairs * 6);
    Bytes above(line.size());
    for (int ab = 0; ab < 256 * 256; ++ab) {
      const std::size_t first =
          static_cast<std::size_t>(ab / 3) * 6 + static_cast<std::size_t>(ab % 3);
      line[first] = static_cast<std::uint8_t>(ab >> 8);
      above[first] = static_cast<std::uint8_t>(c);
      above[first + 3] = static_cast<std::uint8_t>(ab);
      line[first + 3] = static_cast<std::uint8_t>(ab * 7 + c);
    }
    const Bytes filtered = FilterLine(4, line, above, 3);
    for (const SimdLevel level : Levels()) {
      Bytes row = filtered;
      png::Unfilter(4, row.data(), above.data(), row.size(), 3, level);
      ASSERT_EQ(row, line) << NameOf(level) << ", up-left " << c;
    }
  }
}

TEST(PngUnfilter, RgbLinesComeOutBlueGreenRed) {
  std::mt19937 random(11);
  for (const SimdLevel level : Levels()) {
    for (const int type : {0, 1, 2, 3, 4}) {
      for (const std::size_t width : {1, 2, 3, 7, 64}) {
        SCOPED_TRACE(::testing::Message()
                     << NameOf(level) << ", filter " << type << ", " << width << " pixels");
        const Bytes line = RandomLine(random, 3 * width);
        const Bytes above = RandomLine(random, line.size());
        const Bytes filtered = FilterLine(type, line, above, 3);
        const Bytes aboveBgr = Reversed(above);
        // The store's next row may follow at once: nothing may be written past the line.
        Bytes out(line.size() + 4, 0xA5);
        png::UnfilterRgbToBgr(static_cast<std::uint8_t>(type), filtered.data(), aboveBgr.data(),
                              out.data(), width, level);
        ASSERT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(line.size())), Reversed(line));
        ASSERT_EQ(Bytes(out.begin() + static_cast<long>(line.size()), out.end()), Bytes(4, 0xA5));
      }
    }
  }
}

}  // namespace
}  // namespace tolvane::testing
