#include "convert/pipeline.h"

#include <cstring>
#include <system_error>
#include <utility>

#include "convert/size_rule.h"
#include "formats/png/png_encoder.h"
#include "support/error.h"

namespace tolvane {

ReductionPipeline::ReductionPipeline(std::string outputPath, const InputFormat& format)
    : outputPath_(std::move(outputPath)), format_(format) {}

ReductionPipeline::~ReductionPipeline() { Stop(); }

bool ReductionPipeline::Begin(const Raster& raster) {
  if (!format_.streamsRows || worker_.joinable() || raster.Empty()) return false;
  const RasterFormat format = raster.Format();
  const bool bgr = format == RasterFormat::Bits24;
  const bool bgrx = format == RasterFormat::Bits32 || format == RasterFormat::Device;
  if (!bgr && !bgrx) return false;
  const int width = raster.Width();
  const int height = raster.Height();
  if (!NeedsReduction(width, height)) return false;
  const ReducedSize reduced = ReducedSizeFor(width, height);
  if (reduced.width == 0 || reduced.height == 0) return false;
  try {
    // The reducer writes every row, and the white a new raster gets would only
    // delay the first of them.
    output_.SetSizeToOverwrite(reduced.width, reduced.height);
  } catch (const Error&) {
    // The one-thread steps meet this failure again, in their own order.
    output_ = Raster();
    return false;
  }
  output_.SetAlphaMode(AlphaMode::None);
  outputRows_.resize(static_cast<std::size_t>(reduced.height));
  for (int y = 0; y < reduced.height; ++y)
    outputRows_[static_cast<std::size_t>(y)] = output_.MutableRow(y).data();
  sourceWidth_ = width;
  sourceHeight_ = height;
  sourceFormat_ = format;
  reducer_.emplace(width, height, reduced.width, reduced.height,
                   bgr ? SourcePixels::Bgr : SourcePixels::Bgrx,
                   [this](int y, std::span<const std::uint8_t> row) { StoreRow(y, row); });
  try {
    worker_ = std::jthread([this] { Work(); });
  } catch (const std::system_error&) {
    reducer_.reset();
    outputRows_.clear();
    output_ = Raster();
    return false;
  }
  return true;
}

void ReductionPipeline::RowDone(int y, const std::uint8_t* row) {
  if (!reducer_ || y != rowsPushed_ || y >= sourceHeight_) return;
  if (y == 0) firstRow_ = row;
  lastRow_ = row;
  ++rowsPushed_;
  reducer_->PushRow(row, true);
}

void ReductionPipeline::Abandon() { Stop(); }

void ReductionPipeline::Stop() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  rowArrived_.notify_one();
  if (worker_.joinable()) worker_.join();
}

// On the decoding thread, from the reducer.
void ReductionPipeline::StoreRow(int y, std::span<const std::uint8_t> bgrx) {
  std::memcpy(outputRows_[static_cast<std::size_t>(y)], bgrx.data(), bgrx.size());
  {
    const std::lock_guard lock(mutex_);
    outputRowsReady_ = y + 1;
  }
  rowArrived_.notify_one();
}

bool ReductionPipeline::WaitForOutputRow(int y) {
  std::unique_lock lock(mutex_);
  rowArrived_.wait(lock, [&] { return stopping_ || decodeOver_ || outputRowsReady_ > y; });
  return !stopping_ && outputRowsReady_ > y;
}

void ReductionPipeline::Work() {
  try {
    file_ = std::make_unique<AtomicOutputFile>(outputPath_);
    png::ImageHeader header;
    header.width = static_cast<std::uint32_t>(output_.Width());
    header.height = static_cast<std::uint32_t>(output_.Height());
    writer_ = std::make_unique<png::PngWriter>(*file_, header);
    const int height = static_cast<int>(outputRows_.size());
    for (int y = 0; y < height; ++y) {
      if (!WaitForOutputRow(y)) return;
      writer_->WriteRowBgrx(outputRows_[static_cast<std::size_t>(y)]);
    }
    writer_->Finish();
  } catch (...) {
    failure_ = std::current_exception();  // rethrown on the caller's thread
  }
}

bool ReductionPipeline::TakeStreamed(const Raster& working, ReducedSize size) {
  if (!worker_.joinable()) return false;
  // The reducer must have read the working raster's own rows, all of them,
  // into an output of the size asked for.
  const bool same = rowsPushed_ == sourceHeight_ && reducer_->Finished() &&
                    working.Width() == sourceWidth_ && working.Height() == sourceHeight_ &&
                    working.Format() == sourceFormat_ && firstRow_ == working.Row(0).data() &&
                    lastRow_ == working.Row(sourceHeight_ - 1).data() &&
                    output_.Width() == size.width && output_.Height() == size.height;
  {
    const std::lock_guard lock(mutex_);
    decodeOver_ = true;
    if (!same) stopping_ = true;
  }
  rowArrived_.notify_one();
  worker_.join();
  if (same) return true;
  writer_.reset();
  file_.reset();
  output_ = Raster();
  return false;
}

const Raster& ReductionPipeline::Reduce(const Raster& working, ReducedSize size) {
  streamed_ = TakeStreamed(working, size);
  if (!streamed_) {
    output_.SetWidth(size.width);
    output_.SetHeight(size.height);
    ReduceHalftone(working, output_);
  }
  return output_;
}

void ReductionPipeline::Write(const PngImage& png) {
  if (!streamed_) {
    format_.write(output_, png, outputPath_);
    return;
  }
  writer_.reset();
  if (failure_) std::rethrow_exception(failure_);
  file_->Commit();
}

}  // namespace tolvane
