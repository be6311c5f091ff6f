#include "app/rules/drop_queue.h"

namespace tolvane::window {

std::optional<std::string> DropQueue::StartNext() {
  if (handling_ || waiting_.empty()) return std::nullopt;
  handling_ = true;
  std::string path = std::move(waiting_.front());
  waiting_.pop_front();
  return path;
}

}  // namespace tolvane::window
