#include "convert/size_rule.h"

#include "support/exact.h"

namespace tolvane {

bool NeedsReduction(int width, int height) { return height > MaxSide || width > MaxSide; }

ReducedSize ReducedSizeFor(int width, int height) {
  const int longer = height > width ? height : width;
  const double ratio = exact::QuotientAsDouble(MaxSide, longer);
  // The product of a side and a ratio at most 1 stays within the side's range.
  return {static_cast<int>(exact::TruncProduct(width, ratio)),
          static_cast<int>(exact::TruncProduct(height, ratio))};
}

}  // namespace tolvane
