#include "support/exact.h"

#include <cmath>

namespace tolvane::exact {

// Interim: x86-64's long double is the x87 format itself.
double QuotientAsDouble(long long numerator, long long denominator) {
  const long double q = static_cast<long double>(numerator) / static_cast<long double>(denominator);
  return static_cast<double>(q);
}

long long TruncProduct(long long value, double factor) {
  return static_cast<long long>(std::trunc(static_cast<long double>(value) * factor));
}

long long TruncQuotient(long long value, double divisor) {
  return static_cast<long long>(std::trunc(static_cast<long double>(value) / divisor));
}

}  // namespace tolvane::exact
