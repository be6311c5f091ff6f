#pragma once

namespace tolvane::exact {

// Size decisions are made in the 64-bit-significand (x87 extended) format with
// round to nearest, ties to even, values kept in between as doubles, results
// truncated toward zero. These functions give those results exactly on every
// compiler and processor.

// numerator / denominator formed in the extended format, then rounded to a
// double (a second rounding). denominator is not 0.
double QuotientAsDouble(long long numerator, long long denominator);

// trunc(value x factor), the product formed in the extended format.
long long TruncProduct(long long value, double factor);

// trunc(value / divisor), the quotient formed in the extended format.
// divisor is finite and above 0.
long long TruncQuotient(long long value, double divisor);

}  // namespace tolvane::exact
