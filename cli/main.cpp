// tolvane-cli: the conversion of the window, from a terminal.

#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/program_start.h"
#include "support/messages.h"

namespace tolvane::cli {
namespace {

int Run(const Arguments& args) {
  if (args.empty()) return UsageError();
  const std::string& command = args.front();
  const Arguments rest(args.begin() + 1, args.end());
  if (command == "convert") return RunConvert(rest);
  if (command == "raster") return RunRaster(rest);
  if (command == "preview") return RunPreview(rest);
  if (!rest.empty()) return UsageError();
  if (command == "--help") {
    std::fputs(std::string(messages::kCliUsage).c_str(), stdout);
    return kExitSuccess;
  }
  if (command == "--version") {
    std::printf("%s\n", messages::CliVersion(TOLVANE_VERSION).c_str());
    return kExitSuccess;
  }
  return UsageError();
}

}  // namespace
}  // namespace tolvane::cli

int main(int argc, char** argv) {
  return tolvane::cli::Run(tolvane::cli::StartProgram(argc, argv));
}
