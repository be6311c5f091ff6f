#include "app_win32/log_control.h"

#include <string>

#include "app/rules/log_text.h"
#include "support/win32_text.h"

namespace tolvane::win32 {

namespace {

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

void LogControl::Create(HWND parent, HINSTANCE instance, int id) {
  window_ = ::CreateWindowExW(
      WS_EX_CLIENTEDGE, L"EDIT", WideFromUtf8(window::InstructionText("\r\n")).c_str(),
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_AUTOHSCROLL |
          ES_AUTOVSCROLL,
      0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  // As much text as the system allows, not the default 30000 characters.
  ::SendMessageW(window_, EM_SETLIMITTEXT, 0, 0);
  ::SendMessageW(window_, EM_SETSEL, 0, 0);
}

void LogControl::Clear() { ::SetWindowTextW(window_, L""); }

void LogControl::Append(std::string_view line) {
  const auto at =
      static_cast<WPARAM>(window::LogText::LastLineStart(std::wstring_view(TextOf(window_))));
  ::SendMessageW(window_, EM_SETSEL, at, static_cast<LPARAM>(at));
  const std::wstring inserted = WideFromUtf8(line) + L"\r\n";
  ::SendMessageW(window_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(inserted.c_str()));
  ::SendMessageW(window_, EM_SCROLLCARET, 0, 0);
  ::SendMessageW(window_, WM_HSCROLL, SB_LEFT, 0);
}

}  // namespace tolvane::win32
