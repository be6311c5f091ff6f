#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "formats/png/png_unfilter.h"
#include "tests/formats/png/png_fixture.h"

namespace tolvane::testing {
namespace {

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

TEST(PngUnfilter, UndoesEveryFilterForEveryPixelSize) {
  std::mt19937 random(7);
  for (const std::size_t bpp : {1, 2, 3, 4, 6, 8}) {
    for (const int type : {0, 1, 2, 3, 4}) {
      for (const std::size_t pixels : {1, 2, 3, 5, 16, 61}) {
        SCOPED_TRACE(::testing::Message() << bpp << " bytes a pixel, filter " << type << ", " << pixels << " pixels");
        const Bytes line = RandomLine(random, pixels * bpp);
        const Bytes above = RandomLine(random, line.size());
        // Exact sizes, so that the sanitizers see any byte read or written beyond them.
        Bytes row = FilterLine(type, line, above, bpp);
        png::Unfilter(static_cast<std::uint8_t>(type), row.data(), above.data(), row.size(), bpp);
        ASSERT_EQ(row, line);
      }
    }
  }
}

TEST(PngUnfilter, TypesAboveFourLeaveTheLineAsItIs) {
  const Bytes line = {1, 2, 3, 4, 5, 6};
  const Bytes above = {9, 9, 9, 9, 9, 9};
  for (const int type : {5, 255}) {
    Bytes row = line;
    png::Unfilter(static_cast<std::uint8_t>(type), row.data(), above.data(), row.size(), 3);
    EXPECT_EQ(row, line) << "filter " << type;
  }
}

}  // namespace
}  // namespace tolvane::testing
