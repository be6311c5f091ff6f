#include "support/block_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "support/byte_block.h"

namespace tolvane {
namespace {

// The regions are slices of one arena; what is given back is noted as
// (offset, size).
std::array<std::uint8_t, 64> arena;
std::vector<std::pair<std::size_t, std::size_t>> unmapped;

void NoteUnmap(std::uint8_t* bytes, std::size_t size) {
  unmapped.emplace_back(static_cast<std::size_t>(bytes - arena.data()), size);
}

std::uint8_t* At(std::size_t offset) { return arena.data() + offset; }

using Pieces = std::vector<std::pair<std::size_t, std::size_t>>;

// What Take gave, as (offset, size).
Pieces Offsets(const std::vector<BlockCache::Region>& regions) {
  Pieces pieces;
  for (const BlockCache::Region& region : regions) {
    pieces.emplace_back(static_cast<std::size_t>(region.bytes - arena.data()), region.size);
  }
  return pieces;
}

class BlockCacheRules : public ::testing::Test {
 protected:
  BlockCacheRules() { unmapped.clear(); }

  // A block that was mapped fresh at `offset` and is in use.
  std::uint8_t* MapAt(std::size_t offset, std::size_t size) {
    EXPECT_TRUE(cache.Take(size).empty());
    cache.Mapped(size);
    return At(offset);
  }

  BlockCache cache{NoteUnmap};
};

TEST_F(BlockCacheRules, WithoutKeepingAFreedBlockIsGivenBack) {
  cache.Free(MapAt(0, 16), 16);
  EXPECT_EQ(unmapped, (Pieces{{0, 16}}));
  EXPECT_EQ(cache.KeptBytes(), 0u);
  EXPECT_TRUE(cache.Take(16).empty());
}

TEST_F(BlockCacheRules, TheSmallestKeptRegionThatHoldsARequestServesIt) {
  cache.StartKeeping();
  std::uint8_t* large = MapAt(0, 16);
  std::uint8_t* small = MapAt(32, 8);
  cache.Free(large, 16);
  cache.Free(small, 8);
  EXPECT_EQ(cache.KeptBytes(), 24u);
  EXPECT_EQ(Offsets(cache.Take(8)), (Pieces{{32, 8}}));
  // The rest of a region that is split stays kept.
  EXPECT_EQ(Offsets(cache.Take(4)), (Pieces{{0, 4}}));
  EXPECT_EQ(cache.KeptBytes(), 12u);
  EXPECT_EQ(cache.UsedBytes(), 12u);
  EXPECT_EQ(Offsets(cache.Take(12)), (Pieces{{4, 12}}));
  EXPECT_TRUE(unmapped.empty());
}

TEST_F(BlockCacheRules, ARequestNoRegionHoldsIsMadeOfTheLargestOnes) {
  cache.StartKeeping();
  std::uint8_t* a = MapAt(0, 8);
  std::uint8_t* b = MapAt(16, 4);
  std::uint8_t* c = MapAt(32, 12);
  cache.Free(a, 8);
  cache.Free(b, 4);
  cache.Free(c, 12);
  EXPECT_EQ(Offsets(cache.Take(22)), (Pieces{{32, 12}, {0, 8}, {16, 2}}));
  EXPECT_EQ(cache.KeptBytes(), 2u);
  EXPECT_EQ(cache.UsedBytes(), 22u);
  // More than all that is kept: all of it, the caller maps the rest.
  EXPECT_EQ(Offsets(cache.Take(40)), (Pieces{{18, 2}}));
  EXPECT_EQ(cache.KeptBytes(), 0u);
}

TEST_F(BlockCacheRules, ABlockThatComesBackIsJoinedToItsNeighbours) {
  cache.StartKeeping();
  cache.Free(MapAt(0, 16), 16);
  ASSERT_EQ(Offsets(cache.Take(4)), (Pieces{{0, 4}}));
  ASSERT_EQ(Offsets(cache.Take(4)), (Pieces{{4, 4}}));
  cache.Free(At(4), 4);
  cache.Free(At(0), 4);
  EXPECT_EQ(Offsets(cache.Take(16)), (Pieces{{0, 16}}));
}

TEST_F(BlockCacheRules, KeptAndUsedBytesNeverExceedThePeakOfUse) {
  cache.StartKeeping();
  std::uint8_t* a = MapAt(0, 8);
  std::uint8_t* b = MapAt(16, 4);
  std::uint8_t* c = MapAt(24, 16);  // the peak: 28 in use
  cache.Free(a, 8);
  // A block of 16 is made of the kept 8 and 8 fresh; b and c come back
  // while the fresh part is mapped. 16 in use and 20 kept would pass the
  // peak, so kept bytes go: the smallest region, then the end of the next.
  EXPECT_EQ(Offsets(cache.Take(16)), (Pieces{{0, 8}}));
  cache.Free(b, 4);
  cache.Free(c, 16);
  cache.Mapped(8);
  EXPECT_EQ(unmapped, (Pieces{{16, 4}, {36, 4}}));
  EXPECT_EQ(cache.UsedBytes(), 16u);
  EXPECT_EQ(cache.KeptBytes(), 12u);
  EXPECT_EQ(Offsets(cache.Take(12)), (Pieces{{24, 12}}));
}

TEST_F(BlockCacheRules, WhatIsKeptIsGivenBackOnReleaseAndWhenTheLastKeeperStops) {
  cache.StartKeeping();
  cache.StartKeeping();
  cache.Free(MapAt(0, 16), 16);
  cache.Release();
  EXPECT_EQ(unmapped, (Pieces{{0, 16}}));
  // Keeping goes on after a release, with the peak counted afresh.
  cache.Free(MapAt(16, 8), 8);
  EXPECT_EQ(cache.KeptBytes(), 8u);
  cache.StopKeeping();
  EXPECT_EQ(cache.KeptBytes(), 8u);
  cache.StopKeeping();
  EXPECT_EQ(cache.KeptBytes(), 0u);
  EXPECT_EQ(unmapped.back(), (std::pair<std::size_t, std::size_t>{16, 8}));
  cache.Free(MapAt(32, 8), 8);
  EXPECT_EQ(unmapped.back(), (std::pair<std::size_t, std::size_t>{32, 8}));
}

constexpr std::size_t kMiB = std::size_t{1} << 20;

bool AllZero(const ByteBlock& block) {
  return std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0; });
}

TEST(KeepFreedBlocks, AFreedBlockServesTheNextOneZeroedAgain) {
  if (!ByteBlock::kMapsLargeBlocks) GTEST_SKIP() << "large blocks come from calloc here";
  std::uint8_t* first = nullptr;
  {
    const KeepFreedBlocks keep;
    {
      ByteBlock block = ByteBlock::Zeroed(6 * kMiB);
      std::fill(block.begin(), block.end(), std::uint8_t{0xA5});
      first = block.data();
    }
    EXPECT_EQ(SharedBlockCache().KeptBytes(), 6 * kMiB);
    const ByteBlock head = ByteBlock::Zeroed(2 * kMiB - 3);
    const ByteBlock rest = ByteBlock::Zeroed(4 * kMiB);
    EXPECT_EQ(head.data(), first);
    EXPECT_EQ(rest.data(), first + 2 * kMiB);
    EXPECT_TRUE(AllZero(head));
    EXPECT_TRUE(AllZero(rest));
    EXPECT_EQ(SharedBlockCache().KeptBytes(), 0u);
  }
  EXPECT_EQ(SharedBlockCache().KeptBytes(), 0u);
}

TEST(KeepFreedBlocks, ALargerBlockIsMadeOfTheKeptOnesAndFreshPages) {
  if (!ByteBlock::kMapsLargeBlocks) GTEST_SKIP() << "large blocks come from calloc here";
  const KeepFreedBlocks keep;
  {
    ByteBlock first = ByteBlock::Zeroed(4 * kMiB);
    ByteBlock spacer = ByteBlock::Zeroed(2 * kMiB);  // keeps the two apart
    ByteBlock second = ByteBlock::Zeroed(2 * kMiB);
    std::fill(first.begin(), first.end(), std::uint8_t{0x5A});
    std::fill(second.begin(), second.end(), std::uint8_t{0x5A});
    first = ByteBlock();
    second = ByteBlock();
    EXPECT_EQ(SharedBlockCache().KeptBytes(), 6 * kMiB);
    ByteBlock larger = ByteBlock::Zeroed(9 * kMiB);
    EXPECT_EQ(SharedBlockCache().KeptBytes(), 0u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(larger.data()) % (2 * kMiB), 0u);
    EXPECT_TRUE(AllZero(larger));
    std::fill(larger.begin(), larger.end(), std::uint8_t{1});
  }
  EXPECT_EQ(SharedBlockCache().UsedBytes(), 0u);
  EXPECT_EQ(SharedBlockCache().KeptBytes(), 10 * kMiB + 2 * kMiB);
}

TEST(KeepFreedBlocks, ConversionsOnTwoThreadsShareTheKeptBlocks) {
  if (!ByteBlock::kMapsLargeBlocks) GTEST_SKIP() << "large blocks come from calloc here";
  const KeepFreedBlocks keep;
  const auto convert = [](std::uint8_t mark, bool& allZero) {
    for (int i = 0; i < 20; ++i) {
      ByteBlock pixels = ByteBlock::Zeroed((3 + i % 3) * kMiB);
      ByteBlock file = ByteBlock::Zeroed(kMiB + 1);
      allZero = allZero && AllZero(pixels) && AllZero(file);
      std::fill(pixels.begin(), pixels.end(), mark);
      std::fill(file.begin(), file.end(), mark);
    }
  };
  bool zeroA = true;
  bool zeroB = true;
  {
    std::jthread a(convert, std::uint8_t{1}, std::ref(zeroA));
    std::jthread b(convert, std::uint8_t{2}, std::ref(zeroB));
  }
  EXPECT_TRUE(zeroA);
  EXPECT_TRUE(zeroB);
  EXPECT_EQ(SharedBlockCache().UsedBytes(), 0u);
  // Kept for the next conversion, but never more than two threads' blocks.
  EXPECT_GT(SharedBlockCache().KeptBytes(), 0u);
  EXPECT_LE(SharedBlockCache().KeptBytes(), 2 * (6 + 2) * kMiB);
}

}  // namespace
}  // namespace tolvane
