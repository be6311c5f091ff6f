#pragma once

// Windows only: the program keeps its texts and paths in UTF-8; the system
// takes and gives UTF-16.

#include <string>
#include <string_view>

namespace tolvane {

// Invalid sequences become U+FFFD in both directions.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// A path as CreateFileW and friends take it: backslashes, and an absolute
// path given the \\?\ prefix so that it may be longer than 260 characters.
std::wstring WidePath(std::string_view path);

// The system's text for a Windows error code, in the user's language,
// without the line break FormatMessageW ends it with.
std::string WindowsErrorText(unsigned long code);

}  // namespace tolvane
