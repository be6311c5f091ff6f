#pragma once

#include <deque>
#include <optional>
#include <string>

namespace tolvane::window {

// The files dropped on the window, converted one at a time in the order they
// came: a drop that arrives while another is converted (or its error box is
// open) waits for it.
class DropQueue {
 public:
  // The first file of a drop.
  void Add(std::string path) { waiting_.push_back(std::move(path)); }

  // The oldest waiting file when none is being handled; it is being handled
  // from then until Finish().
  std::optional<std::string> StartNext();
  void Finish() { handling_ = false; }

  // True while a drop is being handled or waits to be.
  bool Busy() const { return handling_ || !waiting_.empty(); }

 private:
  std::deque<std::string> waiting_;
  bool handling_ = false;
};

}  // namespace tolvane::window
