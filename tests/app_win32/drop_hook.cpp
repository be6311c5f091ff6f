// A test helper loaded into Tolvane.exe as a message hook: on the test's
// request it makes a real HDROP in the program's own memory, as the shell
// does for a drop, and posts it to the window as WM_DROPFILES. (A drop handle
// made by another process means nothing in the program's.)
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>

#include "tests/app_win32/drop_hook.h"

namespace {

// The paths the test wrote, each ending in a null, the list in another.
std::size_t ListLength(const wchar_t* list, std::size_t capacity) {
  std::size_t length = 0;
  while (length + 1 < capacity && !(list[length] == L'\0' && list[length + 1] == L'\0')) {
    ++length;
  }
  return length + 2;
}

void PostDropOfListedFiles(HWND window) {
  HANDLE mapping = ::OpenFileMappingW(FILE_MAP_READ, FALSE, kDropListName);
  if (mapping == nullptr) return;
  const auto* list =
      static_cast<const wchar_t*>(::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kDropListBytes));
  if (list != nullptr) {
    const std::size_t characters = ListLength(list, kDropListBytes / sizeof(wchar_t));
    HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + characters * sizeof(wchar_t));
    if (auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory))) {
      drop->pFiles = sizeof(DROPFILES);
      drop->fWide = TRUE;
      std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list,
                  characters * sizeof(wchar_t));
      ::GlobalUnlock(memory);
      ::PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    }
    ::UnmapViewOfFile(list);
  }
  ::CloseHandle(mapping);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK DeliverDrop(int code, WPARAM removed,
                                                              LPARAM message) {
  auto* taken = reinterpret_cast<MSG*>(message);
  if (code == HC_ACTION && removed == PM_REMOVE &&
      taken->message == ::RegisterWindowMessageW(kDropRequestName)) {
    PostDropOfListedFiles(taken->hwnd);
    taken->message = WM_NULL;
  }
  return ::CallNextHookEx(nullptr, code, removed, message);
}
