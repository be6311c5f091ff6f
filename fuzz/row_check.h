#pragma once

// Differential checks for readers that can report rows while decoding: the
// same file is decoded once without a consumer and once with one, and the
// two must agree. Any disagreement aborts, which the fuzzer reports.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "raster/raster.h"
#include "raster/row_progress.h"
#include "support/error.h"
#include "support/messages.h"

namespace tolvane::fuzz {

// Keeps a copy of every reported row; rows must come once each, top to
// bottom, after each Begin.
class RowCheck : public RowProgress {
 public:
  // A decoder that starts over hands over every row again.
  bool Begin(const Raster&, RowDelivery) override {
    rows_.clear();
    abandoned_ = false;
    return true;
  }
  void RowDone(const Raster& raster, int y) override {
    if (abandoned_ || y != static_cast<int>(rows_.size())) std::abort();
    const auto row = raster.Row(y);
    rows_.emplace_back(row.begin(), row.end());
  }
  void Abandon() override { abandoned_ = true; }

  // Every row reported, as the finished raster holds it, unless withdrawn.
  void RequireFinalRows(const Raster& raster) const {
    if (abandoned_ || rows_.empty()) return;
    if (rows_.size() != static_cast<std::size_t>(raster.Height())) std::abort();
    for (int y = 0; y < raster.Height(); ++y) {
      const auto row = raster.Row(y);
      if (!std::equal(row.begin(), row.end(), rows_[static_cast<std::size_t>(y)].begin()))
        std::abort();
    }
  }

 private:
  std::vector<std::vector<std::uint8_t>> rows_;
  bool abandoned_ = false;
};

struct Outcome {
  std::optional<Raster> raster;
  std::string failure;
};

template <typename Decode>
Outcome Attempt(Decode decode) {
  try {
    return {decode(), {}};
  } catch (const Error& error) {
    return {std::nullopt, error.what()};
  }
}

inline bool SamePixels(const Raster& a, const Raster& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.Format() != b.Format()) return false;
  for (int y = 0; y < a.Height(); ++y) {
    const auto ra = a.Row(y);
    const auto rb = b.Row(y);
    if (!std::equal(ra.begin(), ra.end(), rb.begin(), rb.end())) return false;
  }
  return true;
}

// The two decodes give the same pixels, or fail alike. A reader that reports
// rows may make its store before it meets a fault that the plain decode
// meets first, so a failure to make the store matches any failure.
inline void RequireSame(const Outcome& plain, const Outcome& reported) {
  if (plain.raster && reported.raster) {
    if (!SamePixels(*plain.raster, *reported.raster)) std::abort();
    return;
  }
  if (plain.raster || reported.raster) std::abort();
  const bool store = plain.failure == messages::kSystemResourcesLow ||
                     reported.failure == messages::kSystemResourcesLow;
  if (plain.failure != reported.failure && !store) std::abort();
}

}  // namespace tolvane::fuzz
