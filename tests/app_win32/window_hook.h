#pragma once

#include <windows.h>

#include <cstdint>

// What the window tests and their helper (window_hook.cpp) share. The helper
// is hooked into Tolvane.exe's thread and does there what only the
// program's own process can: make a drop handle, send a message that carries
// a pointer, read the controls' font.

// The request: the message kRequestName posted to the main window, with
// wParam one of these, on the memory kSharedName.
enum class HookRequest : WPARAM {
  kDrop = 1,        // drop `files` as the shell does (WM_DROPFILES)
  kChangeDpi = 2,   // send WM_DPICHANGED with `dpi` and `suggested`
  kReportFont = 3,  // fill in `fontHeight` and `fontFace` from the name field's font
};

inline constexpr wchar_t kRequestName[] = L"TolvaneTestHookRequest";
inline constexpr wchar_t kSharedName[] = L"TolvaneTestHookShared";

struct HookShared {
  // Requests.
  std::uint32_t dpi;
  RECT suggested;
  // Answers; `answered` is set last, to the number of the request answered.
  std::int32_t fontHeight;
  wchar_t fontFace[LF_FACESIZE];
  volatile LONG answered;
  // The paths to drop, each ending in a null, the list in another.
  wchar_t files[1 << 15];
};
