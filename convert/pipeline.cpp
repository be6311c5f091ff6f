#include "convert/pipeline.h"

#include <cstring>
#include <system_error>
#include <utility>

#include "convert/size_rule.h"
#include "formats/png/png_encoder.h"
#include "support/error.h"

namespace tolvane {

ReductionPipeline::ReductionPipeline(std::string outputPath) : outputPath_(std::move(outputPath)) {}

ReductionPipeline::~ReductionPipeline() { Stop(); }

bool ReductionPipeline::Begin(const Raster& raster) {
  if (worker_.joinable() || raster.Empty()) return false;
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
    output_.SetWidth(reduced.width);
    output_.SetHeight(reduced.height);
  } catch (const Error&) {
    // The one-thread steps meet this failure again, in their own order.
    output_ = Raster();
    return false;
  }
  output_.SetAlphaMode(AlphaMode::None);
  sourceWidth_ = width;
  sourceHeight_ = height;
  sourceFormat_ = format;
  rows_.assign(static_cast<std::size_t>(height), nullptr);
  reducer_.emplace(width, height, reduced.width, reduced.height,
                   bgr ? SourcePixels::Bgr : SourcePixels::Bgrx,
                   [this](int y, std::span<const std::uint8_t> row) { StoreRow(y, row); });
  try {
    worker_ = std::jthread([this] { Work(); });
  } catch (const std::system_error&) {
    reducer_.reset();
    output_ = Raster();
    return false;
  }
  return true;
}

void ReductionPipeline::RowDone(int y, const std::uint8_t* row) {
  {
    const std::lock_guard lock(mutex_);
    if (y != rowsReady_ || y >= sourceHeight_) return;
    rows_[static_cast<std::size_t>(y)] = row;
    rowsReady_ = y + 1;
  }
  rowArrived_.notify_one();
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

const std::uint8_t* ReductionPipeline::WaitForRow(int y) {
  std::unique_lock lock(mutex_);
  rowArrived_.wait(lock, [&] { return stopping_ || decodeOver_ || rowsReady_ > y; });
  if (stopping_ || rowsReady_ <= y) return nullptr;
  return rows_[static_cast<std::size_t>(y)];
}

void ReductionPipeline::StoreRow(int y, std::span<const std::uint8_t> bgrx) {
  std::memcpy(output_.MutableRow(y).data(), bgrx.data(), bgrx.size());
  if (!writer_ || failure_) return;
  try {
    writer_->WriteRowBgrx(bgrx.data());
  } catch (...) {
    failure_ = std::current_exception();  // rethrown on the caller's thread
  }
}

void ReductionPipeline::Work() {
  try {
    file_ = std::make_unique<AtomicOutputFile>(outputPath_);
    writer_ = std::make_unique<png::RgbPngWriter>(*file_, static_cast<std::uint32_t>(output_.Width()),
                                                  static_cast<std::uint32_t>(output_.Height()));
  } catch (...) {
    failure_ = std::current_exception();
  }
  for (int y = 0; y < sourceHeight_ && !reducer_->Finished(); ++y) {
    const std::uint8_t* row = WaitForRow(y);
    if (row == nullptr) return;
    reducer_->PushRow(row, true);
  }
  reducedAll_ = reducer_->Finished();
  if (!reducedAll_ || !writer_ || failure_) return;
  try {
    writer_->Finish();
  } catch (...) {
    failure_ = std::current_exception();
  }
}

bool ReductionPipeline::Complete(const Raster& working) {
  if (!worker_.joinable()) return false;
  bool same = false;
  {
    const std::lock_guard lock(mutex_);
    decodeOver_ = true;
    // The worker must have read the working raster's own rows, all of them.
    same = rowsReady_ == sourceHeight_ && working.Width() == sourceWidth_ &&
           working.Height() == sourceHeight_ && working.Format() == sourceFormat_ &&
           rows_.front() == working.Row(0).data() &&
           rows_.back() == working.Row(sourceHeight_ - 1).data();
    if (!same) stopping_ = true;
  }
  rowArrived_.notify_one();
  worker_.join();
  if (same && reducedAll_) return true;
  writer_.reset();
  file_.reset();
  output_ = Raster();
  return false;
}

void ReductionPipeline::CommitOutput() {
  writer_.reset();
  if (failure_) std::rethrow_exception(failure_);
  file_->Commit();
}

}  // namespace tolvane
