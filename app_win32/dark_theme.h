#pragma once

#include <windows.h>

#include "app/rules/theme_colours.h"
#include "app_win32/win32_handles.h"

namespace tolvane::win32 {

COLORREF ColourRef(const window::Colour& colour);

// The theme "Windows10 Dark", painted by the window itself: the client area's
// brush, the fields' colours, and the fields' flat frame in place of the
// system's sunken edge.
class DarkTheme {
 public:
  DarkTheme();

  HBRUSH WindowBrush() const { return windowBrush_.get(); }

  // The answer to WM_CTLCOLOREDIT and WM_CTLCOLORSTATIC from a field.
  HBRUSH FieldColours(HDC dc) const;

  // Makes an edit control draw its frame in the theme's colour.
  static void FrameField(HWND field);

 private:
  Brush windowBrush_;
  Brush fieldBrush_;
};

}  // namespace tolvane::win32
