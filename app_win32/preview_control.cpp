#include "app_win32/preview_control.h"

namespace tolvane::win32 {

namespace {

constexpr wchar_t kClassName[] = L"TolvanePreview";

// The surface's rows as a top-down 32-bit DIB: blue, green, red, unused.
BITMAPINFO SurfaceBitmapInfo(const Surface& surface) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = surface.Width();
  info.bmiHeader.biHeight = -surface.Height();
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

}  // namespace

void PreviewControl::RegisterClass(HINSTANCE instance) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &PreviewControl::Procedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kClassName;
  ::RegisterClassExW(&windowClass);
}

void PreviewControl::Create(HWND parent, HINSTANCE instance) {
  // Not a tab stop, and it never takes the focus.
  window_ = ::CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                              nullptr, instance, this);
}

void PreviewControl::Show(const Raster& raster) {
  picture_.Show(raster);
  ::InvalidateRect(window_, nullptr, FALSE);
}

void PreviewControl::Show(const PngImage& image) {
  picture_.Show(image);
  ::InvalidateRect(window_, nullptr, FALSE);
}

void PreviewControl::Paint() {
  PAINTSTRUCT paint{};
  HDC dc = ::BeginPaint(window_, &paint);
  RECT client{};
  ::GetClientRect(window_, &client);
  if (client.right > 0 && client.bottom > 0) {
    const Surface box = RenderPreview(picture_.Current(), client.right, client.bottom);
    const BITMAPINFO info = SurfaceBitmapInfo(box);
    ::SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(box.Width()), static_cast<DWORD>(box.Height()),
                        0, 0, 0, static_cast<UINT>(box.Height()), box.Pixels().data(), &info,
                        DIB_RGB_COLORS);
  }
  ::EndPaint(window_, &paint);
}

LRESULT CALLBACK PreviewControl::Procedure(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* created = static_cast<PreviewControl*>(
        reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
    created->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
  }
  auto* self = reinterpret_cast<PreviewControl*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_ERASEBKGND: return 1;  // the paint covers the whole box
    case WM_PAINT:
      if (self != nullptr) {
        self->Paint();
        return 0;
      }
      break;
    default: break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace tolvane::win32
