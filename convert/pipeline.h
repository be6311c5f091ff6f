#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "raster/raster.h"
#include "raster/reduce.h"
#include "raster/row_progress.h"
#include "support/files.h"

namespace tolvane {

namespace png {
class RgbPngWriter;
}

// Reduces and encodes on a second thread while the caller's thread decodes.
// Handed to a decoder as its RowProgress: when the decoded raster is to be
// reduced, Begin sizes the output raster and starts a worker that pushes
// each finished source row through the halftone reducer, stores every
// destination row in the output raster and feeds it to a PNG writer on a
// temporary file. Nothing is logged or shown from the worker, and no file
// appears until the caller commits it.
//
// Whatever goes wrong in the worker is kept and rethrown by CommitOutput, on
// the caller's thread, at the point where the one-thread procedure would
// have met it. When the pipeline cannot take a raster (a layout the reducer
// does not read directly, an image that is not reduced, an output raster
// that cannot be had) it declines, and the caller does the steps itself.
class ReductionPipeline : public RowProgress {
 public:
  explicit ReductionPipeline(std::string outputPath);
  // Stops the worker and removes the temporary file unless committed.
  ~ReductionPipeline() override;
  ReductionPipeline(const ReductionPipeline&) = delete;
  ReductionPipeline& operator=(const ReductionPipeline&) = delete;

  bool Begin(const Raster& raster) override;
  void RowDone(int y, const std::uint8_t* row) override;
  void Abandon() override;

  // After a successful decode: waits for the worker. True when it reduced
  // exactly the rows of `working`, so that Output() is the reduction of it;
  // false when the caller must reduce it itself (the worker is then stopped
  // and its file dropped).
  bool Complete(const Raster& working);

  Raster& Output() { return output_; }

  // After Complete gave true: rethrows the worker's failure, if any, or puts
  // the written file in place.
  void CommitOutput();

 private:
  void Work();
  void StoreRow(int y, std::span<const std::uint8_t> bgrx);
  const std::uint8_t* WaitForRow(int y);
  void Stop();

  std::string outputPath_;
  Raster output_;
  int sourceWidth_ = 0;
  int sourceHeight_ = 0;
  RasterFormat sourceFormat_ = RasterFormat::Device;
  std::optional<HalftoneReducer> reducer_;

  std::mutex mutex_;
  std::condition_variable rowArrived_;
  std::vector<const std::uint8_t*> rows_;  // guarded by mutex_
  int rowsReady_ = 0;                      // guarded by mutex_
  bool decodeOver_ = false;                // guarded by mutex_
  bool stopping_ = false;                  // guarded by mutex_

  // Owned by the worker until it has been joined.
  std::unique_ptr<AtomicOutputFile> file_;
  std::unique_ptr<png::RgbPngWriter> writer_;
  std::exception_ptr failure_;
  bool reducedAll_ = false;

  std::jthread worker_;  // last: joined before the members it uses go
};

}  // namespace tolvane
