#include <cstdio>
#include <iostream>
#include <string_view>

#include "cli/preview_command.h"

int main(int argc, char** argv) {
  if (argc >= 2 && std::string_view(argv[1]) == "preview") {
    return tolvane::cli::RunPreviewCommand({argv + 2, argv + argc}, std::cout, std::cerr);
  }
  return 0;
}
