// A test helper loaded into Tolvane.exe as a message hook (see window_hook.h).
#include "tests/app_win32/window_hook.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

namespace {

constexpr int kEdit1Id = 1;

std::size_t ListLength(const wchar_t* list, std::size_t capacity) {
  std::size_t length = 0;
  while (length + 1 < capacity && !(list[length] == L'\0' && list[length + 1] == L'\0')) {
    ++length;
  }
  return length + 2;
}

// A drop handle made in the program's own memory, as the shell makes it.
void PostDrop(HWND window, const HookShared& shared) {
  const std::size_t characters = ListLength(shared.files, sizeof(shared.files) / sizeof(wchar_t));
  HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + characters * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
  if (drop == nullptr) return;
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), shared.files,
              characters * sizeof(wchar_t));
  ::GlobalUnlock(memory);
  ::PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
}

void ReportFont(HWND window, HookShared& shared) {
  const auto font =
      reinterpret_cast<HFONT>(::SendMessageW(::GetDlgItem(window, kEdit1Id), WM_GETFONT, 0, 0));
  LOGFONTW description{};
  if (font != nullptr && ::GetObjectW(font, sizeof(description), &description) != 0) {
    shared.fontHeight = description.lfHeight;
    std::memcpy(shared.fontFace, description.lfFaceName, sizeof(shared.fontFace));
  }
}

void Answer(HWND window, HookRequest request) {
  HANDLE mapping = ::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, kSharedName);
  if (mapping == nullptr) return;
  if (auto* shared = static_cast<HookShared*>(
          ::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(HookShared)))) {
    switch (request) {
      case HookRequest::kDrop: PostDrop(window, *shared); break;
      case HookRequest::kChangeDpi:
        ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(shared->dpi, shared->dpi),
                       reinterpret_cast<LPARAM>(&shared->suggested));
        break;
      case HookRequest::kReportFont: ReportFont(window, *shared); break;
    }
    ::InterlockedExchange(&shared->answered, static_cast<LONG>(request));
    ::UnmapViewOfFile(shared);
  }
  ::CloseHandle(mapping);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    HookMessage(int code, WPARAM removed, LPARAM message) {
  auto* taken = reinterpret_cast<MSG*>(message);
  if (code == HC_ACTION && removed == PM_REMOVE &&
      taken->message == ::RegisterWindowMessageW(kRequestName)) {
    Answer(taken->hwnd, static_cast<HookRequest>(taken->wParam));
    taken->message = WM_NULL;
  }
  return ::CallNextHookEx(nullptr, code, removed, message);
}
