#pragma once

#include "raster/raster.h"

namespace tolvane {

// When a decoder hands over the rows of the raster it fills.
enum class RowDelivery {
  WhileDecoding,  // each row as soon as it is final, while later ones are decoded
  AllAtOnce,      // every row together, once the raster is complete
};

// Told by a decoder about the raster it is filling, on the decoder's thread,
// so that the rows that are already final can be worked on.
class RowProgress {
 public:
  virtual ~RowProgress() = default;
  // The store is made and its layout, palette and size are final. Returning
  // false declines the rows: nothing more is called.
  virtual bool Begin(const Raster& raster, RowDelivery delivery) = 0;
  // Row y (counted from the top) of the raster given to Begin is final: its
  // bytes stay in place and unchanged for as long as the raster's store
  // lives. Rows come once each, top to bottom.
  virtual void RowDone(const Raster& raster, int y) = 0;
  // The rows handed over are withdrawn (decoding stopped before every row
  // was final, or they turned out not to be the image's after all) and may
  // be released next: returns only when nothing reads them any more. A new
  // Begin may follow.
  virtual void Abandon() = 0;
};

// One decoder's use of a RowProgress (which may be null): Begin when made,
// and Abandon when left before Finish, so a failing decoder never frees rows
// that another thread still reads.
class RowProgressSession {
 public:
  RowProgressSession(RowProgress* progress, const Raster& raster,
                     RowDelivery delivery = RowDelivery::WhileDecoding)
      : requested_(progress), raster_(raster), delivery_(delivery) {
    Start();
  }
  ~RowProgressSession() { Abandon(); }
  RowProgressSession(const RowProgressSession&) = delete;
  RowProgressSession& operator=(const RowProgressSession&) = delete;

  void RowDone(int y) {
    if (progress_ != nullptr) progress_->RowDone(raster_, y);
  }
  // Every row has been handed over and the store outlives the session.
  void Finish() { progress_ = nullptr; }
  // The rows handed over are not final after all: the progress lets go of
  // them, and nothing more is reported.
  void Abandon() {
    if (progress_ != nullptr) progress_->Abandon();
    progress_ = nullptr;
  }
  // The rows handed over are withdrawn and the raster's rows will come
  // again from the top (the decoder starts over).
  void Restart() {
    Abandon();
    Start();
  }

 private:
  void Start() {
    progress_ =
        requested_ != nullptr && requested_->Begin(raster_, delivery_) ? requested_ : nullptr;
  }

  RowProgress* requested_;
  RowProgress* progress_ = nullptr;
  const Raster& raster_;
  RowDelivery delivery_;
};

// For a decoder that has the raster only when it is done: hands every row
// of it over at once. A raster without pixels has no rows to hand over.
inline void HandOverAllRows(RowProgress* progress, const Raster& raster) {
  if (progress == nullptr || raster.Empty()) return;
  RowProgressSession session(progress, raster, RowDelivery::AllAtOnce);
  for (int y = 0; y < raster.Height(); ++y) session.RowDone(y);
  session.Finish();
}

}  // namespace tolvane
