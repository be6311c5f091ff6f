#pragma once

#include <windows.h>

#include "convert/preview.h"

namespace tolvane::win32 {

// Image1: a child window that holds at most one picture and paints it at
// every paint with RenderPreview, the one drawing of the preview box that
// the Qt window and `tolvane-cli preview` use too, so that every window
// shows the same pixels. No scaled copy is kept.
class PreviewControl : public Preview {
 public:
  // Registers the window class once per process.
  static void RegisterClass(HINSTANCE instance);
  void Create(HWND parent, HINSTANCE instance);
  HWND Handle() const { return window_; }

  void Show(const Raster& raster) override;
  void Show(const PngImage& image) override;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Paint();

  HWND window_ = nullptr;
  PictureKeeper picture_;
};

}  // namespace tolvane::win32
