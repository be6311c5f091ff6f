#pragma once

#include "cli/commands.h"

namespace tolvane::cli {

// The arguments after the program's name, in UTF-8. On Windows they are read
// from the wide command line, and standard output and error are put into
// binary mode with the console in UTF-8, so that the program writes the same
// bytes as on Linux.
Arguments StartProgram(int argc, char** argv);

}  // namespace tolvane::cli
