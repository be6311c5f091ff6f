#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <string>

namespace tolvane::win32 {

// The program's one reporter of failures: a modal message box with the stop
// icon and one OK button, captioned with the application title, showing the
// innermost message of the failure after the period rule. It is owned by the
// main window when that is the active window, else by an invisible window at
// the centre of the primary monitor; either way the program's windows take no
// input while it is open.
class ErrorReporter {
 public:
  static void SetCaption(std::wstring caption);
  static void SetMainWindow(HWND window);

  static void Report(const std::exception_ptr& failure);
};

// Runs work; whatever it raises goes to the reporter and stops there.
void ReportFailures(const std::function<void()>& work);

}  // namespace tolvane::win32
