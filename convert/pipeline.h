#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "convert/background_encoder.h"
#include "convert/read_input.h"
#include "raster/raster.h"
#include "raster/reduce.h"
#include "raster/row_progress.h"

namespace tolvane {

// The reduction of one conversion, fed by the decoder: handed to the reader
// as its RowProgress, it takes the working raster's rows, either while they
// are decoded or all at once when the reader is done, and reduces each as it
// comes (on the decoding thread) into the output raster. When the rows come
// while decoding and the format's output is PNG, each finished output row is
// also encoded at once on a second thread (BackgroundPngEncoder), so that the
// encoder, the longest single step, runs beside the decoder; otherwise the
// output is written once reduced. Nothing is logged or shown from the second
// thread, and no file appears until Write.
//
// A failure to make the output raster, and whatever goes wrong on the second
// thread, are kept and rethrown where the conversion's one-thread order meets
// them: by Reduce and by Write.
class ReductionPipeline : public RowProgress {
 public:
  ReductionPipeline(std::string outputPath, const InputFormat& format);
  ReductionPipeline(const ReductionPipeline&) = delete;
  ReductionPipeline& operator=(const ReductionPipeline&) = delete;

  // Takes the rows of a raster that is to be reduced; declines the rest.
  bool Begin(const Raster& raster, RowDelivery delivery) override;
  void RowDone(const Raster& raster, int y) override;
  void Abandon() override;

  // After a successful decode of an image to be reduced: the reduction of
  // the rows handed over (a new raster of the reduced size, alpha None).
  const Raster& Reduce();

  // After Reduce: puts the file encoded beside the decode in place, or
  // rethrows its failure; or writes the reduced raster with the format's
  // writer (`png` is the call's PNG image object, whose interlace method a
  // PNG keeps).
  void Write(const PngImage& png);

 private:
  void StoreRow(int y, std::span<const std::uint8_t> bgrx);

  std::string outputPath_;
  const InputFormat& format_;
  // Made when the rows begin to come; the failure to make it is kept.
  Raster output_;
  std::exception_ptr outputFailure_;
  std::optional<RasterReducer> reducer_;
  // While it lives it reads output_'s rows: destroyed first.
  std::unique_ptr<BackgroundPngEncoder> encoder_;
};

}  // namespace tolvane
