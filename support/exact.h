#pragma once

namespace tolvane::exact {

// Size decisions are made in the 64-bit-significand (x87 extended) format with
// round to nearest, ties to even, values kept in between as doubles, results
// truncated toward zero. These functions give those results exactly, with
// integer arithmetic only, so every compiler and processor agrees (long double
// is 64 bits with MSVC and 128 bits on AArch64).
//
// Integers and doubles are exact in the extended format, so each function
// rounds once in it (and QuotientAsDouble a second time, to the double).
// Results that do not fit a long long are clamped to its range; a product or
// quotient that is not a number (0 x infinity, 0 / 0) gives 0.

// numerator / denominator formed in the extended format, then rounded to a
// double (a second rounding): what storing an x87 quotient in a double gives.
// A denominator of 0 gives an infinity, or NaN for 0 / 0.
double QuotientAsDouble(long long numerator, long long denominator);

// trunc(value x factor), the product formed in the extended format.
long long TruncProduct(long long value, double factor);

// trunc(value / divisor), the quotient formed in the extended format.
long long TruncQuotient(long long value, double divisor);

}  // namespace tolvane::exact
