#pragma once

// windows.h first: the other system headers build on it.
#include <windows.h>

#include <shellapi.h>

#include <exception>
#include <memory>
#include <string>

#include "app/rules/drop_handling.h"
#include "app/rules/start_state.h"
#include "app/rules/window_layout.h"
#include "app_win32/dark_theme.h"
#include "app_win32/log_control.h"
#include "app_win32/preview_control.h"
#include "app_win32/win32_handles.h"
#include "app_win32/window_thread_queue.h"
#include "support/block_cache.h"

namespace tolvane::win32 {

// The main window: the name field Edit1, the preview Image1 and the log
// Memo1. It takes shell file drops and converts the first dropped file.
class TForm102 : private window::DropWindow {
 public:
  // The window class's name, by which tests find the window.
  static constexpr wchar_t kClassName[] = L"TForm102";

  // Created hidden at the top-left corner of the desktop, scaled to that
  // monitor, centred in its work area, registered for drops.
  explicit TForm102(HINSTANCE instance);
  ~TForm102() override;
  TForm102(const TForm102&) = delete;
  TForm102& operator=(const TForm102&) = delete;

  HWND Handle() const { return window_; }

  void Show(window::StartState state);

  // Keys the controls would otherwise take: Tab moves between the log and the
  // name field, Enter inserts nothing; while a file is converted the window
  // takes no input from mouse or keyboard. True when the message is taken.
  bool FilterInput(const MSG& message);

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void CreateControls();
  // The creation handler: registers the window for shell file drops.
  void FormCreate();
  // Takes the first dropped path, whole, releases the drop and converts it
  // once the drops before it are done.
  void HandleDropFiles(HDROP drop);
  // What the window does around a conversion (window::DropWindow).
  void SetConverting(bool converting) override;
  void ShowFileName(const std::string& name) override;
  void ReportFailure(const std::exception_ptr& failure) override;
  bool SetCursorShape();

  // Rescales every bound, the client size and the font from the current
  // dots per inch to dpi.
  void ApplyDpi(int dpi);
  void ApplyLayout();
  void ResizeToClientArea();
  void CentreInWorkArea();
  void OnDpiChanged(int dpi, const RECT& suggested);
  void OnActivate(bool active);

  bool IsOwnWindow(HWND window) const;

  HINSTANCE instance_;
  HWND window_ = nullptr;
  HWND edit1_ = nullptr;
  PreviewControl image1_;
  LogControl memo1_;
  DarkTheme theme_;
  Font font_;
  window::MonitorLayout scaled_;
  // The control that had the focus when the window was last deactivated.
  HWND focus_ = nullptr;

  bool converting_ = false;
  // The large blocks a conversion frees serve the next drop, and are given
  // back once the window has been idle for a few seconds.
  KeepFreedBlocks keepFreedBlocks_;
  WindowThreadQueue posted_;
  // Declared last, so that it waits for a running conversion before the
  // controls and the queue it writes to are gone.
  window::DropHandling drops_{*this, memo1_, image1_, [this](std::function<void()> work) {
                                posted_.Post(std::move(work));
                              }};
};

}  // namespace tolvane::win32
