#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "support/paths.h"

namespace tolvane::window {

// Lower-cases UTF-8 text. The window passes the platform's; the default
// maps only the ASCII letters.
using LowerCase = std::function<std::string(std::string_view)>;
std::string LowerAscii(std::string_view text);

// The application title from the executable's path: its file name cut at
// the first ".", every character after the first lower-cased.
// MY.TOOL.EXE gives My; Tolvane gives Tolvane.
std::string ApplicationTitle(std::string_view executablePath,
                             Separators separators = kPlatformSeparators,
                             const LowerCase& lower = LowerAscii);

}  // namespace tolvane::window
