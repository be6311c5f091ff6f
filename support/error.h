#pragma once

#include <stdexcept>
#include <string>

namespace tolvane {

// The one kind of failure the program raises. Its message is the text the
// user sees (UTF-8), already formatted; only the reporter catches it.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace tolvane
