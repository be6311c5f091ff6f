#include "app_win32/TolvaneUnit.h"

#include <cwchar>

#include "app_win32/error_reporter.h"
#include "support/error.h"
#include "support/messages.h"
#include "support/win32_text.h"

namespace tolvane::win32 {

namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kExStyle = 0;
constexpr int kEdit1Id = 1;
constexpr int kMemo1Id = 2;
constexpr UINT_PTR kReleaseKeptBlocksTimer = 1;

Font WindowFont(int height) {
  return Font(::CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
}

void Place(HWND control, const window::Bounds& bounds) {
  ::MoveWindow(control, bounds.left, bounds.top, bounds.width, bounds.height, TRUE);
}

HICON ProgramIcon(HINSTANCE instance, int systemMetricWidth, int systemMetricHeight) {
  // The first icon of the resources, in the size the system asks for.
  return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                         ::GetSystemMetrics(systemMetricWidth),
                                         ::GetSystemMetrics(systemMetricHeight), LR_SHARED));
}

void RegisterWindowClass(HINSTANCE instance, HBRUSH background, WNDPROC procedure) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = ProgramIcon(instance, SM_CXICON, SM_CYICON);
  windowClass.hIconSm = ProgramIcon(instance, SM_CXSMICON, SM_CYSMICON);
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = background;
  windowClass.lpszClassName = TForm102::kClassName;
  ::RegisterClassExW(&windowClass);
}

bool IsUserInput(UINT message) {
  return (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) || message == WM_KEYDOWN ||
         message == WM_KEYUP || message == WM_CHAR || message == WM_DEADCHAR;
}

bool IsKeyDown(int key) { return (::GetKeyState(key) & 0x8000) != 0; }

}  // namespace

TForm102::TForm102(HINSTANCE instance) : instance_(instance) {
  RegisterWindowClass(instance, theme_.WindowBrush(), &TForm102::Procedure);
  PreviewControl::RegisterClass(instance);
  const std::wstring caption = WideFromUtf8(messages::kWindowCaption);
  // Hidden, at the top-left corner of the desktop: on the primary monitor.
  ::CreateWindowExW(kExStyle, kClassName, caption.c_str(), kStyle, 0, 0,
                    scaled_.Layout().clientWidth, scaled_.Layout().clientHeight, nullptr, nullptr,
                    instance, this);
  if (window_ == nullptr) throw Error(WindowsErrorText(::GetLastError()));
  posted_.Attach(window_);
  CreateControls();
  ApplyDpi(static_cast<int>(::GetDpiForWindow(window_)));
  ResizeToClientArea();
  CentreInWorkArea();
  FormCreate();
  ErrorReporter::SetMainWindow(window_);
}

TForm102::~TForm102() {
  posted_.Detach();
  if (window_ != nullptr) ::DestroyWindow(window_);
}

void TForm102::CreateControls() {
  // Created in tab order: the log first, then the name field.
  memo1_.Create(window_, instance_, kMemo1Id);
  edit1_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_CENTER | ES_AUTOHSCROLL, 0, 0,
                             0, 0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEdit1Id)),
                             instance_, nullptr);
  image1_.Create(window_, instance_);
  DarkTheme::FrameField(memo1_.Handle());
  DarkTheme::FrameField(edit1_);
  focus_ = memo1_.Handle();
}

void TForm102::FormCreate() { ::DragAcceptFiles(window_, TRUE); }

void TForm102::Show(window::StartState state) {
  switch (state) {
    case window::StartState::MinimisedInactive: ::ShowWindow(window_, SW_SHOWMINNOACTIVE); break;
    case window::StartState::Maximised: ::ShowWindow(window_, SW_SHOWMAXIMIZED); break;
    case window::StartState::Normal:
      // The system may put the launcher's show command in place of the first
      // one given; any other than those honoured opens the window normally.
      ::ShowWindow(window_, SW_SHOWNORMAL);
      if (!::IsWindowVisible(window_) || ::IsIconic(window_) || ::IsZoomed(window_)) {
        ::ShowWindow(window_, SW_SHOWNORMAL);
      }
      break;
  }
  ::UpdateWindow(window_);
}

void TForm102::ApplyDpi(int dpi) {
  if (scaled_.ScaleTo(dpi)) ApplyLayout();
}

void TForm102::ApplyLayout() {
  Font font = WindowFont(scaled_.Layout().fontHeight);
  // The controls inherit the window's font.
  for (HWND control : {edit1_, memo1_.Handle()}) {
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  }
  font_ = std::move(font);
  Place(edit1_, scaled_.Layout().nameField);
  Place(image1_.Handle(), scaled_.Layout().preview);
  Place(memo1_.Handle(), scaled_.Layout().log);
}

void TForm102::ResizeToClientArea() {
  RECT frame{0, 0, scaled_.Layout().clientWidth, scaled_.Layout().clientHeight};
  ::AdjustWindowRectExForDpi(&frame, kStyle, FALSE, kExStyle, static_cast<UINT>(scaled_.Dpi()));
  ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm102::CentreInWorkArea() {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  ::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  RECT outer{};
  ::GetWindowRect(window_, &outer);
  const RECT& work = monitor.rcWork;
  const window::Point at =
      window::CentreInWorkArea(Rect{work.left, work.top, work.right, work.bottom},
                               outer.right - outer.left, outer.bottom - outer.top);
  ::SetWindowPos(window_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm102::OnDpiChanged(int dpi, const RECT& suggested) {
  ApplyDpi(dpi);
  ::SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm102::OnActivate(bool active) {
  if (!active) {
    HWND focus = ::GetFocus();
    if (focus != nullptr && ::GetParent(focus) == window_) focus_ = focus;
    return;
  }
  // The focus goes back to the control that had it, first of all the log.
  if (focus_ != nullptr && !::IsIconic(window_)) ::SetFocus(focus_);
}

void TForm102::HandleDropFiles(HDROP dropHandle) {
  // Released on every path, also when the conversion fails: the path is
  // copied out first.
  const Drop drop(dropHandle);
  if (::DragQueryFileW(drop.get(), 0xFFFFFFFF, nullptr, 0) == 0) return;
  // The whole path, however long.
  const UINT length = ::DragQueryFileW(drop.get(), 0, nullptr, 0);
  std::wstring path(static_cast<std::size_t>(length) + 1, L'\0');
  ::DragQueryFileW(drop.get(), 0, path.data(), length + 1);
  path.resize(std::wcslen(path.c_str()));
  drops_.Add(Utf8FromWide(path));
}

void TForm102::ShowFileName(const std::string& name) {
  ::SetWindowTextW(edit1_, WideFromUtf8(name).c_str());
}

void TForm102::ReportFailure(const std::exception_ptr& failure) { ErrorReporter::Report(failure); }

// While a file is converted the window shows the wait cursor and takes no
// input but drops.
void TForm102::SetConverting(bool converting) {
  converting_ = converting;
  if (converting) {
    ::KillTimer(window_, kReleaseKeptBlocksTimer);
  } else {
    ::SetTimer(window_, kReleaseKeptBlocksTimer, window::kKeptBlocksIdleMs, nullptr);
  }
  // The cursor changes at once where it stands over the window.
  POINT at{};
  ::GetCursorPos(&at);
  HWND under = ::WindowFromPoint(at);
  if (IsOwnWindow(under)) {
    ::SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  }
}

bool TForm102::SetCursorShape() {
  if (!converting_) return false;
  ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
  return true;
}

bool TForm102::IsOwnWindow(HWND window) const {
  return window != nullptr && (window == window_ || ::IsChild(window_, window));
}

bool TForm102::FilterInput(const MSG& message) {
  if (!IsOwnWindow(message.hwnd)) return false;
  if (converting_ && IsUserInput(message.message)) return true;
  const bool isField = message.hwnd == edit1_ || message.hwnd == memo1_.Handle();
  if (!isField) return false;
  if (message.message == WM_KEYDOWN && message.wParam == VK_TAB && !IsKeyDown(VK_CONTROL) &&
      !IsKeyDown(VK_MENU)) {
    // Two controls in the tab order: either direction reaches the other.
    HWND next = message.hwnd == edit1_ ? memo1_.Handle() : edit1_;
    ::SetFocus(next);
    if (next == edit1_) ::SendMessageW(edit1_, EM_SETSEL, 0, -1);
    return true;
  }
  if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) return true;
  return message.message == WM_CHAR && (message.wParam == L'\r' || message.wParam == L'\n');
}

LRESULT TForm102::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WindowThreadQueue::kMessage: posted_.RunPosted(); return 0;
    case WM_DROPFILES: HandleDropFiles(reinterpret_cast<HDROP>(wParam)); return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<LRESULT>(theme_.FieldColours(reinterpret_cast<HDC>(wParam)));
    case WM_SETCURSOR:
      if (SetCursorShape()) return TRUE;
      break;
    case WM_ACTIVATE: OnActivate(LOWORD(wParam) != WA_INACTIVE); return 0;
    case WM_SETFOCUS:
      if (focus_ != nullptr) ::SetFocus(focus_);
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_TIMER:
      if (wParam == kReleaseKeptBlocksTimer) {
        ::KillTimer(window_, kReleaseKeptBlocksTimer);
        ReleaseKeptBlocks();
        return 0;
      }
      break;
    case WM_DESTROY:
      posted_.Detach();
      ::PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY: {
      HWND window = window_;
      window_ = nullptr;
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      return ::DefWindowProcW(window, message, wParam, lParam);
    }
    default: break;
  }
  return ::DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK TForm102::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<TForm102*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TForm102*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr || self->window_ != window) {
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  // No failure leaves through the system's code: each one is reported here
  // and the window goes on.
  try {
    return self->HandleMessage(message, wParam, lParam);
  } catch (...) {
    ErrorReporter::Report(std::current_exception());
    return 0;
  }
}

}  // namespace tolvane::win32
