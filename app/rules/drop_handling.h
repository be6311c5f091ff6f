#pragma once

#include <exception>
#include <string>

#include "app/rules/background_conversion.h"
#include "app/rules/drop_queue.h"
#include "convert/seams.h"

namespace tolvane::window {

// What a window does around the conversion of a dropped file.
class DropWindow {
 public:
  virtual ~DropWindow() = default;
  // While a file is converted the window shows the wait cursor and takes no
  // input but drops.
  virtual void SetConverting(bool converting) = 0;
  // After a conversion that succeeded: the name field shows the file's name.
  virtual void ShowFileName(const std::string& name) = 0;
  // After one that failed: the one reporter shows the failure; the name
  // field keeps its text.
  virtual void ReportFailure(const std::exception_ptr& failure) = 0;
};

// The drops on a window: the first file of each is converted on a thread of
// its own (BackgroundConversion), one at a time, in the order they came; each
// after the error box of the one before, if any.
class DropHandling {
 public:
  DropHandling(DropWindow& window, Log& log, Preview& preview, PostToWindow post)
      : window_(window), conversion_(log, preview, std::move(post)) {}

  // The first file of a drop, its path whole.
  void Add(std::string path);
  // True while a drop is being handled or waits to be.
  bool Busy() const { return drops_.Busy(); }

 private:
  void ConvertNext();
  void Finish(const std::string& path, const std::exception_ptr& failure);

  DropWindow& window_;
  DropQueue drops_;
  // Declared last: it waits for a running conversion before the rest goes.
  BackgroundConversion conversion_;
};

}  // namespace tolvane::window
