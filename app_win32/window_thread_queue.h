#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>

namespace tolvane::win32 {

// Work handed to the window's thread from any thread: kept in order and run
// when the window takes the message that announces it.
class WindowThreadQueue {
 public:
  // The private message the window answers with RunPosted().
  static constexpr UINT kMessage = WM_APP + 1;

  // Until then, and after Detach(), posted work is kept but never run.
  void Attach(HWND window) { window_.store(window); }
  void Detach() { window_.store(nullptr); }

  // Any thread.
  void Post(std::function<void()> work);

  // The window's thread: runs what has been posted, oldest first. A modal
  // loop inside one piece of work may run the later ones; the order holds.
  void RunPosted();

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> work_;
  std::atomic<HWND> window_{nullptr};
};

}  // namespace tolvane::win32
