#pragma once

#include <QObject>
#include <exception>
#include <functional>
#include <string>
#include <thread>

#include "convert/seams.h"

namespace tolvane::app {

// Converts one file at a time on a thread of its own, so that the window goes
// on answering the desktop (drags, repaints) meanwhile. What the conversion
// writes into the log and the preview is carried over to this object's
// thread and applied there in the order it was written; then `done` runs
// there, with the failure if the conversion failed.
class BackgroundConversion : public QObject {
 public:
  using Done = std::function<void(std::exception_ptr failure)>;

  BackgroundConversion(Log& log, Preview& preview) : log_(log), preview_(preview) {}
  // Waits for a running conversion: its output is written whole or not at
  // all. What it has not yet applied is dropped.
  ~BackgroundConversion() override;
  BackgroundConversion(const BackgroundConversion&) = delete;
  BackgroundConversion& operator=(const BackgroundConversion&) = delete;

  // Starts converting path. Not before the last conversion's done has run.
  void Start(const std::string& path, Done done);

 private:
  Log& log_;
  Preview& preview_;
  std::thread worker_;
};

}  // namespace tolvane::app
