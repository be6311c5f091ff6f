#include "convert/size_rule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tolvane {
namespace {

TEST(SizeRule, ReducesOnlyWhenASideExceedsTheLimit) {
  EXPECT_FALSE(NeedsReduction(2048, 2048));
  EXPECT_FALSE(NeedsReduction(2048, 100));
  EXPECT_FALSE(NeedsReduction(0, 0));
  EXPECT_TRUE(NeedsReduction(2049, 100));
  EXPECT_TRUE(NeedsReduction(100, 2049));
}

TEST(SizeRule, TableOfSizes) {
  struct Case {
    int w, h, nw, nh;
  };
  const Case cases[] = {
      {4000, 3000, 2048, 1536},   {3000, 4000, 1536, 2048}, {2560, 1440, 2048, 1152},
      {4096, 2160, 2048, 1080},   {8192, 4096, 2048, 1024}, {5000, 5000, 2048, 2048},
      {20000, 15000, 2048, 1536}, {2049, 2049, 2048, 2048}, {2049, 2048, 2048, 2047},
      {2048, 2049, 2047, 2048},   {2049, 100, 2048, 99},    {100, 2049, 99, 2048},
      {2049, 1, 2048, 0},         {3000, 2000, 2047, 1365}, {6000, 4000, 2047, 1365},
      {4032, 3024, 2047, 1535},   {3024, 4032, 1535, 2047}, {3264, 2448, 2047, 1535},
      {3840, 2160, 2047, 1151},   {7680, 4320, 2047, 1151}, {2100, 2100, 2047, 2047},
      {2050, 1, 2047, 0},         {1, 3000, 0, 2047},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReducedSizeFor(c.w, c.h), (ReducedSize{c.nw, c.nh})) << c.w << " x " << c.h;
  }
}

// The rule in plain double arithmetic, which the program must not follow.
int LongerSideInDoubles(int side) {
  const double ratio = 2048.0 / side;
  return static_cast<int>(std::trunc(side * ratio));
}

TEST(SizeRule, SquareSizesFrom2049To20000) {
  std::vector<int> shortened;
  int differentInDoubles = 0;
  for (int side = 2049; side <= 20000; ++side) {
    const ReducedSize size = ReducedSizeFor(side, side);
    ASSERT_EQ(size.width, size.height);
    ASSERT_TRUE(size.width == 2048 || size.width == 2047) << side;
    if (size.width == 2047) shortened.push_back(side);
    if (LongerSideInDoubles(side) != size.width) ++differentInDoubles;
  }
  EXPECT_EQ(shortened.size(), 9274u);
  EXPECT_EQ(differentInDoubles, 7006);
  const std::vector<int> first(shortened.begin(), shortened.begin() + 10);
  EXPECT_EQ(first, (std::vector<int>{2050, 2051, 2052, 2057, 2058, 2059, 2060, 2061, 2064, 2067}));
}

}  // namespace
}  // namespace tolvane
