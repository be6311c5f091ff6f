#pragma once

#include <exception>
#include <functional>
#include <string>
#include <thread>

#include "convert/seams.h"

namespace tolvane::window {

// How long the window waits after a conversion before it gives back the
// memory kept for the next one (KeepFreedBlocks).
inline constexpr int kKeptBlocksIdleMs = 5000;

// Runs work on the window's thread, after everything posted before it.
using PostToWindow = std::function<void(std::function<void()> work)>;

// Converts one file at a time on a thread of its own, so that the window goes
// on answering the desktop (drags, repaints) meanwhile. What the conversion
// writes into the log and the preview is posted to the window's thread and
// applied there in the order it was written; then `done` runs there, with the
// failure if the conversion failed.
class BackgroundConversion {
 public:
  using Done = std::function<void(std::exception_ptr failure)>;

  BackgroundConversion(Log& log, Preview& preview, PostToWindow post)
      : log_(log), preview_(preview), post_(std::move(post)) {}
  // Waits for a running conversion: its output is written whole or not at
  // all. Whatever it posts from then on must be dropped by the window.
  ~BackgroundConversion();
  BackgroundConversion(const BackgroundConversion&) = delete;
  BackgroundConversion& operator=(const BackgroundConversion&) = delete;

  // Starts converting path. Not before the last conversion's done has run.
  void Start(const std::string& path, Done done);

 private:
  Log& log_;
  Preview& preview_;
  PostToWindow post_;
  std::thread worker_;
};

}  // namespace tolvane::window
