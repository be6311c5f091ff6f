#include "support/byte_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace tolvane {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

TEST(ByteBlock, EverySizeIsZeroAndWritableToItsLastByte) {
  for (const std::size_t size :
       {std::size_t{1}, std::size_t{4095}, kMiB - 1, kMiB, 2 * kMiB, 5 * kMiB + 17}) {
    SCOPED_TRACE(size);
    ByteBlock block = ByteBlock::Zeroed(size);
    ASSERT_EQ(block.size(), size);
    EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0; }));
    block.data()[0] = 1;
    block.data()[size - 1] = 2;
    EXPECT_EQ(block.data()[size - 1], 2);
  }
}

TEST(ByteBlock, NoBytesMakeAnEmptyBlock) {
  const ByteBlock block = ByteBlock::Zeroed(0);
  EXPECT_TRUE(block.empty());
  EXPECT_EQ(block.begin(), block.end());
}

// Huge pages can back the whole of a large block only when it starts on a
// huge-page boundary.
TEST(ByteBlock, LargeBlocksStartOnAHugePageBoundary) {
  if (!ByteBlock::kMapsLargeBlocks) GTEST_SKIP() << "large blocks come from calloc here";
  for (const std::size_t size : {kMiB, 3 * kMiB + 5, 44 * kMiB}) {
    const ByteBlock block = ByteBlock::Zeroed(size);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.data()) % (2 * kMiB), 0u) << size;
  }
}

TEST(ByteBlock, MovingHandsOverTheBytes) {
  ByteBlock first = ByteBlock::Zeroed(3 * kMiB);
  std::uint8_t* const bytes = first.data();
  ByteBlock second = std::move(first);
  EXPECT_EQ(second.data(), bytes);
  EXPECT_EQ(second.size(), 3 * kMiB);
  EXPECT_TRUE(first.empty());  // NOLINT(bugprone-use-after-move): a moved-from block is empty
  second = ByteBlock::Zeroed(16);
  EXPECT_EQ(second.size(), 16u);
}

}  // namespace
}  // namespace tolvane
