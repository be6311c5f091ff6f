#include "convert/background_encoder.h"

#include <stdexcept>
#include <utility>

#include "formats/png/png_encoder.h"

namespace tolvane {

BackgroundPngEncoder::BackgroundPngEncoder(std::string path, const Raster& image)
    : path_(std::move(path)), width_(static_cast<std::uint32_t>(image.Width())) {
  rows_.reserve(static_cast<std::size_t>(image.Height()));
  for (int y = 0; y < image.Height(); ++y) rows_.push_back(image.Row(y).data());
  worker_ = std::jthread([this] { Work(); });
}

BackgroundPngEncoder::~BackgroundPngEncoder() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  rowArrived_.notify_one();
  if (worker_.joinable()) worker_.join();
}

void BackgroundPngEncoder::RowsReady(int count) {
  {
    const std::lock_guard lock(mutex_);
    rowsReady_ = count;
  }
  rowArrived_.notify_one();
}

void BackgroundPngEncoder::Finish() {
  {
    const std::lock_guard lock(mutex_);
    noMoreRows_ = true;
  }
  rowArrived_.notify_one();
  if (worker_.joinable()) worker_.join();
}

void BackgroundPngEncoder::Commit() {
  writer_.reset();
  if (failure_) std::rethrow_exception(failure_);
  if (!complete_) throw std::logic_error("the output file was committed before its last row");
  file_->Commit();
}

bool BackgroundPngEncoder::WaitForRow(int y) {
  std::unique_lock lock(mutex_);
  rowArrived_.wait(lock, [&] { return stopping_ || noMoreRows_ || rowsReady_ > y; });
  return !stopping_ && rowsReady_ > y;
}

void BackgroundPngEncoder::Work() {
  try {
    file_ = std::make_unique<AtomicOutputFile>(path_);
    png::ImageHeader header;
    header.width = width_;
    header.height = static_cast<std::uint32_t>(rows_.size());
    writer_ = std::make_unique<png::PngWriter>(*file_, header);
    for (std::size_t y = 0; y < rows_.size(); ++y) {
      if (!WaitForRow(static_cast<int>(y))) return;
      writer_->WriteRowBgrx(rows_[y]);
    }
    writer_->Finish();
    complete_ = true;
  } catch (...) {
    failure_ = std::current_exception();  // rethrown on the caller's thread
  }
}

}  // namespace tolvane
