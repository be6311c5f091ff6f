// Start-up of the Windows window: COM, the application title, the main
// window, the loop.
// windows.h first: the other system headers build on it.
#include <windows.h>

#include <ole2.h>

#include <optional>
#include <string>

#include "app/rules/app_title.h"
#include "app/rules/start_state.h"
#include "app_win32/TolvaneUnit.h"
#include "app_win32/error_reporter.h"
#include "support/win32_text.h"

namespace {

// OLE for the window's thread, before the window exists, as the program has
// always started. Conversions run on a thread of their own, where the TIFF
// reader sets up COM for itself.
class OleSession {
 public:
  OleSession() : initialised_(SUCCEEDED(::OleInitialize(nullptr))) {}
  ~OleSession() {
    if (initialised_) ::OleUninitialize();
  }
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;

 private:
  bool initialised_;
};

// Lower-cases with the system's rules, as CharLowerW does.
std::string SystemLowerCase(std::string_view text) {
  std::wstring wide = tolvane::WideFromUtf8(text);
  if (!wide.empty()) ::CharLowerBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  return tolvane::Utf8FromWide(wide);
}

std::wstring ApplicationTitle() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return tolvane::WideFromUtf8(tolvane::window::ApplicationTitle(
      tolvane::Utf8FromWide(path), tolvane::kPlatformSeparators, SystemLowerCase));
}

// The show command of the launching program, when it gave one.
std::optional<int> LaunchShowCommand() {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  ::GetStartupInfoW(&startup);
  if ((startup.dwFlags & STARTF_USESHOWWINDOW) == 0) return std::nullopt;
  return startup.wShowWindow;
}

// A failure that escapes the handling of a message is reported where the
// window's procedure catches it; this catches what escapes the loop itself,
// after which the loop goes on.
void RunMessageLoop(tolvane::win32::TForm102& form) {
  MSG message{};
  for (;;) {
    try {
      while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (form.FilterInput(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
      }
      return;
    } catch (...) {
      tolvane::win32::ErrorReporter::Report(std::current_exception());
    }
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/) {
  const OleSession ole;
  tolvane::win32::ErrorReporter::SetCaption(ApplicationTitle());
  tolvane::win32::ReportFailures([instance] {
    tolvane::win32::TForm102 Form102(instance);
    Form102.Show(tolvane::window::StartStateFor(LaunchShowCommand()));
    RunMessageLoop(Form102);
  });
  return 0;
}
