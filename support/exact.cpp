#include "support/exact.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace tolvane::exact {

namespace {

static_assert(std::numeric_limits<double>::is_iec559, "doubles must be IEEE 754 binary64");

constexpr std::uint64_t kTopBit = std::uint64_t{1} << 63;

// A finite value of the extended format: (-1)^negative x significand x
// 2^exponent, the significand normalised (bit 63 set) or 0 for zero. The
// exponent range is wider than the real format's; no value the program forms
// comes near either end of it.
struct Extended {
  bool negative = false;
  std::uint64_t significand = 0;
  int exponent = 0;
};

Extended Normalised(bool negative, std::uint64_t magnitude, int exponent) {
  if (magnitude == 0) return {negative, 0, 0};
  const int shift = std::countl_zero(magnitude);
  return {negative, magnitude << shift, exponent - shift};
}

Extended FromInteger(long long value) {
  // The magnitude in unsigned arithmetic, so that the most negative value works.
  const auto bits = static_cast<std::uint64_t>(value);
  const std::uint64_t magnitude = value < 0 ? ~bits + 1 : bits;
  return Normalised(value < 0, magnitude, 0);
}

// d is finite.
Extended FromDouble(double d) {
  const auto bits = std::bit_cast<std::uint64_t>(d);
  const bool negative = (bits >> 63) != 0;
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  if (biased == 0) return Normalised(negative, fraction, -1074);  // zero or subnormal
  return Normalised(negative, fraction | (std::uint64_t{1} << 52), biased - 1075);
}

// Where the part dropped below the kept significand stands against one half.
enum class Dropped { BelowHalf, Half, AboveHalf };

// Round to nearest, ties to even, of a value whose dropped part is `dropped`.
Extended Rounded(Extended value, Dropped dropped) {
  const bool odd = (value.significand & 1) != 0;
  const bool up = dropped == Dropped::AboveHalf || (dropped == Dropped::Half && odd);
  if (!up) return value;
  ++value.significand;
  if (value.significand == 0) {  // carried out of the top bit
    value.significand = kTopBit;
    ++value.exponent;
  }
  return value;
}

Dropped Compare(std::uint64_t part, std::uint64_t half) {
  return part > half ? Dropped::AboveHalf : (part == half ? Dropped::Half : Dropped::BelowHalf);
}

// The full 128-bit product of two 64-bit numbers, from 32-bit halves.
struct Wide {
  std::uint64_t high;
  std::uint64_t low;
};

Wide MultiplyWide(std::uint64_t a, std::uint64_t b) {
  constexpr std::uint64_t kLow32 = 0xFFFFFFFFu;
  const std::uint64_t aLow = a & kLow32, aHigh = a >> 32;
  const std::uint64_t bLow = b & kLow32, bHigh = b >> 32;
  const std::uint64_t lowLow = aLow * bLow;
  const std::uint64_t lowHigh = aLow * bHigh;
  const std::uint64_t highLow = aHigh * bLow;
  const std::uint64_t highHigh = aHigh * bHigh;
  const std::uint64_t middle = (lowLow >> 32) + (lowHigh & kLow32) + (highLow & kLow32);
  return {highHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32),
          (middle << 32) | (lowLow & kLow32)};
}

Extended Multiply(Extended a, Extended b) {
  const bool negative = a.negative != b.negative;
  if (a.significand == 0 || b.significand == 0) return {negative, 0, 0};
  const Wide product = MultiplyWide(a.significand, b.significand);
  // Both factors are normalised, so the product's top bit is bit 127 or 126.
  if ((product.high & kTopBit) != 0) {
    return Rounded({negative, product.high, a.exponent + b.exponent + 64},
                   Compare(product.low, kTopBit));
  }
  return Rounded(
      {negative, (product.high << 1) | (product.low >> 63), a.exponent + b.exponent + 63},
      Compare(product.low << 1, kTopBit));
}

// b is not zero.
Extended Divide(Extended a, Extended b) {
  const bool negative = a.negative != b.negative;
  if (a.significand == 0) return {negative, 0, 0};
  const std::uint64_t divisor = b.significand;
  // Long division of the two significands, one quotient bit at a time, until
  // the quotient holds 64 bits; the remainder then decides the rounding.
  std::uint64_t quotient = 0;
  std::uint64_t remainder = a.significand;
  int bitsLeft = 64;
  int exponent = a.exponent - b.exponent - 64;
  if (remainder >= divisor) {
    quotient = 1;
    remainder -= divisor;
    bitsLeft = 63;
    exponent = a.exponent - b.exponent - 63;
  }
  for (; bitsLeft > 0; --bitsLeft) {
    const bool carry = (remainder & kTopBit) != 0;
    remainder <<= 1;
    quotient <<= 1;
    if (carry || remainder >= divisor) {
      remainder -= divisor;  // the true difference is below divisor, so wrapping is right
      quotient |= 1;
    }
  }
  // Twice the remainder against the divisor: the dropped fraction against one half.
  const bool carry = (remainder & kTopBit) != 0;
  const Dropped dropped = carry ? Dropped::AboveHalf : Compare(remainder << 1, divisor);
  return Rounded({negative, quotient, exponent}, dropped);
}

// Stores an extended value as a double, rounding to nearest, ties to even.
// Only used on quotients of two long longs, which lie within 2^-63 and 2^63,
// far inside the range of normal doubles.
double ToDouble(Extended value) {
  if (value.significand == 0) return value.negative ? -0.0 : 0.0;
  constexpr int kDroppedBits = 64 - 53;
  std::uint64_t kept = value.significand >> kDroppedBits;
  const std::uint64_t part = value.significand & ((std::uint64_t{1} << kDroppedBits) - 1);
  const Dropped dropped = Compare(part, std::uint64_t{1} << (kDroppedBits - 1));
  if (dropped == Dropped::AboveHalf || (dropped == Dropped::Half && (kept & 1) != 0)) {
    ++kept;  // at most 2^53, still exact in a double
  }
  const double magnitude = std::ldexp(static_cast<double>(kept), value.exponent + kDroppedBits);
  return value.negative ? -magnitude : magnitude;
}

long long Clamped(bool negative) {
  return negative ? std::numeric_limits<long long>::min() : std::numeric_limits<long long>::max();
}

long long Truncated(Extended value) {
  if (value.significand == 0 || value.exponent <= -64) return 0;
  if (value.exponent > 0) return Clamped(value.negative);
  constexpr auto kMaxMagnitude = static_cast<std::uint64_t>(std::numeric_limits<long long>::max());
  const std::uint64_t magnitude = value.significand >> -value.exponent;
  if (!value.negative) {
    return magnitude > kMaxMagnitude ? Clamped(false) : static_cast<long long>(magnitude);
  }
  if (magnitude > kMaxMagnitude) {  // -2^63 itself, or below the range
    return Clamped(true);
  }
  return -static_cast<long long>(magnitude);
}

}  // namespace

double QuotientAsDouble(long long numerator, long long denominator) {
  if (denominator == 0) {
    if (numerator == 0) return std::numeric_limits<double>::quiet_NaN();
    return numerator > 0 ? std::numeric_limits<double>::infinity()
                         : -std::numeric_limits<double>::infinity();
  }
  return ToDouble(Divide(FromInteger(numerator), FromInteger(denominator)));
}

long long TruncProduct(long long value, double factor) {
  if (std::isnan(factor)) return 0;
  if (std::isinf(factor)) return value == 0 ? 0 : Clamped((value < 0) != (factor < 0));
  return Truncated(Multiply(FromInteger(value), FromDouble(factor)));
}

long long TruncQuotient(long long value, double divisor) {
  if (std::isnan(divisor) || std::isinf(divisor)) return 0;
  if (divisor == 0) return value == 0 ? 0 : Clamped((value < 0) != std::signbit(divisor));
  return Truncated(Divide(FromInteger(value), FromDouble(divisor)));
}

}  // namespace tolvane::exact
