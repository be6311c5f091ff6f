#include "cli/program_start.h"

namespace tolvane::cli {

Arguments StartProgram(int argc, char** argv) { return Arguments(argv + 1, argv + argc); }

}  // namespace tolvane::cli
