#pragma once

namespace tolvane {

// The longest side the program leaves as it is.
inline constexpr int MaxSide = 2048;

struct ReducedSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const ReducedSize&, const ReducedSize&) = default;
};

// True when a side exceeds MaxSide (height tested first; both tests strict).
bool NeedsReduction(int width, int height);

// The reduced size: ratio = MaxSide / longer side, formed in the extended
// format and stored as a double; each side is then multiplied by it in the
// extended format and truncated. The longer side becomes 2048 or 2047, the
// shorter may become 0. Meaningful only when NeedsReduction holds.
ReducedSize ReducedSizeFor(int width, int height);

}  // namespace tolvane
