#include "convert/pipeline.h"

#include <cstring>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "convert/size_rule.h"

namespace tolvane {

ReductionPipeline::ReductionPipeline(std::string outputPath, const InputFormat& format)
    : outputPath_(std::move(outputPath)), format_(format) {}

bool ReductionPipeline::Begin(const Raster& raster, RowDelivery delivery) {
  if (reducer_ || outputFailure_ || raster.Empty()) return false;
  if (!NeedsReduction(raster.Width(), raster.Height())) return false;
  const ReducedSize reduced = ReducedSizeFor(raster.Width(), raster.Height());
  if (reduced.width == 0 || reduced.height == 0) return false;
  try {
    // The reducer writes every row, and the white a new raster gets would
    // only delay the first of them.
    output_.SetSizeToOverwrite(reduced.width, reduced.height);
    reducer_.emplace(raster, reduced.width, reduced.height,
                     [this](int y, std::span<const std::uint8_t> row) { StoreRow(y, row); });
  } catch (...) {
    // The conversion meets this failure when it asks for the reduction.
    outputFailure_ = std::current_exception();
    reducer_.reset();
    output_ = Raster();
    return false;
  }
  // Rows handed over at the end leave nothing for a second thread to
  // overlap with: the writer then takes the reduced raster whole.
  if (delivery == RowDelivery::WhileDecoding && format_.encodesWhileDecoding) {
    try {
      encoder_ = std::make_unique<BackgroundPngEncoder>(outputPath_, output_);
    } catch (const std::system_error&) {
      // Without a second thread the output is written once reduced.
    }
  }
  return true;
}

void ReductionPipeline::RowDone(const Raster& raster, int y) {
  if (reducer_ && y == reducer_->NextSourceRow()) reducer_->PushRow(raster, y);
}

void ReductionPipeline::Abandon() {
  encoder_.reset();
  reducer_.reset();
  output_ = Raster();
}

// On the decoding thread, from the reducer.
void ReductionPipeline::StoreRow(int y, std::span<const std::uint8_t> bgrx) {
  std::memcpy(output_.MutableRow(y).data(), bgrx.data(), bgrx.size());
  if (encoder_) encoder_->RowsReady(y + 1);
}

const Raster& ReductionPipeline::Reduce() {
  if (outputFailure_) std::rethrow_exception(outputFailure_);
  if (!reducer_ || !reducer_->Finished()) {
    throw std::logic_error("the reader did not hand over every row of its image");
  }
  reducer_.reset();  // its buffers are not needed while the output is written
  if (encoder_) encoder_->Finish();
  return output_;
}

void ReductionPipeline::Write(const PngImage& png) {
  if (encoder_) {
    encoder_->Commit();
  } else {
    format_.write(output_, png, outputPath_);
  }
}

}  // namespace tolvane
