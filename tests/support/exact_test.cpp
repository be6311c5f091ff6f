#include "support/exact.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace tolvane::exact {
namespace {

constexpr long long kMax = std::numeric_limits<long long>::max();
constexpr long long kMin = std::numeric_limits<long long>::min();

// The preview's fit rule in a box, built on the exact functions the way the
// window uses them: the aspect stored as a double, the other side truncated.
struct Drawn {
  long long width;
  long long height;
};

Drawn Fit(long long w, long long h, long long cw, long long ch) {
  const double aspect = QuotientAsDouble(w, h);
  if (w > h) {
    Drawn drawn{cw, TruncQuotient(cw, aspect)};
    if (drawn.height > ch) drawn = {TruncProduct(ch, aspect), ch};
    return drawn;
  }
  Drawn drawn{TruncProduct(ch, aspect), ch};
  if (drawn.width > cw) drawn = {cw, TruncQuotient(cw, aspect)};
  return drawn;
}

TEST(Exact, PreviewFitTableInTheDefaultBox) {
  struct Case {
    long long w, h, drawnWidth, drawnHeight;
  };
  const Case cases[] = {
      {100, 50, 249, 124},    {50, 100, 73, 147},     {147, 147, 147, 147},
      {1, 1, 147, 147},       {16, 16, 147, 147},     {249, 147, 249, 146},
      {1920, 1080, 249, 140}, {4000, 3000, 195, 147}, {2048, 1536, 195, 147},
      {3000, 4000, 110, 147}, {2047, 1535, 196, 147},
  };
  for (const Case& c : cases) {
    const Drawn drawn = Fit(c.w, c.h, 249, 147);
    EXPECT_EQ(drawn.width, c.drawnWidth) << c.w << " x " << c.h;
    EXPECT_EQ(drawn.height, c.drawnHeight) << c.w << " x " << c.h;
  }
}

TEST(Exact, ExtendedPrecisionDecidesWherePlainDoublesDoNot) {
  // 147 x (4/3 as a double) lies just below 196; doubles round the product up to it.
  const double aspect = QuotientAsDouble(4000, 3000);
  EXPECT_EQ(TruncProduct(147, aspect), 195);
  EXPECT_EQ(std::trunc(147.0 * aspect), 196.0);
  // 1 / (0.1 as a double) lies just below 10: the PNG drawing's column 1 samples column 9.
  EXPECT_EQ(TruncQuotient(1, 0.1), 9);
  EXPECT_EQ(std::trunc(1.0 / 0.1), 10.0);
  EXPECT_EQ(TruncQuotient(1, QuotientAsDouble(1, 10)), 9);
}

TEST(Exact, SignsZerosAndLimits) {
  EXPECT_EQ(TruncProduct(-7, 0.5), -3);
  EXPECT_EQ(TruncProduct(7, -0.5), -3);
  EXPECT_EQ(TruncQuotient(-7, -2.0), 3);
  EXPECT_EQ(TruncProduct(0, 1e300), 0);
  EXPECT_EQ(TruncProduct(kMin, 1.0), kMin);
  EXPECT_EQ(TruncProduct(kMax, 1.0), kMax);
  EXPECT_EQ(TruncProduct(kMax, 2.0), kMax);   // clamped
  EXPECT_EQ(TruncProduct(kMax, -2.0), kMin);  // clamped
  EXPECT_EQ(TruncQuotient(1, 1e-300), kMax);
  EXPECT_EQ(TruncProduct(1, 4.9e-324), 0);  // the smallest subnormal double
  EXPECT_EQ(TruncQuotient(5, 0.0), kMax);
  EXPECT_EQ(TruncQuotient(5, -0.0), kMin);
  EXPECT_EQ(TruncQuotient(0, 0.0), 0);
  EXPECT_EQ(TruncProduct(3, std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(TruncQuotient(3, std::numeric_limits<double>::infinity()), 0);
  EXPECT_EQ(QuotientAsDouble(kMin, -1), 9223372036854775808.0);
  EXPECT_EQ(QuotientAsDouble(1, 3), 1.0 / 3.0);
  EXPECT_TRUE(std::signbit(QuotientAsDouble(0, -5)));
  EXPECT_EQ(QuotientAsDouble(1, 0), std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(QuotientAsDouble(0, 0)));
}

TEST(Exact, StoredQuotientIsRoundedTwice) {
  // 2048 / 2731 rounded to 64 bits lands on a tie between two doubles that the
  // exact quotient is not on; the second rounding then goes the other way.
  EXPECT_EQ(QuotientAsDouble(2048, 2731), 0x1.7ff4005ffd002p-1);
  EXPECT_EQ(2048.0 / 2731.0, 0x1.7ff4005ffd001p-1);
  EXPECT_EQ(QuotientAsDouble(115, 2051), 0x1.cb53c097c7156p-5);
  // Ties at the second rounding go to even.
  EXPECT_EQ(QuotientAsDouble((1LL << 62) + (1LL << 9), 1), 0x1p62);
  EXPECT_EQ(QuotientAsDouble((1LL << 62) + (3LL << 9), 1), 0x1p62 + 0x1p11);
  EXPECT_EQ(QuotientAsDouble(kMax, 1), 0x1p63);
}

// Cross-checks against the hardware where long double is the x87 format.
class ExactAgainstLongDouble : public ::testing::Test {
 protected:
  void SetUp() override {
    if (LDBL_MANT_DIG != 64) GTEST_SKIP() << "long double has no 64-bit significand here";
  }

  long long RandomInteger() {
    const int bits = std::uniform_int_distribution<int>(0, 63)(random_);
    const std::uint64_t raw = random_() & ((bits == 0 ? 0 : (~std::uint64_t{0} >> (64 - bits))));
    const long long value = static_cast<long long>(raw >> 1);
    return (random_() & 1) != 0 ? -value : value;
  }

  double RandomDouble(int minExponent, int maxExponent) {
    const double mantissa = std::uniform_real_distribution<double>(1.0, 2.0)(random_);
    const int exponent = std::uniform_int_distribution<int>(minExponent, maxExponent)(random_);
    const double value = std::ldexp(mantissa, exponent);
    return (random_() & 1) != 0 ? -value : value;
  }

  // Odd multiples of small powers of two: products that end in exact ties.
  double TieProneDouble() {
    const int odd = 2 * std::uniform_int_distribution<int>(0, 127)(random_) + 1;
    return std::ldexp(odd, -std::uniform_int_distribution<int>(0, 70)(random_));
  }

  static bool Fits(long double t) {
    return t >= -9223372036854775808.0L && t < 9223372036854775808.0L;
  }

  std::mt19937_64 random_{20250919};
};

TEST_F(ExactAgainstLongDouble, QuotientAsDouble) {
  for (int i = 0; i < 200000; ++i) {
    const bool sizes = i % 2 == 0;
    const long long n =
        sizes ? std::uniform_int_distribution<long long>(0, 100000)(random_) : RandomInteger();
    long long d =
        sizes ? std::uniform_int_distribution<long long>(1, 100000)(random_) : RandomInteger();
    if (d == 0) d = 1;
    const auto expected = static_cast<double>(static_cast<long double>(n) / d);
    ASSERT_EQ(std::bit_cast<std::uint64_t>(QuotientAsDouble(n, d)),
              std::bit_cast<std::uint64_t>(expected))
        << n << " / " << d;
  }
}

TEST_F(ExactAgainstLongDouble, TruncProduct) {
  int compared = 0;
  for (int i = 0; i < 300000; ++i) {
    long long value = 0;
    double factor = 0;
    switch (i % 3) {
      case 0:  // sizes and ratios
        value = std::uniform_int_distribution<long long>(0, 100000)(random_);
        factor = QuotientAsDouble(std::uniform_int_distribution<long long>(1, 100000)(random_),
                                  std::uniform_int_distribution<long long>(1, 100000)(random_));
        break;
      case 1:
        value = RandomInteger();
        factor = RandomDouble(-80, 20);
        break;
      default:
        value = RandomInteger() | 1;
        factor = TieProneDouble();
        break;
    }
    const long double t = std::trunc(static_cast<long double>(value) * factor);
    if (!Fits(t)) continue;
    ++compared;
    ASSERT_EQ(TruncProduct(value, factor), static_cast<long long>(t)) << value << " x " << factor;
  }
  EXPECT_GT(compared, 200000);
}

TEST_F(ExactAgainstLongDouble, TruncQuotient) {
  int compared = 0;
  for (int i = 0; i < 300000; ++i) {
    long long value = 0;
    double divisor = 0;
    if (i % 2 == 0) {  // pixel positions and scale factors
      value = std::uniform_int_distribution<long long>(0, 70000)(random_);
      divisor = QuotientAsDouble(std::uniform_int_distribution<long long>(1, 70000)(random_),
                                 std::uniform_int_distribution<long long>(1, 70000)(random_));
    } else {
      value = RandomInteger();
      divisor = RandomDouble(-20, 80);
    }
    const long double t = std::trunc(static_cast<long double>(value) / divisor);
    if (!Fits(t)) continue;
    ++compared;
    ASSERT_EQ(TruncQuotient(value, divisor), static_cast<long long>(t))
        << value << " / " << divisor;
  }
  EXPECT_GT(compared, 200000);
}

}  // namespace
}  // namespace tolvane::exact
