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

#include "convert/read_input.h"
#include "convert/size_rule.h"
#include "raster/raster.h"
#include "raster/reduce.h"
#include "raster/row_progress.h"
#include "support/files.h"

namespace tolvane {

namespace png {
class PngWriter;
}

// Reduces while the caller's thread decodes, and encodes on a second thread.
// Handed to a decoder as its RowProgress: when the decoded raster is to be
// reduced, Begin sizes the output raster and starts a worker. Each finished
// source row goes through the halftone reducer on the decoding thread (a
// small share of the decode's own work); every finished destination row is
// stored in the output raster and handed to the worker, which feeds it to a
// PNG writer on a temporary file. The encoder, the longest single step, thus
// runs beside the decoder. Nothing is logged or shown from the worker, and
// no file appears until the caller commits it.
//
// Whatever goes wrong in the worker is kept and rethrown by Write, on the
// caller's thread, at the point where the one-thread procedure would have met
// it. When the pipeline cannot take a decoder's rows (a layout the reducer
// does not read directly, an image that is not reduced, an output raster
// that cannot be had), or the decoder reports none, Reduce reduces the
// decoded raster once it is complete and Write writes it with the format's
// writer: the caller's steps are the same either way.
class ReductionPipeline : public RowProgress {
 public:
  ReductionPipeline(std::string outputPath, const InputFormat& format);
  // Stops the worker and removes the temporary file unless committed.
  ~ReductionPipeline() override;
  ReductionPipeline(const ReductionPipeline&) = delete;
  ReductionPipeline& operator=(const ReductionPipeline&) = delete;

  bool Begin(const Raster& raster) override;
  void RowDone(int y, const std::uint8_t* row) override;
  void Abandon() override;

  // After a successful decode: the reduction of `working` to `size`. That is
  // the streamed one when the reducer was given exactly the rows of
  // `working`; otherwise the worker is stopped, its file dropped, and
  // `working` is reduced here (a new raster of `size`, white until reduced).
  const Raster& Reduce(const Raster& working, ReducedSize size);

  // After Reduce: puts the streamed file in place, or rethrows the worker's
  // failure; or writes the reduced raster with the format's writer (`png`
  // is the call's PNG image object, whose interlace method a PNG keeps).
  void Write(const PngImage& png);

 private:
  bool TakeStreamed(const Raster& working, ReducedSize size);

  void Work();
  void StoreRow(int y, std::span<const std::uint8_t> bgrx);
  bool WaitForOutputRow(int y);
  void Stop();

  std::string outputPath_;
  const InputFormat& format_;
  Raster output_;
  bool streamed_ = false;  // output_ is the worker's, and so is the file
  // The output raster's rows, taken before the worker starts: the decoding
  // thread fills them and the worker reads them, and neither changes output_.
  std::vector<std::uint8_t*> outputRows_;
  int sourceWidth_ = 0;
  int sourceHeight_ = 0;
  RasterFormat sourceFormat_ = RasterFormat::Device;

  // The decoding thread's own: the reducer and the source rows it was given.
  std::optional<HalftoneReducer> reducer_;
  int rowsPushed_ = 0;
  const std::uint8_t* firstRow_ = nullptr;
  const std::uint8_t* lastRow_ = nullptr;

  std::mutex mutex_;
  std::condition_variable rowArrived_;
  int outputRowsReady_ = 0;  // guarded by mutex_
  bool decodeOver_ = false;  // guarded by mutex_
  bool stopping_ = false;    // guarded by mutex_

  // Owned by the worker until it has been joined.
  std::unique_ptr<AtomicOutputFile> file_;
  std::unique_ptr<png::PngWriter> writer_;
  std::exception_ptr failure_;

  std::jthread worker_;  // last: joined before the members it uses go
};

}  // namespace tolvane
