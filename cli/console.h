#pragma once

// What the commands share: the terminal's log and preview, and the one place
// where failures are reported.

#include <exception>
#include <string>
#include <string_view>

#include "convert/seams.h"

namespace tolvane::cli {

// Each appended line goes to standard output at once; clearing prints nothing.
class StdoutLog : public Log {
 public:
  void Clear() override {}
  void Append(std::string_view line) override;
};

// The terminal has no preview.
class NoPreview : public Preview {
 public:
  void Show(const Raster&) override {}
  void Show(const PngImage&) override {}
};

// The failure's text as the error box shows it, and a newline.
std::string FailureText(const std::exception& failure);

// Writes the failure's text to standard error.
void ReportFailure(const std::exception& failure);

// Writes text to standard output or standard error at once.
void WriteStdout(std::string_view text);
void WriteStderr(std::string_view text);

// Writes the usage to standard error and gives the usage exit status.
int UsageError();

}  // namespace tolvane::cli
