#include "app_win32/window_thread_queue.h"

#include <utility>

namespace tolvane::win32 {

void WindowThreadQueue::Post(std::function<void()> work) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    work_.push_back(std::move(work));
  }
  // When the message queue is full, the messages already in it run this work.
  if (HWND window = window_.load()) ::PostMessageW(window, kMessage, 0, 0);
}

void WindowThreadQueue::RunPosted() {
  for (;;) {
    std::function<void()> work;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (work_.empty()) return;
      work = std::move(work_.front());
      work_.pop_front();
    }
    work();
  }
}

}  // namespace tolvane::win32
