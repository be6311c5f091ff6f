#include "support/win32_text.h"

#include <windows.h>

#include <climits>
#include <cwctype>
#include <memory>

namespace tolvane {

std::wstring WideFromUtf8(std::string_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int size = static_cast<int>(text.size());
  const int wide = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring result(static_cast<std::size_t>(wide), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, result.data(), wide);
  return result;
}

std::string Utf8FromWide(std::wstring_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int size = static_cast<int>(text.size());
  const int bytes =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, result.data(), bytes, nullptr, nullptr);
  return result;
}

namespace {

bool IsDriveAbsolute(std::wstring_view path) {
  return path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\';
}

}  // namespace

std::wstring WidePath(std::string_view path) {
  std::wstring wide = WideFromUtf8(path);
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  // The prefix turns off the system's own parsing of the path, so only a full
  // path without "." or ".." parts may have it: the others keep the usual limit.
  if (wide.starts_with(L"\\\\") || !IsDriveAbsolute(wide)) return wide;
  if (wide.find(L"\\.") != std::wstring::npos) return wide;
  return L"\\\\?\\" + wide;
}

std::string WindowsErrorText(unsigned long code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const std::unique_ptr<wchar_t, decltype(&::LocalFree)> owned(buffer, &::LocalFree);
  if (length == 0) return "Error " + std::to_string(code);
  std::wstring_view text(buffer, length);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
    text.remove_suffix(1);
  }
  return Utf8FromWide(text);
}

}  // namespace tolvane
