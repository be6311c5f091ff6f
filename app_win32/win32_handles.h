#pragma once

// Windows only: owners of the system's handles the window creates.

// windows.h first: the other system headers build on it.
#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <memory>
#include <type_traits>

namespace tolvane::win32 {

struct DeleteGdiObject {
  void operator()(HGDIOBJ object) const { ::DeleteObject(object); }
};
template <typename Handle>
using GdiObject = std::unique_ptr<std::remove_pointer_t<Handle>, DeleteGdiObject>;
using Font = GdiObject<HFONT>;
using Brush = GdiObject<HBRUSH>;

struct DestroyWindowHandle {
  void operator()(HWND window) const { ::DestroyWindow(window); }
};
using OwnedWindow = std::unique_ptr<std::remove_pointer_t<HWND>, DestroyWindowHandle>;

struct FinishDrop {
  void operator()(HDROP drop) const { ::DragFinish(drop); }
};
using Drop = std::unique_ptr<std::remove_pointer_t<HDROP>, FinishDrop>;

// A device context from GetDC or GetWindowDC, released with its window.
class WindowDc {
 public:
  WindowDc(HWND window, HDC dc) : window_(window), dc_(dc) {}
  ~WindowDc() {
    if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

}  // namespace tolvane::win32
