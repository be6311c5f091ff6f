#pragma once

#include <QObject>
#include <string>

#include "app/rules/background_conversion.h"

namespace tolvane::app {

// The window's conversion on a thread of its own (window::BackgroundConversion),
// with what it writes posted to this object's thread through Qt's event loop.
class BackgroundConversion : public QObject {
 public:
  using Done = window::BackgroundConversion::Done;

  BackgroundConversion(Log& log, Preview& preview);

  // Starts converting path. Not before the last conversion's done has run.
  void Start(const std::string& path, Done done) { conversion_.Start(path, std::move(done)); }

 private:
  // Destroyed before the QObject, which then drops what the conversion
  // posted and has not been applied.
  window::BackgroundConversion conversion_;
};

}  // namespace tolvane::app
