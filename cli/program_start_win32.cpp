// windows.h first: the other system headers build on it.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>

#include "cli/program_start.h"
#include "support/win32_text.h"

namespace tolvane::cli {

Arguments StartProgram(int /*argc*/, char** /*argv*/) {
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
  ::SetConsoleOutputCP(CP_UTF8);

  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  const std::unique_ptr<wchar_t*, decltype(&::LocalFree)> owned(wide, &::LocalFree);
  Arguments arguments;
  for (int i = 1; wide != nullptr && i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  return arguments;
}

}  // namespace tolvane::cli
