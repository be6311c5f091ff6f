#include "app_win32/dark_theme.h"

#include <uxtheme.h>

namespace tolvane::win32 {

namespace {

// Every field is an EDIT control and has the class's procedure.
WNDPROC editProcedure = nullptr;

// The frame over the system's edge: the outer kFieldFrameWidth pixels of the
// field's window in the frame colour.
void PaintFieldFrame(HWND field) {
  RECT bounds{};
  ::GetWindowRect(field, &bounds);
  ::OffsetRect(&bounds, -bounds.left, -bounds.top);
  const WindowDc dc(field, ::GetWindowDC(field));
  if (dc.get() == nullptr) return;
  const Brush frame(::CreateSolidBrush(ColourRef(window::kFieldFrameColour)));
  for (int ring = 0; ring < window::kFieldFrameWidth; ++ring) {
    ::FrameRect(dc.get(), &bounds, frame.get());
    ::InflateRect(&bounds, -1, -1);
  }
}

LRESULT CALLBACK FramedFieldProcedure(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = ::CallWindowProcW(editProcedure, field, message, wParam, lParam);
  // The system draws its edge when the non-client area is painted, and again
  // on some state changes of the control.
  switch (message) {
    case WM_NCPAINT:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SIZE: PaintFieldFrame(field); break;
    default: break;
  }
  return result;
}

}  // namespace

COLORREF ColourRef(const window::Colour& colour) {
  return RGB(colour.red, colour.green, colour.blue);
}

DarkTheme::DarkTheme()
    : windowBrush_(::CreateSolidBrush(ColourRef(window::kWindowColour))),
      fieldBrush_(::CreateSolidBrush(ColourRef(window::kFieldColour))) {}

HBRUSH DarkTheme::FieldColours(HDC dc) const {
  ::SetTextColor(dc, ColourRef(window::kFieldTextColour));
  ::SetBkColor(dc, ColourRef(window::kFieldColour));
  return fieldBrush_.get();
}

void DarkTheme::FrameField(HWND field) {
  // Dark scroll bars where the system has them (Windows 10 from 1809 on);
  // elsewhere the field keeps the system's.
  ::SetWindowTheme(field, L"DarkMode_Explorer", nullptr);
  const auto previous = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(field, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FramedFieldProcedure)));
  if (editProcedure == nullptr) editProcedure = previous;
}

}  // namespace tolvane::win32
