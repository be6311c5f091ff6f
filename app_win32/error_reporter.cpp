#include "app_win32/error_reporter.h"

#include <vector>

#include "app_win32/win32_handles.h"
#include "support/report.h"
#include "support/win32_text.h"

namespace tolvane::win32 {

namespace {

struct ReporterState {
  std::wstring caption;
  HWND mainWindow = nullptr;
};

ReporterState& State() {
  static ReporterState state;
  return state;
}

std::string MessageOf(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& error) {
    return ErrorBoxText(InnermostMessage(error));
  } catch (...) {
    return {};
  }
}

// No mouse capture or tracking mode outlives the failure.
void CancelModes() {
  if (HWND capture = ::GetCapture()) ::SendMessageW(capture, WM_CANCELMODE, 0, 0);
}

// 0 by 0 pixels at the centre of the primary monitor, never shown: a box it
// owns comes up centred there.
OwnedWindow InvisibleOwner() {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  ::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcMonitor;
  return OwnedWindow(::CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP,
                                       area.left + (area.right - area.left) / 2,
                                       area.top + (area.bottom - area.top) / 2, 0, 0, nullptr,
                                       nullptr, ::GetModuleHandleW(nullptr), nullptr));
}

BOOL CALLBACK CollectEnabledWindow(HWND window, LPARAM windows) {
  if (::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
    reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
  }
  return TRUE;
}

// Disables the program's visible, enabled top-level windows but the owner
// while it lives, and enables them again after.
class DisabledWindows {
 public:
  explicit DisabledWindows(HWND owner) {
    std::vector<HWND> windows;
    ::EnumThreadWindows(::GetCurrentThreadId(), CollectEnabledWindow,
                        reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) {
      if (window == owner) continue;
      ::EnableWindow(window, FALSE);
      disabled_.push_back(window);
    }
  }
  ~DisabledWindows() {
    for (HWND window : disabled_) {
      if (::IsWindow(window)) ::EnableWindow(window, TRUE);
    }
  }
  DisabledWindows(const DisabledWindows&) = delete;
  DisabledWindows& operator=(const DisabledWindows&) = delete;

 private:
  std::vector<HWND> disabled_;
};

void ShowErrorBox(const std::wstring& text) {
  CancelModes();
  const ReporterState& state = State();
  OwnedWindow invisibleOwner;
  HWND owner = state.mainWindow;
  if (owner == nullptr || ::GetActiveWindow() != owner) {
    invisibleOwner = InvisibleOwner();
    owner = invisibleOwner.get();
  }
  HWND focus = ::GetFocus();
  {
    const DisabledWindows disabled(owner);
    ::MessageBoxW(owner, text.c_str(), state.caption.c_str(), MB_OK | MB_ICONERROR);
  }
  if (owner == state.mainWindow) ::SetActiveWindow(owner);
  if (focus != nullptr && ::IsWindow(focus)) ::SetFocus(focus);
}

}  // namespace

void ErrorReporter::SetCaption(std::wstring caption) { State().caption = std::move(caption); }

void ErrorReporter::SetMainWindow(HWND window) { State().mainWindow = window; }

void ErrorReporter::Report(const std::exception_ptr& failure) {
  ShowErrorBox(WideFromUtf8(MessageOf(failure)));
}

void ReportFailures(const std::function<void()>& work) {
  try {
    work();
  } catch (...) {
    ErrorReporter::Report(std::current_exception());
  }
}

}  // namespace tolvane::win32
