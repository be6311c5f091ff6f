#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "raster/raster.h"
#include "support/files.h"

namespace tolvane {

namespace png {
class PngWriter;
}

// Writes an image as a PNG file (8-bit RGB, not interlaced) on a thread of
// its own while another thread is still making its rows: each row is encoded
// as soon as it is said to be ready. Nothing appears under the file's name
// until Commit; whatever goes wrong on the thread is kept and rethrown by
// Commit, on the caller's thread.
class BackgroundPngEncoder {
 public:
  // Starts the thread, which creates the (temporary) file at once. The
  // image's rows are read where they are: the caller keeps the image's store
  // alive and unchanged in the rows made ready, and hands nobody else the
  // image until Finish has returned. Fails when the thread cannot start.
  BackgroundPngEncoder(std::string path, const Raster& image);
  // Stops the thread; the file goes unless committed.
  ~BackgroundPngEncoder();
  BackgroundPngEncoder(const BackgroundPngEncoder&) = delete;
  BackgroundPngEncoder& operator=(const BackgroundPngEncoder&) = delete;

  // Rows 0 to count - 1 (from the top) are final.
  void RowsReady(int count);
  // No more rows come: returns once every row made ready is encoded, or the
  // encoding has failed. The image is the caller's again.
  void Finish();
  // After Finish: rethrows the encoding's failure, or puts the file in place.
  void Commit();

 private:
  void Work();
  bool WaitForRow(int y);

  std::string path_;
  std::uint32_t width_ = 0;
  std::vector<const std::uint8_t*> rows_;

  std::mutex mutex_;
  std::condition_variable rowArrived_;
  int rowsReady_ = 0;        // guarded by mutex_
  bool noMoreRows_ = false;  // guarded by mutex_
  bool stopping_ = false;    // guarded by mutex_

  // The thread's own until it has been joined.
  std::unique_ptr<AtomicOutputFile> file_;
  std::unique_ptr<png::PngWriter> writer_;
  bool complete_ = false;
  std::exception_ptr failure_;

  std::jthread worker_;  // last: joined before the members it uses go
};

}  // namespace tolvane
