#include <exception>

#include "cli/commands.h"
#include "cli/console.h"
#include "convert/convert.h"

namespace tolvane::cli {

// Each file as a drop of that one file on the window; a failure is reported
// and the next file follows.
int RunConvert(const Arguments& files) {
  if (files.empty()) return UsageError();
  StdoutLog log;
  NoPreview preview;
  int status = kExitSuccess;
  for (const std::string& file : files) {
    try {
      ConvertImageFile(file, log, preview);
    } catch (const std::exception& failure) {
      ReportFailure(failure);
      status = kExitFailure;
    }
  }
  return status;
}

}  // namespace tolvane::cli
