#pragma once

#include <cstdint>

#include "raster/raster.h"

namespace tolvane {

// Told by a decoder about the raster it is filling, on the decoder's thread,
// so that another thread can work on the rows that are already final.
class RowProgress {
 public:
  virtual ~RowProgress() = default;
  // The store is made and its layout, palette and size are final. Returning
  // false declines the rows: nothing more is called.
  virtual bool Begin(const Raster& raster) = 0;
  // Row y (counted from the top) is final: its bytes stay in place and
  // unchanged for as long as the raster's store lives.
  virtual void RowDone(int y, const std::uint8_t* row) = 0;
  // Decoding stopped before every row was handed over and the rows may be
  // released next: returns only when nothing reads them any more.
  virtual void Abandon() = 0;
};

// One decoder's use of a RowProgress (which may be null): Begin when made,
// and Abandon when left before Finish, so a failing decoder never frees rows
// that another thread still reads.
class RowProgressSession {
 public:
  RowProgressSession(RowProgress* progress, const Raster& raster)
      : progress_(progress != nullptr && progress->Begin(raster) ? progress : nullptr) {}
  ~RowProgressSession() { Abandon(); }
  RowProgressSession(const RowProgressSession&) = delete;
  RowProgressSession& operator=(const RowProgressSession&) = delete;

  void RowDone(int y, const std::uint8_t* row) {
    if (progress_ != nullptr) progress_->RowDone(y, row);
  }
  // Every row has been handed over and the store outlives the session.
  void Finish() { progress_ = nullptr; }
  // The rows handed over are not final after all: the progress lets go of
  // them, and nothing more is reported.
  void Abandon() {
    if (progress_ != nullptr) progress_->Abandon();
    progress_ = nullptr;
  }

 private:
  RowProgress* progress_;
};

}  // namespace tolvane
