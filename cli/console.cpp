#include "cli/console.h"

#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "support/messages.h"
#include "support/report.h"

namespace tolvane::cli {

namespace {

void Write(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

void StdoutLog::Append(std::string_view line) { Write(stdout, std::string(line) + "\n"); }

std::string FailureText(const std::exception& failure) {
  return ErrorBoxText(failure.what()) + "\n";
}

void ReportFailure(const std::exception& failure) { Write(stderr, FailureText(failure)); }

void WriteStdout(std::string_view text) { Write(stdout, text); }
void WriteStderr(std::string_view text) { Write(stderr, text); }

int UsageError() {
  Write(stderr, messages::kCliUsage);
  return kExitUsage;
}

}  // namespace tolvane::cli
